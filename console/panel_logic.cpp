#include "console/panel_logic.h"

#include <charconv>
#include <system_error>

PanelRect panelDockRect(DockMoment moment, const MainFrame& main, int currentWidth) {
    PanelRect rect;
    switch (moment) {
    case DockMoment::Creation:
    case DockMoment::MainMouseMove:
        rect.width = PanelCollapsedWidth;
        rect.top = main.top + PanelDockDrop;
        break;
    case DockMoment::PanelMouseMove:
        rect.width = PanelExpandedWidth;
        rect.top = main.top + PanelDockDrop;
        break;
    case DockMoment::Shown:
        rect.width = currentWidth;
        rect.top = main.top;
        break;
    }
    if (main.titleBar > 0) {
        rect.top = main.top + main.titleBar;
    }
    rect.left = main.left + main.width - rect.width;
    return rect;
}

ScanStep scanStep(int32_t scanAddress) {
    ScanStep step;
    step.probeAddress = static_cast<uint8_t>(scanAddress & 0xFF);
    if (scanAddress <= ScanLastAddress - 1) {
        step.gaugeValue = scanAddress;
        step.nextAddress = scanAddress + 1;
        step.scanEnds = false;
    } else {
        // The gauge showed the last address for the moment of the tick and drops back to 0.
        step.gaugeValue = 0;
        step.nextAddress = 0;
        step.scanEnds = true;
    }
    return step;
}

int unitAddressFromLine(std::string_view line) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && blank(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && blank(line.back())) {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.front() == '+') {
        line.remove_prefix(1);
        if (!line.empty() && line.front() == '-') {
            return 1; // "+-5" is no number
        }
    }
    int value = 0;
    const char* end = line.data() + line.size();
    const auto [ptr, ec] = std::from_chars(line.data(), end, value, 10);
    if (line.empty() || ec != std::errc() || ptr != end) {
        return 1;
    }
    return value;
}
