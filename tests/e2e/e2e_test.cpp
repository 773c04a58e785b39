// The real console windows (offscreen) against the simulated robot over a pseudo-terminal,
// driven through their handlers as an operator would, with the console's own timers running.

#include "console/chart/telemetry_chart.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/recording_control.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/circle_shape.h"
#include "console/widgets/spin_edit.h"
#include "console/widgets/transparent_picture.h"
#include "recording/capture_format.h"
#include "tests/support/qt_wait.h"
#include "tests/support/sim_process.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

// Bound of a wait for the simulated robot: generous, for loaded machines and sanitizers.
constexpr int kE2eWaitMs = 10000;

// One run of the simulated robot, quiet but for its summary.
class Simulator : public SimProcess {
public:
    explicit Simulator(std::vector<std::string> args) : SimProcess(withQuiet(std::move(args))) {}

private:
    static std::vector<std::string> withQuiet(std::vector<std::string> args) {
        args.insert(args.begin(), "--quiet");
        return args;
    }
};

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() : form1(link, boxes, nullptr), form2(form1, boxes) {
        form1.setPanel(&form2);
        form1.show();
        form2.show();
    }
    ~EndToEnd() override { form1.Button2Click(); }

    void connectTo(const Simulator& sim) {
        ASSERT_FALSE(sim.path().empty()) << "the simulator did not start";
        form2.ComboBox1->setEditText(QString::fromStdString(sim.path()));
        ASSERT_EQ(form1.portName, QString::fromStdString(sim.path()));
        const size_t before = boxes.calls().size();
        form2.SpeedButton1Click();
        ASSERT_TRUE(waitUntil([&] { return boxes.calls().size() > before; }, kE2eWaitMs));
        ASSERT_TRUE(boxes.calls().back().text.startsWith("Otwarto port " + form1.portName));
        ASSERT_TRUE(form1.portOpen.load());
    }
    QString listLine(int i) const { return form1.ListBox1->item(i)->text(); }
    QStringList panelList() const {
        QStringList lines;
        for (int i = 0; i < form2.ListBox1->count(); ++i)
            lines << form2.ListBox1->item(i)->text();
        return lines;
    }
    // Scans with the panel's scan button and timer up to the probe of `last`, then stops.
    void scanUpTo(int last) {
        form2.SpeedButton3Click();
        ASSERT_TRUE(form1.Timer1->isActive());
        ASSERT_TRUE(waitUntil([&] { return form1.scanAddress > last; }, kE2eWaitMs));
        pumpFor(300); // the last answers
        form2.SpeedButton3Click();
        ASSERT_FALSE(form1.Timer1->isActive());
    }

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1;
    TForm2 form2;
};

TEST_F(EndToEnd, ConnectQueryVersionsAndShowTelemetry) {
    Simulator sim({"--address", "253", "--soft-version", "4", "--hard-version", "22"});
    connectTo(sim);
    ASSERT_TRUE(waitUntil([&] { return form1.state.hardVersion == 22; }, kE2eWaitMs));
    EXPECT_EQ(form1.state.softVersion, 4);
    EXPECT_EQ(listLine(0), "Unit ID      :253");
    EXPECT_EQ(listLine(1), "Unit type    :ZELK24+M");
    EXPECT_EQ(listLine(2), "Soft ver.    :4");
    EXPECT_EQ(listLine(3), "hard ver.    :22");
    // Telemetry: a full battery, a calibrated accelerometer, points on the chart.
    ASSERT_TRUE(waitUntil([&] { return form1.Chart1->pointCount(0) >= 2; }, kE2eWaitMs));
    EXPECT_GE(form1.CGauge1->progress(), 70);
    EXPECT_EQ(form1.CGauge1->foreColor() == 65280 || form1.CGauge1->foreColor() == 32768, true);
    EXPECT_TRUE(form1.connection.decoder.autoZeroDone);
    EXPECT_TRUE(form1.Label22->text().startsWith("X"));
    EXPECT_GT(form1.state.sonarLeft, 0);
}

TEST_F(EndToEnd, LedClickedCommandedReportedAndShownLit) {
    Simulator sim({});
    connectTo(sim);
    ASSERT_TRUE(waitUntil([&] { return form1.state.hardVersion != -1; }, kE2eWaitMs));
    form1.Shape1MouseUp(form1.Shape3);
    ASSERT_TRUE(waitUntil([&] { return form1.state.ledReported[2]; }, kE2eWaitMs));
    EXPECT_EQ(form1.Shape3->fillColor(), 65280);
    EXPECT_EQ(form1.Label17->text(), "ON");
    EXPECT_EQ(form1.Shape3->penColor(), 16777215);
    EXPECT_TRUE(form1.Memo1->toPlainText().contains("> led status change"));
    EXPECT_EQ(form1.Shape1->fillColor(), 32768);
}

TEST_F(EndToEnd, ScanFindsTwoUnitsAndAssignedAddressIsFoundAgain) {
    Simulator sim({"--units", "3,6"});
    connectTo(sim);
    scanUpTo(8);
    EXPECT_EQ(panelList(), QStringList({"253", "3", "6"}));

    // Unit 6 gets the address 9 and answers the next scan there.
    form2.ListBox1->setCurrentRow(2);
    form2.ListBox1Click();
    ASSERT_EQ(form2.CSpinEdit1->value(), 6);
    form2.CSpinEdit2->setValue(9);
    boxes.queueAnswer(MessageBoxService::Yes);
    form2.SpeedButton7Click();
    EXPECT_EQ(boxes.calls().back().text, QString::fromUtf8("Czy nadać nowe ID?"));
    pumpFor(200);
    scanUpTo(10);
    EXPECT_EQ(panelList(), QStringList({"253", "3", "9"}));
}

TEST_F(EndToEnd, KnobDragDrivesTheRobot) {
    Simulator sim({});
    connectTo(sim);
    ASSERT_TRUE(waitUntil([&] { return form1.state.hardVersion != -1; }, kE2eWaitMs));
    ASSERT_TRUE(waitUntil([&] { return form1.Chart1->pointCount(0) >= 1; }, kE2eWaitMs));
    const int idle = form1.state.engineCurrentLeft;
    form1.Image5MouseDown(form1.Image3, 129, 130 - 100); // well forward
    ASSERT_TRUE(waitUntil([&] { return form1.state.engineCurrentLeft > idle + 20; }, kE2eWaitMs));
    EXPECT_GT(form1.CGauge13->progress(), idle);
    form1.Image5MouseUp(form1.Image5, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return form1.state.engineCurrentLeft <= idle + 5; }, kE2eWaitMs));
}

TEST_F(EndToEnd, DroppedLineEndsInClosedNoticeAndReconnectWorks) {
    {
        Simulator sim({"--drop-after", "1"});
        connectTo(sim);
        ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }, kE2eWaitMs));
        int closed = 0;
        for (const auto& call : boxes.calls())
            closed += call.text.startsWith("Zamknieto port") ? 1 : 0;
        EXPECT_EQ(closed, 1);
    }
    const size_t samples = form1.Chart1->pointCount(0);
    Simulator again({"--address", "253"});
    connectTo(again);
    ASSERT_TRUE(waitUntil([&] { return form1.Chart1->pointCount(0) > samples; }, kE2eWaitMs));
}

// A recording in the console's own threads, of a robot sending 100 frames/s: a row of every
// telemetry frame the readout counted, every chunk the worker delivered, the files complete when
// the line closes. A capture removed under the next recording stops it with a line in the log
// and a notice, and the link goes on.
TEST_F(EndToEnd, RecordsAConnectionAndStopsWhenItsCaptureIsRemoved) {
    char name[] = "/tmp/zelk-e2e-recording-XXXXXX";
    const std::string folder = mkdtemp(name);
    const struct Removed {
        std::string folder;
        ~Removed() { std::filesystem::remove_all(folder); }
    } removed{folder};
    form1.Recording->setFolder(QString::fromStdString(folder));
    form1.Recording->start();
    {
        Simulator sim({"--period", "10"});
        connectTo(sim);
        ASSERT_TRUE(
            waitUntil([&] { return form1.linkHealth().telemetryAccepted() >= 150; }, kE2eWaitMs));
        form1.Button2Click();
        ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }, kE2eWaitMs));
    }
    EXPECT_FALSE(form1.Recording->recording()) << "the recording ends with the connection";
    const LinkRecorder::Status status = form1.recorder.status();
    EXPECT_EQ(status.lost, 0u);
    EXPECT_EQ(status.csvRows, uint64_t(form1.linkHealth().telemetryAccepted()));
    std::ifstream in(status.capturePath);
    CaptureError error;
    const std::optional<Capture> capture = readCapture(in, error);
    ASSERT_TRUE(capture) << error.line << ": " << error.message;
    EXPECT_TRUE(capture->ended);
    FrameReader frames;
    int telemetry = 0;
    for (const CaptureLine& line : capture->lines) {
        if (line.kind != CaptureKind::Rx)
            continue;
        frames.read(line.bytes.data(), int(line.bytes.size()));
        while (const auto item = frames.next())
            telemetry += item->kind == ReplyKind::Telemetry ? 1 : 0;
    }
    EXPECT_EQ(uint64_t(telemetry), status.csvRows);
    EXPECT_TRUE(form1.Memo1->toPlainText().contains("> recording saved: "));

    form1.Recording->start();
    Simulator sim({});
    connectTo(sim);
    ASSERT_TRUE(waitUntil([&] { return !form1.recorder.status().capturePath.empty(); }));
    const size_t boxes = this->boxes.calls().size();
    std::filesystem::remove(form1.recorder.status().capturePath);
    ASSERT_TRUE(waitUntil([&] { return this->boxes.calls().size() > boxes; }, kE2eWaitMs));
    EXPECT_EQ(this->boxes.calls().back().caption, "Nagrywanie");
    EXPECT_FALSE(form1.Recording->recording());
    EXPECT_TRUE(form1.Memo1->toPlainText().contains("was removed"));
    const int accepted = form1.linkHealth().telemetryAccepted();
    EXPECT_TRUE(waitUntil([&] { return form1.linkHealth().telemetryAccepted() > accepted + 5; },
                          kE2eWaitMs));
    EXPECT_TRUE(form1.portOpen.load());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
