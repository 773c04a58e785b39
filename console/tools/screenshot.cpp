// Writes pictures of both windows, as an operator would see them, without a display:
//   QT_QPA_PLATFORM=offscreen zelk_screenshot OUTDIR [--live]
// form1.png is the main window, form2.png the expanded panel, console.png both together with the
// panel docked at the main window's right edge. With --live the dashboard first shows a few
// seconds of made-up telemetry, versions and a found unit.

#include "console/form1.h"
#include "console/form2.h"
#include "console/widgets/message_box.h"
#include "link/serial_event.h"
#include "protocol/robot_frame.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {

void feedTelemetry(TForm1& form, int frames) {
    for (int i = 0; i < frames; ++i) {
        const double t = i * 0.1;
        uint8_t f[16] = {0xFC, 0xFD, 0xE5};
        f[3] = uint8_t(62 - (i / 200) % 6);
        f[4] = uint8_t((i / 10) % 16);
        f[5] = uint8_t(0x05);
        f[6] = uint8_t(60 + 40 * std::sin(t));
        f[7] = uint8_t(60 + 40 * std::cos(t));
        f[8] = uint8_t(70 + 30 * std::sin(t / 3));
        f[9] = uint8_t(55 + 30 * std::cos(t / 4));
        f[10] = uint8_t(128 + 40 * std::sin(t / 2));
        f[11] = uint8_t(128 + 30 * std::cos(t / 2));
        f[12] = uint8_t(200 + 10 * std::sin(t));
        f[15] = frameSum(f);
        form.connection.decoder.handleChunk(f, 16, true, form.state, form);
    }
}

void feedIdentity(TForm1& form) {
    const uint8_t unit[4] = {0xFE, 0xFD, 0xD8, 0xFD};
    const uint8_t soft[4] = {0xFE, 0xFD, 0xEB, 3};
    const uint8_t hard[4] = {0xFE, 0xFD, 0xEC, 20};
    for (const uint8_t* reply : {unit, soft, hard})
        form.connection.decoder.handleChunk(reply, 4, true, form.state, form);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: zelk_screenshot OUTDIR [--live]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const bool live = argc > 2 && QString::fromLatin1(argv[2]) == "--live";
    QDir().mkpath(out);

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1(link, boxes, nullptr);
    TForm2 form2(form1, boxes);
    form1.setPanel(&form2);
    form1.move(0, 0);
    form1.show();
    form2.show();
    form1.Timer2->stop();
    form1.Timer3->stop();
    if (live) {
        feedIdentity(form1);
        feedTelemetry(form1, 600);
    }
    QApplication::processEvents();

    const QPixmap main = form1.grab();
    main.save(out + "/form1.png");
    form2.FormMouseMove(); // expanded
    QApplication::processEvents();
    const QPixmap panel = form2.grab();
    panel.save(out + "/form2.png");

    QPixmap both = main.copy();
    {
        QPainter painter(&both);
        const QPoint at = form2.frameGeometry().topLeft() - form1.frameGeometry().topLeft();
        painter.setOpacity(200 / 255.0);
        if (!form2.mask().isEmpty())
            painter.setClipRegion(form2.mask().translated(at));
        painter.drawPixmap(at, panel);
    }
    both.save(out + "/console.png");
    std::printf("wrote %s/form1.png, form2.png, console.png\n", qPrintable(out));
    return 0;
}
