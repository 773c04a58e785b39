#include "tools/sim/telemetry.h"

#include "protocol/robot_frame.h"

uint8_t telemetrySum(const TelemetryBytes& frame) {
    unsigned sum = 0;
    for (int i = 3; i <= 14; ++i) {
        sum += frame[i];
    }
    return static_cast<uint8_t>(sum & 0xFF);
}

TelemetryBytes buildTelemetry(uint8_t address, const SensorReadings& s, uint8_t leds, uint8_t aux13,
                              uint8_t aux14) {
    TelemetryBytes f{StartByteTelemetry,
                     address,
                     RplTelemetry,
                     s.battery,
                     static_cast<uint8_t>(s.lineSensors & 0x0F),
                     static_cast<uint8_t>(leds & 0x0F),
                     s.currentLeft,
                     s.currentRight,
                     s.sonarLeft,
                     s.sonarRight,
                     s.accelX,
                     s.accelY,
                     s.accelZ,
                     aux13,
                     aux14,
                     0};
    f[15] = telemetrySum(f);
    return f;
}

void spoilSum(TelemetryBytes& frame) {
    frame[15] = static_cast<uint8_t>(telemetrySum(frame) + 1);
}
