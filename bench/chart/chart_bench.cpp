// Adds 1,000,000 chart samples (six points each) to the telemetry chart and prints the median
// time of one addSample over the first and the last 10,000 samples, and the resident memory
// before and after. Prints figures only; it never passes or fails on time.
#include "console/chart/telemetry_chart.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kSamples = 1000000;
constexpr uint32_t kWindow = 10000;

double residentMegabytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double medianMicroseconds(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    TelemetryChart chart;
    chart.setObjectName("Chart1");
    chart.show();
    QApplication::processEvents();

    const double rssBefore = residentMegabytes();
    std::vector<double> first;
    std::vector<double> last;
    first.reserve(kWindow);
    last.reserve(kWindow);
    using Clock = std::chrono::steady_clock;

    for (uint32_t s = 1; s <= kSamples; ++s) {
        const double t = double(s) * 0.05;
        const double values[kChartSeriesCount] = {std::round(60.0 * std::sin(t)),
                                                  std::round(40.0 * std::cos(t * 0.7)),
                                                  std::round(10.0 * std::sin(t * 3.1)),
                                                  7.4 - double(s % 1000) * 0.001,
                                                  double((s * 7) % 120),
                                                  double((s * 11) % 90)};
        const auto start = Clock::now();
        chart.addSample(s, values);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (s <= kWindow) {
            first.push_back(us);
        } else if (s > kSamples - kWindow) {
            last.push_back(us);
        }
        if (s % 256 == 0) {
            QApplication::processEvents(); // let deferred chart updates run, as the window would
        }
    }
    const double rssAfter = residentMegabytes();
    const double historyMb = double(chart.history().memoryBytes()) / (1024.0 * 1024.0);
    const double frames = double(kSamples) * 6.0; // one sample every sixth telemetry frame

    std::printf("samples added            : %u (6 points each, %s)\n", kSamples,
                chart.pageText().toUtf8().constData());
    std::printf("median addSample, first %u: %.2f us\n", kWindow, medianMicroseconds(first));
    std::printf("median addSample, last %u : %.2f us\n", kWindow, medianMicroseconds(last));
    std::printf("resident memory before   : %.1f MB\n", rssBefore);
    std::printf("resident memory after    : %.1f MB (+%.1f MB)\n", rssAfter, rssAfter - rssBefore);
    std::printf("history store            : %.1f MB = %.2f MB per million frames\n", historyMb,
                historyMb / (frames / 1e6));
    return 0;
}
