// Shutting down with the port open while the robot streams: the windows are destroyed in the
// program's order (panel, then main window) at varied moments of the link's work, the engine
// outlives them as the program's one engine does. The worker must be gone with the windows,
// nothing queued for them may run afterwards (AddressSanitizer reports a use after free), and
// the process is left with the threads and descriptors it had.

#include "console/form1.h"
#include "console/form2.h"
#include "tests/stress/stress_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace stress;

struct Windows {
    explicit Windows(Tserial_event& link) {
        form1 = std::make_unique<TForm1>(link, boxes, nullptr);
        form2 = std::make_unique<TForm2>(*form1, boxes);
        form1->setPanel(form2.get());
        form1->show();
        form2->show();
    }
    ~Windows() {
        form2.reset();
        form1.reset();
    }
    RecordingMessageBoxService boxes;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

TEST(Shutdown, WindowsDestroyedWhileTelemetryFlows) {
    const int rounds = envInt("ZELK_STRESS_SHUTDOWNS", 12);
    // Telemetry at the simulator's fastest beat, and floods of random bytes between, so that the
    // worker is busy reading whenever the windows go.
    SimProcess sim(
        {"--quiet", "--period", "20", "--gap", "51", "--flood", "200", "--flood-every", "0.3"});
    ASSERT_FALSE(sim.path().empty()) << "the simulator did not start";
    Tserial_event link; // the program's engine lives longer than its windows
    {
        // Whatever Qt sets up on first use is there before counting.
        Windows warmUp(link);
        pumpFor(100);
    }
    pumpFor(100);
    Watchdog watchdog(std::chrono::seconds(30));
    const int fdsBefore = openDescriptors();
    const int threadsBefore = threads();

    int withData = 0;
    for (int round = 0; round < rounds; ++round) {
        watchdog.progress("shutdown round");
        auto windows = std::make_unique<Windows>(link);
        TForm1& form1 = *windows->form1;
        form1.portName = QString::fromStdString(sim.path());
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); })) << "round " << round;
        // Varied moments: right after the opened notice, while frames and floods arrive, with a
        // chunk handed to the GUI thread but not yet handled.
        pumpFor((round * 37) % 300);
        withData += form1.state.softVersion != -1 || form1.state.batteryVolts != 0;
        switch (round % 3) {
        case 0:
            break; // events may wait in the queue for the windows
        case 1:
            QThread::msleep(30); // the worker hands over more while the GUI thread is away
            break;
        case 2:
            form1.Button2Click(); // closing, with the closed notice still to come
            break;
        }
        windows.reset();
        EXPECT_FALSE(link.worker_running()) << "round " << round;
        pumpFor(30); // anything still queued for the destroyed windows would run now
    }
    pumpFor(100);
    const int fdsAfter = openDescriptors();
    const int threadsAfter = threads();
    figure("shutdown under load: %d rounds (%d with telemetry shown), descriptors %d -> %d, "
           "threads %d -> %d",
           rounds, withData, fdsBefore, fdsAfter, threadsBefore, threadsAfter);
    EXPECT_GT(withData, 0);
    EXPECT_EQ(threadsAfter, threadsBefore) << "a worker outlived its windows";
    EXPECT_EQ(fdsAfter, fdsBefore) << "the port or an event stayed open";

    // The engine serves a new console after all that: the line still opens and reads.
    Windows again(link);
    again.form1->portName = QString::fromStdString(sim.path());
    again.form1->Button1Click();
    ASSERT_TRUE(waitUntil([&] { return again.form1->portOpen.load(); }));
    ASSERT_TRUE(waitUntil([&] { return again.form1->state.hardVersion != -1; }, 8000));
}

} // namespace
