#pragma once
// What the simulated robot does to its line on request, and its count of what went out.
//
// A flood writes random bytes back to back at the line's rate, so that the console's reads never
// see the line go quiet. No flood byte is a start byte (FC or FE): nothing in a flood can be
// taken for a frame or a reply, and whatever the console shows during a flood came from a frame.

#include "tools/sim/output_queue.h"

#include <cstddef>
#include <random>
#include <string>

// 57600 bit/s, ten bits per byte on the line (start bit, 8 data bits, stop bit).
constexpr double LineBytesPerSecond = 5760.0;

// The number of bytes a flood that began elapsedSeconds ago has written at the line's rate.
size_t floodBytesDue(double elapsedSeconds);

// Fills bytes with random values, none of them FC or FE.
void fillFlood(std::mt19937& random, Bytes& bytes);

// What a written telemetry piece was.
enum class TelemetryPiece {
    Good,   // a whole frame in one write, its sum right: the console decodes it
    BadSum, // a whole frame in one write, its sum wrong: the console drops it
    Half,   // one half of a split frame: the console drops both halves
};
TelemetryPiece classifyTelemetryPiece(const Bytes& piece);

// Counts of what the simulator wrote, printed as one line on stderr when it ends.
struct LineStats {
    size_t goodFrames = 0; // telemetry frames written whole with a right sum
    size_t badSumFrames = 0;
    size_t splitFrames = 0; // frames whose second half was written
    size_t noiseChunks = 0;
    size_t floods = 0;
    size_t floodBytes = 0;

    void countTelemetry(const Bytes& piece, bool last);
    // "line: G good whole telemetry frame(s), B with a bad sum, S split; N noise chunk(s);
    //  F flood(s) of Y byte(s)"
    std::string summary() const;
};
