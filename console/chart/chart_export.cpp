#include "console/chart/chart_export.h"

#include "recording/telemetry_csv.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace {

std::string localTime(int64_t epochMs) {
    if (epochMs < 0)
        return std::string();
    const time_t seconds = time_t(epochMs / 1000);
    tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    char text[40];
    std::snprintf(text, sizeof text, "%s.%03d", date, int(epochMs % 1000));
    return text;
}

} // namespace

std::string chartCsv(const ChartHistory& history) {
    std::string out = "sample,time";
    for (const ChartSeriesInfo& series : kChartSeries)
        out += "," + csvField(series.title);
    out += "\r\n";
    for (std::size_t i = 0; i < history.maxSize(); ++i) {
        int s = 0;
        while (i >= history.size(s))
            ++s; // the series that has this sample
        out += std::to_string(history.point(s, i).x) + "," + localTime(history.sampleTime(i));
        for (int k = 0; k < kChartSeriesCount; ++k) {
            out += ',';
            if (i < history.size(k)) {
                char text[32];
                const auto [end, ec] =
                    std::to_chars(text, text + sizeof text, history.point(k, i).y);
                out.append(text, ec == std::errc() ? end : text);
            }
        }
        out += "\r\n";
    }
    return out;
}
