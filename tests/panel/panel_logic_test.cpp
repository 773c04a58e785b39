// The panel's arithmetic without widgets: the docking rows, the scan step and the unit address
// of a found-unit line.

#include "console/panel_logic.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

const MainFrame kMain{100, 50, 1309};

TEST(PanelDockRect, CreationAndMainMouseMoveCollapseBelowTheTop) {
    for (DockMoment moment : {DockMoment::Creation, DockMoment::MainMouseMove}) {
        for (int current : {20, 241}) {
            const PanelRect r = panelDockRect(moment, kMain, current);
            EXPECT_EQ(r, (PanelRect{100 + 1309 - 20, 50 + 24, 20, 339}))
                << "moment " << int(moment) << " from width " << current;
        }
    }
}

TEST(PanelDockRect, PanelMouseMoveExpandsToTheLeft) {
    for (int current : {20, 241}) {
        const PanelRect r = panelDockRect(DockMoment::PanelMouseMove, kMain, current);
        EXPECT_EQ(r, (PanelRect{100 + 1309 - 241, 74, 241, 339}));
    }
}

TEST(PanelDockRect, ShownKeepsTheWidthAndLevelsTheTop) {
    EXPECT_EQ(panelDockRect(DockMoment::Shown, kMain, 20), (PanelRect{1389, 50, 20, 339}));
    EXPECT_EQ(panelDockRect(DockMoment::Shown, kMain, 241), (PanelRect{1168, 50, 241, 339}));
}

TEST(PanelDockRect, RightEdgeStaysOnTheMainWindowsRightEdge) {
    // Also off the primary screen, at negative coordinates.
    for (const MainFrame main : {MainFrame{-500, -30, 800}, MainFrame{0, 0, 241}, kMain}) {
        for (DockMoment moment : {DockMoment::Creation, DockMoment::MainMouseMove,
                                  DockMoment::PanelMouseMove, DockMoment::Shown}) {
            const PanelRect r = panelDockRect(moment, main, 241);
            EXPECT_EQ(r.left + r.width, main.left + main.width);
            EXPECT_EQ(r.height, PanelHeight);
        }
    }
}

TEST(ScanStep, ProbesTheAddressAndMovesOn) {
    const ScanStep first = scanStep(0);
    EXPECT_EQ(first.probeAddress, 0);
    EXPECT_EQ(first.gaugeValue, 0);
    EXPECT_EQ(first.nextAddress, 1);
    EXPECT_FALSE(first.scanEnds);

    const ScanStep step = scanStep(250);
    EXPECT_EQ(step.probeAddress, 250);
    EXPECT_EQ(step.gaugeValue, 250);
    EXPECT_EQ(step.nextAddress, 251);
    EXPECT_FALSE(step.scanEnds);
}

TEST(ScanStep, TheTickOf251EndsTheScan) {
    const ScanStep last = scanStep(251);
    EXPECT_EQ(last.probeAddress, 251);
    EXPECT_EQ(last.gaugeValue, 0);
    EXPECT_EQ(last.nextAddress, 0);
    EXPECT_TRUE(last.scanEnds);
}

TEST(ScanStep, AWholeScanProbes0To251OncePerTick) {
    int32_t address = 0;
    int ticks = 0;
    int maxGauge = -1;
    for (;;) {
        const ScanStep step = scanStep(address);
        EXPECT_EQ(step.probeAddress, ticks) << "tick " << ticks;
        maxGauge = std::max(maxGauge, step.gaugeValue);
        ++ticks;
        address = step.nextAddress;
        if (step.scanEnds) {
            break;
        }
        ASSERT_LT(ticks, 300);
    }
    EXPECT_EQ(ticks, 252);
    EXPECT_EQ(maxGauge, 250); // 251 shows for the moment of the last tick only
    EXPECT_EQ(address, 0);
}

TEST(ScanStep, ProbeCarriesTheLowEightBits) {
    // Addresses the scan never reaches still give a well-formed probe byte.
    EXPECT_EQ(scanStep(256 + 7).probeAddress, 7);
    EXPECT_EQ(scanStep(-1).probeAddress, 0xFF);
    EXPECT_TRUE(scanStep(1000).scanEnds);
}

TEST(UnitAddressFromLine, DecimalNumbers) {
    EXPECT_EQ(unitAddressFromLine("253"), 253);
    EXPECT_EQ(unitAddressFromLine("0"), 0);
    EXPECT_EQ(unitAddressFromLine("7"), 7);
    EXPECT_EQ(unitAddressFromLine(" 12 "), 12);
    EXPECT_EQ(unitAddressFromLine("007"), 7); // decimal, not octal
    EXPECT_EQ(unitAddressFromLine("-4"), -4);
    EXPECT_EQ(unitAddressFromLine("+9"), 9);
    EXPECT_EQ(unitAddressFromLine("300"), 300); // the spin edit brings it into range
}

TEST(UnitAddressFromLine, AnythingElseIsUnitOne) {
    for (const char* line : {"abc", "", " ", "12a", "0x10", "$FF", "1 2", "+-5", "-", "2.5",
                             "99999999999", "-99999999999"}) {
        EXPECT_EQ(unitAddressFromLine(line), 1) << '"' << line << '"';
    }
    EXPECT_EQ(unitAddressFromLine(std::to_string(INT_MAX)), INT_MAX);
}

} // namespace
