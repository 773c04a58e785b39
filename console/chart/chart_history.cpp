#include "console/chart/chart_history.h"

#include <algorithm>
#include <cmath>

const std::array<ChartSeriesInfo, kChartSeriesCount> kChartSeries = {{
    {"Series1", "accel_X", 255, 255, true},                 // red
    {"Series2", "accel_Y", 65280, 65280, true},             // lime
    {"Series3", "accel_Z", 16776960, 16776960, true},       // aqua
    {"Series4", "Batt", 16777215, 16777215, false},         // white
    {"Series5", "engine curr L", 65535, 65535, false},      // yellow
    {"Series6", "engine curr R", 16744576, 8388736, false}, // RGB 128,128,255; purple points
}};

int chartPageCount(std::size_t pointCount) {
    const std::size_t pages = (pointCount + kPointsPerPage - 1) / kPointsPerPage;
    return static_cast<int>(std::max<std::size_t>(pages, 1));
}

std::size_t chartPageFirstIndex(int page) {
    return static_cast<std::size_t>(std::max(page, 1) - 1) * kPointsPerPage;
}

std::pair<std::size_t, std::size_t> chartPagePoints(int page, std::size_t pointCount) {
    const std::size_t first = std::min(chartPageFirstIndex(page), pointCount);
    const std::size_t end = std::min(first + kPointsPerPage, pointCount);
    return {first, end};
}

int chartPageOfIndex(std::size_t index) {
    return static_cast<int>(index / kPointsPerPage) + 1;
}

std::string chartPageText(int page, int pageCount) {
    return "Page " + std::to_string(page) + " of " + std::to_string(pageCount);
}

AxisRange chartPageXRange(bool hasPoints, uint32_t minX, uint32_t maxX) {
    constexpr double width = kPointsPerPage - 1;
    if (!hasPoints) {
        return {double(kFirstSampleX), double(kFirstSampleX) + width};
    }
    return {double(minX), std::max(double(minX) + width, double(maxX))};
}

AxisRange chartAutoYRange(bool hasValues, double minY, double maxY) {
    if (!hasValues) {
        return {-1.0, 1.0};
    }
    const double span = maxY - minY;
    const double margin = span > 0.0 ? span * 0.05 : 1.0;
    return {minY - margin, maxY + margin};
}

double chartTickInterval(double span, int maxTicks) {
    if (!(span > 0.0) || !std::isfinite(span) || maxTicks < 1) {
        return 1.0;
    }
    const double raw = span / maxTicks;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (;;) {
        for (double step : {1.0, 2.0, 5.0}) {
            if (step * power >= raw * (1.0 - 1e-9)) {
                return step * power;
            }
        }
        power *= 10.0;
    }
}

int chartTickDecimals(double interval) {
    int decimals = 0;
    double scaled = interval;
    while (decimals < 9 && std::abs(scaled - std::round(scaled)) > 1e-6 * std::max(1.0, scaled)) {
        scaled *= 10.0;
        ++decimals;
    }
    return decimals;
}

void ChartHistory::append(int series, uint32_t x, double y, int color) {
    if (!valid(series)) {
        return;
    }
    Series& s = series_[series];
    const std::size_t slot = s.count % kChunkPoints;
    if (slot == 0) {
        s.chunks.push_back(std::make_unique<Chunk>());
    }
    Chunk& chunk = *s.chunks.back();
    chunk.x[slot] = x;
    chunk.y[slot] = y;
    if (s.colors.empty() || s.colors.back().color != color) {
        s.colors.push_back({s.count, color});
    }
    ++s.count;
}

std::size_t ChartHistory::size(int series) const {
    return valid(series) ? series_[series].count : 0;
}

std::size_t ChartHistory::maxSize() const {
    std::size_t n = 0;
    for (const Series& s : series_) {
        n = std::max(n, s.count);
    }
    return n;
}

ChartPoint ChartHistory::point(int series, std::size_t i) const {
    const Chunk& chunk = *series_[series].chunks[i / kChunkPoints];
    const std::size_t slot = i % kChunkPoints;
    return {chunk.x[slot], chunk.y[slot], colorAt(series, i)};
}

const uint32_t* ChartHistory::xData(int series, std::size_t first) const {
    return series_[series].chunks[first / kChunkPoints]->x + first % kChunkPoints;
}

const double* ChartHistory::yData(int series, std::size_t first) const {
    return series_[series].chunks[first / kChunkPoints]->y + first % kChunkPoints;
}

int ChartHistory::colorAt(int series, std::size_t i) const {
    const std::vector<ColorRun>& runs = series_[series].colors;
    // The last run that starts at or before i.
    auto after =
        std::upper_bound(runs.begin(), runs.end(), i,
                         [](std::size_t index, const ColorRun& r) { return index < r.first; });
    return std::prev(after)->color;
}

std::size_t ChartHistory::memoryBytes() const {
    std::size_t bytes = sizeof(*this);
    for (const Series& s : series_) {
        bytes += s.chunks.size() * sizeof(Chunk);
        bytes += s.chunks.capacity() * sizeof(std::unique_ptr<Chunk>);
        bytes += s.colors.capacity() * sizeof(ColorRun);
    }
    return bytes + sampleTimes_.size() * sizeof(int64_t);
}

void ChartHistory::clear() {
    for (Series& s : series_) {
        s = Series{};
    }
    sampleTimes_.clear();
}
