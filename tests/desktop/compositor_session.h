#pragma once
// What the desktop tests need of a Wayland compositor's session (GNOME's, KDE Plasma's), whatever
// compositor it is: its programs' environment, its XWayland, its windows as it has them, and a
// probe that gives the compositor's own input and screenshots. The probes answer one command a
// line with "ok" and what it asked for, or with "error ...", and share their commands:
//
//   move X Y, button 1|0, key KEYS ("ctrl+a"), hold KEY 1|0, type TEXT   the pointer and keys
//   pixels X Y W H      a screenshot's pixels: "ok", then one row a line of "rrggbb" each
//   shot FILE           a screenshot of the whole screen into FILE (PNG)

#include "tests/desktop/desktop_support.h"

#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace desktop {

// A window as the compositor has it: its title, whether it is an X11 client, its frame on the
// screen, whether it has the focus.
struct ShellWindow {
    std::string title;
    bool x11 = false, focused = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// "title|x11|focused|x|y|width|height" of each window, ";" between them.
inline std::vector<ShellWindow> parseShellWindows(const std::string& text) {
    std::vector<ShellWindow> list;
    std::istringstream entries(text);
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

// XWayland's sockets' directory as a booted system has it (systemd-tmpfiles makes it): mutter 48
// refuses one that is not world-writable and sticky, and makes it without those bits under a
// umask of 022 when it is missing. Empty when it is so; otherwise why not.
inline std::string x11SocketDirReady() {
    const char* dir = "/tmp/.X11-unix";
    struct stat st {};
    if (mkdir(dir, 01777) != 0 && errno != EEXIST)
        return std::string("no ") + dir;
    if (lstat(dir, &st) == 0 && (st.st_mode & 01022) != 01022 && st.st_uid == getuid())
        chmod(dir, 01777);
    if (lstat(dir, &st) != 0 || (st.st_mode & 01022) != 01022)
        return std::string(dir) + " is not world-writable with its sticky bit set";
    return {};
}

class CompositorSession {
public:
    virtual ~CompositorSession() { probe_.reset(); }

    // Empty when the session runs; otherwise why it does not.
    virtual std::string start(const std::string& logPath) = 0;
    // The environment of a program in the session: its Wayland display and XWayland; more: changes.
    std::vector<std::string> env(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> all = env_;
        for (const std::string& e :
             {"DISPLAY=" + xDisplay_, "WAYLAND_DISPLAY=" + socket_, "XAUTHORITY=" + xauthority_,
              std::string("XDG_SESSION_TYPE=wayland")})
            all.push_back(e);
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    // The windows from the bottom of the stack up.
    virtual std::vector<ShellWindow> windows() = 0;
    const std::string& xDisplay() const { return xDisplay_; }
    const std::string& xauthority() const { return xauthority_; }

    // The probe's answer to command: the lines after its "ok"; empty when it failed (lastError).
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
    const std::string& lastError() const { return lastError_; }

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

protected:
    // A D-Bus daemon of the session's own: its address, or empty.
    std::string startBus() {
        Child::Options options;
        options.env = env_;
        options.pipeOut = true;
        children_.push_back(std::make_unique<Child>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=1"},
            options));
        return children_.back()->readLine(kWaitMs).value_or("");
    }
    void launchProbe(const std::vector<std::string>& argv) {
        Child::Options options;
        options.env = env();
        options.pipeIn = true;
        options.pipeOut = true;
        probe_ = std::make_unique<Child>(argv, options);
    }

    std::vector<std::unique_ptr<Child>> children_; // ended from the last started
    std::unique_ptr<Child> probe_;
    std::vector<std::string> env_; // the session's own, without its displays
    std::string socket_, xDisplay_, xauthority_, lastError_;
};

} // namespace desktop
