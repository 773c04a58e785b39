// libFuzzer target: frame reading and the reply decoder, one run of the console per input.
//
// Input format: a sequence of records, each one control byte followed by the chunk's bytes.
//   control bits 0..5  n; the chunk holds n mod 33 bytes (0..32, the largest read of the
//                      console's link), fewer when the input ends first
//   control bit 6      the operator presses the calibration button before this chunk
//   control bit 7      the port is not marked open (portOpen false) while this chunk arrives
// Every input starts with a fresh ReplyDecoder and RobotState, as a new run of the console does.
// Each chunk is copied into a heap block of exactly its length, so a read past its end is an
// AddressSanitizer report. decoder_oracle.h lists the checks made after every chunk.

#include "decoder_oracle.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReplyDecoder decoder;
    fuzz::StreamModel model;
    RobotState state;
    size_t pos = 0;
    while (pos < size) {
        const uint8_t control = data[pos++];
        size_t length = static_cast<size_t>(control & 0x3F) % 33;
        if (length > size - pos)
            length = size - pos;
        const bool calibrate = (control & 0x40) != 0;
        const bool portOpen = (control & 0x80) == 0;

        std::unique_ptr<uint8_t[]> chunk(new uint8_t[length]);
        if (length > 0)
            std::memcpy(chunk.get(), data + pos, length);
        pos += length;

        if (calibrate)
            calibrateAccelerometer(state); // the button's work, on the GUI thread between chunks
        fuzz::decodeChecked(decoder, model, state, chunk.get(), static_cast<int>(length), portOpen);
    }
    return 0;
}
