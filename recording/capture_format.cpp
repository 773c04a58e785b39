#include "recording/capture_format.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace {

const char kHex[] = "0123456789ABCDEF";

std::string escapePort(const std::string& port) {
    std::string out;
    for (const unsigned char c : port) {
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescapePort(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int hi = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int lo = hi >= 0 ? hexDigit(text[i + 2]) : -1;
        if (lo < 0)
            return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        const size_t space = line.find(' ', from);
        out.push_back(line.substr(from, space - from));
        if (space == std::string::npos)
            return out;
        from = space + 1;
    }
}

template <typename T> bool number(const std::string& text, T& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

void appendTime(std::string& out, int64_t timeUs) {
    char text[24];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, timeUs);
    out.append(text, ec == std::errc() ? end : text);
}

struct KindName {
    CaptureKind kind;
    const char* name;
};
constexpr KindName kKinds[] = {
    {CaptureKind::Rx, "rx"},     {CaptureKind::Tx, "tx"},     {CaptureKind::Refused, "refused"},
    {CaptureKind::Open, "open"}, {CaptureKind::Lost, "lost"}, {CaptureKind::End, "end"},
};

const char* kindName(CaptureKind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

bool fail(CaptureError& error, int line, std::string message) {
    error.line = line;
    error.message = std::move(message);
    return false;
}

bool readHeader(const std::string& line, CaptureHeader& header, CaptureError& error) {
    const std::vector<std::string> w = words(line);
    if (w[0] != CaptureMagic)
        return fail(error, 1,
                    std::string("not a link capture: the first line does not begin with ") +
                        CaptureMagic);
    if (w.size() < 2 || !number(w[1], header.version))
        return fail(error, 1, "no format version after " + std::string(CaptureMagic));
    if (header.version != CaptureVersion)
        return fail(error, 1,
                    "capture version " + w[1] + " is not readable here (version " +
                        std::to_string(CaptureVersion) + " is)");
    bool start = false, monotonic = false, port = false;
    for (size_t i = 2; i < w.size(); ++i) {
        const size_t eq = w[i].find('=');
        const std::string key = w[i].substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : w[i].substr(eq + 1);
        if (key == "start") {
            header.start = value;
            start = !value.empty();
        } else if (key == "monotonic_us") {
            monotonic = number(value, header.monotonicUs);
        } else if (key == "port") {
            const std::optional<std::string> name = unescapePort(value);
            port = name.has_value();
            header.port = name.value_or("");
        }
    }
    if (!start || !monotonic || !port)
        return fail(error, 1, "the first line needs start=, monotonic_us= and port=");
    return true;
}

bool readBytes(const std::vector<std::string>& w, int most, CaptureLine& line,
               CaptureError& error) {
    if (w.size() < 3)
        return fail(error, line.number, "no bytes after \"" + w[1] + "\"");
    if (int(w.size()) - 2 > most)
        return fail(error, line.number,
                    "more than " + std::to_string(most) + " bytes after \"" + w[1] + "\"");
    for (size_t i = 2; i < w.size(); ++i) {
        const int hi = w[i].size() == 2 ? hexDigit(w[i][0]) : -1;
        const int lo = hi >= 0 ? hexDigit(w[i][1]) : -1;
        if (lo < 0)
            return fail(error, line.number, "\"" + w[i] + "\" is no byte in hex");
        line.bytes.push_back(uint8_t(hi * 16 + lo));
    }
    return true;
}

bool readLine(const std::string& text, CaptureLine& line, CaptureError& error) {
    const std::vector<std::string> w = words(text);
    if (w.size() < 2 || !number(w[0], line.timeUs))
        return fail(error, line.number, "a line begins with its time in microseconds and a kind");
    bool known = false;
    for (const KindName& k : kKinds) {
        if (w[1] == k.name) {
            line.kind = k.kind;
            known = true;
        }
    }
    if (!known)
        return fail(error, line.number, "unknown kind \"" + w[1] + "\"");
    switch (line.kind) {
    case CaptureKind::Rx:
        return readBytes(w, CaptureMaxChunk, line, error);
    case CaptureKind::Tx:
    case CaptureKind::Refused:
        return readBytes(w, CaptureMaxFrame, line, error);
    case CaptureKind::Open: {
        const std::optional<std::string> port =
            w.size() == 3 ? unescapePort(w[2]) : std::optional<std::string>();
        if (!port)
            return fail(error, line.number, "\"open\" takes one port name");
        line.text = *port;
        return true;
    }
    case CaptureKind::Lost:
        if (w.size() != 4 || (w[2] != "rx" && w[2] != "tx" && w[2] != "csv") ||
            !number(w[3], line.count) || line.count == 0)
            return fail(error, line.number, "\"lost\" takes rx, tx or csv and a count");
        line.text = w[2];
        return true;
    case CaptureKind::End:
        if (w.size() != 2)
            return fail(error, line.number, "\"end\" takes nothing");
        return true;
    }
    return false;
}

} // namespace

std::string captureStartText(int64_t epochUs) {
    const time_t seconds = time_t(epochUs / 1000000);
    tm local{};
    localtime_r(&seconds, &local);
    char date[32], zone[8];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s.%06lld%s", date, (long long)(epochUs % 1000000), zone);
    return text;
}

std::string captureHeaderLine(const CaptureHeader& header) {
    std::string out = std::string(CaptureMagic) + " " + std::to_string(header.version) +
                      " start=" + header.start + " monotonic_us=";
    appendTime(out, header.monotonicUs);
    out += " port=" + escapePort(header.port) + "\n";
    return out;
}

void appendCaptureBytes(std::string& out, int64_t timeUs, CaptureKind kind, const uint8_t* bytes,
                        int count) {
    appendTime(out, timeUs);
    out += ' ';
    out += kindName(kind);
    for (int i = 0; i < count; ++i) {
        out += ' ';
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    out += '\n';
}

void appendCaptureOpen(std::string& out, int64_t timeUs, const std::string& port) {
    appendTime(out, timeUs);
    out += " open " + escapePort(port) + "\n";
}

void appendCaptureLost(std::string& out, int64_t timeUs, const std::string& what, uint64_t count) {
    appendTime(out, timeUs);
    out += " lost " + what + " " + std::to_string(count) + "\n";
}

void appendCaptureEnd(std::string& out, int64_t timeUs) {
    appendTime(out, timeUs);
    out += " end\n";
}

std::optional<Capture> readCapture(std::istream& in, CaptureError& error) {
    Capture capture;
    std::string text;
    int number = 0;
    int64_t lastRx = 0, lastConsole = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r')
            text.pop_back(); // a file that went through an editor of another system
        if (number == 1) {
            if (!readHeader(text, capture.header, error))
                return std::nullopt;
            continue;
        }
        if (capture.ended) {
            fail(error, number, "a line after \"end\"");
            return std::nullopt;
        }
        CaptureLine line;
        line.number = number;
        if (!readLine(text, line, error))
            return std::nullopt;
        const bool rx = line.kind == CaptureKind::Rx;
        const bool console = line.kind == CaptureKind::Tx || line.kind == CaptureKind::Refused ||
                             line.kind == CaptureKind::Open;
        if ((rx && line.timeUs < lastRx) || (console && line.timeUs < lastConsole)) {
            fail(error, number, "the time goes back");
            return std::nullopt;
        }
        lastRx = rx ? line.timeUs : lastRx;
        lastConsole = console ? line.timeUs : lastConsole;
        capture.ended = line.kind == CaptureKind::End;
        capture.lines.push_back(std::move(line));
    }
    if (number == 0) {
        fail(error, 1, "an empty file is no link capture");
        return std::nullopt;
    }
    return capture;
}
