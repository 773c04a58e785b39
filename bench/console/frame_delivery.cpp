// What of the robot's telemetry reaches the dashboard, and how old it is when it gets there: the
// real main window (offscreen) with the real serial engine, connected to the simulated robot on
// a pty, the console's own command cycle polling it. For every telemetry frame the robot wrote
// in the measured window (its log: the time after the write, and the frame counter in byte 14):
//   accepted  the dashboard showed it (its last display step ran for that counter)
//   age       robot's write of its last byte to that display step, in ms
// The reads the engine delivered are also kept and read by the rule of one frame per read, from
// its first byte (the console's reading before frames were taken out of the reads as a stream),
// so both readings of the same line stand side by side; that one's age is the read's delivery.
//
//   QT_QPA_PLATFORM=offscreen frame_delivery [--seconds N] [--runs R]
//
// Situations: the robot answering each poll (20 frames/s, the simulator's default); free-running
// telemetry at 100 frames/s (--period 10); each poll answered with the old 60 ms gap between
// writes (--gap 60); the old timed robot (--period 100 --gap 60). Figures print; nothing passes
// or fails.

#include "console/form1.h"
#include "console/form2.h"
#include "console/port_connection.h"
#include "console/widgets/message_box.h"
#include "console/widgets/port_box.h"
#include "link/serial_event.h"
#include "protocol/robot_frame.h"
#include "tests/support/sim_process.h"

#include <QApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool pumpUntil(const std::function<bool()>& done, double seconds) {
    const double end = nowSeconds() + seconds;
    while (!done()) {
        if (nowSeconds() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

struct Stamp {
    double at;   // seconds on the monotonic clock
    int counter; // byte 14 of the telemetry frame
};

// The main window as shipped, noting when each telemetry frame's last display step ran.
class TimedForm : public TForm1 {
public:
    using TForm1::TForm1;
    void chartSampleStep(const RobotState& s) override {
        TForm1::chartSampleStep(s);
        shown.push_back({nowSeconds(), s.aux14});
    }
    std::vector<Stamp> shown;
};

// The reads the engine delivered, noted on its worker before the console gets them.
struct Read {
    double at;
    std::vector<uint8_t> bytes;
};
std::mutex readsLock;
std::vector<Read> reads;

void tapLinkEvent(Tserial_event* link, int code) {
    if (code == LINK_DATA) {
        const uint8_t* data = link->received_data();
        std::lock_guard<std::mutex> lock(readsLock);
        reads.push_back({nowSeconds(), {data, data + link->received_count()}});
    }
    static_cast<PortConnection*>(link->user_data())->handleLinkEvent(link, code);
}

// Telemetry writes in the simulator's log, on the monotonic clock.
std::vector<Stamp> telemetryWrites(const std::string& log) {
    std::vector<Stamp> writes;
    double start = -1;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t clock = line.find("monotonic clock at start: ");
        if (clock != std::string::npos)
            start = std::atof(line.c_str() + clock + 26);
        const size_t tx = line.find("] tx FC ");
        if (start < 0 || line.empty() || line[0] != '[' || tx == std::string::npos)
            continue;
        std::vector<int> bytes;
        std::istringstream hex(line.substr(tx + 5));
        std::string b;
        while (hex >> b)
            bytes.push_back(int(std::strtol(b.c_str(), nullptr, 16)));
        if (bytes.size() == 16 && bytes[2] == RplTelemetry)
            writes.push_back({start + std::atof(line.c_str() + 1), bytes[14]});
    }
    return writes;
}

struct Tally {
    int sent = 0;
    int acceptedNew = 0, acceptedOld = 0;
    int badNew = 0, badOld = 0;
    std::vector<double> ageNew, ageOld; // ms
};

// Matches each write to the first of `got` with its counter within a second after it.
void match(const std::vector<Stamp>& written, const std::vector<Stamp>& got, int& accepted,
           std::vector<double>& ages) {
    for (const Stamp& w : written) {
        for (const Stamp& g : got) {
            if (g.counter == w.counter && g.at >= w.at - 0.002 && g.at < w.at + 1.0) {
                ++accepted;
                ages.push_back(std::max(0.0, (g.at - w.at) * 1000.0));
                break;
            }
        }
    }
}

void runOnce(const std::vector<std::string>& simArgs, double seconds, Tally& tally) {
    reads.clear();
    std::vector<std::string> args{"--quiet", "--log"};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    SimProcess sim(args);
    if (sim.path().empty()) {
        std::fprintf(stderr, "the simulator did not start\n");
        std::exit(1);
    }
    Tserial_event link;
    RecordingMessageBoxService boxes;
    TimedForm form1(link, boxes, nullptr);
    TForm2 form2(form1, boxes);
    form1.setPanel(&form2);
    form1.show();
    form2.show();
    link.set_event_callback(tapLinkEvent);

    form2.ComboBox1->setEditText(QString::fromStdString(sim.path()));
    form2.SpeedButton1Click();
    if (!pumpUntil([&] { return form1.portOpen.load() && !boxes.calls().empty(); }, 10)) {
        std::fprintf(stderr, "the console did not connect\n");
        std::exit(1);
    }
    pumpUntil([] { return false; }, 1.0); // versions asked and answered, the cycle polling
    const double from = nowSeconds();
    const int refusedBefore = form1.linkHealth().refused();
    pumpUntil([] { return false; }, seconds);
    const double to = nowSeconds();
    const int refusedAfter = form1.linkHealth().refused();
    pumpUntil([] { return false; }, 0.3); // what was on its way in the window
    form1.Button2Click();
    pumpUntil([&] { return !form1.portOpen.load(); }, 5);
    sim.stop();

    std::vector<Stamp> written;
    for (const Stamp& w : telemetryWrites(sim.log()))
        if (w.at >= from && w.at < to)
            written.push_back(w);
    tally.sent += int(written.size());
    match(written, form1.shown, tally.acceptedNew, tally.ageNew);
    tally.badNew += refusedAfter - refusedBefore;

    std::vector<Stamp> firstOfRead;
    std::lock_guard<std::mutex> lock(readsLock);
    for (const Read& r : reads) {
        const ReplyKind kind = recognizeChunk(r.bytes.data(), int(r.bytes.size()));
        if (kind == ReplyKind::Telemetry)
            firstOfRead.push_back({r.at, r.bytes[14]});
        else if (kind == ReplyKind::None && r.at >= from && r.at < to)
            ++tally.badOld;
    }
    match(written, firstOfRead, tally.acceptedOld, tally.ageOld);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    int runs = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1.0, std::atof(argv[i + 1]));
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    struct Situation {
        const char* name;
        std::vector<std::string> simArgs;
    };
    const Situation situations[] = {
        {"polled (20/s)", {}},
        {"free 100/s", {"--period", "10"}},
        {"polled, gap 60", {"--gap", "60"}},
        {"timed 100 ms, gap 60", {"--period", "100", "--gap", "60"}},
    };
    std::printf("%d run(s) of %.0f s each; age in ms (median / 95th percentile / max)\n", runs,
                seconds);
    std::printf("%-22s %6s | %-32s | %-32s\n", "", "sent", "frames as a stream",
                "one frame per read (old)");
    for (const Situation& s : situations) {
        Tally t;
        for (int r = 0; r < runs; ++r)
            runOnce(s.simArgs, seconds, t);
        const auto line = [&t](int accepted, int bad, const std::vector<double>& ages) {
            char text[96];
            std::snprintf(text, sizeof text, "%5.1f %% %3d bad, %4.0f/%4.0f/%4.0f",
                          t.sent ? 100.0 * accepted / t.sent : 0.0, bad, percentile(ages, 0.5),
                          percentile(ages, 0.95), percentile(ages, 1.0));
            return std::string(text);
        };
        std::printf("%-22s %6d | %-32s | %-32s\n", s.name, t.sent,
                    line(t.acceptedNew, t.badNew, t.ageNew).c_str(),
                    line(t.acceptedOld, t.badOld, t.ageOld).c_str());
        std::fflush(stdout);
    }
    return 0;
}
