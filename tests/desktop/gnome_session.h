#pragma once
// A headless GNOME session for the desktop tests, as GNOME runs on Debian: gnome-shell as the
// Wayland compositor of a virtual monitor, with XWayland for X11 clients, on a session bus of its
// own and another bus standing in for the system bus (gnome-shell 43 stops without one). A test
// extension turns on the shell's unsafe mode, which lets gnome_probe take screenshots and read
// the shell's windows: where they are, how they are stacked, which has the focus. The pointer
// and the keys are the compositor's own (its remote desktop session, whose screen cast needs
// PipeWire): they focus and raise windows as a person's do, X11 clients' and Wayland clients'
// alike.

#include "tests/desktop/compositor_session.h"
#include "tests/desktop/window_manager_session.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

class GnomeSession : public CompositorSession {
public:
    static constexpr int ScreenWidth = 1920, ScreenHeight = 1080;

    // Empty when the session runs; otherwise why it does not.
    std::string start(const std::string& logPath) override {
        for (const char* program : {"gnome-shell", "dbus-daemon", "gsettings", "pipewire"})
            if (onPath(program).empty())
                return std::string(program) + " is not installed (scripts/install-deps.sh "
                                              "installs it)";
        if (const std::string why = x11SocketDirReady(); !why.empty())
            return why;
        char dir[] = "/tmp/zelk-gnome-XXXXXX";
        if (!mkdtemp(dir))
            return "no runtime directory";
        dir_ = dir;
        socket_ = "wayland-zelk-gnome";
        const std::string extension = dir_ + "/share/gnome-shell/extensions/zelk-test@zelk";
        std::filesystem::create_directories(extension);
        std::ofstream(extension + "/metadata.json")
            << R"({"uuid": "zelk-test@zelk", "name": "zelk test", "description": "unsafe mode",)"
            << R"( "shell-version": ["43", "44", "45", "46", "47", "48", "49"]})";
        // GNOME 45 and later load extensions as modules, earlier ones as scripts.
        const std::string version = run({"gnome-shell", "--version"}, {}).out;
        const size_t at = version.find("Shell ");
        const bool modules = at != std::string::npos && std::atoi(version.c_str() + at + 6) >= 45;
        std::ofstream(extension + "/extension.js")
            << (modules ? "import {Extension} from "
                          "'resource:///org/gnome/shell/extensions/extension.js';\n"
                          "export default class Unsafe extends Extension { enable() { "
                          "global.context.unsafe_mode = true; } disable() {} }\n"
                        : "function init() { return { enable() { global.context.unsafe_mode = "
                          "true; }, disable() {} }; }\n");
        // The buses' services (dconf's, which keeps the settings) live in the session's home too.
        env_ = environmentWith({"XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_,
                                "XDG_DATA_HOME=" + dir_ + "/share",
                                "XDG_CONFIG_HOME=" + dir_ + "/config", "DISPLAY", "WAYLAND_DISPLAY",
                                "XAUTHORITY", "QT_QPA_PLATFORM", "LC_ALL=C.UTF-8"});
        const std::string system = startBus(), session = startBus();
        if (system.empty() || session.empty())
            return "no D-Bus daemon";
        env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + session);
        env_.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + system);
        Child::Options pipewire;
        pipewire.env = env_;
        pipewire.errFile = logPath + ".pipewire";
        children_.push_back(
            std::make_unique<Child>(std::vector<std::string>{"pipewire"}, pipewire));
        if (!waitFor([&] { return std::filesystem::exists(dir_ + "/pipewire-0"); }))
            return "pipewire did not start";
        if (!run({"gsettings", "set", "org.gnome.shell", "enabled-extensions",
                  "['zelk-test@zelk']"},
                 env_)
                 .exited)
            return "gsettings did not run";
        Child::Options options;
        options.env = env_;
        options.errFile = logPath;
        options.outFile = logPath + ".out";
        std::remove(logPath.c_str());
        children_.push_back(std::make_unique<Child>(
            std::vector<std::string>{"gnome-shell", "--headless", "--wayland", "--wayland-display",
                                     socket_, "--virtual-monitor",
                                     std::to_string(ScreenWidth) + "x" +
                                         std::to_string(ScreenHeight)},
            options));
        Child& shell = *children_.back();
        // XWayland's display is in the log; the shell is up once it answers.
        std::string log;
        const bool up = waitFor([&] {
            std::ifstream in(logPath);
            log.assign(std::istreambuf_iterator<char>(in), {});
            const size_t at = log.find("Using public X11 display :");
            if (at != std::string::npos)
                xDisplay_ = ":" + std::to_string(std::atoi(log.c_str() + at + 26));
            return !shell.running() || (!xDisplay_.empty() && startProbe());
        });
        if (!up || !shell.running())
            return "gnome-shell did not come up: " +
                   log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
        // The shell starts in its overview, which shows the windows as small pictures.
        if (!waitFor([&] {
                const std::vector<std::string> r =
                    ask("eval Main.layoutManager._startingUp || (Main.overview.hide(), "
                        "Main.overview.visible || Main.overview.animationInProgress)",
                        1);
                return !r.empty() && r[0] == "false";
            }))
            return "the shell's overview did not close";
        if (const std::vector<std::string> r = ask("input"); r.empty())
            return "no input through the shell: " + lastError_;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            if (entry.path().filename().string().rfind(".mutter-Xwaylandauth", 0) == 0)
                xauthority_ = entry.path().string();
        return {};
    }
    ~GnomeSession() override {
        probe_.reset();
        while (!children_.empty())
            children_.pop_back(); // the shell before the buses
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    std::vector<ShellWindow> windows() override {
        const std::vector<std::string> r = ask(
            "eval global.display.sort_windows_by_stacking(global.get_window_actors().map(a => "
            "a.meta_window)).map(w => { const r = w.get_frame_rect(); return [w.get_title(), "
            "w.get_client_type(), w.has_focus() ? 1 : 0, r.x, r.y, r.width, r.height].join('|'); "
            "}).join(';')",
            1);
        return parseShellWindows(r.empty() ? "" : r[0].substr(1, r[0].size() - 2));
    }

private:
    bool startProbe() {
        launchProbe({ZELK_GNOME_PROBE_PATH});
        // The shell's interfaces are there, and the extension has turned on its unsafe mode.
        const std::vector<std::string> r = ask("eval global.context.unsafe_mode", 1);
        return !r.empty() && r[0] == "true";
    }

    std::string dir_;
};

} // namespace desktop
