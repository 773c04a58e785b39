#pragma once
// Frames of the robot link: the 4-byte command and reply frame, the 16-byte telemetry frame,
// the builders of every frame the console sends, and the recognition of a received chunk.
//
// Sending: the console owns one FrameBuffer (8 bytes). Every sender fills it with one of the
// build* functions and hands it to the link: send_bytes(buffer.data(), length), where length is
// the builder's return value (4 for one frame, 8 for a drive pair). Addresses and values are
// taken as int and only their low 8 bits go into the frame.

#include <array>
#include <cstdint>

constexpr uint8_t StartByteCommand = 0xFE;   // addressed commands and their replies
constexpr uint8_t StartByteTelemetry = 0xFC; // drive-and-poll frame and the telemetry reply

// Command and reply codes, byte 2 of a RobotFrame.
enum RobotCommand : uint8_t {
    CmdAssignAddress = 0xCF,     // argument: the new address
    CmdProbe = 0xD0,             // argument: the probed address again
    RplUnitDetected = 0xD8,      // reply to CmdProbe; argument: the unit's address again
    CmdProgramActivate = 0xDA,   // argument 0
    CmdProgramDeactivate = 0xDB, // argument 0
    RplTelemetry = 0xE5,         // code of the 16-byte TelemetryFrame
    CmdDriveLeft = 0xE7,         // argument: left drive value 0..200, 100 = stand still
    CmdDriveRight = 0xE8,        // argument: right drive value 0..200
    CmdStop = 0xE9,              // argument 0xE9
    CmdSetLeds = 0xEA,           // argument: LED bits, bit 0 LED1 .. bit 3 LED4
    CmdSoftVersion = 0xEB,       // query with argument 0; the reply carries the soft version
    CmdHardVersion = 0xEC,       // query with argument 0; the reply carries the hard version
};

struct RobotFrame {
    uint8_t start;
    uint8_t address;
    uint8_t command;  // in the drive-and-poll frame: the right drive value
    uint8_t argument; // in the drive-and-poll frame: the left drive value
};
static_assert(sizeof(RobotFrame) == 4);

// The robot's status frame: FC, address, E5, twelve data bytes, sum of the data bytes.
struct TelemetryFrame {
    uint8_t start;        // 0xFC
    uint8_t address;      // sending unit; never compared with the chosen unit
    uint8_t code;         // 0xE5
    uint8_t battery;      // volts = ((battery - 1) mod 256) * 0.1
    uint8_t lineSensors;  // bit 0 LU, bit 1 RU, bit 2 LD, bit 3 RD
    uint8_t leds;         // bit 0 LED1 .. bit 3 LED4
    uint8_t currentLeft;  // raw 0..255
    uint8_t currentRight; // raw 0..255
    uint8_t sonarLeft;    // raw 0..255
    uint8_t sonarRight;   // raw 0..255
    uint8_t accelX;       // raw 0..255
    uint8_t accelY;
    uint8_t accelZ;
    uint8_t aux13;
    uint8_t aux14;
    uint8_t sum; // (bytes 3..14) mod 256
};
static_assert(sizeof(TelemetryFrame) == 16);

constexpr int TelemetryFrameSize = 16;
constexpr int RobotFrameSize = 4;
// The most bytes one read of the link delivers to the console.
constexpr int LinkReadSize = 32;

// Sum of bytes 3..14 of a 16-byte telemetry frame, modulo 256.
uint8_t frameSum(const uint8_t* frame16);

// The console's one outgoing frame buffer: one frame in bytes 0..3, a drive pair in 0..7.
using FrameBuffer = std::array<uint8_t, 8>;

// LED bits of a CmdSetLeds argument: bit 0 LED1 .. bit 3 LED4, bits 4..7 zero.
uint8_t ledBits(bool led1, bool led2, bool led3, bool led4);
uint8_t ledBits(const bool (&leds)[4]);

// Builders. Each fills the start of the buffer and returns the number of bytes to send.
// Any 4-byte frame: start, low 8 bits of address, command, low 8 bits of argument.
int buildFrame(FrameBuffer& buffer, uint8_t start, int address, uint8_t command, int argument);
int buildProbe(FrameBuffer& buffer, int address);                          // FE a D0 a
int buildAssignAddress(FrameBuffer& buffer, int address, int newAddress);  // FE a CF n
int buildProgramActivate(FrameBuffer& buffer, int address);                // FE a DA 00
int buildProgramDeactivate(FrameBuffer& buffer, int address);              // FE a DB 00
int buildSoftVersionQuery(FrameBuffer& buffer, int address);               // FE a EB 00
int buildHardVersionQuery(FrameBuffer& buffer, int address);               // FE a EC 00
int buildSetLeds(FrameBuffer& buffer, int address, uint8_t bits);          // FE a EA bits
int buildStop(FrameBuffer& buffer, int address);                           // FE a E9 E9
int buildDrivePair(FrameBuffer& buffer, int address, int left, int right); // 8 bytes
// FC a right left: the right value comes first in this frame.
int buildDriveAndPoll(FrameBuffer& buffer, int address, int left, int right);

// What a frame received from the robot is.
enum class ReplyKind { None, UnitDetected, SoftVersion, HardVersion, Telemetry };

// Recognises the frame at the start of data: FE with at least 4 bytes and code D8, EB or EC; or
// FC with code E5, at least 16 bytes and a matching frame sum. Anything else (including a null
// pointer or a count of zero or less) is None. Bytes after that frame are not looked at: the
// FrameReader (frame_reader.h) finds every frame of a stream of reads.
ReplyKind recognizeChunk(const uint8_t* data, int count);
