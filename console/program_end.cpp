#include "console/program_end.h"

#include "console/form1.h"
#include "console/recording_control.h"
#include "link/serial_event.h"

#include <QSocketNotifier>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// What the handlers may touch: lock-free atomics only.
std::atomic<Tserial_event*> g_link{nullptr};
std::atomic<int> g_pipeWrite{-1};
std::atomic<int> g_caughtSignal{0}; // the first termination signal; 0: none yet
std::atomic<ProgramEnd*> g_end{nullptr};

// A crash from a stack overflow needs a stack of its own to run its handler on.
alignas(16) char g_crashStack[64 * 1024];

struct sigaction g_previous[NSIG];

void restoreDefaultAction(int sig) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
}

void endNow(int sig) {
    if (Tserial_event* link = g_link.load())
        link->write_last_words();
    restoreDefaultAction(sig);
    // Blocked while this handler runs: the default action comes when it returns.
    raise(sig);
}

void onTerminationSignal(int sig) {
    const int savedErrno = errno;
    int none = 0;
    if (!g_caughtSignal.compare_exchange_strong(none, sig)) {
        endNow(sig); // asked twice: the event loop is not to be waited for any longer
    } else {
        const uint8_t byte = uint8_t(sig);
        const int fd = g_pipeWrite.load();
        if (fd < 0 || ::write(fd, &byte, 1) != 1)
            endNow(sig); // nobody to tell: end as the signal's default would, stop frame first
    }
    errno = savedErrno;
}

void onCrash(int sig) {
    // SA_RESETHAND has put the default action back; raised again, the crash takes its usual
    // course (core dump, status) as soon as this handler returns.
    if (Tserial_event* link = g_link.load())
        link->write_last_words();
    raise(sig);
}

void install(int sig, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(sig, &action, &g_previous[sig]);
}

} // namespace

ProgramEnd::ProgramEnd(TForm1& form, Tserial_event& link) : form_(form) {
    g_link.store(&link);
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_pipeWrite.store(pipe_[1]);
        notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { takeSignals(); });
    }
    for (int sig : kTerminationSignals)
        install(sig, onTerminationSignal, SA_RESTART);

    stack_t altStack{};
    altStack.ss_sp = g_crashStack;
    altStack.ss_size = sizeof g_crashStack;
    sigaltstack(&altStack, nullptr);
    for (int sig : kCrashSignals)
        install(sig, onCrash, SA_RESETHAND | SA_ONSTACK);

    g_end.store(this);
    static const bool hooked = std::atexit(&ProgramEnd::atExit) == 0;
    (void)hooked;
}

ProgramEnd::~ProgramEnd() {
    g_end.store(nullptr);
    for (int sig : kCrashSignals)
        sigaction(sig, &g_previous[sig], nullptr);
    // A termination signal from here on finds the port closed: its default action will do.
    for (int sig : kTerminationSignals)
        sigaction(sig, &g_previous[sig], nullptr);
    g_pipeWrite.store(-1);
    g_link.store(nullptr);
    delete notifier_;
    for (int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

void ProgramEnd::takeSignals() {
    uint8_t bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    // As the operator's close: stop frame, bounded wait, port closed, worker stopped, loop ended.
    form_.close();
}

void ProgramEnd::atExit() {
    ProgramEnd* end = g_end.load();
    if (end == nullptr)
        return; // ended the ordinary way: the window's close has stopped the robot already
    if (QThread::currentThread() == end->thread()) {
        end->form_.connection.shutdown();
        end->form_.Recording->stop(false); // its files end complete
    } else if (Tserial_event* link = g_link.load())
        link->write_last_words(); // another thread's exit: the line without the GUI's help
}

void ProgramEnd::finish() {
    const int sig = g_caughtSignal.load();
    if (sig == 0)
        return;
    restoreDefaultAction(sig);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
}
