// The main window's part of the connection panel: the scan tick, the collapse of the panel when
// the mouse moves over the main window's background, and the keyboard after a connect.

#include "console/form1.h"
#include "console/form2.h"
#include "console/panel_logic.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/keyboard_place.h"

#include <QApplication>
#include <QTimer>

void TForm1::Timer1Timer() {
    const ScanStep step = scanStep(scanAddress);
    // The probe goes to the link whether or not the port is open; a refused one is not repeated.
    sendFrame(buildProbe(frameBuffer, step.probeAddress));
    scanAddress = step.nextAddress;
    if (step.scanEnds) {
        Timer1->stop();
    }
    if (Form2 != nullptr) {
        Form2->CGauge1->setProgress(step.gaugeValue);
    }
}

void TForm1::FormMouseMove() {
    if (Form2 == nullptr) {
        return;
    }
    Form2->dockAt(panelDockRect(DockMoment::MainMouseMove, Form2->mainFrame(), Form2->width()));
}

void TForm1::takeKeyboardAfterConnect() {
    KeyboardPlace::afterNextBox(window());
}
