#pragma once
// A KDE Plasma Wayland session for the desktop tests: KWin as the Wayland compositor of a virtual
// screen, with XWayland for X11 clients, on a session bus of its own. Debian's kwin_wayland
// carries a file capability (cap_sys_resource), which a container refuses to exec ("Operation not
// permitted"): the session runs a copy of it, which has none. KWin's permission checks are off, so
// that kde_probe may give the compositor's own input (its fake input protocol) and take
// screenshots; KWin's scripts tell where its windows are.

#include "tests/desktop/compositor_session.h"
#include "tests/desktop/window_manager_session.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

class KdeSession : public CompositorSession {
public:
    std::string start(const std::string& logPath) override {
        const std::string kwin = onPath("kwin_wayland");
        if (kwin.empty() || onPath("Xwayland").empty())
            return "kwin_wayland or Xwayland is not installed (scripts/install-deps.sh installs "
                   "them on Debian 12)";
        if (std::string(ZELK_KDE_PROBE_PATH).empty())
            return "kde_probe was not built (it needs libwayland-dev, libxkbcommon-dev and "
                   "plasma-wayland-protocols)";
        if (const std::string why = x11SocketDirReady(); !why.empty())
            return why;
        socket_ = "wayland-zelk-kde";
        char dir[] = "/tmp/zelk-kde-XXXXXX";
        if (!mkdtemp(dir))
            return "no runtime directory";
        dir_ = dir;
        std::error_code e;
        std::filesystem::copy_file(kwin, dir_ + "/kwin_wayland", e); // without its capability
        if (e)
            return "no copy of kwin_wayland: " + e.message();
        env_ = environmentWith(
            {"XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_, "XDG_CONFIG_HOME=" + dir_ + "/config",
             "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM", "LC_ALL=C.UTF-8",
             "KWIN_WAYLAND_NO_PERMISSION_CHECKS=1", "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1"});
        const std::string bus = startBus();
        if (bus.empty())
            return "no D-Bus daemon";
        env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
        Child::Options options;
        options.env = env_;
        options.errFile = logPath;
        options.outFile = logPath + ".out";
        std::remove(logPath.c_str());
        // KWin starts its session's programs once XWayland runs: this one says where it is.
        const std::string where = dir_ + "/xwayland";
        children_.push_back(std::make_unique<Child>(
            std::vector<std::string>{dir_ + "/kwin_wayland", "--virtual", "--xwayland", "--socket",
                                     socket_, "--width", std::to_string(ScreenWidth), "--height",
                                     std::to_string(ScreenHeight), "--no-lockscreen",
                                     "--no-global-shortcuts", "--no-kactivities",
                                     "sh -c 'echo \"$DISPLAY $XAUTHORITY\" >" + where +
                                         ".new && mv " + where + ".new " + where + "'"},
            options));
        Child& compositor = *children_.back();
        if (!waitFor([&] { return !compositor.running() || std::filesystem::exists(where); }) ||
            !compositor.running()) {
            std::ifstream in(logPath);
            const std::string log(std::istreambuf_iterator<char>(in), {});
            return "kwin_wayland did not come up: " +
                   log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
        }
        std::ifstream(where) >> xDisplay_ >> xauthority_;
        launchProbe({ZELK_KDE_PROBE_PATH, logPath});
        const std::optional<std::string> ready = probe_->readLine(kWaitMs);
        if (ready != "ready")
            return "kde_probe: " + ready.value_or("no answer");
        return {};
    }
    ~KdeSession() override {
        probe_.reset();
        while (!children_.empty())
            children_.pop_back(); // KWin before its bus
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    std::vector<ShellWindow> windows() override {
        const std::vector<std::string> r = ask("windows", 1);
        return parseShellWindows(r.empty() ? "" : r[0]);
    }

    static constexpr int ScreenWidth = 1920, ScreenHeight = 1080;

private:
    std::string dir_;
};

} // namespace desktop
