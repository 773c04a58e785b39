#pragma once
// The telemetry chart's whole history, kept outside the chart so that the chart itself only ever
// holds the page it shows. No Qt here: the store and the page arithmetic are plain C++.
//
// A chart sample adds one point to each of the six series. Points are appended in arrival order
// (the display numbers its samples 1, 2, 3, ..., so x ascends). Each series keeps its x and y
// values in fixed blocks of kChunkPoints points: a block is never moved or copied once allocated,
// so adding a point costs the same after a day of running as on the first sample, and the memory
// grows by one block at a time instead of doubling. Point colours are kept as runs (first point
// index and colour), because a series' point colour changes seldom or never.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Number of series of the telemetry chart.
constexpr int kChartSeriesCount = 6;

// Points shown on one page of the chart.
constexpr std::size_t kPointsPerPage = 256;

// The first chart sample has x = 1.
constexpr uint32_t kFirstSampleX = 1;

// Static description of one series of the telemetry chart. Colours are 24-bit codes with red in
// the low byte, green in the middle byte and blue in the high byte.
struct ChartSeriesInfo {
    const char* name;   // object name, "Series1".."Series6"
    const char* title;  // legend text
    int color;          // line and legend colour
    int pointColor;     // colour of the points the display adds
    bool activeAtStart; // shown when the console starts
};

// Series1..Series6 in the order the display feeds them (accelX, accelY, accelZ, battery volts,
// left and right engine current).
extern const std::array<ChartSeriesInfo, kChartSeriesCount> kChartSeries;

// One stored point.
struct ChartPoint {
    uint32_t x = 0;
    double y = 0.0;
    int color = 0;

    bool operator==(const ChartPoint&) const = default;
};

// Closed range of axis values.
struct AxisRange {
    double min = 0.0;
    double max = 0.0;

    bool operator==(const AxisRange&) const = default;
};

// --- Page arithmetic (pages are numbered from 1) -------------------------------------------------

// Number of pages for n points: n / 256 rounded up, and at least 1 (an empty chart has one page).
int chartPageCount(std::size_t pointCount);

// Index of the first point of a page; pages below 1 count as page 1.
std::size_t chartPageFirstIndex(int page);

// Half-open range [first, end) of the point indices of a series with pointCount points that lie
// on a page; empty (first == end) when the series has no points there.
std::pair<std::size_t, std::size_t> chartPagePoints(int page, std::size_t pointCount);

// Page that holds the point with the given index.
int chartPageOfIndex(std::size_t index);

// "Page N of M".
std::string chartPageText(int page, int pageCount);

// X range of a page whose points have the smallest x value minX and the largest maxX: a full
// page's width (256 consecutive sample numbers) from minX, widened only if the points themselves
// reach further. So the last, partly filled page is not stretched across the plot. A page without
// points spans the first page's width.
AxisRange chartPageXRange(bool hasPoints, uint32_t minX, uint32_t maxX);

// Automatic y range for shown values between minY and maxY: a small margin (5 % of the span, or
// 1 when all values are equal) on both sides. Without shown values the range is -1..1.
AxisRange chartAutoYRange(bool hasValues, double minY, double maxY);

// Tick interval for an axis of the given span: 1, 2 or 5 times a power of ten, chosen so that
// there are at most maxTicks intervals. Spans that are not positive give 1.
double chartTickInterval(double span, int maxTicks);

// Decimal places that label ticks of this interval without losing digits (0 for 1 and above).
int chartTickDecimals(double interval);

// --- History -------------------------------------------------------------------------------------

class ChartHistory {
public:
    // Points per storage block: a whole number of pages, so a page never straddles two blocks.
    static constexpr std::size_t kChunkPoints = 16 * kPointsPerPage;

    // Appends a point to a series; a series index outside 0..5 is ignored.
    void append(int series, uint32_t x, double y, int color);

    // Number of points of a series (0 for an index outside 0..5).
    std::size_t size(int series) const;

    // Largest number of points of any series; the page count follows it.
    std::size_t maxSize() const;

    // Point i of a series; i must be below size(series).
    ChartPoint point(int series, std::size_t i) const;

    // The x and y values of the points [first, first + count) of a series, which must lie on one
    // page. Contiguous in memory; valid until the next append.
    const uint32_t* xData(int series, std::size_t first) const;
    const double* yData(int series, std::size_t first) const;

    // Colour of point i of a series.
    int colorAt(int series, std::size_t i) const;

    // The wall-clock time of each sample (milliseconds since the epoch), in the order the
    // samples came: sample i's time, or -1 when none was noted.
    void appendSampleTime(int64_t epochMs) { sampleTimes_.push_back(epochMs); }
    int64_t sampleTime(std::size_t i) const {
        return i < sampleTimes_.size() ? sampleTimes_[i] : -1;
    }

    // Bytes the store holds for its points (blocks, block tables and colour runs).
    std::size_t memoryBytes() const;

    void clear();

private:
    struct Chunk {
        double y[kChunkPoints];
        uint32_t x[kChunkPoints];
    };
    struct ColorRun {
        std::size_t first; // index of the first point with this colour
        int color;
    };
    struct Series {
        std::vector<std::unique_ptr<Chunk>> chunks;
        std::vector<ColorRun> colors;
        std::size_t count = 0;
    };

    static bool valid(int series) { return series >= 0 && series < kChartSeriesCount; }

    std::array<Series, kChartSeriesCount> series_;
    std::deque<int64_t> sampleTimes_; // grows block by block, never moved
};
