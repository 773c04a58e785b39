#pragma once
// The chart's whole history as CSV (RFC 4180: a header row, records ended by CR LF, dot
// decimals), every page of it: a row per sample with its index (the chart's x), its local date
// and time to the millisecond, and each series' value, in the order of the legend. A series
// without a point for a sample leaves its field empty. No Qt here.

#include "console/chart/chart_history.h"

#include <string>

std::string chartCsv(const ChartHistory& history);
