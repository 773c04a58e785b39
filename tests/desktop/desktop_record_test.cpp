// Recording the link with the real console: a session with the simulated robot recorded through
// the control under the readout, played back by the simulator into a second console, and the
// telemetry CSVs of both compared; a folder that cannot be written; the chart's menu.

#include "protocol/frame_reader.h"
#include "recording/capture_format.h"
#include "tests/desktop/desktop_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <sys/stat.h>

namespace {

using namespace desktop;

constexpr int kRecordX = 986 + 25, kRecordY = 746 + 10;         // the button's main part
constexpr int kRecordMenuX = 986 + 66, kRecordMenuY = 746 + 10; // its arrow
constexpr int kChartX = 4 + 150, kChartY = 530 + 110;
constexpr int kLogX = 986 + 100, kLogY = 546 + 60;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> lines(const std::string& text, const char* end = "\n") {
    std::vector<std::string> out;
    for (size_t from = 0; from < text.size();) {
        const size_t at = text.find(end, from);
        out.push_back(text.substr(from, at - from));
        from = at == std::string::npos ? text.size() : at + std::strlen(end);
    }
    return out;
}

// The one file of a folder that ends in suffix; empty when there is none or more than one.
std::string onlyFile(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> found;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                found.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    return found.size() == 1 ? found[0] : std::string();
}

// The bytes of every "what HEX..." line of the simulator's log, in order.
std::vector<uint8_t> loggedBytes(const std::string& log, const std::string& what) {
    std::vector<uint8_t> bytes;
    for (const std::string& line : lines(log)) {
        const size_t at = line.find("] " + what + " ");
        if (at == std::string::npos)
            continue;
        std::istringstream words(line.substr(at + what.size() + 3));
        std::string word;
        while (words >> word)
            bytes.push_back(uint8_t(std::strtoul(word.c_str(), nullptr, 16)));
    }
    return bytes;
}

struct Recorded {
    Capture capture;
    std::vector<uint8_t> rx, tx; // the robot's bytes, and the frames the engine took
    int telemetryFrames = 0;     // whole telemetry frames in rx
    std::vector<std::string> csvRows;
};

Recorded readRecording(const std::string& capturePath, const std::string& csvPath) {
    Recorded r;
    std::ifstream in(capturePath);
    CaptureError error;
    const std::optional<Capture> capture = readCapture(in, error);
    EXPECT_TRUE(capture) << capturePath << ":" << error.line << ": " << error.message;
    if (!capture)
        return r;
    r.capture = *capture;
    FrameReader reader;
    for (const CaptureLine& line : capture->lines) {
        std::vector<uint8_t>& into = line.kind == CaptureKind::Rx ? r.rx : r.tx;
        if (line.kind == CaptureKind::Rx || line.kind == CaptureKind::Tx)
            into.insert(into.end(), line.bytes.begin(), line.bytes.end());
        if (line.kind != CaptureKind::Rx)
            continue;
        reader.read(line.bytes.data(), int(line.bytes.size()));
        while (const auto item = reader.next())
            r.telemetryFrames += item->kind == ReplyKind::Telemetry ? 1 : 0;
    }
    r.csvRows = lines(readAll(csvPath), "\r\n");
    if (!r.csvRows.empty())
        r.csvRows.erase(r.csvRows.begin()); // the header
    return r;
}

// A row without its time.
std::string values(const std::string& row) {
    return row.substr(row.find(','));
}

class DesktopRecord : public Desktop {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        base_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-home";
        startDisplay();
        ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
        ASSERT_NO_FATAL_FAILURE(startConsoleWithData(1));
    }
    void TearDown() override {
        Desktop::TearDown();
        run({"/bin/rm", "-rf", base_ + "-1", base_ + "-2"}, {});
    }

    // A console of its own in a home of its own, home(run), where its recordings go.
    void startConsoleWithData(int run) {
        startConsole(environmentWith({"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb",
                                      "LC_ALL=C.UTF-8", "XAUTHORITY", "WAYLAND_DISPLAY",
                                      "HOME=" + home(run), "XDG_DATA_HOME", "XDG_CONFIG_HOME"}));
    }
    std::string home(int run) const { return base_ + "-" + std::to_string(run); }
    std::string folder(int run) const { return home(run) + "/.local/share/ZELK controll"; }

    void clickMain(int x, int y, const char* button = "1") {
        const XWindow m = main();
        xdo({"mousemove", std::to_string(m.x + x), std::to_string(m.y + y), "click", button});
    }
    // The log's text, through its own copy (Ctrl+A, Ctrl+C) and the clipboard.
    std::string logText() {
        clickMain(kLogX, kLogY);
        xdo({"key", "ctrl+a", "ctrl+c"});
        std::string text;
        waitFor([&] {
            // The clipboard ends without a line break: one is added, so that the last line
            // comes through too.
            text =
                run({"/bin/sh", "-c", std::string(ZELK_X11_PROBE_PATH) + " clipboard; echo"}, env())
                    .out;
            return text.find("Initialising") != std::string::npos;
        });
        return text;
    }
    std::optional<XWindow> dialog(const std::string& title) {
        for (const XWindow& w : windows())
            if (w.viewable && w.netWmName == title)
                return w;
        return std::nullopt;
    }
    // Types a path into the file dialog titled title and accepts it.
    void answerFileDialog(const std::string& title, const std::string& path) {
        std::optional<XWindow> d;
        ASSERT_TRUE(waitFor([&] { return (d = dialog(title)).has_value(); }))
            << "no dialog \"" << title << "\"";
        ASSERT_TRUE(waitFor([&] { return focusWindow() == d->id; })) << "dialog without focus";
        xdo({"key", "ctrl+a"});
        xdo({"type", "--delay", "10", path});
        xdo({"key", "Return"});
        ASSERT_TRUE(waitFor([&] { return !dialog(title).has_value(); }))
            << "\"" << title << "\" still up";
    }
    // Records a session with the robot on the line; returns when the recording has ended with
    // the disconnect. The robot is held still first, so that the console has read everything
    // it wrote, which is then its log.
    void recordSession(int run, const std::function<bool()>& enough, std::string& robotLog) {
        clickMain(kRecordX, kRecordY);
        ASSERT_TRUE(waitFor([&] { return !onlyFile(folder(run), ".capture").empty(); }))
            << "no recording in " << folder(run);
        ASSERT_NO_FATAL_FAILURE(connectTyped());
        ASSERT_TRUE(waitFor(enough, 600000)) << sim_->log();
        screenshot("recording-" + std::to_string(run));
        ASSERT_EQ(kill(sim_->pid(), SIGSTOP), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        robotLog = sim_->log();
        ASSERT_NO_FATAL_FAILURE(clickPanel(kDisconnectX, kDisconnectY));
        ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
        ASSERT_EQ(kill(sim_->pid(), SIGCONT), 0);
        std::string capture;
        ASSERT_TRUE(waitFor([&] {
            const std::vector<std::string> l =
                lines(capture = readAll(onlyFile(folder(run), ".capture")));
            return l.size() > 1 && l.back().find(" end") != std::string::npos;
        })) << "the capture did not end";
        // The robot takes what the console wrote while it was held.
        size_t sent = 0;
        for (const std::string& line : lines(capture))
            sent += line.find(" tx ") != std::string::npos
                        ? (line.size() - line.find(" tx ") - 3) / 3
                        : 0;
        ASSERT_TRUE(waitFor([&] { return loggedBytes(sim_->log(), "rx").size() >= sent; }));
        ASSERT_TRUE(sim_->stop());
    }
    int csvRowsSoFar(int run) {
        return int(lines(readAll(onlyFile(folder(run), ".csv")), "\r\n").size()) - 2;
    }

    std::string base_;
};

TEST_F(DesktopRecord, ASessionPlayedBackGivesTheSameTelemetry) {
    // Seconds of telemetry to record, from a robot answering each poll (for longer runs and
    // timed telemetry: ZELK_RECORD_SECONDS, ZELK_RECORD_PERIOD in ms).
    const int seconds = std::max(3, std::atoi(std::getenv("ZELK_RECORD_SECONDS") ?: "5"));
    const char* period = std::getenv("ZELK_RECORD_PERIOD");
    startSim(period ? std::vector<std::string>{"--period", period} : std::vector<std::string>{});
    std::string log;
    const Clock::time_point from = Clock::now();
    ASSERT_NO_FATAL_FAILURE(recordSession(
        1,
        [&] {
            return Clock::now() - from >= std::chrono::seconds(seconds) &&
                   csvRowsSoFar(1) >= seconds * 18;
        },
        log));
    const Recorded first =
        readRecording(onlyFile(folder(1), ".capture"), onlyFile(folder(1), ".csv"));
    ASSERT_GE(first.csvRows.size(), size_t(seconds * 18));

    // Every chunk the robot wrote, every frame the console sent, every telemetry frame as a row,
    // and as many as the console counted.
    const std::vector<uint8_t> written = loggedBytes(log, "tx");
    if (log.find("nobody reads the line any more") != std::string::npos) {
        // The robot threw away what waited while the opened notice was up.
        EXPECT_LE(first.rx.size(), written.size());
    } else if (period) {
        // A robot on its own beat wrote before the port opened too: from then on, everything.
        ASSERT_LE(first.rx.size(), written.size());
        EXPECT_TRUE(
            std::equal(first.rx.begin(), first.rx.end(), written.end() - long(first.rx.size())))
            << "the capture is not the end of what the robot wrote";
    } else {
        EXPECT_EQ(first.rx, written) << "the robot wrote " << written.size() << " bytes, the "
                                     << "capture holds " << first.rx.size();
    }
    EXPECT_EQ(first.tx, loggedBytes(sim_->log(), "rx"));
    EXPECT_EQ(first.csvRows.size(), size_t(first.telemetryFrames));
    const std::string said = readAll(outPath("console.log"));
    EXPECT_NE(said.find(": " + std::to_string(first.telemetryFrames) + " telemetry frames"),
              std::string::npos)
        << said;
    std::printf("recorded %zu rows, %d telemetry frames, %zu bytes from the robot\n",
                first.csvRows.size(), first.telemetryFrames, first.rx.size());

    // The capture played into a console of a fresh start, recorded again.
    ASSERT_NO_FATAL_FAILURE(startConsoleWithData(2));
    startSim({"--replay", onlyFile(folder(1), ".capture")});
    ASSERT_NO_FATAL_FAILURE(recordSession(
        2, [&] { return sim_->log().find("replay done") != std::string::npos; }, log));
    const Recorded second =
        readRecording(onlyFile(folder(2), ".capture"), onlyFile(folder(2), ".csv"));
    EXPECT_EQ(second.rx, first.rx);
    ASSERT_EQ(second.csvRows.size(), first.csvRows.size());
    for (size_t i = 0; i < first.csvRows.size(); ++i)
        ASSERT_EQ(values(second.csvRows[i]), values(first.csvRows[i])) << "row " << i + 1;
}

TEST_F(DesktopRecord, AFolderThatCannotBeWrittenStopsTheRecordingAndTheLinkGoesOn) {
    // sysfs takes no new file from anyone, root included.
    struct stat st {};
    if (stat("/sys", &st) != 0 || !S_ISDIR(st.st_mode))
        GTEST_SKIP() << "no /sys here";
    startSim();
    clickMain(kRecordMenuX, kRecordMenuY);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xdo({"key", "f"}); // "Choose the folder..."
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Folder for recordings", "/sys"));
    clickMain(kRecordX, kRecordY);
    ASSERT_NO_FATAL_FAILURE(answerBox("Nagrywanie", "Return"));

    // The link as ever: connected, polled, telemetry shown; the log says why the recording
    // stopped.
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    const size_t polls = frames().size();
    EXPECT_TRUE(waitPolls(int(polls) + 10, 100, 100));
    const std::string text = logText();
    EXPECT_NE(text.find("> recording stopped: cannot create /sys/zelk-"), std::string::npos)
        << text;
    EXPECT_NE(text.find("  > unit hard ver="), std::string::npos) << text;
    screenshot("unwritable");
}

TEST_F(DesktopRecord, TheChartIsSavedCopiedExportedAndPausedThroughItsMenu) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // a few chart samples
    const auto menuItem = [&](const char* key, const std::string& shot) {
        clickMain(kChartX, kChartY, "3");
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        if (!shot.empty())
            screenshot(shot);
        xdo({"key", key});
    };
    const auto pngSize = [](const std::string& path) {
        const std::string png = readAll(path);
        // The width and height of the IHDR chunk, big-endian after the signature.
        const auto at = [&png](size_t i) {
            return int(uint8_t(png[i])) << 24 | int(uint8_t(png[i + 1])) << 16 |
                   int(uint8_t(png[i + 2])) << 8 | int(uint8_t(png[i + 3]));
        };
        return png.size() > 24 && png.compare(1, 3, "PNG") == 0 ? std::pair(at(16), at(20))
                                                                : std::pair(0, 0);
    };

    const std::string picture = outPath("saved-chart.png"), copied = outPath("copied-chart.png"),
                      data = outPath("exported-chart.csv");
    for (const std::string& earlier : {picture, copied, data})
        unlink(earlier.c_str()); // of an earlier run: the dialog would ask to replace it
    menuItem("s", "chart-menu");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Save the chart as a picture", picture));
    ASSERT_TRUE(waitFor([&] { return pngSize(picture).first > 0; }));
    EXPECT_EQ(pngSize(picture), std::pair(283, 261));

    menuItem("c", "");
    ASSERT_TRUE(waitFor([&] {
        return run({ZELK_X11_PROBE_PATH, "clipboard-png", copied}, env()).status == 0;
    }));
    EXPECT_EQ(pngSize(copied), std::pair(283, 261));

    menuItem("e", "");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Export the chart's data", data));
    ASSERT_TRUE(waitFor([&] { return !readAll(data).empty(); }));
    const std::vector<std::string> rows = lines(readAll(data), "\r\n");
    ASSERT_GE(rows.size(), 3u) << readAll(data);
    EXPECT_EQ(rows[0].rfind("sample,time,accel_X", 0), 0u) << rows[0];
    EXPECT_EQ(rows[1].rfind("1,", 0), 0u) << rows[1];

    // Paused, the chart keeps still while samples come in; resumed, it shows them.
    const XWindow m = main();
    const auto chart = [&] { return pixels(m.x + 4, m.y + 530 + 21, 283, 200); }; // the plot
    menuItem("p", "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto still = chart();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500)); // some 8 samples
    EXPECT_EQ(chart(), still) << "the paused chart moved";
    screenshot("chart-paused");
    menuItem("p", "");
    EXPECT_TRUE(waitFor([&] { return chart() != still; }, 5000)) << "nothing new after resuming";
    screenshot("chart-resumed");

    // The dialogs kept nothing of their own: no settings, no history.
    EXPECT_EQ(run({"/usr/bin/find", home(1), "-path", "*/.config/*"}, {}).out, "");
}

} // namespace
