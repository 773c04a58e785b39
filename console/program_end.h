#pragma once
// Every way the console ends puts the stop frame on the line first, as closing the main window
// does:
// - SIGTERM, SIGINT, SIGHUP (a logout, Ctrl+C in the terminal, kill): taken into the event loop
//   through a self-pipe and a socket notifier, they close the main window (stop frame, bounded
//   wait, port closed, worker stopped); once the windows are gone, finish() ends the program by
//   the same signal with its default action, so the parent sees what it expects. A second one
//   while the first still waits for the event loop (a GUI thread that no longer runs) writes the
//   engine's last words and ends the program at once;
// - exit() from inside a library (Qt's xcb plugin on a lost display connection): an exit hook
//   shuts the connection down as the window's close would;
// - a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT): the handler writes the engine's last
//   words straight to the port, puts the default action back and raises the signal again, so
//   the core dump and the exit status stay those of the crash.

#include <QObject>

class QSocketNotifier;
class TForm1;
class Tserial_event;

class ProgramEnd : public QObject {
public:
    // One at a time, for the life of the main window.
    ProgramEnd(TForm1& form, Tserial_event& link);
    ~ProgramEnd() override;
    ProgramEnd(const ProgramEnd&) = delete;
    ProgramEnd& operator=(const ProgramEnd&) = delete;

    // After the event loop and the windows: a termination signal that ended the loop ends the
    // program now by its default action. Returns when none did.
    static void finish();

private:
    void takeSignals();
    static void atExit();

    TForm1& form_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};
