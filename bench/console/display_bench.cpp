// Cost of one telemetry frame on the dashboard as the run grows: frames go through the real
// reply decoder into the real main window (offscreen, shown, events processed after each frame,
// so painting counts too). Prints the median cost per frame over the first 10,000 frames and over
// 10,000 frames after 1,000,000 (also apart for frames that add a chart sample and those that
// do not), and the resident memory at both points.
//
//   QT_QPA_PLATFORM=offscreen display_bench [total_frames]

#include "console/chart/telemetry_chart.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/widgets/message_box.h"
#include "link/serial_event.h"
#include "protocol/robot_frame.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

double residentMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void makeFrame(uint8_t* f, long i) {
    const double t = double(i) * 0.05;
    f[0] = 0xFC;
    f[1] = 0xFD;
    f[2] = 0xE5;
    f[3] = uint8_t(57 + (i / 50) % 8);
    f[4] = uint8_t((i / 7) % 16);
    f[5] = uint8_t((i / 40) % 16);
    f[6] = uint8_t(100 + 90 * std::sin(t));
    f[7] = uint8_t(100 + 90 * std::cos(t));
    f[8] = uint8_t(120 + 100 * std::sin(t / 3));
    f[9] = uint8_t(120 + 100 * std::cos(t / 5));
    f[10] = uint8_t(128 + 60 * std::sin(t / 2));
    f[11] = uint8_t(128 + 60 * std::cos(t / 2));
    f[12] = uint8_t(200 + 20 * std::sin(t));
    f[13] = f[14] = 0;
    f[15] = frameSum(f);
}

double medianMicros(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Every sixth frame adds a chart sample and repaints the chart: the costs of the two kinds of
// frame, apart.
void printSplit(const char* when, const std::vector<double>& costs, long firstFrame) {
    std::vector<double> plain, sampled;
    for (std::size_t k = 0; k < costs.size(); ++k)
        ((firstFrame + long(k) + 1) % 6 == 0 ? sampled : plain).push_back(costs[k]);
    std::printf("  %s: frames without a chart sample %.1f us, with one %.1f us\n", when,
                medianMicros(plain), medianMicros(sampled));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long late = argc > 1 ? std::atol(argv[1]) : 1000000;
    constexpr long window = 10000;

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1(link, boxes, nullptr);
    TForm2 form2(form1, boxes);
    form1.setPanel(&form2);
    form1.Timer2->stop();
    form1.Timer3->stop();
    // ZELK_BENCH_HIDDEN=1 leaves the window hidden: the decoder and the widgets' state changes
    // without painting.
    if (qEnvironmentVariableIsEmpty("ZELK_BENCH_HIDDEN"))
        form1.show();
    QApplication::processEvents();

    using Clock = std::chrono::steady_clock;
    auto runFrames = [&](long from, long count, std::vector<double>* costs) {
        uint8_t frame[16];
        for (long i = from; i < from + count; ++i) {
            makeFrame(frame, i);
            const auto start = Clock::now();
            form1.connection.decoder.handleChunk(frame, 16, true, form1.state, form1);
            QApplication::processEvents();
            if (costs)
                costs->push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    };

    const double rssStart = residentMiB();
    std::vector<double> early, later;
    runFrames(0, window, &early);
    const double rssEarly = residentMiB();
    runFrames(window, late - window, nullptr);
    const double rssLate = residentMiB();
    runFrames(late, window, &later);

    const double e = medianMicros(early), l = medianMicros(later);
    std::printf("frames fed                         : %ld\n", late + window);
    std::printf("chart points per series            : %zu\n", form1.Chart1->pointCount(0));
    std::printf("median cost per frame, frames 0..%ld : %.1f us\n", window, e);
    std::printf("median cost per frame, after %ld  : %.1f us  (%.2fx the early figure)\n", late, l,
                e > 0 ? l / e : 0.0);
    printSplit("first 10,000", early, 0);
    printSplit("after the run", later, late);
    std::printf("resident memory at start           : %.1f MiB\n", rssStart);
    std::printf("resident memory after %ld frames  : %.1f MiB\n", window, rssEarly);
    std::printf("resident memory after %ld frames: %.1f MiB (%.1f MiB per million frames)\n", late,
                rssLate, (rssLate - rssEarly) * 1e6 / double(late - window));
    return 0;
}
