// What the panel sends, read at a pseudo-terminal peer: the scan's probes, the address
// assignment and the two program commands.

#include "panel_fixture.h"

#include "console/widgets/bar_gauge.h"
#include "console/widgets/flat_button.h"
#include "console/widgets/spin_edit.h"

#include <QListWidget>

namespace {

Bytes probe(int a) {
    return {0xFE, uint8_t(a), 0xD0, uint8_t(a)};
}

class PanelScanTest : public PanelLinkTest {
protected:
    void SetUp() override {
        PanelLinkTest::SetUp();
        // Ticks are driven by hand; the scan timer stays enabled but does not fire on its own.
        form1.Timer1->blockSignals(true);
    }
    void TearDown() override { form1.Timer1->blockSignals(false); }

    // One scan tick, and the frame it puts on the line.
    Bytes tick() {
        waitWriteDone();
        form1.Timer1Timer();
        return readBytes(peer, 4);
    }
};

TEST_F(PanelScanTest, FullScanProbes0To251AndEnds) {
    form2.ListBox1->addItem("5"); // left from an earlier scan
    form2.SpeedButton3->click();
    EXPECT_TRUE(form1.Timer1->isActive());
    EXPECT_EQ(listLines(), QStringList{"253"});
    EXPECT_EQ(form1.scanAddress, 0);
    EXPECT_EQ(form2.CGauge1->progress(), 0);

    for (int a = 0; a <= 251; ++a) {
        ASSERT_TRUE(form1.Timer1->isActive()) << "scan ended before probing " << a;
        ASSERT_EQ(tick(), probe(a)) << "tick " << a;
        if (a < 251) {
            EXPECT_EQ(form2.CGauge1->progress(), a);
            EXPECT_EQ(form1.scanAddress, a + 1);
        }
        // Units 9 and 40 answer; 40 answers twice and is listed twice. Each answer is followed
        // by a quiet gap so that it arrives in a read of its own.
        const int answers = a == 9 ? 1 : a == 40 ? 2 : 0;
        for (int n = 0; n < answers; ++n) {
            peer.write({0xFE, uint8_t(a), 0xD8, uint8_t(a)});
            pumpFor(120);
        }
    }
    EXPECT_FALSE(form1.Timer1->isActive());
    EXPECT_EQ(form1.scanAddress, 0);
    EXPECT_EQ(form2.CGauge1->progress(), 0);

    // Nothing beyond 251 was probed.
    waitWriteDone();
    EXPECT_TRUE(readBytes(peer, 4, 150).empty());

    EXPECT_TRUE(waitUntil([&] { return form2.ListBox1->count() >= 4; }));
    pumpFor(100);
    EXPECT_EQ(listLines(), (QStringList{"253", "9", "40", "40"}));

    // The next press starts a fresh scan from 0.
    form2.SpeedButton3->click();
    EXPECT_TRUE(form1.Timer1->isActive());
    EXPECT_EQ(listLines(), QStringList{"253"});
    EXPECT_EQ(tick(), probe(0));
}

TEST_F(PanelScanTest, StopMidScanKeepsTheListAndRestartsFromZero) {
    form2.SpeedButton3->click();
    for (int a = 0; a < 10; ++a) {
        ASSERT_EQ(tick(), probe(a));
    }
    form1.showUnitDetected(7, 7); // a unit found meanwhile
    ASSERT_EQ(listLines(), (QStringList{"253", "7"}));
    EXPECT_EQ(form2.CGauge1->progress(), 9);

    form2.SpeedButton3->click(); // stop
    EXPECT_FALSE(form1.Timer1->isActive());
    EXPECT_EQ(form1.scanAddress, 0);
    EXPECT_EQ(form2.CGauge1->progress(), 0);
    EXPECT_EQ(listLines(), (QStringList{"253", "7"}));
    EXPECT_TRUE(readBytes(peer, 4, 150).empty());

    form2.SpeedButton3->click(); // start again
    EXPECT_EQ(listLines(), QStringList{"253"});
    EXPECT_EQ(tick(), probe(0));
    EXPECT_EQ(tick(), probe(1));
    // The chosen unit is not touched by the scan.
    EXPECT_EQ(form2.CSpinEdit1->value(), 253);
}

TEST_F(PanelLinkTest, ScanTimerDrivesTheTicks) {
    // The real timer: one probe per 100 ms tick.
    form2.SpeedButton3->click();
    const Bytes first = readBytes(peer, 4, 1000);
    const Bytes second = readBytes(peer, 4, 1000);
    const Bytes third = readBytes(peer, 4, 1000);
    form2.SpeedButton3->click();
    EXPECT_EQ(first, probe(0));
    EXPECT_EQ(second, probe(1));
    EXPECT_EQ(third, probe(2));
    EXPECT_FALSE(form1.Timer1->isActive());
}

TEST_F(PanelLinkTest, AssignmentSendsOnlyAfterYes) {
    form2.CSpinEdit2->setValue(7);

    boxes.queueAnswer(MessageBoxService::No);
    form2.SpeedButton7->click();
    ASSERT_EQ(boxes.calls().size(), 2u); // the opened notice, then the question
    const auto& question = boxes.calls().back();
    EXPECT_EQ(question.text, QString::fromUtf8("Czy nadać nowe ID?"));
    EXPECT_EQ(question.caption, QString::fromUtf8("Czy nadać nowe ID?"));
    EXPECT_EQ(question.buttons, MessageBoxService::Buttons::YesNo);
    EXPECT_EQ(question.icon, MessageBoxService::Icon::Information);
    EXPECT_TRUE(readBytes(peer, 4, 200).empty());

    boxes.queueAnswer(MessageBoxService::Yes);
    waitWriteDone();
    form2.SpeedButton7->click();
    EXPECT_EQ(readBytes(peer, 4), (Bytes{0xFE, 0xFD, 0xCF, 0x07}));
    EXPECT_EQ(boxes.calls().size(), 3u);
    // The console keeps addressing the old address.
    EXPECT_EQ(form2.CSpinEdit1->value(), 253);
    EXPECT_EQ(form1.unitAddress(), 253);
}

TEST_F(PanelLinkTest, AssignmentCarriesBothAddresses) {
    form2.CSpinEdit1->setValue(0);
    form2.CSpinEdit2->setValue(255);
    boxes.queueAnswer(MessageBoxService::Yes);
    form2.SpeedButton7->click();
    EXPECT_EQ(readBytes(peer, 4), (Bytes{0xFE, 0x00, 0xCF, 0xFF}));
}

TEST_F(PanelLinkTest, ProgramCommandsGoToTheChosenUnit) {
    form2.SpeedButton4->click();
    EXPECT_EQ(readBytes(peer, 4), (Bytes{0xFE, 0xFD, 0xDA, 0x00}));
    waitWriteDone();
    form2.SpeedButton6->click();
    EXPECT_EQ(readBytes(peer, 4), (Bytes{0xFE, 0xFD, 0xDB, 0x00}));

    form2.CSpinEdit1->setValue(12);
    waitWriteDone();
    form2.SpeedButton4->click();
    EXPECT_EQ(readBytes(peer, 4), (Bytes{0xFE, 0x0C, 0xDA, 0x00}));
    // No question is asked for them, and SpeedButton5 sends nothing.
    EXPECT_EQ(boxes.calls().size(), 1u);
    waitWriteDone();
    form2.SpeedButton5->click();
    EXPECT_TRUE(readBytes(peer, 4, 200).empty());
}

TEST_F(PanelLinkTest, ConnectAndDisconnectButtons) {
    // Connected in SetUp through the main window; the panel's buttons do the same.
    form2.SpeedButton1->click(); // connect while connected: refused with its message
    ASSERT_EQ(boxes.calls().size(), 2u);
    EXPECT_EQ(boxes.calls().back().text, "Jeden z portow juz zostal otwarty.");

    form2.SpeedButton2->click();
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }));
    EXPECT_TRUE(boxes.calls().back().text.startsWith("Zamknieto port"));

    form2.SpeedButton1->click();
    EXPECT_TRUE(waitUntil([&] { return boxes.calls().back().text.startsWith("Otwarto port"); }));
    EXPECT_TRUE(form1.portOpen.load());
}

} // namespace
