// Page arithmetic, axis arithmetic and the chart's history store, without widgets.
#include "console/chart/chart_export.h"
#include "console/chart/chart_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

using Span = std::pair<std::size_t, std::size_t>;

TEST(ChartPages, CountIsPointsOverPageSizeRoundedUpAndAtLeastOne) {
    const std::pair<std::size_t, int> rows[] = {{0, 1},   {1, 1},   {255, 1}, {256, 1},
                                                {257, 2}, {512, 2}, {513, 3}, {1000000, 3907}};
    for (const auto& [points, pages] : rows) {
        EXPECT_EQ(chartPageCount(points), pages) << points << " points";
    }
}

TEST(ChartPages, PointsOfAPage) {
    EXPECT_EQ(chartPagePoints(1, 300), (Span{0, 256}));
    EXPECT_EQ(chartPagePoints(2, 300), (Span{256, 300}));
    EXPECT_EQ(chartPagePoints(2, 512), (Span{256, 512}));
    EXPECT_EQ(chartPagePoints(3, 300), (Span{300, 300})); // beyond the points: empty
    EXPECT_EQ(chartPagePoints(1, 0), (Span{0, 0}));
    EXPECT_EQ(chartPagePoints(0, 300), (Span{0, 256})); // pages below 1 count as page 1
    EXPECT_EQ(chartPageFirstIndex(3), 512u);
    EXPECT_EQ(chartPageOfIndex(0), 1);
    EXPECT_EQ(chartPageOfIndex(255), 1);
    EXPECT_EQ(chartPageOfIndex(256), 2);
    EXPECT_EQ(chartPageText(2, 17), "Page 2 of 17");
}

TEST(ChartPages, XRangeIsAFullPageWideAndNeverStretched) {
    // Full first page of samples 1..256.
    EXPECT_EQ(chartPageXRange(true, 1, 256), (AxisRange{1, 256}));
    // A last page holding only samples 257..300 still spans a full page.
    EXPECT_EQ(chartPageXRange(true, 257, 300), (AxisRange{257, 512}));
    EXPECT_EQ(chartPageXRange(true, 257, 257), (AxisRange{257, 512}));
    // Points with gaps in x are never cut off.
    EXPECT_EQ(chartPageXRange(true, 10, 900), (AxisRange{10, 900}));
    // No points: the first page's width.
    EXPECT_EQ(chartPageXRange(false, 0, 0), (AxisRange{1, 256}));
    // Near the top of the x values the range does not wrap around.
    const AxisRange top = chartPageXRange(true, 4294967295u, 4294967295u);
    EXPECT_DOUBLE_EQ(top.max - top.min, 255.0);
}

TEST(ChartAxes, AutomaticYRangeHasASmallMargin) {
    EXPECT_EQ(chartAutoYRange(true, -10, 30), (AxisRange{-12, 32}));
    EXPECT_EQ(chartAutoYRange(true, 5, 5), (AxisRange{4, 6}));
    EXPECT_EQ(chartAutoYRange(false, 0, 0), (AxisRange{-1, 1}));
}

TEST(ChartAxes, TickIntervalsAreRoundAndLabelledWithoutLostDigits) {
    EXPECT_DOUBLE_EQ(chartTickInterval(255, 5), 100);
    EXPECT_DOUBLE_EQ(chartTickInterval(250, 5), 50);
    EXPECT_DOUBLE_EQ(chartTickInterval(44, 5), 10);
    EXPECT_DOUBLE_EQ(chartTickInterval(2.4, 5), 0.5);
    EXPECT_DOUBLE_EQ(chartTickInterval(0, 5), 1);
    EXPECT_EQ(chartTickDecimals(100), 0);
    EXPECT_EQ(chartTickDecimals(1), 0);
    EXPECT_EQ(chartTickDecimals(0.5), 1);
    EXPECT_EQ(chartTickDecimals(0.2), 1);
    EXPECT_EQ(chartTickDecimals(0.05), 2);
}

TEST(ChartSeriesTable, TitlesColoursAndStartState) {
    const char* titles[] = {"accel_X", "accel_Y",       "accel_Z",
                            "Batt",    "engine curr L", "engine curr R"};
    const int colors[] = {255, 65280, 16776960, 16777215, 65535, 16744576};
    const int pointColors[] = {255, 65280, 16776960, 16777215, 65535, 8388736};
    const bool active[] = {true, true, true, false, false, false};
    for (int i = 0; i < kChartSeriesCount; ++i) {
        EXPECT_STREQ(kChartSeries[i].name, ("Series" + std::to_string(i + 1)).c_str());
        EXPECT_STREQ(kChartSeries[i].title, titles[i]);
        EXPECT_EQ(kChartSeries[i].color, colors[i]) << i;
        EXPECT_EQ(kChartSeries[i].pointColor, pointColors[i]) << i;
        EXPECT_EQ(kChartSeries[i].activeAtStart, active[i]) << i;
    }
}

TEST(ChartHistoryStore, KeepsEveryPointAcrossBlocksWithItsColour) {
    ChartHistory h;
    const std::size_t n = 2 * ChartHistory::kChunkPoints + 10;
    for (std::size_t i = 0; i < n; ++i) {
        // Colour changes at a few places, including a block boundary.
        const int color = i < 100 ? 255 : (i < ChartHistory::kChunkPoints ? 8388736 : 65535);
        h.append(5, uint32_t(i + 1), double(i) * 0.5 - 7.0, color);
    }
    EXPECT_EQ(h.size(5), n);
    EXPECT_EQ(h.size(0), 0u);
    EXPECT_EQ(h.maxSize(), n);
    for (std::size_t i : {std::size_t{0}, std::size_t{99}, std::size_t{100},
                          ChartHistory::kChunkPoints - 1, ChartHistory::kChunkPoints, n - 1}) {
        const int color = i < 100 ? 255 : (i < ChartHistory::kChunkPoints ? 8388736 : 65535);
        EXPECT_EQ(h.point(5, i), (ChartPoint{uint32_t(i + 1), double(i) * 0.5 - 7.0, color}))
            << "point " << i;
    }
    // A page's values are contiguous, also on the first page of the second block.
    const std::size_t first = chartPageFirstIndex(chartPageOfIndex(ChartHistory::kChunkPoints));
    const uint32_t* xs = h.xData(5, first);
    const double* ys = h.yData(5, first);
    for (std::size_t k = 0; k < kPointsPerPage; ++k) {
        ASSERT_EQ(xs[k], first + k + 1);
        ASSERT_EQ(ys[k], double(first + k) * 0.5 - 7.0);
    }
}

TEST(ChartHistoryStore, IgnoresSeriesOutsideTheSix) {
    ChartHistory h;
    h.append(-1, 1, 1.0, 255);
    h.append(6, 1, 1.0, 255);
    EXPECT_EQ(h.maxSize(), 0u);
    EXPECT_EQ(h.size(6), 0u);
    EXPECT_EQ(h.size(-1), 0u);
}

TEST(ChartHistoryStore, StaysCompactOverAWholeDay) {
    // A day at 20 frames a second, one sample every sixth frame: 288,000 samples of six points.
    ChartHistory h;
    const std::size_t samples = 288000;
    for (std::size_t s = 1; s <= samples; ++s) {
        for (int i = 0; i < kChartSeriesCount; ++i) {
            h.append(i, uint32_t(s), double(s % 255), kChartSeries[i].pointColor);
        }
    }
    const double bytesPerPoint = double(h.memoryBytes()) / double(samples * kChartSeriesCount);
    EXPECT_LT(bytesPerPoint, 12.5); // 4 bytes x, 8 bytes y, colours as runs
    // Per million telemetry frames (166,667 samples): well under 30 MB.
    const double megabytesPerMillionFrames = bytesPerPoint * 6 * (1e6 / 6) / 1e6;
    EXPECT_LT(megabytesPerMillionFrames, 15.0);
    EXPECT_EQ(h.point(3, samples - 1),
              (ChartPoint{uint32_t(samples), double(samples % 255), 16777215}));
}

} // namespace

TEST(ChartExport, EverySampleWithItsIndexItsTimeAndEachSeriesValue) {
    setenv("TZ", "UTC", 1);
    tzset();
    ChartHistory history;
    const int64_t noon = 1736510400000; // 2025-01-10 12:00:00 UTC, in ms
    const double values[kChartSeriesCount] = {1.5, -2, 0, 6.2, 100, 0.1};
    for (uint32_t x = 1; x <= 300; ++x) {
        for (int k = 0; k < kChartSeriesCount; ++k)
            history.append(k, x, values[k] * x, 0);
        history.appendSampleTime(noon + x * 300);
    }
    history.append(0, 301, 7, 0); // one series ahead of the others, no time for it
    std::vector<std::string> rows;
    const std::string csv = chartCsv(history);
    for (size_t from = 0; from < csv.size();) {
        const size_t end = csv.find("\r\n", from);
        ASSERT_NE(end, std::string::npos) << "every record ends in CR LF";
        rows.push_back(csv.substr(from, end - from));
        from = end + 2;
    }
    ASSERT_EQ(rows.size(), 1u + 301u);
    EXPECT_EQ(rows[0].rfind("sample,time,", 0), 0u) << rows[0];
    EXPECT_EQ(std::count(rows[0].begin(), rows[0].end(), ','), 1 + kChartSeriesCount);
    EXPECT_EQ(rows[1], "1,2025-01-10 12:00:00.300,1.5,-2,0,6.2,100,0.1");
    EXPECT_EQ(rows[300], "300,2025-01-10 12:01:30.000,450,-600,0,1860,30000,30");
    EXPECT_EQ(rows[301], "301,,7,,,,,");
}
