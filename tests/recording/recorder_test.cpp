// Recordings of the link: what the worker and the GUI thread hand over comes out as capture lines
// in time order and as CSV rows, read back by the capture's reader; a capture that is wrong is
// refused at its first wrong line; a full ring, a removed file, a file that may grow no more and
// a folder that cannot be made are told.

#include "recording/capture_format.h"
#include "recording/link_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <thread>

namespace {

struct TempFolder {
    TempFolder() {
        char name[] = "/tmp/zelk-recording-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A recording that began 10 s ago, so that items stamped within that time are old enough to be
// written at the writer's first look.
LinkRecorder::Start startIn(const std::string& folder, const std::string& port = "COM7") {
    LinkRecorder::Start s;
    s.folder = folder;
    s.port = port;
    s.monotonicUs = LinkRecorder::nowUs() - 10000000;
    s.epochUs = int64_t(time(nullptr)) * 1000000;
    return s;
}

Capture readBack(const std::string& path) {
    std::ifstream in(path);
    CaptureError error;
    const std::optional<Capture> capture = readCapture(in, error);
    EXPECT_TRUE(capture) << path << ":" << error.line << ": " << error.message;
    return capture.value_or(Capture{});
}

TEST(Recording, ChunksAndFramesOfBothThreadsComeOutAsLinesInTimeOrder) {
    TempFolder dir;
    LinkRecorder recorder;
    const LinkRecorder::Start start = startIn(dir.path, "/dev/serial/by-id/usb-FTDI 50% x");
    const int64_t t0 = start.monotonicUs;
    ASSERT_NE(recorder.start(start, nullptr), 0u);
    EXPECT_EQ(recorder.start(start, nullptr), 0u) << "a second recording at once";

    const uint8_t poll[4] = {0xFC, 0xFD, 0x64, 0x64}, query[4] = {0xFE, 0xFD, 0xEB, 0x00};
    uint8_t burst[40];
    for (int i = 0; i < 40; ++i)
        burst[i] = uint8_t(i);
    std::thread worker([&] {
        recorder.received(burst, 16, t0 + 3000);
        recorder.received(burst, 40, t0 + 4000); // longer than a console's read
    });
    // The GUI thread's items, one stamped before the worker's that it hands over after them.
    recorder.opened("/dev/ttyUSB0", t0 + 1000);
    recorder.sent(poll, 4, true, t0 + 2000);
    TelemetryRow row;
    row.address = 253;
    row.batteryVolts = 6.2f;
    recorder.telemetry(row, t0 + 3000);
    worker.join();
    recorder.sent(query, 4, false, t0 + 3500);
    EXPECT_EQ(recorder.stop(), std::nullopt);

    const LinkRecorder::Status status = recorder.status();
    EXPECT_EQ(status.lost, 0u);
    const std::string text = readAll(status.capturePath);
    EXPECT_NE(text.find("\n2000 tx FC FD 64 64\n3000 rx 00 01 02"), std::string::npos) << text;
    const Capture capture = readBack(status.capturePath);
    EXPECT_EQ(capture.header.port, start.port);
    EXPECT_EQ(capture.header.monotonicUs, t0);
    EXPECT_TRUE(capture.ended);
    std::vector<std::pair<int64_t, size_t>> rx;
    std::vector<CaptureKind> kinds;
    for (const CaptureLine& line : capture.lines) {
        kinds.push_back(line.kind);
        if (line.kind == CaptureKind::Rx)
            rx.emplace_back(line.timeUs, line.bytes.size());
    }
    EXPECT_EQ(kinds, (std::vector<CaptureKind>{CaptureKind::Open, CaptureKind::Tx, CaptureKind::Rx,
                                               CaptureKind::Refused, CaptureKind::Rx,
                                               CaptureKind::Rx, CaptureKind::End}));
    EXPECT_EQ(capture.lines[0].text, "/dev/ttyUSB0");
    EXPECT_EQ(rx, (std::vector<std::pair<int64_t, size_t>>{{3000, 16}, {4000, 32}, {4000, 8}}));
    EXPECT_EQ(capture.lines[5].bytes.back(), 39);

    const std::string csv = readAll(status.csvPath);
    const size_t header = csv.find("\r\n");
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(csv.substr(header + 2, 19), "0.003000,253,6.2,0,");
    EXPECT_EQ(std::count(csv.begin(), csv.begin() + long(header), ','),
              std::count(csv.begin() + long(header) + 2, csv.end(), ','))
        << "as many fields in the row as in the header";
}

TEST(Recording, WhatAFullRingCannotTakeIsCountedAndTheCaptureSaysSo) {
    TempFolder dir;
    LinkRecorder recorder;
    const LinkRecorder::Start start = startIn(dir.path);
    ASSERT_NE(recorder.start(start, nullptr), 0u);
    // Three rings' worth at once: the writer takes at most one ring's worth meanwhile.
    const int chunks = int(3 * LinkRecorder::ringSlots);
    const uint8_t frame[4] = {0xFE, 0x05, 0xD8, 0x05};
    std::thread worker([&] {
        for (int i = 0; i < chunks; ++i)
            recorder.received(frame, 4, start.monotonicUs + i);
    });
    worker.join();
    recorder.stop();

    const LinkRecorder::Status status = recorder.status();
    EXPECT_GT(status.lost, 0u);
    uint64_t lines = 0, lost = 0;
    for (const CaptureLine& line : readBack(status.capturePath).lines) {
        lines += line.kind == CaptureKind::Rx ? 1 : 0;
        lost += line.kind == CaptureKind::Lost && line.text == "rx" ? line.count : 0;
    }
    EXPECT_EQ(lost, status.lost);
    EXPECT_EQ(lines + lost, uint64_t(chunks));
}

TEST(CaptureReader, RefusesAWrongCaptureAtItsFirstWrongLine) {
    const std::string header =
        "ZELK-LINK-CAPTURE 1 start=2025-01-10T12:00:00.000000+0000 monotonic_us=5 port=COM7\n";
    const struct {
        std::string text;
        int line;
        const char* says;
    } cases[] = {
        {"", 1, "empty"},
        {"time,address,battery_V\n", 1, "not a link capture"},
        {"ZELK-LINK-CAPTURE 2 start=x monotonic_us=5 port=COM7\n", 1, "version 2"},
        {"ZELK-LINK-CAPTURE 1 start=x port=COM7\n", 1, "monotonic_us="},
        {header + "10 rx FC FD\n20 rx FC 0G\n", 3, "\"0G\" is no byte"},
        {header + "10 rx FC\n\n", 3, "begins with its time"},
        {header + "10 tx\n", 2, "no bytes"},
        {header + "-4 rx FC\n", 2, "begins with its time"},
        {header + "10 beep\n", 2, "unknown kind \"beep\""},
        {header + "30 rx FC\n20 tx FE\n25 rx FD\n", 4, "time goes back"},
        {header + "10 lost rx 0\n", 2, "\"lost\" takes"},
        {header + "10 end\n11 rx FC\n", 3, "after \"end\""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        CaptureError error;
        EXPECT_FALSE(readCapture(in, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
    }
    // The console's lines may stand a moment before the robot's of the same time; CR LF ends.
    std::istringstream good(header + "30 rx FC\r\n20 tx FE 01\r\n30 open a%20b\r\n");
    CaptureError error;
    const std::optional<Capture> capture = readCapture(good, error);
    ASSERT_TRUE(capture) << error.message;
    EXPECT_EQ(capture->lines.size(), 3u);
    EXPECT_EQ(capture->lines[2].text, "a b");
    EXPECT_FALSE(capture->ended);
}

// Each way a recording cannot go on: told once, through the hook, with the reason.
TEST(Recording, AFailureStopsTheRecordingAndSaysWhy) {
    struct Case {
        const char* name;
        const char* says;
        std::function<std::string(const std::string& dir)> folder; // before the start
        std::function<void(LinkRecorder&, const LinkRecorder::Start&)> then;
    };
    const auto feed = [](LinkRecorder& r, const LinkRecorder::Start& s) {
        const uint8_t frame[16] = {0xFC, 0xFD, 0xE5};
        for (int i = 0; i < 400; ++i)
            r.received(frame, 16, s.monotonicUs + i);
    };
    const Case cases[] = {
        {"a folder below a file", "cannot make the folder",
         [](const std::string& dir) {
             std::ofstream(dir + "/file") << "x";
             return dir + "/file/recordings";
         },
         nullptr},
        {"a file removed", "was removed", [](const std::string& dir) { return dir; },
         [](LinkRecorder& r, const LinkRecorder::Start&) {
             for (int i = 0; i < 500 && r.status().capturePath.empty(); ++i)
                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
             std::filesystem::remove(r.status().capturePath);
         }},
        {"a file that may grow no more", "File too large",
         [](const std::string& dir) { return dir; }, feed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const bool limited = std::string(c.says) == "File too large";
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        if (limited) {
            signal(SIGXFSZ, SIG_IGN); // the write fails instead
            rlimit small = before;
            small.rlim_cur = 2000;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        LinkRecorder recorder;
        const LinkRecorder::Start start = startIn(c.folder(dir.path));
        std::promise<std::string> told;
        int calls = 0;
        ASSERT_NE(recorder.start(start,
                                 [&](uint32_t, const std::string& reason) {
                                     if (++calls == 1)
                                         told.set_value(reason);
                                 }),
                  0u);
        if (c.then)
            c.then(recorder, start);
        std::future<std::string> reason = told.get_future();
        ASSERT_EQ(reason.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_NE(reason.get().find(c.says), std::string::npos);
        EXPECT_EQ(recorder.stop(), std::nullopt) << "told twice";
        EXPECT_NE(recorder.status().failure.find(c.says), std::string::npos);
        EXPECT_EQ(calls, 1);
        if (limited) {
            setrlimit(RLIMIT_FSIZE, &before);
            signal(SIGXFSZ, SIG_DFL);
        }
    }
}

} // namespace
