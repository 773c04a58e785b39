#include "console/qt_platform.h"

#include <cstdlib>

namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Qt takes its options with one dash or two.
bool choosesPlatform(const std::string& arg) {
    return arg == "-platform" || arg == "--platform";
}

} // namespace

std::optional<std::string> preferredQtPlatform(const PlatformEnvironment& environment) {
    if (environment.display.empty() || !environment.qtPlatform.empty())
        return std::nullopt;
    for (const std::string& arg : environment.args)
        if (choosesPlatform(arg))
            return std::nullopt;
    if (!environment.waylandDisplay.empty())
        return "xcb;wayland";
    return "xcb";
}

void choosePreferredQtPlatform(int argc, char** argv) {
    PlatformEnvironment environment{environmentValue("DISPLAY"),
                                    environmentValue("WAYLAND_DISPLAY"),
                                    environmentValue("QT_QPA_PLATFORM"),
                                    {}};
    for (int i = 1; i < argc; ++i)
        environment.args.emplace_back(argv[i]);
    if (const std::optional<std::string> platform = preferredQtPlatform(environment))
        setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
}
