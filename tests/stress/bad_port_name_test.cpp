// Port names an operator may type that name no usable serial line: each gives the message that
// the port did not open, leaves the port closed, writes to nothing and waits for nothing.

#include "console/form1.h"
#include "console/form2.h"
#include "tests/stress/stress_support.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace stress;

const QString kOpenFailedCaption = QStringLiteral("Blad otwarcia portu COM");

class BadPortName : public ::testing::Test {
protected:
    BadPortName() : form1(link, boxes, nullptr), form2(form1, boxes) {
        form1.setPanel(&form2);
        form1.show();
        form2.show();
        char name[] = "/tmp/zelk-stress-XXXXXX";
        if (mkdtemp(name) != nullptr)
            dir = name;
    }
    ~BadPortName() override {
        form1.Button2Click();
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }

    // Connects to name; expects the open-failure message for it, no notice, the port closed,
    // and the command back within a second.
    void expectRefused(const QString& name) {
        SCOPED_TRACE(name.left(60).toStdString());
        boxes.clear();
        form1.portName = name;
        QElapsedTimer clock;
        clock.start();
        form1.Button1Click();
        EXPECT_LT(clock.elapsed(), 1000) << "the connect command waited";
        ASSERT_EQ(boxes.calls().size(), 1u);
        EXPECT_EQ(boxes.calls()[0].text, "Nie mozna otworzyc portu " + name);
        EXPECT_EQ(boxes.calls()[0].caption, kOpenFailedCaption);
        EXPECT_FALSE(link.worker_running());
        pumpFor(60);
        EXPECT_EQ(boxes.calls().size(), 1u) << "a notice followed the refusal";
        EXPECT_FALSE(form1.portOpen.load());
        EXPECT_FALSE(form1.connection.connectionActive());
    }

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1;
    TForm2 form2;
    std::string dir;
};

struct FileMark {
    std::string content;
    timespec modified{};
    off_t size = -1;
    bool operator==(const FileMark& o) const {
        return content == o.content && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileMark markOf(const std::string& path) {
    FileMark mark;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    mark.content = text.str();
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        mark.modified = st.st_mtim;
        mark.size = st.st_size;
    }
    return mark;
}

TEST_F(BadPortName, NamesOfNothingUsable) {
    ASSERT_FALSE(dir.empty());
    const int fdsBefore = openDescriptors();
    expectRefused(QString());
    expectRefused(QString(10240, QChar('7')));
    expectRefused("COM" + QString(10240, QChar('1')));
    expectRefused("/" + QString(10240, QChar('x')));
    expectRefused(QString::fromUtf8("/dev/żółw"));
    expectRefused(QString::fromUtf8("COM\u0661")); // an Arabic-Indic one is no COM number
    expectRefused(QString::fromUtf8("\xF0\x9F\xA4\x96"));
    expectRefused("COM0");
    expectRefused("COM-1");
    expectRefused("../../etc/passwd");
    expectRefused("/tmp");
    expectRefused(QString::fromStdString(dir));
    expectRefused("/dev/null");
    expectRefused("null"); // looked up under /dev
    expectRefused("/dev/zero");
    EXPECT_EQ(openDescriptors(), fdsBefore) << "a refused name left a descriptor open";
}

TEST_F(BadPortName, RegularFileIsNotTouched) {
    const std::string path = dir + "/settings.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "keep me\n";
    }
    const std::string link = dir + "/ttyUSB9";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    const FileMark before = markOf(path);
    pumpFor(20); // a write now would move the modification time visibly
    expectRefused(QString::fromStdString(path));
    expectRefused(QString::fromStdString(link));
    EXPECT_TRUE(markOf(path) == before) << "the file changed";
}

TEST_F(BadPortName, FifoNeitherBlocksNorIsWritten) {
    const std::string path = dir + "/line";
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    // First without anybody at the other end (an open for writing alone would wait for one).
    expectRefused(QString::fromStdString(path));
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    expectRefused(QString::fromStdString(path));
    char byte;
    EXPECT_LT(read(reader, &byte, 1), 1) << "something was written into the fifo";
    close(reader);
}

TEST_F(BadPortName, NameWithAnEmbeddedNulIsNotCutShort) {
    // The part before the NUL names a working line; the name as a whole names nothing.
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    QString name = QString::fromStdString(peer.path());
    name += QChar(0);
    name += "x";
    expectRefused(name);
    EXPECT_TRUE(peer.read(100).empty());
}

TEST_F(BadPortName, DeviceTheUserMayNotOpen) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which may open any device; scripts/stress.sh runs "
                        "this case as the user nobody";
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(chmod(peer.path().c_str(), 0), 0);
    expectRefused(QString::fromStdString(peer.path()));
    EXPECT_TRUE(peer.read(100).empty());
}

TEST_F(BadPortName, LineHeldByAnotherConsoleStaysWithIt) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    Tserial_event holder;
    ASSERT_EQ(holder.open_port(peer.path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(waitUntil([&] { return holder.worker_running(); }));

    expectRefused(QString::fromStdString(peer.path()));
    EXPECT_TRUE(peer.read(100).empty()) << "the refused console wrote to the line";
    // The holder's connection is as it was: its bytes still reach the robot.
    const uint8_t frame[4] = {0xFE, 0xFD, 0xEB, 0x00};
    holder.send_bytes(frame, 4);
    EXPECT_EQ(peer.read(500), std::vector<uint8_t>(frame, frame + 4));
    EXPECT_TRUE(holder.worker_running());
    holder.close_port();
}

} // namespace
