// The link readout on the real screen: calm while telemetry flows (also in the first second and
// during a scan of unit addresses), the warning colour when the robot falls silent, calm again
// when it answers.

#include "tests/desktop/desktop_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <signal.h>

namespace {

using namespace desktop;

constexpr int kReadoutX = 986, kReadoutY = 706, kReadoutW = 217, kReadoutH = 34;
constexpr int kScanX = 24 + 48, kScanY = 98 + 11; // SpeedButton3 "skanuj id"

class DesktopHealth : public Desktop {
protected:
    // Pixels of the readout's text in the warning colour (yellow) and in its calm one (teal).
    std::pair<int, int> readoutColours() {
        const XWindow m = main();
        int warning = 0, calm = 0;
        for (const auto& row : pixels(m.x + kReadoutX, m.y + kReadoutY, kReadoutW, kReadoutH))
            for (uint32_t p : row) {
                const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
                warning += (r > 180 && g > 180 && b < 80) ? 1 : 0;
                calm += (r < 40 && g > 90 && b > 90 && std::abs(g - b) < 20) ? 1 : 0;
            }
        return {warning, calm};
    }
};

// A number the text gives before `what` (" telemetry frame(s) sent"), or -1.
int numberBefore(const std::string& text, const std::string& what) {
    std::smatch m;
    return std::regex_search(text, m, std::regex("([0-9]+)" + what)) ? std::stoi(m[1]) : -1;
}

} // namespace

TEST_F(DesktopHealth, EveryFrameOfARobotAnsweringEachPollIsAccepted) {
    // The simulated robot answers each poll at once: its frames come about 50 ms apart, so the
    // line is never quiet for the link's whole gap. A scan puts the units' replies between them.
    startSim({"--units", "253,5,9"});
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(clickPanel(kScanX, kScanY));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_NO_FATAL_FAILURE(clickPanel(kScanX, kScanY));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_NO_FATAL_FAILURE(clickPanel(kDisconnectX, kDisconnectY));
    ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
    ASSERT_TRUE(sim_->stop());

    // What the robot sent, and what the console says it accepted when the line closed.
    const int sent = numberBefore(sim_->log(), " telemetry frame\\(s\\) sent");
    std::ifstream file(outPath("console.log"));
    const std::string said((std::istreambuf_iterator<char>(file)), {});
    // The line of this run's connection (the file keeps earlier runs' lines).
    const std::regex summary("link " + linkPath_ +
                             ": ([0-9]+) telemetry frames and ([0-9]+) other replies accepted, "
                             "([0-9]+) bad");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(said, m, summary)) << said;
    ASSERT_GE(sent, 40) << sim_->log();
    std::printf("sent %d; %s\n", sent, m[0].str().c_str());
    EXPECT_GE(std::stoi(m[1]) * 20, sent * 19) << "sent " << sent << "; " << m[0];
    EXPECT_GE(std::stoi(m[2]), 2 + 2) << "versions and the units found: " << m[0];
    EXPECT_EQ(std::stoi(m[3]), 0) << m[0];
}

TEST_F(DesktopHealth, ReadoutTurnsToTheWarningColourWhileTheRobotIsSilent) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(clickPanel(kScanX, kScanY)); // a scan while telemetry flows
    for (int i = 0; i < 15; ++i) {
        const auto [warning, calm] = readoutColours();
        ASSERT_EQ(warning, 0) << "warning while telemetry flows, sample " << i;
        ASSERT_GT(calm, 20) << "readout not shown, sample " << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_NO_FATAL_FAILURE(clickPanel(kScanX, kScanY)); // stop the scan
    const XWindow m = main();
    pointerTo(m.x + 400, m.y + 720); // over the robot picture: the panel folds
    pointerTo(m.x + 404, m.y + 722);
    waitFor([&] { return panel().width == 20; });
    screenshot("telemetry-flowing");

    ASSERT_EQ(kill(sim_->pid(), SIGSTOP), 0); // the robot falls silent, the line stays
    ASSERT_TRUE(waitFor([&] { return readoutColours().first > 20; })) << "no warning colour";
    screenshot("telemetry-lost");
    ASSERT_EQ(kill(sim_->pid(), SIGCONT), 0);
    ASSERT_TRUE(waitFor([&] {
        const auto [warning, calm] = readoutColours();
        return warning == 0 && calm > 20;
    })) << "still the warning colour after the robot answers again";
    screenshot("telemetry-back");
}
