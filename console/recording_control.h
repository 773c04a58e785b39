#pragma once
// The recording control under the link readout: a button that starts and stops a recording of
// the link (recording/link_recorder.h), its menu for the folder, and while it runs the time and
// size beside it ("REC 1:23  184 kB"). It is off at every start and writes nothing until the
// operator presses it. Recordings go to the user's data folder unless the operator picks another
// one, for this run only.
//
// A recording ends when the operator presses the button again, when the connection ends, and
// when the console closes; the files are then complete, with their end line. When the writer
// cannot go on (the folder cannot be written, the disk is full, a file was removed), the
// recording stops with a line in the log and a notice; the link goes on as before.

#include "console/widgets/message_box.h"
#include "recording/link_recorder.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QTimer;
class QToolButton;

class RecordingControl : public QWidget {
    Q_OBJECT
public:
    RecordingControl(LinkRecorder& recorder, MessageBoxService& boxes, QWidget* parent = nullptr);

    // The port the console has chosen, for the first line of the capture.
    void setPortName(std::function<QString()> portName) { portName_ = std::move(portName); }
    QString folder() const { return folder_; }
    void setFolder(const QString& folder);
    // The user's data folder, where recordings go unless the operator picks another.
    static QString defaultFolder();

    void start();
    // say: a line in the log with the files and what they hold.
    void stop(bool say = true);
    bool recording() const { return recorder_.running(); }
    // The connection: an opening goes into the recording, the end ends it.
    void portOpened(const QString& port);
    void linkClosed();
    // The folder picker (the button's menu).
    void chooseFolder();

    QToolButton* RecordButton;
    QLabel* RecordStatus;

signals:
    void logLine(const QString& line);

private:
    // The writer's failures on their way to the GUI thread: the lock is held only to move them
    // in or out (and shows ThreadSanitizer the hand-over that Qt's event queue hides from it).
    Q_INVOKABLE void takeFailures();
    void failed(uint32_t session, const QString& reason);
    void showStatus();

    LinkRecorder& recorder_;
    MessageBoxService& boxes_;
    std::function<QString()> portName_;
    QString folder_;
    QTimer* tick_;
    QElapsedTimer since_;
    std::mutex failuresLock_;
    std::vector<std::pair<uint32_t, std::string>> failures_;
};
