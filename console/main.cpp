// The console's entry: the serial engine exists before the application, the main window is
// created first (it becomes the main window), then the connection panel, which reads the main
// window's position; then the message loop runs until the main window closes.

#include "console/console_application.h"
#include "console/drive/sdl_joystick.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/program_end.h"
#include "console/qt_platform.h"
#include "console/scaled_view.h"
#include "console/widgets/message_box.h"
#include "link/serial_event.h"

#include <QSettings>
#include <QTimer>
#include <exception>

namespace {

Tserial_event serialLink;

} // namespace

int main(int argc, char** argv) {
    // The console keeps no settings, Qt's own included: the file dialogs would keep their
    // history and read it again from a QtProject.conf. No file can be made in /dev/null.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
    choosePreferredQtPlatform(argc, argv);
    ConsoleApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZELK controll"));
    // No display name: Qt's xcb platform would append it to every window title ("OK — ZELK
    // controll"), and the captions of the boxes and of the main window are the system's own.
    try {
        QtMessageBoxService boxes;
        SdlJoystick joystick;
        TForm1 form1(serialLink, boxes, &joystick);
        // A screen too small for the dashboard shows it whole, smaller.
        fitToScreen(form1, QSize(TForm1::ClientWidth, TForm1::ClientHeight),
                    [&form1] { form1.FormMouseMove(); });
        boxes.setParentWidget(&form1);
        TForm2 form2(form1, boxes);
        form1.setPanel(&form2);
        // Whatever ends the program, the robot gets the stop frame first.
        ProgramEnd ending(form1, serialLink);
        app.setBeforeExceptionBox([&form1] { form1.stopForFault(); });
        form1.show();
        form2.show();
        // Above the main window also where no window manager keeps it on top.
        QTimer::singleShot(0, &form2, [&form2] { form2.raise(); });
        app.exec();
        app.setBeforeExceptionBox(nullptr); // the window it stops goes now
    } catch (const std::exception& e) {
        ConsoleApplication::showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ConsoleApplication::showException(QString());
    }
    ProgramEnd::finish(); // ended by a signal: by the same signal now
    return 0;
}
