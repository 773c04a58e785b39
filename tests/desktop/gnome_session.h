#pragma once
// A headless GNOME session for the desktop tests, as GNOME runs on Debian: gnome-shell as the
// Wayland compositor of a virtual monitor, with XWayland for X11 clients, on a session bus of its
// own and another bus standing in for the system bus (gnome-shell 43 stops without one). A test
// extension turns on the shell's unsafe mode, which lets gnome_probe take screenshots and read
// the shell's windows: where they are, how they are stacked, which has the focus. The pointer
// and the keys are the compositor's own (its remote desktop session, whose screen cast needs
// PipeWire): they focus and raise windows as a person's do, X11 clients' and Wayland clients'
// alike.

#include "tests/desktop/desktop_support.h"
#include "tests/desktop/window_manager_session.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

// A window as the shell has it: its title, whether it is an X11 client, its frame on the screen,
// whether it has the focus. The windows are listed from the bottom of the stack up.
struct ShellWindow {
    std::string title;
    bool x11 = false, focused = false;
    int x = 0, y = 0, width = 0, height = 0;
};

class GnomeSession {
public:
    static constexpr int ScreenWidth = 1920, ScreenHeight = 1080;

    // Empty when the session runs; otherwise why it does not.
    std::string start(const std::string& logPath) {
        for (const char* program : {"gnome-shell", "dbus-daemon", "gsettings", "pipewire"})
            if (onPath(program).empty())
                return std::string(program) + " is not installed (scripts/install-deps.sh "
                                              "installs it)";
        char dir[] = "/tmp/zelk-gnome-XXXXXX";
        if (!mkdtemp(dir))
            return "no runtime directory";
        dir_ = dir;
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
                                     Socket, "--virtual-monitor",
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
    ~GnomeSession() {
        probe_.reset();
        while (!children_.empty())
            children_.pop_back(); // the shell before the buses
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    // The environment of a program in the session: its Wayland display and XWayland.
    std::vector<std::string> env(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> changes{"DISPLAY=" + xDisplay_,
                                         std::string("WAYLAND_DISPLAY=") + Socket,
                                         "XAUTHORITY=" + xauthority_, "XDG_SESSION_TYPE=wayland"};
        changes.insert(changes.end(), more.begin(), more.end());
        std::vector<std::string> all = env_;
        all.insert(all.end(), changes.begin(), changes.end());
        return all;
    }
    const std::string& xDisplay() const { return xDisplay_; }
    const std::string& xauthority() const { return xauthority_; }

    // gnome_probe's answer to command: the lines after its "ok"; empty when it failed.
    std::vector<std::string> ask(const std::string& command, size_t lines = 0) {
        if (!probe_ || !probe_->writeLine(command))
            return {};
        const std::optional<std::string> status = probe_->readLine(kWaitMs);
        std::vector<std::string> out{status.value_or("")};
        for (size_t i = 0; i < lines && out[0] == "ok"; ++i)
            out.push_back(probe_->readLine(kWaitMs).value_or(""));
        if (out[0] != "ok") {
            lastError_ = out[0];
            return {};
        }
        out.erase(out.begin());
        return lines == 0 ? std::vector<std::string>{""} : out;
    }

    std::vector<ShellWindow> windows() {
        const std::vector<std::string> r = ask(
            "eval global.display.sort_windows_by_stacking(global.get_window_actors().map(a => "
            "a.meta_window)).map(w => { const r = w.get_frame_rect(); return [w.get_title(), "
            "w.get_client_type(), w.has_focus() ? 1 : 0, r.x, r.y, r.width, r.height].join('|'); "
            "}).join(';')",
            1);
        std::vector<ShellWindow> list;
        std::istringstream entries(r.empty() ? "" : r[0].substr(1, r[0].size() - 2));
        for (std::string entry; std::getline(entries, entry, ';');) {
            std::vector<std::string> f;
            std::istringstream fields(entry);
            for (std::string field; std::getline(fields, field, '|');)
                f.push_back(field);
            if (f.size() == 7)
                list.push_back(ShellWindow{f[0], f[1] == "1", f[2] == "1", std::atoi(f[3].c_str()),
                                           std::atoi(f[4].c_str()), std::atoi(f[5].c_str()),
                                           std::atoi(f[6].c_str())});
        }
        return list;
    }

    // The compositor's own input; false when it refused it.
    bool pointerTo(int x, int y) {
        return !ask("move " + std::to_string(x) + " " + std::to_string(y)).empty();
    }
    bool click() { return !ask("button 1").empty() && !ask("button 0").empty(); }
    bool press(const std::string& keys) { return !ask("key " + keys).empty(); }
    bool hold(const std::string& key, bool down) {
        return !ask("hold " + key + (down ? " 1" : " 0")).empty();
    }
    bool type(const std::string& text) { return !ask("type " + text).empty(); }
    const std::string& lastError() const { return lastError_; }

    Pixels pixels(int x, int y, int w, int h) {
        const std::vector<std::string> rows =
            ask("pixels " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) +
                    " " + std::to_string(h),
                size_t(h));
        std::string text;
        for (const std::string& row : rows)
            text += row + "\n";
        return parsePixels(text);
    }

private:
    static constexpr const char* Socket = "wayland-zelk-gnome";

    std::string startBus() {
        Child::Options options;
        options.env = env_;
        options.pipeOut = true;
        children_.push_back(std::make_unique<Child>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=1"},
            options));
        return children_.back()->readLine(kWaitMs).value_or("");
    }
    bool startProbe() {
        Child::Options options;
        options.env = env_;
        options.pipeIn = true;
        options.pipeOut = true;
        probe_ = std::make_unique<Child>(std::vector<std::string>{ZELK_GNOME_PROBE_PATH}, options);
        // The shell's interfaces are there, and the extension has turned on its unsafe mode.
        const std::vector<std::string> r = ask("eval global.context.unsafe_mode", 1);
        return !r.empty() && r[0] == "true";
    }

    std::vector<std::unique_ptr<Child>> children_;
    std::unique_ptr<Child> probe_;
    std::string dir_, xDisplay_, xauthority_, lastError_;
    std::vector<std::string> env_;
};

} // namespace desktop
