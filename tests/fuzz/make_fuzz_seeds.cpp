// Writes the seed inputs of the fuzz targets: make_fuzz_seeds <dir> fills <dir>/decoder and
// <dir>/engine with small files in each target's input format (see the top of fuzz_decoder.cpp
// and fuzz_engine_read.cpp). The frames are the ones the robot sends: telemetry with good and bad
// sums, the 15-byte short telemetry, version and unit-detected replies, and mixtures.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes telemetry(uint8_t address, std::initializer_list<uint8_t> data12, int sumOffset = 0) {
    Bytes frame{0xFC, address, 0xE5};
    frame.insert(frame.end(), data12.begin(), data12.end());
    unsigned sum = 0;
    for (size_t i = 3; i < frame.size(); ++i)
        sum += frame[i];
    frame.push_back(static_cast<uint8_t>(sum + static_cast<unsigned>(sumOffset)));
    return frame;
}

Bytes reply(uint8_t address, uint8_t code, uint8_t value) {
    return Bytes{0xFE, address, code, value};
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes first(const Bytes& bytes, size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(n));
}

// Decoder records: control byte (length 0..32 in bits 0..5, bit 6 calibrate, bit 7 port closed).
Bytes chunk(const Bytes& bytes, bool calibrate = false, bool portClosed = false) {
    Bytes out{
        static_cast<uint8_t>(bytes.size() | (calibrate ? 0x40 : 0) | (portClosed ? 0x80 : 0))};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

// Engine records: control byte (length - 1 in bits 0..5, pause code 0..3 in bits 6..7).
Bytes burst(const Bytes& bytes, int pauseCode = 0) {
    Bytes out{static_cast<uint8_t>((bytes.size() - 1) | (static_cast<unsigned>(pauseCode) << 6))};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

bool write(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <dir>\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::filesystem::path decoder = root / "decoder";
    const std::filesystem::path engine = root / "engine";
    std::filesystem::create_directories(decoder);
    std::filesystem::create_directories(engine);

    const Bytes good = telemetry(0xFD, {63, 0x05, 0x0A, 40, 41, 80, 96, 130, 120, 200, 1, 2});
    const Bytes good2 = telemetry(0x07, {0, 0x0F, 0x03, 255, 0, 12, 250, 131, 119, 201, 9, 0});
    const Bytes badSum = telemetry(0xFD, {60, 0x01, 0x08, 10, 20, 30, 40, 128, 128, 128, 0, 0}, 1);
    const Bytes all20 = telemetry(
        0xFD, {0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20}); // sum 0x80
    const Bytes short15 = first(good, 15);
    const Bytes soft = reply(0xFD, 0xEB, 7);
    const Bytes hard = reply(0xFD, 0xEC, 21);
    const Bytes hardUnknown = reply(0xFD, 0xEC, 7);
    const Bytes unit = reply(0x05, 0xD8, 0x05);
    const Bytes unitOther = reply(0x05, 0xD9, 0x05);
    const Bytes drivePoll = {0xFC, 0xFD, 0x32, 0x96};
    Bytes noise;
    for (int i = 0; i < 32; ++i)
        noise.push_back(static_cast<uint8_t>(0xF0 + (i * 7) % 17));

    struct Seed {
        const std::filesystem::path* dir;
        const char* name;
        Bytes bytes;
    };
    const Seed seeds[] = {
        {&decoder, "telemetry_good", chunk(good)},
        {&decoder, "telemetry_bad_sum", chunk(badSum)},
        {&decoder, "telemetry_all_20", chunk(all20)},
        {&decoder, "telemetry_short_15", chunk(short15)},
        {&decoder, "soft_version", chunk(soft)},
        {&decoder, "hard_version", join({chunk(hard), chunk(hardUnknown)})},
        {&decoder, "unit_detected", join({chunk(unit), chunk(unitOther)})},
        {&decoder, "telemetry_then_version", chunk(join({good, soft}))},
        {&decoder, "port_closed_then_open", join({chunk(good, false, true), chunk(good)})},
        {&decoder, "calibrate", join({chunk(good), chunk(good2, true), chunk(good, true)})},
        {&decoder, "mixed",
         join({chunk({}), chunk(drivePoll), chunk(noise), chunk(badSum),
               chunk(short15, false, true), chunk(good2), chunk(soft, true),
               chunk(join({unit, good}))})},

        {&engine, "telemetry", burst(good)},
        {&engine, "telemetry_long_pause", join({burst(good, 3), burst(good2)})},
        {&engine, "burst_40", burst(join({good, good2, first(good, 8)}))},
        {&engine, "version_short_pause", join({burst(soft, 1), burst(good)})},
        {&engine, "bad_sum_short_unit",
         join({burst(badSum, 2), burst(short15, 2), burst(unit, 0), burst(hard)})},
        {&engine, "burst_64", burst(join({noise, good, good2}))},
        {&engine, "split_frame",
         join({burst(first(good, 9), 3), burst(Bytes(good.begin() + 9, good.end()))})},
    };
    for (const Seed& seed : seeds) {
        if (!write(*seed.dir / seed.name, seed.bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", seed.name);
            return 1;
        }
    }
    return 0;
}
