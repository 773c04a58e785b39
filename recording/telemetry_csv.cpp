#include "recording/telemetry_csv.h"

#include <charconv>
#include <cstdio>

namespace {

const char* const kColumns[] = {
    "time_s",      "address",   "battery_V", "battery_pct", "line_LU",     "line_RU",
    "line_LD",     "line_RD",   "led1",      "led2",        "led3",        "led4",
    "current_L",   "current_R", "sonar_L",   "sonar_R",     "accel_raw_X", "accel_raw_Y",
    "accel_raw_Z", "accel_X",   "accel_Y",   "accel_Z",     "aux13",       "aux14",
};

void appendFloat(std::string& out, float value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

void appendInt(std::string& out, int64_t value) {
    char text[24];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

} // namespace

TelemetryRow telemetryRow(const TelemetryFrame& frame, const RobotState& state) {
    TelemetryRow row;
    row.address = frame.address;
    row.batteryVolts = state.batteryVolts;
    row.batteryPercent = batteryPercentage(state.batteryVolts);
    for (int k = 0; k < 4; ++k) {
        row.lineSensor[k] = state.lineSensor[k];
        row.led[k] = state.ledReported[k];
    }
    row.currentLeft = state.engineCurrentLeft;
    row.currentRight = state.engineCurrentRight;
    row.sonarLeft = state.sonarLeft;
    row.sonarRight = state.sonarRight;
    row.accelRaw[0] = frame.accelX;
    row.accelRaw[1] = frame.accelY;
    row.accelRaw[2] = frame.accelZ;
    row.accel[0] = state.accelX;
    row.accel[1] = state.accelY;
    row.accel[2] = state.accelZ;
    row.aux13 = state.aux13;
    row.aux14 = state.aux14;
    return row;
}

std::string telemetryCsvHeader() {
    std::string out;
    for (const char* column : kColumns)
        out += (out.empty() ? "" : ",") + csvField(column);
    return out + "\r\n";
}

void appendTelemetryCsvRow(std::string& out, int64_t timeUs, const TelemetryRow& row) {
    char time[32];
    std::snprintf(time, sizeof time, "%lld.%06lld", (long long)(timeUs / 1000000),
                  (long long)(timeUs % 1000000));
    out += time;
    const auto field = [&out](int64_t v) {
        out += ',';
        appendInt(out, v);
    };
    field(row.address);
    out += ',';
    appendFloat(out, row.batteryVolts);
    out += ',';
    appendFloat(out, row.batteryPercent);
    for (const bool set : row.lineSensor)
        field(set ? 1 : 0);
    for (const bool on : row.led)
        field(on ? 1 : 0);
    for (const int32_t v : {row.currentLeft, row.currentRight, row.sonarLeft, row.sonarRight})
        field(v);
    for (const int32_t v : row.accelRaw)
        field(v);
    for (const int32_t v : row.accel)
        field(v);
    field(row.aux13);
    field(row.aux14);
    out += "\r\n";
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? "\"\"" : std::string(1, c);
    return out + "\"";
}
