#pragma once
// The real main window and panel, with recorded message boxes and no game controller.

#include "console/chart/telemetry_chart.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/circle_shape.h"
#include "console/widgets/spin_edit.h"
#include "console/widgets/transparent_picture.h"
#include "tests/support/qt_wait.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

struct TelemetryBytes {
    uint8_t address = 0xFD, battery = 62, lines = 0, leds = 0, currentL = 0, currentR = 0,
            sonarL = 0, sonarR = 0, ax = 0, ay = 0, az = 0;
    bool badSum = false;

    std::vector<uint8_t> frame() const {
        std::vector<uint8_t> f = {0xFC,   address, 0xE5, battery, lines, leds, currentL, currentR,
                                  sonarL, sonarR,  ax,   ay,      az,    0,    0,        0};
        uint8_t sum = 0;
        for (int i = 3; i <= 14; ++i)
            sum = uint8_t(sum + f[size_t(i)]);
        f[15] = uint8_t(sum + (badSum ? 1 : 0));
        return f;
    }
};

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : form1(link, boxes, nullptr), form2(form1, boxes) {
        form1.setPanel(&form2);
        // The tests drive the timers' handlers themselves.
        form1.Timer2->stop();
        form1.Timer3->stop();
    }

    // A chunk through the real decoder into the real dashboard, as if the port were open.
    void receive(const std::vector<uint8_t>& chunk) {
        form1.connection.decoder.handleChunk(chunk.data(), int(chunk.size()), true, form1.state,
                                             form1);
    }
    void receiveTelemetry(const TelemetryBytes& t) { receive(t.frame()); }

    QStringList logLines() const { return form1.Memo1->toPlainText().split('\n'); }

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1;
    TForm2 form2;
};
