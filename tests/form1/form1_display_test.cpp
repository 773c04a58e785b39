// Decoded replies as the operator sees them on the real dashboard.

#include "tests/form1/form1_fixture.h"

namespace {

using Display = Form1Test;

constexpr int kLime = 65280, kGreen = 32768, kMaroon = 128, kRed = 255, kBlack = 0;

TEST_F(Display, BatteryGaugeValueAndColourBands) {
    struct Case {
        uint8_t byte;
        int progress;
        int colour;
    };
    // Bands that do not blink, each on a fresh phase.
    for (const Case& c : {Case{63, 99, kLime}, Case{64, 100, kLime}, Case{0, 100, kLime},
                          Case{61, 71, kGreen}, Case{60, 57, 65535}, Case{59, 42, 33023}}) {
        TelemetryBytes t;
        t.battery = c.byte;
        receiveTelemetry(t);
        EXPECT_EQ(form1.CGauge1->progress(), c.progress) << int(c.byte);
        EXPECT_EQ(form1.CGauge1->foreColor(), c.colour) << int(c.byte);
    }
    EXPECT_EQ(form1.CGauge1->percentText(), "42%");
}

TEST_F(Display, LowBatteryBlinksFromFrameToFrame) {
    TelemetryBytes t;
    t.battery = 58; // 28 %
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        receiveTelemetry(t);
        seen.push_back(form1.CGauge1->foreColor());
    }
    EXPECT_EQ(seen, std::vector<int>({kMaroon, kRed, kMaroon, kRed}));
    EXPECT_EQ(form1.CGauge1->progress(), 28);

    t.battery = 57; // 14 %: maroon and black, phase carried on
    seen.clear();
    for (int i = 0; i < 3; ++i) {
        receiveTelemetry(t);
        seen.push_back(form1.CGauge1->foreColor());
    }
    EXPECT_EQ(seen, std::vector<int>({kMaroon, kBlack, kMaroon}));
}

TEST_F(Display, BlinkPhaseSurvivesAHealthyFrame) {
    TelemetryBytes t;
    std::vector<int> seen;
    for (uint8_t b : {62, 58, 62, 58}) {
        t.battery = b;
        receiveTelemetry(t);
        seen.push_back(form1.CGauge1->foreColor());
    }
    EXPECT_EQ(seen, std::vector<int>({kLime, kMaroon, kLime, kRed}));
}

TEST_F(Display, EngineCurrentsAndSonars) {
    struct Case {
        uint8_t raw;
        int bar;
        const char* text;
    };
    for (const Case& c : {Case{255, 100, "100 %"}, Case{50, 50, "19 %"}, Case{0, 0, "0 %"},
                          Case{128, 100, "50 %"}}) {
        TelemetryBytes t;
        t.currentL = c.raw;
        t.currentR = c.raw;
        receiveTelemetry(t);
        EXPECT_EQ(form1.CGauge13->progress(), c.bar);
        EXPECT_EQ(form1.Label19->text(), c.text);
        EXPECT_EQ(form1.CGauge14->progress(), c.bar);
        EXPECT_EQ(form1.Label20->text(), c.text);
    }
    TelemetryBytes t;
    t.sonarL = 180;
    t.sonarR = 7;
    receiveTelemetry(t);
    EXPECT_EQ(form1.CGauge6->progress(), 100);
    EXPECT_EQ(form1.Label13->text(), "180 %");
    EXPECT_EQ(form1.CGauge7->progress(), 7);
    EXPECT_EQ(form1.Label14->text(), "7 %");
}

TEST_F(Display, LedsAndLineSensors) {
    TelemetryBytes t;
    t.leds = 0x05;  // LED1 and LED3
    t.lines = 0x0A; // RU and RD
    receiveTelemetry(t);
    EXPECT_EQ(form1.Shape1->fillColor(), kLime);
    EXPECT_EQ(form1.Shape2->fillColor(), kGreen);
    EXPECT_EQ(form1.Shape3->fillColor(), kLime);
    EXPECT_EQ(form1.Label15->text(), "ON");
    EXPECT_EQ(form1.Label16->text(), "OFF");
    EXPECT_EQ(form1.Label17->text(), "ON");
    EXPECT_EQ(form1.Label18->text(), "OFF");
    EXPECT_EQ(form1.Image7->picture(), form1.Image12->picture());
    EXPECT_EQ(form1.Image8->picture(), form1.Image11->picture());
    EXPECT_EQ(form1.Image9->picture(), form1.Image12->picture());
    EXPECT_EQ(form1.Image10->picture(), form1.Image11->picture());
    EXPECT_NE(form1.Image11->picture(), form1.Image12->picture());
}

TEST_F(Display, AccelerationTextDotAndBars) {
    TelemetryBytes first; // the first frame calibrates: 128, 128, 128 become the zeros
    first.ax = first.ay = first.az = 128;
    receiveTelemetry(first);
    EXPECT_EQ(form1.Label22->text(), "X128,Y128,Z128");

    struct Case {
        int x, y, left, top;
    };
    for (const Case& c : {Case{0, 0, 133, 124}, Case{100, 0, 133, 226}, Case{-100, 0, 133, 21},
                          Case{127, -128, 2, 253}}) {
        TelemetryBytes t;
        t.ax = uint8_t(128 + c.x);
        t.ay = uint8_t(128 + c.y);
        t.az = 128;
        receiveTelemetry(t);
        EXPECT_EQ(form1.Image6->pos(), QPoint(c.left, c.top)) << c.x << "," << c.y;
    }
    EXPECT_EQ(form1.Label22->text(), "X127,Y-128,Z0");
    EXPECT_EQ(form1.CGauge8->progress(), 127);
    EXPECT_EQ(form1.CGauge9->progress(), 0); // negative shows an empty bar
    EXPECT_EQ(form1.CGauge10->progress(), 0);

    // Beyond the far edges the dot is held at the edge; nothing holds it at the near ones.
    form1.state.accelZeroX = -72; // raw 128 now reads 200
    form1.state.accelZeroY = 328; // raw 128 now reads -200
    receiveTelemetry(first);
    EXPECT_EQ(form1.Image6->pos(), QPoint(-70, 271));
}

TEST_F(Display, ChartGetsASampleEverySixthAcceptedFrame) {
    TelemetryBytes good;
    TelemetryBytes bad;
    bad.badSum = true;
    for (int frame = 1; frame <= 18; ++frame) {
        receiveTelemetry(good);
        receiveTelemetry(bad); // not counted
        const size_t expected = size_t(frame / 6);
        ASSERT_EQ(form1.Chart1->pointCount(0), expected) << frame;
    }
    for (int k = 0; k < 6; ++k) {
        ASSERT_EQ(form1.Chart1->pointCount(k), 3u);
        for (uint32_t i = 0; i < 3; ++i)
            EXPECT_EQ(form1.Chart1->point(k, i).x, i + 1);
    }
    EXPECT_EQ(form1.Chart1->point(3, 0).y, double(form1.state.batteryVolts));
    EXPECT_EQ(form1.Chart1->point(5, 0).color, 8388736); // purple points
    EXPECT_EQ(form1.Chart1->point(0, 0).color, 255);
    EXPECT_FALSE(form1.Chart1->seriesActive(3)); // fed while off
}

TEST_F(Display, IdentityRepliesFillTheListsAndTheLog) {
    receive({0xFE, 0xFD, 0xD8, 0xFD});
    receive({0xFE, 0x05, 0xD8, 0x06});
    receive({0xFE, 0x00, 0xD8, 0x00});
    receive({0xFE, 0x07, 0xEB, 0x03});
    receive({0xFE, 0x07, 0xEC, 0x07});
    ASSERT_EQ(form2.ListBox1->count(), 2);
    EXPECT_EQ(form2.ListBox1->item(0)->text(), "253");
    EXPECT_EQ(form2.ListBox1->item(1)->text(), "253"); // listed again, no duplicate check
    const QStringList log = logLines();
    EXPECT_EQ(log.mid(3),
              QStringList({"> unit detected, id=253", "> unit detected, id=5",
                           "> unit detected, id=0", "  > unit soft ver=3", "  > unit hard ver=7"}));
    EXPECT_EQ(form1.ListBox1->item(0)->text(), "Unit ID      :7");
    EXPECT_EQ(form1.ListBox1->item(1)->text(), "Unit type    :unknown");
    EXPECT_EQ(form1.ListBox1->item(2)->text(), "Soft ver.    :3");
    EXPECT_EQ(form1.ListBox1->item(3)->text(), "hard ver.    :7");
    EXPECT_EQ(form1.state.hardVersion, 7);

    receive({0xFE, 0x05, 0xD8, 0x06});
    EXPECT_EQ(form1.ListBox1->item(0)->text(), "Unit ID      :6");
    receive({0xFE, 0x09, 0xEC, 21});
    EXPECT_EQ(form1.ListBox1->item(1)->text(), "Unit type    :ZELK24+G");
}

TEST_F(Display, BadSumLeavesEverythingAsItWas) {
    TelemetryBytes t;
    t.sonarL = 40;
    t.leds = 1;
    receiveTelemetry(t);
    const QPixmap before = form1.grab();
    TelemetryBytes bad = t;
    bad.sonarL = 90;
    bad.leds = 0;
    bad.badSum = true;
    receiveTelemetry(bad);
    EXPECT_EQ(form1.Label13->text(), "40 %");
    EXPECT_EQ(form1.Shape1->fillColor(), kLime);
    EXPECT_EQ(form1.grab().toImage(), before.toImage());
}

} // namespace
