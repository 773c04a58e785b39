// Opening the port: names, refusals and their result codes, exclusivity, line settings.

#include "engine_fixture.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A private temporary folder, removed with its contents at the end of the test.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zelk-engine-XXXXXX";
        if (::mkdtemp(tmpl.data()) != nullptr)
            path_ = tmpl;
    }
    ~TempDir() {
        for (const auto& f : files_)
            ::unlink(f.c_str());
        if (!path_.empty())
            ::rmdir(path_.c_str());
    }
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

// Expects that nothing was reported and no worker runs (a refused open raises no event).
void expect_silent_refusal(const Tserial_event& link, const LinkRecorder& recorder) {
    EXPECT_FALSE(recorder.wait_count(LINK_OPENED, 1, std::chrono::milliseconds(kQuietWindowMs)));
    EXPECT_EQ(recorder.total(), 0) << "a refused open raised an event";
    EXPECT_FALSE(link.worker_running());
}

} // namespace

TEST(EngineNames, DevicePathMapsComNamesAndKeepsPathsWhole) {
    EXPECT_EQ(Tserial_event::device_path("COM1"), "/dev/ttyS0");
    EXPECT_EQ(Tserial_event::device_path("COM7"), "/dev/ttyS6");
    EXPECT_EQ(Tserial_event::device_path("COM12"), "/dev/ttyS11");
    EXPECT_EQ(Tserial_event::device_path("/dev/pts/12"), "/dev/pts/12");
    EXPECT_EQ(Tserial_event::device_path("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI"),
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI");
    EXPECT_EQ(Tserial_event::device_path("ttyUSB0"), "/dev/ttyUSB0");
}

using EngineOpen = EngineTest;

TEST_F(EngineOpen, NullNameIsRefusedWithNoNameAndNoEvent) {
    EXPECT_EQ(link->open_port(nullptr, 57600, 0, 8, false), OPEN_ERR_NO_NAME);
    expect_silent_refusal(*link, recorder);
}

TEST_F(EngineOpen, MissingDeviceIsRefusedWithDeviceErrorAndNoEvent) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string missing = dir.path() + "/no-such-serial-device";
    EXPECT_EQ(link->open_port(missing.c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE);
    EXPECT_NE(::access(missing.c_str(), F_OK), 0) << "opening created the device path";

    // A COM name resolving to a device that does not exist.
    ASSERT_NE(::access(Tserial_event::device_path("COM99").c_str(), F_OK), 0);
    EXPECT_EQ(link->open_port("COM99", 57600, 0, 8, false), OPEN_ERR_DEVICE);
    expect_silent_refusal(*link, recorder);
}

TEST_F(EngineOpen, PathsThatAreNoTerminalAreRefused) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string file = dir.file("not-a-port");
    const std::string content = "untouched";
    {
        FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(content.c_str(), f);
        std::fclose(f);
    }
    EXPECT_EQ(link->open_port(file.c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE) << "regular file";
    EXPECT_EQ(link->open_port(dir.path().c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE)
        << "directory";
    EXPECT_EQ(link->open_port("/dev/null", 57600, 0, 8, false), OPEN_ERR_DEVICE)
        << "character device that is no terminal";
    expect_silent_refusal(*link, recorder);

    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(size_t(st.st_size), content.size()) << "the refused file was changed";
}

TEST_F(EngineOpen, PtyOpensByItsFullDevicePath) {
    // Every pty path (/dev/pts/N) is at least ten characters long.
    ASSERT_GE(pty.slave_path().size(), 10u);
    open_console_style();
    EXPECT_TRUE(link->worker_running());
    EXPECT_EQ(link->get_port_name(), pty.slave_path());

    // The open port really is this pty: bytes pass both ways.
    const auto out = pattern(12, 1);
    link->send_bytes(out.data(), int(out.size()));
    EXPECT_EQ(pty.read_exact(out.size(), 3000), out);
    const auto in = pattern(9, 2);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_bytes(in.size(), kArrive));
    EXPECT_EQ(recorder.received_bytes(), in);
}

TEST_F(EngineOpen, LongNameThroughASymlinkOpensAndIsKeptWhole) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string alias =
        dir.file("robot-link-with-a-name-far-longer-than-any-fixed-field-0123456789");
    ASSERT_EQ(::symlink(pty.slave_path().c_str(), alias.c_str()), 0);

    link->set_read_chunk(32);
    ASSERT_EQ(link->open_port(alias.c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_count(LINK_OPENED, 1, kArrive));
    EXPECT_EQ(link->get_port_name(), alias);

    const auto in = pattern(20, 3);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_bytes(in.size(), kArrive));
    EXPECT_EQ(recorder.received_bytes(), in);
}

TEST_F(EngineOpen, SecondOpenOfTheSameDeviceIsRefusedUntilTheFirstCloses) {
    open_console_style();

    LinkRecorder other_recorder;
    {
        Tserial_event other;
        other_recorder.attach(other);
        EXPECT_EQ(other.open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE);
        expect_silent_refusal(other, other_recorder);
    }

    // The refused attempt did not disturb the first connection.
    EXPECT_TRUE(link->worker_running());
    EXPECT_EQ(recorder.count(LINK_CLOSED), 0);
    const auto in = pattern(6, 4);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_bytes(in.size(), kArrive));
    EXPECT_EQ(recorder.received_bytes(), in);

    // Once the first engine lets go, the device can be opened again.
    link->close_port();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    Tserial_event third;
    LinkRecorder third_recorder;
    third_recorder.attach(third);
    EXPECT_EQ(third.open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    EXPECT_TRUE(third_recorder.wait_count(LINK_OPENED, 1, kArrive));
    third.close_port();
    EXPECT_TRUE(third_recorder.wait_count(LINK_CLOSED, 1, kArrive));
}

TEST_F(EngineOpen, LineSettingsReplaceWhateverTheLineHadBefore) {
    ASSERT_TRUE(pty.cook_line());
    open_console_style();

    termios t{};
    ASSERT_TRUE(pty.get_line(t));
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B57600));
    EXPECT_EQ(::cfgetispeed(&t), speed_t(B57600));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & PARENB, 0u) << "parity code 0 is no parity";
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u) << "one stop bit";
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u) << "no hardware flow control";
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u) << "no software flow control";
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | BRKINT | PARMRK), 0u)
        << "input passes untranslated";
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << "output passes untranslated";
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u) << "raw, no echo";
}

TEST_F(EngineOpen, RawLineCarriesEveryByteValueBothWays) {
    ASSERT_TRUE(pty.cook_line());
    recorder.set_auto_acknowledge(true);
    open_console_style();

    // Robot to console: all 256 values, including CR, LF, ^C, ^S, ^Q, ^D, DEL, 0 and 255.
    std::vector<uint8_t> every(256);
    for (int i = 0; i < 256; ++i)
        every[size_t(i)] = uint8_t(i);
    ASSERT_TRUE(pty.write_all(every));
    ASSERT_TRUE(recorder.wait_bytes(every.size(), kArrive));
    EXPECT_EQ(recorder.received_bytes(), every);
    EXPECT_TRUE(pty.read_for(100).empty()) << "the line echoed received bytes back";

    // Console to robot: 255 values (the largest send), none translated.
    link->send_bytes(every.data() + 1, 255);
    const auto got = pty.read_exact(255, 3000);
    EXPECT_EQ(got, std::vector<uint8_t>(every.begin() + 1, every.end()));
    EXPECT_TRUE(pty.read_for(100).empty()) << "output grew in translation";
}

// The cause of a refused device open, as the console reads it to tell a permission apart.
TEST_F(EngineOpen, LastOpenErrorTellsWhyTheDeviceDidNotOpen) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string missing = dir.path() + "/no-such-serial-device";
    EXPECT_EQ(link->open_port(missing.c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE);
    EXPECT_EQ(link->last_open_error(), ENOENT);

    const std::string file = dir.file("not-a-port");
    {
        FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_EQ(link->open_port(file.c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE);
    EXPECT_EQ(link->last_open_error(), ENODEV);
    EXPECT_EQ(link->open_port("/dev/null", 57600, 0, 8, false), OPEN_ERR_DEVICE);
    EXPECT_EQ(link->last_open_error(), ENOTTY);

    // A bare name with a slash stands for no device path: nothing was opened, no cause.
    EXPECT_EQ(link->open_port("a/b", 57600, 0, 8, false), OPEN_ERR_DEVICE);
    EXPECT_EQ(link->last_open_error(), 0);

    // A line held by another engine: busy, not a permission (root's open succeeds and only
    // the lock is refused; an ordinary user's open meets the exclusive mode).
    {
        Tserial_event holder;
        ASSERT_EQ(holder.open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
        EXPECT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE);
        const int cause = link->last_open_error();
        EXPECT_TRUE(cause == EWOULDBLOCK || cause == EBUSY) << cause;
        holder.close_port();
    }
    expect_silent_refusal(*link, recorder);

    // A successful open clears the cause of the one before.
    open_console_style();
    EXPECT_EQ(link->last_open_error(), 0);
}

TEST_F(EngineOpen, LastOpenErrorIsAPermissionForADeviceTheUserMayNotOpen) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which may open any device; scripts/test.sh runs the "
                        "engine tests as the user nobody too";
    ASSERT_EQ(::chmod(pty.slave_path().c_str(), 0), 0);
    EXPECT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_ERR_DEVICE);
    EXPECT_EQ(link->last_open_error(), EACCES);
    expect_silent_refusal(*link, recorder);
}
