#include "tools/sim/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

bool parseInt(const std::string& text, long min, long max, long& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < min || v > max) {
        return false;
    }
    value = v;
    return true;
}

bool parseReal(const std::string& text, double min, double max, double& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < min ||
        v > max) {
        return false;
    }
    value = v;
    return true;
}

// "A" or "A:SOFT" or "A:SOFT:HARD"; missing versions come from the defaults.
bool parseUnit(const std::string& text, const UnitOption& defaults, UnitOption& unit) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ':')) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == ':') {
        parts.push_back("");
    }
    if (parts.empty() || parts.size() > 3) {
        return false;
    }
    unit = defaults;
    long v = 0;
    if (!parseInt(parts[0], 0, 255, v)) {
        return false;
    }
    unit.address = static_cast<int>(v);
    if (parts.size() > 1) {
        if (!parseInt(parts[1], 0, 255, v)) {
            return false;
        }
        unit.softVersion = static_cast<int>(v);
    }
    if (parts.size() > 2) {
        if (!parseInt(parts[2], 0, 255, v)) {
            return false;
        }
        unit.hardVersion = static_cast<int>(v);
    }
    return true;
}

} // namespace

bool parseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    options = SimOptions{};
    UnitOption defaults;
    std::string unitList;
    bool addressGiven = false;
    std::vector<std::string> given;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        given.push_back(name);
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        long n = 0;
        double d = 0;
        const auto bad = [&](const char* what) {
            error = "option " + name + ": " + what + ", not \"" + text + "\"";
            return false;
        };
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--log") {
            options.logFrames = true;
        } else if (name == "--address") {
            if (!value(text)) {
                return false;
            }
            if (!parseInt(text, 0, 255, n)) {
                return bad("expects an address 0..255");
            }
            defaults.address = static_cast<int>(n);
            addressGiven = true;
        } else if (name == "--soft-version" || name == "--hard-version") {
            if (!value(text)) {
                return false;
            }
            if (!parseInt(text, 0, 255, n)) {
                return bad("expects a number 0..255");
            }
            (name == "--soft-version" ? defaults.softVersion : defaults.hardVersion) =
                static_cast<int>(n);
        } else if (name == "--units") {
            if (!value(unitList)) {
                return false;
            }
        } else if (name == "--telemetry-from") {
            if (!value(text)) {
                return false;
            }
            if (!parseInt(text, 0, 255, n)) {
                return bad("expects an address 0..255");
            }
            options.telemetryFrom = static_cast<int>(n);
        } else if (name == "--period" || name == "--gap") {
            if (!value(text)) {
                return false;
            }
            if (!parseInt(text, name == "--gap" ? 0 : 1, 60000, n)) {
                return bad(name == "--gap" ? "expects milliseconds 0..60000"
                                           : "expects milliseconds 1..60000");
            }
            (name == "--gap" ? options.gapMs : options.periodMs) = static_cast<int>(n);
        } else if (name == "--seed") {
            if (!value(text)) {
                return false;
            }
            if (!parseInt(text, 0, 4294967295L, n)) {
                return bad("expects a number 0..4294967295");
            }
            options.seed = static_cast<uint32_t>(n);
        } else if (name == "--drop-after" || name == "--duration" || name == "--battery-seconds") {
            if (!value(text)) {
                return false;
            }
            const double min = name == "--battery-seconds" ? 1 : 0;
            if (!parseReal(text, min, 1e7, d)) {
                return bad("expects seconds");
            }
            (name == "--drop-after" ? options.dropAfterSeconds
             : name == "--duration" ? options.durationSeconds
                                    : options.batterySeconds) = d;
        } else if (name == "--noise" || name == "--bad-sum" || name == "--split") {
            if (!value(text)) {
                return false;
            }
            if (!parseReal(text, 0, 1, d)) {
                return bad("expects a fraction 0..1");
            }
            (name == "--noise"     ? options.noiseRate
             : name == "--bad-sum" ? options.badSumRate
                                   : options.splitRate) = d;
        } else if (name == "--flood") {
            if (!value(text)) {
                return false;
            }
            if (!parseInt(text, 0, 600000, n)) {
                return bad("expects milliseconds 0..600000");
            }
            options.floodMs = static_cast<int>(n);
        } else if (name == "--flood-every") {
            if (!value(text)) {
                return false;
            }
            if (!parseReal(text, 0.1, 1e7, d)) {
                return bad("expects seconds, at least 0.1");
            }
            options.floodEverySeconds = d;
        } else if (name == "--replay") {
            if (!value(options.replayPath)) {
                return false;
            }
            if (options.replayPath.empty()) {
                error = "option --replay needs a file";
                return false;
            }
        } else if (name == "--speed") {
            if (!value(text)) {
                return false;
            }
            if (!parseReal(text, 0.01, 1000, d)) {
                return bad("expects a factor 0.01..1000");
            }
            options.replaySpeed = d;
        } else if (name == "--loop") {
            options.replayLoop = true;
        } else if (name == "--link") {
            if (!value(options.linkPath)) {
                return false;
            }
            if (options.linkPath.empty()) {
                error = "option --link needs a path";
                return false;
            }
        } else {
            error = "unknown option " + name;
            return false;
        }
    }

    // A capture plays as it was recorded: nothing of the robot or its line applies to it.
    const std::vector<std::string> withReplay = {
        "--replay",     "--speed", "--loop", "--link", "--duration",
        "--drop-after", "--quiet", "--log",  "--help", "-h"};
    for (const std::string& name : given) {
        const bool replayOnly = name == "--speed" || name == "--loop";
        if (options.replayPath.empty() && replayOnly) {
            error = "option " + name + " goes with --replay";
            return false;
        }
        if (!options.replayPath.empty() &&
            std::find(withReplay.begin(), withReplay.end(), name) == withReplay.end()) {
            error = "option " + name + " does not go with --replay: a capture plays as it was";
            return false;
        }
    }

    if (!unitList.empty()) {
        if (addressGiven) {
            error = "give either --address or --units, not both";
            return false;
        }
        std::istringstream in(unitList);
        std::string item;
        while (std::getline(in, item, ',')) {
            UnitOption unit;
            if (!parseUnit(item, defaults, unit)) {
                error = "option --units: \"" + item + "\" is no ADDRESS[:SOFT[:HARD]]";
                return false;
            }
            options.units.push_back(unit);
        }
        if (unitList.back() == ',') {
            error = "option --units: empty entry at the end";
            return false;
        }
    } else {
        options.units.push_back(defaults);
    }
    if (options.telemetryFrom >= 0) {
        bool found = false;
        for (const UnitOption& unit : options.units) {
            found = found || unit.address == options.telemetryFrom;
        }
        if (!found) {
            error = "option --telemetry-from: no unit has the address " +
                    std::to_string(options.telemetryFrom);
            return false;
        }
    }
    return true;
}

std::string firstLine(const std::string& devicePath) {
    return std::string(FirstLinePrefix) + devicePath +
           " (type this into the console's port box and press \"polacz\")";
}

std::string devicePathFromFirstLine(const std::string& line) {
    const std::string prefix = FirstLinePrefix;
    if (line.compare(0, prefix.size(), prefix) != 0) {
        return {};
    }
    const size_t end = line.find(' ', prefix.size());
    return line.substr(prefix.size(),
                       end == std::string::npos ? std::string::npos : end - prefix.size());
}

std::string usageText(const std::string& program) {
    return "Usage: " + program + R"( [options]

The simulated ZELK robot: opens a pseudo-terminal and speaks the robot's frames on it, for the
console's demo and for end-to-end tests.

Once the device is open, its first line on stdout reads
  ZELK robot simulator on DEVICE (type this into the console's port box and press "polacz")
DEVICE is the text after the fixed prefix "ZELK robot simulator on " up to the next space
(for example /dev/pts/5). Everything after the first line goes to stderr.

Units:
  --address N          address of the unit (default 253)
  --soft-version N     soft version it reports (default 3)
  --hard-version N     hard version = unit type it reports (default 20, ZELK24)
  --units LIST         several units on one line instead of --address: comma-separated
                       ADDRESS[:SOFT[:HARD]], e.g. 253,7,12:4:21; versions not given come from
                       --soft-version / --hard-version. Each unit answers its own probe and
                       version queries and keeps its own LEDs and drive values.
  --telemetry-from A   the unit (by its address at start) whose robot moves and sends
                       telemetry (default the first unit)

Line:
  (default)            the unit answers at once, as a real one does: each drive-and-poll frame
                       to the telemetry unit gets its telemetry frame, each query its reply,
                       with no pause between them beyond what the line takes
  --period MS          timed telemetry instead: a frame every MS milliseconds whether or not
                       the console polls; drive-and-poll frames then only set the drive values
  --gap MS             least quiet time between any two writes (default 0). Above 50 ms the
                       console, whose reads end after 50 ms without bytes, gets each frame in a
                       read of its own
  --link PATH          also make PATH a symbolic link to the device (e.g. /tmp/zelk-robot);
                       an old symbolic link there is replaced; removed on exit
  --drop-after S       after S seconds close the line (the console sees its port vanish) and exit
  --duration S         exit after S seconds
  --noise RATE         fraction 0..1: before that share of telemetry frames write 1..4 random
                       bytes as a chunk of their own (never beginning with FE or FC)
  --bad-sum RATE       fraction 0..1 of telemetry frames sent with a wrong frame sum
  --split RATE         fraction 0..1 of telemetry frames written in two halves, with the gap
                       between them (with a gap above 50 ms the console loses such a frame)
  --flood MS           flood the line: every --flood-every seconds write random bytes back to
                       back at the line's rate (5760 bytes per second) for MS milliseconds; no
                       flood byte is FC or FE, so nothing in a flood is a frame. Telemetry and
                       replies wait until the flood is over and the gap has passed; a flood
                       starts only after the gap, never between the halves of a split frame.
  --flood-every S      seconds from the end of one flood to the start of the next (default 5)

Replay:
  --replay FILE        play a link capture that the console recorded back instead of a robot:
                       the robot's side of it (its rx lines) with the timing it had, from the
                       moment the console first writes; what the console sends is only logged.
                       A file that is no capture, or a wrong line, is named with its line and
                       nothing is played. While the console does not read (a notice of its own
                       is up), the chunk that is due waits, the ones after it keep their
                       spacing. Only --link, --duration, --drop-after, --quiet and --log go
                       with it
  --speed X            play X times as fast (0.01..1000, default 1)
  --loop               start again after the last chunk, with the pause before the first chunk
                       it had at the start (at least 50 ms)

Robot:
  --seed N             seed of the sensor noise and of the line faults above (default 1)
  --battery-seconds S  battery life standing still, full (6.2 V) to empty (5.5 V), then it is
                       recharged at once (default 240; driving drains it up to 3 times faster)

Logging (stderr):
  --quiet              no per-frame lines, only start, stop, program commands and address changes
  --log                also every received chunk and every written chunk in hex (a flood
                       write by its length only)
  --help               this text

The robot: 4 m x 3 m room, walls all round, a figure of eight (two 0.6 m loops, 3 cm wide)
drawn around the room's centre; the robot starts on the crossing, facing a long wall 1.5 m
away. Drive values 0..200 (100 = stand still) set the wheel speeds (+-0.5 m/s).
Telemetry: battery, line sensors LU RU LD RD, LEDs as last set, engine currents, sonars (cm/2 to
the wall along two forward rays, at most 255), accelerometer (128 = 0 g, 64 counts per g, Z at
1 g), aux13 = 1 while the program is active, aux14 = frame counter.
SIGINT, SIGTERM and SIGHUP end the simulator cleanly.

When it ends it prints, also with --quiet, the number of frames received and sent and a line
  line: G good whole telemetry frame(s), B with a bad sum, S split; N noise chunk(s);
        F flood(s) of Y byte(s)
(on one line): G frames went out whole in one write with a right sum.
)";
}
