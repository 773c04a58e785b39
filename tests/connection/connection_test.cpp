// The connect and disconnect commands, the link notices and the hand-over of received data,
// against a real pseudo-terminal.

#include "console/port_connection.h"
#include "tests/support/pty_peer.h"
#include "tests/support/qt_wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct RecordingDisplay : RobotDisplay {
    std::vector<std::string> calls;
    int lastSonarLeft = -1;
    void showUnitDetected(int, int) override { calls.push_back("unit"); }
    void showSoftVersion(int, int) override { calls.push_back("soft"); }
    void showHardVersion(int, int, const char*) override { calls.push_back("hard"); }
    void showBattery(float) override { calls.push_back("battery"); }
    void showLineSensors(const RobotState&) override { calls.push_back("lines"); }
    void showLeds(const RobotState&) override { calls.push_back("leds"); }
    void showEngineCurrentLeft(const RobotState&) override { calls.push_back("currentL"); }
    void showEngineCurrentRight(const RobotState&) override { calls.push_back("currentR"); }
    void showSonarLeft(const RobotState& s) override {
        calls.push_back("sonarL");
        lastSonarLeft = s.sonarLeft;
    }
    void showSonarRight(const RobotState&) override { calls.push_back("sonarR"); }
    void showAcceleration(const RobotState&) override { calls.push_back("accel"); }
    void chartSampleStep(const RobotState&) override { calls.push_back("chart"); }
};

std::vector<uint8_t> telemetry(uint8_t sonarLeft) {
    std::vector<uint8_t> f = {0xFC,      0xFD, 0xE5, 62,  0,   0, 10, 20,
                              sonarLeft, 40,   128,  128, 200, 0, 0,  0};
    uint8_t sum = 0;
    for (int i = 3; i <= 14; ++i)
        sum = uint8_t(sum + f[size_t(i)]);
    f[15] = sum;
    return f;
}

const QString kOpenFailedCaption = QStringLiteral("Blad otwarcia portu COM");

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        link = std::make_unique<Tserial_event>();
        connection = std::make_unique<PortConnection>(*link, boxes, state, display);
        connection->portName = QString::fromStdString(peer.path());
    }
    void TearDown() override {
        connection.reset();
        link.reset();
    }

    int countText(const QString& prefix) const {
        int n = 0;
        for (const auto& call : boxes.calls())
            n += call.text.startsWith(prefix) ? 1 : 0;
        return n;
    }

    void connectAndWaitForNotice() {
        connection->Button1Click();
        ASSERT_TRUE(waitUntil([&] { return countText("Otwarto port") == 1; }));
    }

    PtyPeer peer;
    RecordingMessageBoxService boxes;
    RobotState state;
    RecordingDisplay display;
    std::unique_ptr<Tserial_event> link;
    std::unique_ptr<PortConnection> connection;
};

TEST_F(ConnectionTest, GoodConnectShowsOpenedNoticeWithPortOpenAlreadySet) {
    bool openDuringNotice = false;
    boxes.setOnShow([&](const RecordingMessageBoxService::Call&) {
        openDuringNotice = connection->portOpen.load();
    });
    connectAndWaitForNotice();
    const auto& call = boxes.calls().at(0);
    EXPECT_EQ(
        call.text,
        QString("Otwarto port %1\n Predkosc: 57600 kb/s").arg(QString::fromStdString(peer.path())));
    EXPECT_EQ(call.caption, "OK");
    EXPECT_EQ(call.buttons, MessageBoxService::Buttons::Ok);
    EXPECT_EQ(call.icon, MessageBoxService::Icon::Information);
    EXPECT_TRUE(openDuringNotice);
    EXPECT_TRUE(connection->portOpen.load());
    EXPECT_EQ(connection->noticeText, call.text);
}

TEST_F(ConnectionTest, ConnectWhileConnectedIsRefusedAndChangesNothing) {
    connectAndWaitForNotice();
    connection->Button1Click();
    ASSERT_EQ(boxes.calls().size(), 2u);
    EXPECT_EQ(boxes.calls()[1].text, "Jeden z portow juz zostal otwarty.");
    EXPECT_EQ(boxes.calls()[1].caption, kOpenFailedCaption);
    EXPECT_TRUE(link->worker_running());
    EXPECT_TRUE(connection->portOpen.load());
}

TEST_F(ConnectionTest, SecondConnectBeforeOpenedNoticeDoesNotOpenTwice) {
    connection->Button1Click();
    connection->Button1Click(); // LINK_OPENED not handled on this thread yet
    ASSERT_TRUE(waitUntil([&] { return countText("Otwarto port") == 1; }));
    pumpFor(100);
    EXPECT_EQ(countText("Otwarto port"), 1);
    EXPECT_EQ(countText("Jeden z portow juz zostal otwarty."), 1);
    EXPECT_EQ(countText("Zamknieto port"), 0);
}

TEST_F(ConnectionTest, MissingPortShowsMessageWithNameAndNoNotice) {
    connection->portName = "/dev/zelk-no-such-port";
    connection->Button1Click();
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Nie mozna otworzyc portu /dev/zelk-no-such-port");
    EXPECT_EQ(boxes.calls()[0].caption, kOpenFailedCaption);
    pumpFor(100);
    EXPECT_EQ(boxes.calls().size(), 1u);
    EXPECT_FALSE(connection->portOpen.load());
    EXPECT_FALSE(link->worker_running());
}

TEST_F(ConnectionTest, OddPortNamesGiveAClearMessage) {
    const QString names[] = {QString(),
                             QString(10000, QChar('x')),
                             QString::fromUtf8("/dev/żółw"),
                             "/etc/hostname",
                             "/tmp",
                             "%1%2%s%n"};
    for (const QString& name : names) {
        boxes.clear();
        connection->portName = name;
        connection->Button1Click();
        ASSERT_EQ(boxes.calls().size(), 1u) << name.left(40).toStdString();
        EXPECT_EQ(boxes.calls()[0].text, "Nie mozna otworzyc portu " + name);
        EXPECT_FALSE(connection->portOpen.load());
    }
}

TEST_F(ConnectionTest, DisconnectWhileNotConnectedDoesNothing) {
    connection->Button2Click();
    pumpFor(100);
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_FALSE(connection->portOpen.load());
}

TEST_F(ConnectionTest, DisconnectShowsClosedNoticeThenClearsPortOpen) {
    connectAndWaitForNotice();
    bool openDuringClosedNotice = false;
    boxes.setOnShow([&](const RecordingMessageBoxService::Call& call) {
        if (call.text.startsWith("Zamknieto port"))
            openDuringClosedNotice = connection->portOpen.load();
    });
    connection->Button2Click();
    ASSERT_TRUE(waitUntil([&] { return countText("Zamknieto port") == 1; }));
    EXPECT_EQ(boxes.calls().back().text, "Zamknieto port " + QString::fromStdString(peer.path()));
    EXPECT_EQ(boxes.calls().back().caption, "OK");
    EXPECT_TRUE(openDuringClosedNotice);
    EXPECT_FALSE(connection->portOpen.load());
}

TEST_F(ConnectionTest, ClosedNoticeNamesThePortChosenSinceConnecting) {
    connectAndWaitForNotice();
    connection->portName = "COM3";
    connection->Button2Click();
    ASSERT_TRUE(waitUntil([&] { return countText("Zamknieto port") == 1; }));
    EXPECT_EQ(boxes.calls().back().text, "Zamknieto port COM3");
}

TEST_F(ConnectionTest, DisconnectDuringPendingNoticeDoesNotFreeze) {
    qint64 elapsed = -1;
    boxes.setOnShow([&](const RecordingMessageBoxService::Call& call) {
        if (!call.text.startsWith("Otwarto port"))
            return;
        QElapsedTimer timer;
        timer.start();
        connection->Button2Click(); // the operator disconnects while the notice is up
        elapsed = timer.elapsed();
    });
    connection->Button1Click();
    ASSERT_TRUE(waitUntil([&] { return countText("Zamknieto port") == 1; }));
    EXPECT_GE(elapsed, 0);
    EXPECT_LT(elapsed, 500) << "close_port waited for the GUI thread";
    EXPECT_FALSE(connection->portOpen.load());
    EXPECT_EQ(boxes.calls().size(), 2u); // opened, then closed, in that order
    EXPECT_TRUE(boxes.calls()[0].text.startsWith("Otwarto port"));
}

TEST_F(ConnectionTest, VanishedDeviceShowsClosedNoticeOnceAndReconnectWorks) {
    connectAndWaitForNotice();
    peer.hangUp();
    ASSERT_TRUE(waitUntil([&] { return countText("Zamknieto port") == 1; }));
    pumpFor(100);
    EXPECT_EQ(countText("Zamknieto port"), 1);
    EXPECT_FALSE(connection->portOpen.load());

    PtyPeer again;
    ASSERT_TRUE(again.ok());
    connection->portName = QString::fromStdString(again.path());
    connection->Button1Click();
    ASSERT_TRUE(waitUntil([&] { return countText("Otwarto port") == 2; }));
    EXPECT_TRUE(connection->portOpen.load());
}

TEST_F(ConnectionTest, ReceivedTelemetryIsDecodedShownAndAcknowledged) {
    connectAndWaitForNotice();
    peer.write(telemetry(33));
    ASSERT_TRUE(waitUntil([&] { return display.lastSonarLeft == 33; }));
    EXPECT_EQ(state.sonarLeft, 33);
    // A second frame arrives only if the first was acknowledged.
    peer.write(telemetry(44));
    ASSERT_TRUE(waitUntil([&] { return display.lastSonarLeft == 44; }));
}

TEST_F(ConnectionTest, ChunkWhilePortNotMarkedOpenIsIgnoredButAcknowledged) {
    connectAndWaitForNotice();
    connection->portOpen.store(false);
    peer.write(telemetry(55));
    pumpFor(200);
    EXPECT_TRUE(display.calls.empty());
    EXPECT_EQ(state.sonarLeft, 0);
    connection->portOpen.store(true);
    peer.write(telemetry(66));
    ASSERT_TRUE(waitUntil([&] { return display.lastSonarLeft == 66; }));
}

TEST_F(ConnectionTest, ShutdownWithPortOpenAndDataFlowingStopsTheWorker) {
    connectAndWaitForNotice();
    for (int i = 0; i < 5; ++i)
        peer.write(telemetry(uint8_t(i)));
    connection.reset();
    EXPECT_FALSE(link->worker_running());
    pumpFor(50); // nothing queued for the destroyed connection may run
}

// ------------------------------------------------------ the last frame before letting go

const std::vector<uint8_t> kLastFrame = {0xFE, 0xFD, 0xE9, 0xE9};

class LastFrameTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        connection->setLastFrame([this] {
            ++offered;
            link->send_bytes(kLastFrame.data(), int(kLastFrame.size()));
        });
    }
    int offered = 0;
};

TEST_F(LastFrameTest, DisconnectWritesItAfterAPendingWriteAndBeforeTheClose) {
    connectAndWaitForNotice();
    for (int round = 0; round < 20; ++round) {
        // A long write just offered: the frame would be refused, or its write overtaken by
        // the close, without the waits.
        std::vector<uint8_t> block(200, uint8_t(round));
        link->send_bytes(block.data(), int(block.size()));
        connection->Button2Click();
        EXPECT_FALSE(link->worker_running());
        std::vector<uint8_t> expected = block;
        expected.insert(expected.end(), kLastFrame.begin(), kLastFrame.end());
        EXPECT_EQ(peer.read(100), expected) << "round " << round;
        ASSERT_TRUE(waitUntil([&] { return countText("Zamknieto port") == round + 1; }));
        connection->Button1Click();
        ASSERT_TRUE(waitUntil([&] { return countText("Otwarto port") == round + 2; }));
    }
    EXPECT_EQ(offered, 20);
}

TEST_F(LastFrameTest, WaitIsBoundedWhenTheLineDoesNotDrain) {
    connectAndWaitForNotice();
    // Nobody reads the robot's side: sends fill the line until a write stays under way.
    const std::vector<uint8_t> block(255, 0x55);
    bool stuck = false;
    for (int i = 0; i < 4000 && !stuck; ++i) {
        link->send_bytes(block.data(), int(block.size()));
        stuck = !link->wait_write_done(300);
    }
    ASSERT_TRUE(stuck);
    QElapsedTimer timer;
    timer.start();
    connection->Button2Click();
    const qint64 elapsed = timer.elapsed();
    EXPECT_GE(elapsed, PortConnection::lastFrameWaitMs - 1);
    EXPECT_LT(elapsed, 100 + 400) << "the wait for the write must stay bounded";
    EXPECT_EQ(offered, 0) << "offered while it could only be refused";
    EXPECT_FALSE(link->worker_running());
}

TEST_F(LastFrameTest, LineAlreadyGoneGetsNothingAndNoWait) {
    connectAndWaitForNotice();
    peer.hangUp();
    // The worker has ended; its closed notice has not been handled yet (portOpen still set).
    QElapsedTimer timer;
    timer.start();
    while (link->worker_running() && timer.elapsed() < 3000)
        QThread::msleep(1);
    ASSERT_FALSE(link->worker_running());
    ASSERT_TRUE(connection->portOpen.load());
    timer.restart();
    connection->Button2Click();
    EXPECT_LT(timer.elapsed(), 50);
    EXPECT_EQ(offered, 0);
    ASSERT_TRUE(waitUntil([&] { return countText("Zamknieto port") == 1; }));
}

TEST_F(LastFrameTest, DisconnectWhileNotConnectedOffersNothing) {
    connection->Button2Click();
    EXPECT_EQ(offered, 0);
}

TEST_F(LastFrameTest, ShutdownWritesItStopsTheWorkerAndShowsNoNotice) {
    connectAndWaitForNotice();
    connection->shutdown();
    EXPECT_FALSE(link->worker_running());
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(peer.read(100), kLastFrame);
    pumpFor(100);
    EXPECT_EQ(countText("Zamknieto port"), 0) << "a notice while the window closes";
    connection->shutdown(); // once only
    EXPECT_EQ(offered, 1);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
