// Writes a PNG of the telemetry chart at its window size (283 x 261) with a few hundred samples
// of made-up telemetry: chart_grab [file.png] [samples] [page]
#include "console/chart/telemetry_chart.h"

#include <QApplication>
#include <QPixmap>

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QString file = argc > 1 ? QString(argv[1]) : QString("chart.png");
    const int samples = argc > 2 ? std::atoi(argv[2]) : 300;

    TelemetryChart chart;
    chart.setObjectName("Chart1");
    chart.resize(283, 261);
    chart.setSeriesActive(4, true); // engine curr L switched on from the legend
    for (int s = 1; s <= samples; ++s) {
        const double t = s * 0.06;
        const double values[kChartSeriesCount] = {std::round(70.0 * std::sin(t)),
                                                  std::round(45.0 * std::cos(t * 0.7)),
                                                  std::round(15.0 * std::sin(t * 2.3)),
                                                  7.4 - s * 0.002,
                                                  double(40 + (s * 7) % 60),
                                                  double(30 + (s * 11) % 50)};
        chart.addSample(uint32_t(s), values);
    }
    if (argc > 3) {
        chart.showPage(std::atoi(argv[3]));
    }
    chart.show();
    QApplication::processEvents();
    const bool ok = chart.grab().save(file);
    std::printf("%s %s (%s)\n", ok ? "wrote" : "could not write", qPrintable(file),
                qPrintable(chart.pageText()));
    return ok ? 0 : 1;
}
