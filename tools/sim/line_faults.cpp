#include "tools/sim/line_faults.h"

#include "protocol/robot_frame.h"

#include <cmath>
#include <cstdio>

size_t floodBytesDue(double elapsedSeconds) {
    if (!(elapsedSeconds > 0)) {
        return 0;
    }
    return static_cast<size_t>(std::floor(elapsedSeconds * LineBytesPerSecond));
}

void fillFlood(std::mt19937& random, Bytes& bytes) {
    for (uint8_t& b : bytes) {
        do {
            b = static_cast<uint8_t>(random());
        } while (b == StartByteCommand || b == StartByteTelemetry);
    }
}

TelemetryPiece classifyTelemetryPiece(const Bytes& piece) {
    if (piece.size() != 16) {
        return TelemetryPiece::Half;
    }
    unsigned sum = 0;
    for (size_t i = 3; i <= 14; ++i) {
        sum += piece[i];
    }
    return static_cast<uint8_t>(sum) == piece[15] ? TelemetryPiece::Good : TelemetryPiece::BadSum;
}

void LineStats::countTelemetry(const Bytes& piece, bool last) {
    switch (classifyTelemetryPiece(piece)) {
    case TelemetryPiece::Good:
        ++goodFrames;
        break;
    case TelemetryPiece::BadSum:
        ++badSumFrames;
        break;
    case TelemetryPiece::Half:
        splitFrames += last ? 1 : 0;
        break;
    }
}

std::string LineStats::summary() const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "line: %zu good whole telemetry frame(s), %zu with a bad sum, %zu split; "
                  "%zu noise chunk(s); %zu flood(s) of %zu byte(s)",
                  goodFrames, badSumFrames, splitFrames, noiseChunks, floods, floodBytes);
    return text;
}
