#pragma once
// The simulator's command line.

#include <cstdint>
#include <string>
#include <vector>

struct UnitOption {
    int address = 253;
    int softVersion = 3;
    int hardVersion = 20;
};

struct SimOptions {
    std::vector<UnitOption> units; // at least one after parsing
    int telemetryFrom = -1;        // address (at start) of the unit that sends telemetry; -1: first
    int periodMs = 0;              // timed telemetry's period; 0: a frame answers each poll
    int gapMs = 0;                 // least quiet time between two writes
    uint32_t seed = 1;
    double dropAfterSeconds = -1; // < 0: never
    double durationSeconds = -1;  // < 0: run until a signal
    double noiseRate = 0;         // 0..1
    double badSumRate = 0;        // 0..1
    double splitRate = 0;         // 0..1
    int floodMs = 0;              // length of each flood; 0: no floods
    double floodEverySeconds = 5; // time from the end of one flood to the start of the next
    double batterySeconds = 240;  // full to empty standing still
    std::string linkPath;         // empty: no symlink
    std::string replayPath;       // a link capture to play back instead of the robot
    double replaySpeed = 1;       // 2: twice as fast
    bool replayLoop = false;
    bool quiet = false;
    bool logFrames = false;
    bool help = false;
};

// Parses argv[1..]. On failure returns false with a one-line reason in error.
bool parseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

// The --help text.
std::string usageText(const std::string& program);

// The first line the simulator prints on stdout, and how to take the device path out of it.
constexpr const char* FirstLinePrefix = "ZELK robot simulator on ";
std::string firstLine(const std::string& devicePath);
// The device path from a first line, or an empty string when the line is not one.
std::string devicePathFromFirstLine(const std::string& line);
