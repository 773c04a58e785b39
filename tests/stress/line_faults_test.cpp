// The real windows (offscreen) connected to the simulated robot while it sends noise, frames with
// bad sums, frames split across reads and floods of random bytes at line rate, for a bounded time
// (ZELK_STRESS_SECONDS, 20 by default; seed ZELK_STRESS_SEED). From the simulator's log of every
// written piece the test knows each frame that went out whole, with its sum right or wrong, and
// checks every frame the console accepted against it; the GUI thread is probed every 10 ms.

#include "console/form1.h"
#include "console/form2.h"
#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"
#include "tests/stress/stress_support.h"

#include <QEventLoop>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace stress;
using Frame = std::array<uint8_t, 16>;
using namespace std::string_literals;

// What the console took from one accepted telemetry frame.
struct Accepted {
    float batteryVolts;
    int lineBits, ledBits, currentLeft, currentRight, sonarLeft, sonarRight, aux13, aux14;
};

// The main window as it is, with a record of every telemetry frame its decoder accepted (the
// decoder has the dashboard take a chart step for each accepted frame, and only for those).
class RecordingForm1 : public TForm1 {
public:
    using TForm1::TForm1;
    std::vector<Accepted> accepted;

    void chartSampleStep(const RobotState& s) override {
        int lines = 0, leds = 0;
        for (int k = 0; k < 4; ++k) {
            lines |= s.lineSensor[k] ? 1 << k : 0;
            leds |= s.ledReported[k] ? 1 << k : 0;
        }
        accepted.push_back(Accepted{s.batteryVolts, lines, leds, s.engineCurrentLeft,
                                    s.engineCurrentRight, s.sonarLeft, s.sonarRight, s.aux13,
                                    s.aux14});
        TForm1::chartSampleStep(s);
    }
};

bool sameFrame(const Frame& f, const Accepted& a) {
    return batteryVoltsFromCode(f[3]) == a.batteryVolts && (f[4] & 15) == a.lineBits &&
           (f[5] & 15) == a.ledBits && f[6] == a.currentLeft && f[7] == a.currentRight &&
           f[8] == a.sonarLeft && f[9] == a.sonarRight && f[13] == a.aux13 && f[14] == a.aux14;
}

// A telemetry frame as the simulator wrote it.
struct Written {
    enum Kind { Whole, Split } kind;
    Frame bytes;
    bool sumRight() const { return frameSum(bytes.data()) == bytes[15]; }
};

std::vector<uint8_t> hexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
        bytes.push_back(uint8_t(std::stoul(item, nullptr, 16)));
    return bytes;
}

// What the simulator's --log says went over the line in each direction.
struct LineLog {
    std::vector<Written> frames;   // telemetry, in the order written
    std::vector<uint8_t> received; // every byte the console sent, in order
    size_t floodWrites = 0;
};

LineLog parseLog(const std::string& log) {
    LineLog out;
    std::istringstream in(log);
    std::string line;
    std::vector<uint8_t> firstHalf;
    while (std::getline(in, line)) {
        const size_t tx = line.find("] tx ");
        const size_t rx = line.find("] rx ");
        if (rx != std::string::npos) {
            const auto bytes = hexBytes(line.substr(rx + 5));
            out.received.insert(out.received.end(), bytes.begin(), bytes.end());
            continue;
        }
        if (tx == std::string::npos)
            continue;
        const std::string rest = line.substr(tx + 5);
        if (rest.rfind("flood", 0) == 0) {
            ++out.floodWrites;
            continue;
        }
        const auto bytes = hexBytes(rest);
        if (!firstHalf.empty()) { // the pieces of a split frame go out one after the other
            Written w{Written::Split, {}};
            std::copy(firstHalf.begin(), firstHalf.end(), w.bytes.begin());
            std::copy(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 8),
                      w.bytes.begin() + 8);
            out.frames.push_back(w);
            firstHalf.clear();
            continue;
        }
        const bool telemetry =
            bytes.size() >= 3 && bytes[0] == StartByteTelemetry && bytes[2] == RplTelemetry;
        if (telemetry && bytes.size() == 16) {
            Written w{Written::Whole, {}};
            std::copy(bytes.begin(), bytes.end(), w.bytes.begin());
            out.frames.push_back(w);
        } else if (telemetry && bytes.size() == 8) {
            firstHalf = bytes;
        }
    }
    return out;
}

// The number after the last occurrence of label's start in text ("12 good whole" -> 12).
long numberBefore(const std::string& text, const std::string& label) {
    const size_t at = text.rfind(label);
    if (at == std::string::npos || at == 0)
        return -1;
    size_t begin = at - 1;
    while (begin > 0 && std::isdigit(uint8_t(text[begin - 1])))
        --begin;
    return std::strtol(text.c_str() + begin, nullptr, 10);
}

// Every accepted frame must be one that went out with a right sum, in the order written.
struct Verdict {
    size_t wholeGood = 0;    // accepted frames that went out whole with a right sum
    size_t mergedHalves = 0; // split frames whose halves reached one read: right after all
    std::vector<std::string> faults;
};

Verdict judge(const std::vector<Written>& written, const std::vector<Accepted>& accepted) {
    Verdict v;
    size_t next = 0;
    for (size_t i = 0; i < accepted.size(); ++i) {
        const Accepted& a = accepted[i];
        size_t k = next;
        while (k < written.size() && !sameFrame(written[k].bytes, a))
            ++k;
        const std::string which =
            "accepted frame " + std::to_string(i) + " (counter " + std::to_string(a.aux14) + ")";
        if (k == written.size()) {
            v.faults.push_back(which + " was never written, or not in this order");
            continue;
        }
        if (!written[k].sumRight())
            v.faults.push_back(which + " had a bad sum");
        else if (written[k].kind == Written::Whole)
            ++v.wholeGood;
        else
            ++v.mergedHalves;
        next = k + 1;
    }
    return v;
}

Accepted acceptedFrom(const Frame& f) {
    return Accepted{
        batteryVoltsFromCode(f[3]), f[4] & 15, f[5] & 15, f[6], f[7], f[8], f[9], f[13], f[14]};
}

// The judge itself: it finds a frame with a bad sum, a frame never written and one shown out of
// order, and passes good ones and split frames that arrived whole.
TEST(LineFaults, JudgeFindsWhatMustNotBeShown) {
    const auto frame = [](uint8_t counter, uint8_t sonar, bool rightSum) {
        Frame f = {0xFC,  0xFD, 0xE5, 0x3F, 0x0F, 0, 4,       8,
                   sonar, 0x48, 0x80, 0x80, 0xC1, 0, counter, 0};
        f[15] = uint8_t(frameSum(f.data()) + (rightSum ? 0 : 1));
        return f;
    };
    const auto hex = [](const Frame& f, size_t from, size_t to) {
        std::string text;
        char byte[4];
        for (size_t i = from; i < to; ++i) {
            std::snprintf(byte, sizeof byte, i == from ? "%02X" : " %02X", f[i]);
            text += byte;
        }
        return text;
    };
    const Frame split = frame(2, 0x50, true);
    std::string log;
    for (const std::string& entry :
         {"tx " + hex(frame(0, 0x46, true), 0, 16), "tx 12 34"s, "rx FC FD 64 64"s,
          "tx " + hex(frame(1, 0x46, false), 0, 16), "tx " + hex(split, 0, 8),
          "tx " + hex(split, 8, 16), "tx flood 57 byte(s)"s,
          "tx " + hex(frame(3, 0x47, true), 0, 16)})
        log += "[    0.100] " + entry + "\n";
    const LineLog line = parseLog(log);
    ASSERT_EQ(line.frames.size(), 4u);
    EXPECT_EQ(line.floodWrites, 1u);
    EXPECT_EQ(line.received, (std::vector<uint8_t>{0xFC, 0xFD, 0x64, 0x64}));
    EXPECT_TRUE(line.frames[0].sumRight());
    EXPECT_FALSE(line.frames[1].sumRight());
    EXPECT_EQ(line.frames[2].kind, Written::Split);
    EXPECT_TRUE(line.frames[2].sumRight());
    EXPECT_TRUE(line.frames[3].sumRight());

    Verdict good =
        judge(line.frames, {acceptedFrom(line.frames[0].bytes), acceptedFrom(line.frames[2].bytes),
                            acceptedFrom(line.frames[3].bytes)});
    EXPECT_TRUE(good.faults.empty());
    EXPECT_EQ(good.wholeGood, 2u);
    EXPECT_EQ(good.mergedHalves, 1u);

    EXPECT_EQ(judge(line.frames, {acceptedFrom(line.frames[1].bytes)}).faults.size(), 1u);
    Frame never = line.frames[0].bytes;
    never[8] = 99;
    EXPECT_EQ(judge(line.frames, {acceptedFrom(never)}).faults.size(), 1u);
    EXPECT_EQ(
        judge(line.frames, {acceptedFrom(line.frames[3].bytes), acceptedFrom(line.frames[0].bytes)})
            .faults.size(),
        1u);
}

TEST(LineFaults, GoodFramesDecodedBadOnesNeverShownGuiResponsive) {
    const int seconds = envInt("ZELK_STRESS_SECONDS", 20);
    const int seed = envInt("ZELK_STRESS_SEED", 1);
    RecordingMessageBoxService boxes;
    Tserial_event link;
    RecordingForm1 form1(link, boxes, nullptr);
    TForm2 form2(form1, boxes);
    form1.setPanel(&form2);
    form1.show();
    form2.show();

    SimProcess sim({"--quiet", "--log", "--seed", std::to_string(seed), "--noise", "0.25",
                    "--bad-sum", "0.2", "--split", "0.2", "--flood", "1000", "--flood-every", "4"});
    ASSERT_FALSE(sim.path().empty()) << "the simulator did not start";
    form1.portName = QString::fromStdString(sim.path());
    form1.Button1Click();
    ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));

    // The console runs on its own; the test only watches the GUI thread.
    GuiProbe probe;
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double worstMs = probe.worstDelayMs();
    const long ticks = probe.ticks();

    int closedWhileRunning = 0;
    for (const auto& call : boxes.calls())
        closedWhileRunning += call.text.startsWith("Zamknieto port") ? 1 : 0;
    ASSERT_TRUE(sim.stop()) << "the simulator did not end cleanly";
    // The device is gone: one closed notice, then the port is free again, and nothing changes
    // any more.
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }));
    const RobotState stateAtEnd = form1.state;
    const size_t acceptedAtEnd = form1.accepted.size();
    pumpFor(200);
    const std::string log = sim.log();
    const LineLog line = parseLog(log);

    const Verdict verdict = judge(line.frames, form1.accepted);
    const auto& faults = verdict.faults;
    const size_t wholeGood = verdict.wholeGood, mergedHalves = verdict.mergedHalves;
    size_t goodWritten = 0, badWritten = 0, splitWritten = 0;
    for (const Written& w : line.frames) {
        goodWritten += (w.kind == Written::Whole && w.sumRight()) ? 1 : 0;
        badWritten += (w.kind == Written::Whole && !w.sumRight()) ? 1 : 0;
        splitWritten += w.kind == Written::Split ? 1 : 0;
    }

    // The console's own frames: version queries and the drive-and-poll frame at a standstill,
    // nothing else; whatever the line brought, it did not drive the robot.
    size_t consoleFrames = 0;
    std::vector<std::string> unasked;
    for (size_t i = 0; i + 4 <= line.received.size(); i += 4) {
        const uint8_t* f = &line.received[i];
        ++consoleFrames;
        const bool poll = f[0] == StartByteTelemetry && f[2] == 100 && f[3] == 100;
        const bool query = f[0] == StartByteCommand &&
                           (f[2] == CmdSoftVersion || f[2] == CmdHardVersion) && f[3] == 0;
        if (!poll && !query && unasked.size() < 5) {
            char text[32];
            std::snprintf(text, sizeof text, "%02X %02X %02X %02X", f[0], f[1], f[2], f[3]);
            unasked.push_back(text);
        }
    }

    const double decodedShare = goodWritten ? double(wholeGood) / double(goodWritten) : 0;
    figure("line faults: %d s, seed %d: %zu good whole frames written, %zu decoded (%.1f %%), "
           "%zu bad-sum and %zu split written, %zu split frames decoded whole, %zu flood "
           "writes; worst GUI delay %.1f ms over %ld ticks; %zu console frames",
           seconds, seed, goodWritten, wholeGood, 100.0 * decodedShare, badWritten, splitWritten,
           mergedHalves, line.floodWrites, worstMs, ticks, consoleFrames);

    EXPECT_TRUE(faults.empty()) << faults.size() << " fault(s), first: " << faults.front();
    // The log and the simulator's own count agree, so the log was read whole.
    EXPECT_EQ(numberBefore(log, " good whole telemetry frame(s)"), long(goodWritten));
    EXPECT_EQ(numberBefore(log, " with a bad sum"), long(badWritten));
    ASSERT_GT(goodWritten, size_t(seconds)); // the run had frames to decode
    EXPECT_GT(badWritten, 0u);
    EXPECT_GT(splitWritten, 0u);
    EXPECT_GT(line.floodWrites, 0u);
    // A frame alone in its read is decoded. The margin covers the frame cut off when the
    // simulator ends and reads merged by a late thread on a loaded machine.
    EXPECT_GE(decodedShare, 0.9);
    EXPECT_EQ(form1.accepted.size(), acceptedAtEnd) << "frames accepted after the line ended";
    EXPECT_EQ(form1.state, stateAtEnd);

    EXPECT_EQ(closedWhileRunning, 0) << "the line faults closed the port";
    int closed = 0;
    for (const auto& call : boxes.calls())
        closed += call.text.startsWith("Zamknieto port") ? 1 : 0;
    EXPECT_EQ(closed, 1);

    EXPECT_LT(worstMs, 500.0);
    EXPECT_GT(ticks, long(seconds) * 1000 / GuiProbe::intervalMs / 2);
    EXPECT_TRUE(unasked.empty()) << "console sent " << unasked.front();
    // The command cycle went on all the time: one frame per 50 ms tick, most of them written.
    EXPECT_GT(consoleFrames, size_t(seconds) * 20 / 2);
}

} // namespace
