#pragma once
// The link's health as the operator needs it: telemetry frames per second over the last two
// seconds, the runs of bytes refused since the port opened, the time since the last accepted
// telemetry frame, and whether the robot has stopped answering.
//
// The robot is lost when, with the port open and the command cycle sending frames that the
// robot answers (version queries, drive-and-poll frames), no accepted reply of any kind from the
// chosen unit has come for lostAfterMs, counted from the latest of: the port opening, the cycle
// starting to send such frames, the unit's last accepted reply. Another unit's replies on the
// same line (a scan's answers, another robot's telemetry) are no answer either. The rate and the
// age of the last frame count the chosen unit's telemetry too, so that the readout and the lost
// and back lines tell the same story; another unit's telemetry is counted beside it, with that
// unit's address. Times are milliseconds on any monotonic clock; nothing here reads a clock.

#include "protocol/robot_frame.h"

#include <cstdint>
#include <deque>
#include <optional>

class LinkHealth {
public:
    static constexpr int64_t rateWindowMs = 2000;
    static constexpr int64_t lostAfterMs = 1000;

    // What a change of the robot's answering means for the operator.
    struct Change {
        enum class Kind { Lost, Back } kind;
        int64_t missingMs = 0; // Back: how long no accepted reply came
    };

    void portOpened(int64_t nowMs);
    void portClosed();
    bool open() const { return open_; }

    // One item of the received stream while the port is open: a decoded frame, or None for a
    // run of bytes refused; fromUnit tells whether a frame carries the chosen unit's address,
    // address is the frame's. Returns Back when the unit answers again after it was lost.
    std::optional<Change> chunk(ReplyKind kind, bool fromUnit, int64_t nowMs, int address = -1);
    // What the command cycle just sent: true for a frame the robot answers.
    void cycleSent(bool expectsReply, int64_t nowMs);
    // Returns Lost once when the robot stops answering.
    std::optional<Change> check(int64_t nowMs);

    bool lost() const { return lost_; }
    // The chosen unit's accepted telemetry frames per second over the last rateWindowMs (fewer
    // while the port has been open for less than that).
    double telemetryRate(int64_t nowMs);
    // Other units' telemetry over the same window: its rate, and the address of the latest.
    struct OtherUnit {
        int address = -1;
        double framesPerSecond = 0;
    };
    std::optional<OtherUnit> otherUnitTelemetry(int64_t nowMs);
    int refused() const { return refused_; }
    // Frames accepted since the port opened, of every unit: telemetry, and the other replies.
    int telemetryAccepted() const { return telemetryAccepted_; }
    int repliesAccepted() const { return repliesAccepted_; }
    int64_t openedAt() const { return openedAt_; }
    // Time since the chosen unit's last accepted telemetry frame; none before the first of this
    // connection.
    std::optional<int64_t> telemetryAgeMs(int64_t nowMs) const;

private:
    void forgetBefore(int64_t nowMs);

    bool open_ = false;
    bool lost_ = false;
    int64_t openedAt_ = 0;
    std::optional<int64_t> expectingSince_;
    std::optional<int64_t> lastReplyAt_;
    std::optional<int64_t> lastTelemetryAt_;
    std::deque<int64_t> telemetryTimes_;
    std::deque<int64_t> otherTelemetryTimes_;
    int otherAddress_ = -1;
    int refused_ = 0;
    int telemetryAccepted_ = 0;
    int repliesAccepted_ = 0;
};
