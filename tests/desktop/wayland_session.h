#pragma once
// A Wayland session for the desktop tests: weston's desktop shell inside the tests' X server
// (weston's X11 backend draws its whole screen into one window at the X server's top left), with
// XWayland for X11 clients. What the X server's pointer and keyboard do inside that window reaches
// weston as a person's input, the X server's pixels are weston's screen, and weston's debug stream
// says where its windows are and how they are stacked.

#include "tests/desktop/desktop_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace desktop {

// A window as weston's scene graph lists it: its role (xdg_toplevel for a Wayland client's
// window), its title and the area it covers on the screen, its frame included.
struct WaylandView {
    std::string role, title;
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The views of "weston-debug scene-graph": the topmost first (layers from the top, and each
// layer's views from its top).
inline std::vector<WaylandView> parseSceneGraph(const std::string& text) {
    std::vector<WaylandView> views;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t role = line.find("View ");
        if (role != std::string::npos && line.find("(role ", role) != std::string::npos) {
            WaylandView v;
            const size_t from = line.find("(role ") + 6;
            v.role = line.substr(from, line.find(',', from) - from);
            const size_t title = line.find(" window '");
            if (title != std::string::npos) {
                const size_t begin = title + 9;
                v.title = line.substr(begin, line.find('\'', begin) - begin);
            }
            views.push_back(v);
        } else if (!views.empty() && line.find("position: (") != std::string::npos) {
            std::sscanf(line.c_str() + line.find("position: ("), "position: (%d, %d) -> (%d, %d)",
                        &views.back().left, &views.back().top, &views.back().right,
                        &views.back().bottom);
        }
    }
    return views;
}

// weston with its X11 backend in the X server xDisplay, the pixman renderer, a screen of
// width x height, XWayland, and its debug stream open; in a runtime directory of its own.
class WestonSession {
public:
    static constexpr const char* Socket = "wayland-zelk";

    // Empty when the session runs; otherwise why it does not.
    std::string start(const std::string& xDisplay, const std::string& logPath, int width,
                      int height) {
        if (std::string(ZELK_WESTON_PATH).empty() || std::string(ZELK_WESTON_DEBUG_PATH).empty())
            return "weston and weston-debug are not installed (scripts/install-deps.sh installs "
                   "them)";
        char dir[] = "/tmp/zelk-wayland-XXXXXX";
        if (!mkdtemp(dir))
            return "no runtime directory";
        runtimeDir_ = dir;
        // No on-screen keyboard, no panel, no screen lock while a slow test waits.
        std::ofstream(runtimeDir_ + "/weston.ini") << "[core]\nidle-time=0\n"
                                                   << "[shell]\npanel-position=none\n"
                                                   << "locking=false\n"
                                                   << "[input-method]\npath=\n";
        logPath_ = logPath;
        Child::Options options;
        options.env = environmentWith({"DISPLAY=" + xDisplay, "XDG_RUNTIME_DIR=" + runtimeDir_,
                                       "WAYLAND_DISPLAY", "WAYLAND_SOCKET"});
        options.errFile = logPath;
        std::remove(logPath.c_str());
        weston_ = std::make_unique<Child>(
            std::vector<std::string>{
                ZELK_WESTON_PATH, "--debug", "--config=" + runtimeDir_ + "/weston.ini",
                "--backend=x11-backend.so", "--use-pixman", "--width=" + std::to_string(width),
                "--height=" + std::to_string(height), std::string("--socket=") + Socket,
                "--xwayland"},
            options);
        if (!weston_->started())
            return "weston did not start";
        // XWayland's display is the last thing weston names before it runs.
        const bool up = waitFor([&] {
            const std::string log = readLog();
            const size_t at = log.find("listening on display :");
            if (at == std::string::npos || !weston_->running())
                return !weston_->running();
            xwaylandDisplay_ = ":" + std::to_string(std::atoi(log.c_str() + at + 22));
            return std::filesystem::exists(runtimeDir_ + "/" + Socket);
        });
        if (!up || xwaylandDisplay_.empty() || !weston_->running())
            return "weston did not come up: " + lastLogLines();
        return {};
    }
    ~WestonSession() { stop(); }
    // Ends weston and removes its runtime directory; start() may begin a new session.
    void stop() {
        weston_.reset();
        if (!runtimeDir_.empty())
            std::filesystem::remove_all(runtimeDir_);
        runtimeDir_.clear();
        xwaylandDisplay_.clear();
    }

    // The environment of a program in this session: its Wayland display and its X server.
    std::vector<std::string> env(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> changes{"DISPLAY=" + xwaylandDisplay_,
                                         std::string("WAYLAND_DISPLAY=") + Socket,
                                         "XDG_RUNTIME_DIR=" + runtimeDir_,
                                         "XDG_SESSION_TYPE=wayland",
                                         "XAUTHORITY",
                                         "WAYLAND_SOCKET",
                                         "LC_ALL=C.UTF-8"};
        changes.insert(changes.end(), more.begin(), more.end());
        return environmentWith(changes);
    }

    std::vector<WaylandView> views() const { return parseSceneGraph(sceneGraph()); }
    std::string sceneGraph() const {
        return run({ZELK_WESTON_DEBUG_PATH, "scene-graph"}, env(), 5000).out;
    }
    bool running() const { return weston_ && weston_->running(); }
    const std::string& xwaylandDisplay() const { return xwaylandDisplay_; }
    std::string lastLogLines() const {
        const std::string log = readLog();
        return log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
    }

private:
    std::string readLog() const {
        std::ifstream in(logPath_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::unique_ptr<Child> weston_;
    std::string runtimeDir_, logPath_, xwaylandDisplay_;
};

} // namespace desktop
