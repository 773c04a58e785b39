// The telemetry chart on a real X server. There the window system holds what the console last
// painted, and nothing repaints a place by itself: pixels the chart does not repaint stay on the
// screen. (A grab of the widget paints it whole and cannot show them.)

#include "tests/desktop/desktop_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace desktop;

// Chart1 in the main window, and points in it (chart coordinates).
constexpr int kChartX = 4, kChartY = 530, kChartWidth = 283, kChartHeight = 261;
constexpr int kPlotTop = 21;             // the plot's top edge
constexpr int kPlotBottomGuess = 225;    // the x axis line (at most)
constexpr uint32_t kGridGrey = 0x808080; // axis line, ticks, major grid lines

// A legend entry (chart coordinates) and the colour of its series' line.
struct LegendEntry {
    const char* name;
    int x, y;
    uint32_t colour;
};
constexpr LegendEntry kAccelX{"accel_X", 40, 243, 0xFF0000};
constexpr LegendEntry kAccelY{"accel_Y", 100, 243, 0x00FF00};
constexpr LegendEntry kAccelZ{"accel_Z", 187, 243, 0x00FFFF};
constexpr LegendEntry kBatt{"Batt", 40, 252, 0xFFFFFF};

using Pixels = std::vector<std::vector<uint32_t>>;

bool isGrey(uint32_t p, int least) {
    const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
    return r == g && g == b && r >= least;
}

// What the value axis shows on the screen.
struct ValueAxisOnScreen {
    std::vector<int> majorRows; // rows of the major grid lines (and of the x axis line)
    int axisColumn = -1;        // the value axis line
    int strayLabelPixels = 0;   // label pixels that belong to no tick
    std::string firstStray;
};

// Reads the value axis from the chart's pixels. A tick label is drawn centred on its tick: its
// glyphs lie from 6 rows above to 4 rows below the tick's grid line. Label pixels (grey, not
// dark) left of the ticks on other rows are left over from labels drawn before.
ValueAxisOnScreen valueAxis(const Pixels& px) {
    ValueAxisOnScreen a;
    if (int(px.size()) != kChartHeight)
        return a;
    for (const auto& row : px)
        if (int(row.size()) != kChartWidth)
            return a;
    // Major grid lines are dotted across the plot; look at its right part, away from the lines.
    for (int y = kPlotTop; y <= kPlotBottomGuess; ++y) {
        int grey = 0;
        for (int x = 150; x < kChartWidth - 12; ++x)
            grey += px[y][x] == kGridGrey ? 1 : 0;
        if (grey >= 25)
            a.majorRows.push_back(y);
    }
    if (a.majorRows.size() < 2)
        return a;
    // The axis line runs solid from the top grid line to the bottom one.
    for (int x = 5; x <= 80 && a.axisColumn < 0; ++x) {
        int grey = 0, all = 0;
        for (int y = a.majorRows.front(); y <= a.majorRows.back(); ++y, ++all)
            grey += px[y][x] == kGridGrey ? 1 : 0;
        if (grey * 10 >= all * 9)
            a.axisColumn = x;
    }
    if (a.axisColumn < 0)
        return a;
    // Left of the major ticks (5 pixels long) only the labels are drawn.
    for (int y = 0; y < kChartHeight; ++y) {
        for (int x = 1; x < a.axisColumn - 5; ++x) {
            if (!isGrey(px[y][x], 60))
                continue;
            bool onTick = false;
            for (int row : a.majorRows)
                onTick = onTick || (y >= row - 6 && y <= row + 4);
            if (!onTick) {
                if (a.strayLabelPixels == 0)
                    a.firstStray = std::to_string(x) + "," + std::to_string(y);
                ++a.strayLabelPixels;
            }
        }
    }
    return a;
}

class DesktopChart : public Desktop {
protected:
    Pixels chartPixels() {
        const XWindow m = main();
        return pixels(m.x + kChartX, m.y + kChartY, kChartWidth, kChartHeight);
    }
    // Pixels of this colour inside the plot, right of the value axis, and how far right the
    // rightmost lies from the axis.
    int plotPixels(const Pixels& px, uint32_t colour, int* reach = nullptr) {
        const ValueAxisOnScreen a = valueAxis(px);
        int n = 0;
        if (reach)
            *reach = 0;
        for (int y = kPlotTop; y < kPlotBottomGuess && y < int(px.size()); ++y) {
            for (int x = std::max(a.axisColumn + 1, 1); x < int(px[y].size()) - 2; ++x) {
                if (px[y][x] == colour) {
                    ++n;
                    if (reach)
                        *reach = std::max(*reach, x - a.axisColumn);
                }
            }
        }
        return n;
    }
    // Switches a series with a click on its legend entry (the pointer moved there with the same
    // command) and waits for its line to show or go, looking seldom, so as not to keep the X
    // server busy while the console repaints.
    void switchSeries(const LegendEntry& e, bool on) {
        const XWindow m = main();
        xdo({"mousemove", std::to_string(m.x + kChartX + e.x), std::to_string(m.y + kChartY + e.y),
             "click", "1"});
        ASSERT_TRUE(
            waitFor([&] { return (plotPixels(chartPixels(), e.colour) > 3) == on; }, kWaitMs, 200))
            << "the " << e.name << " line did not " << (on ? "show" : "go");
    }
    // The value axis settles with every label pixel on a tick (bounded wait; on failure the
    // last reading is reported).
    void expectNoStrayLabels(const std::string& after) {
        ValueAxisOnScreen a;
        const bool clean = waitFor(
            [&] {
                a = valueAxis(chartPixels());
                return a.axisColumn >= 0 && a.strayLabelPixels == 0;
            },
            4000, 100);
        EXPECT_TRUE(clean) << "after " << after << ": " << a.strayLabelPixels
                           << " label pixels beside the ticks, first at " << a.firstStray
                           << "; axis at column " << a.axisColumn << ", " << a.majorRows.size()
                           << " major rows";
        if (!clean)
            screenshot("stray-labels-" + std::to_string(++strayShots_));
    }

    int strayShots_ = 0;
};

// Switching series in the legend moves the value axis, and with it every tick label: about
// -2..2 for the accelerations of a robot standing still, up to 6 with the battery's 6.2 V, and
// around 6.2 with the battery alone (wider labels, with a decimal). Each click repaints its
// legend entry over the chart at once; the labels' old places must be repainted too.
TEST_F(DesktopChart, ValueAxisLabelsLeaveNothingBehindWhenTheLegendMovesThem) {
    // Telemetry as fast as the line carries it: the window repaints often, as it does while a
    // robot drives.
    startSim({"--period", "20"});
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    // The chart has a dozen points of the three accelerations and its axis is readable.
    ASSERT_TRUE(waitFor(
        [&] {
            int reach = 0;
            const Pixels px = chartPixels();
            return valueAxis(px).axisColumn >= 0 && plotPixels(px, kAccelX.colour, &reach) > 5 &&
                   reach >= 12;
        },
        kWaitMs, 200))
        << "no accel_X line of a dozen points in the chart";
    ASSERT_NO_FATAL_FAILURE(expectNoStrayLabels("start"));

    const struct {
        const LegendEntry& entry;
        bool on;
    } steps[] = {{kBatt, true},   {kAccelX, false}, {kAccelY, false}, {kAccelZ, false},
                 {kAccelZ, true}, {kAccelY, true},  {kAccelX, true},  {kBatt, false},
                 {kBatt, true},   {kAccelX, false}, {kAccelY, false}, {kAccelZ, false},
                 {kAccelX, true}, {kAccelY, true},  {kAccelZ, true},  {kBatt, false}};
    for (const auto& step : steps) {
        ASSERT_NO_FATAL_FAILURE(switchSeries(step.entry, step.on));
        expectNoStrayLabels(std::string(step.entry.name) + (step.on ? " on" : " off"));
    }
}

} // namespace
