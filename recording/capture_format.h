#pragma once
// The link capture: a text file of what went over the serial line while a recording ran, one
// line a chunk, so that it can be read, searched and played back to a console.
//
//   ZELK-LINK-CAPTURE 1 start=2025-01-10T12:34:56.123456+0100 monotonic_us=81234567890 port=COM7
//   1203 open /dev/ttyUSB0
//   52001 tx FC FD 64 64
//   103412 rx FC FD E5 3F 00 00 12 11 30 31 80 81 C0 00 07 D3
//   ...
//   60012345 end
//
// The first line names the format and its version, the start (local date and time, with the
// offset from UTC), the monotonic clock at the start in microseconds, and the port the console
// had chosen then. Every other line is: microseconds since the start on that monotonic clock, a
// kind, its payload, separated by single spaces:
//
//   rx HEX...     a chunk the engine read from the robot, as it delivered it (a read ends at 32
//                 bytes or 50 ms after its last byte; its time is that moment)
//   tx HEX...     a frame the console handed to the engine, which took it for writing
//   refused HEX.. a frame the engine refused (a write still under way, or no port open): it
//                 never went on the line
//   open PORT     the port opened (a recording started before the console connected)
//   lost WHAT N   N items of WHAT (rx, tx or csv rows) were not recorded: the writer fell behind
//   end           the recording ended cleanly; nothing follows
//
// HEX is the bytes as two upper-case hex digits each, one space apart. PORT and the header's
// port keep printable ASCII as it is and write every other byte, the space and '%' as %XX.
// Times never go back among the rx lines, nor among the lines the console wrote (tx, refused,
// open). Lines end in a line feed.

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

constexpr const char* CaptureMagic = "ZELK-LINK-CAPTURE";
constexpr int CaptureVersion = 1;
// The most bytes one rx line holds (the engine's largest read), and one tx line.
constexpr int CaptureMaxChunk = 1024;
constexpr int CaptureMaxFrame = 255;

enum class CaptureKind { Rx, Tx, Refused, Open, Lost, End };

struct CaptureHeader {
    int version = CaptureVersion;
    std::string start; // local date and time, ISO 8601 with microseconds and offset
    int64_t monotonicUs = 0;
    std::string port;
};

struct CaptureLine {
    int number = 0; // line of the file, from 1
    int64_t timeUs = 0;
    CaptureKind kind = CaptureKind::Rx;
    std::vector<uint8_t> bytes; // rx, tx, refused
    std::string text;           // open: the port; lost: what
    uint64_t count = 0;         // lost
};

struct Capture {
    CaptureHeader header;
    std::vector<CaptureLine> lines;
    bool ended = false; // the end line is there
};

struct CaptureError {
    int line = 0; // from 1
    std::string message;
};

// ISO 8601 local time with microseconds and the UTC offset, from microseconds since the epoch.
std::string captureStartText(int64_t epochUs);

// Writing: each appends one whole line.
std::string captureHeaderLine(const CaptureHeader& header);
void appendCaptureBytes(std::string& out, int64_t timeUs, CaptureKind kind, const uint8_t* bytes,
                        int count);
void appendCaptureOpen(std::string& out, int64_t timeUs, const std::string& port);
void appendCaptureLost(std::string& out, int64_t timeUs, const std::string& what, uint64_t count);
void appendCaptureEnd(std::string& out, int64_t timeUs);

// Reading: the whole file, or the first line that is wrong.
std::optional<Capture> readCapture(std::istream& in, CaptureError& error);
