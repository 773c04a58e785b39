#pragma once
// A session of an X11 window manager for the desktop tests: the tests' Xvfb, a D-Bus session bus
// of its own (the GNOME-family window managers want one), and the window manager, with a home and
// a runtime directory of their own. start() waits until the window manager has taken the screen
// and, where it composites, its compositing manager too: the console looks for one at start.

#include "tests/desktop/desktop_support.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

// The program's path on PATH, or empty.
inline std::string onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0)
            return dir + "/" + program;
    return {};
}

class WindowManagerSession {
public:
    // Empty when the window manager runs; otherwise why not. wmReady: the probe's "wm" output
    // says the session is up.
    std::string start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      const std::string& logPath, const std::function<bool()>& wmReady) {
        if (onPath(argv.at(0)).empty())
            return argv[0] + " is not installed (scripts/install-deps.sh installs it)";
        char dir[] = "/tmp/zelk-wm-XXXXXX";
        if (!mkdtemp(dir))
            return "no home directory";
        home_ = dir;
        Child::Options options;
        options.pipeOut = true;
        bus_ = std::make_unique<Child>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=1"},
            options);
        const std::optional<std::string> bus = bus_->readLine(kWaitMs);
        if (!bus)
            return "no D-Bus session bus (dbus-daemon)";
        env_ = env;
        for (const std::string& e : {"DBUS_SESSION_BUS_ADDRESS=" + *bus, "HOME=" + home_,
                                     "XDG_RUNTIME_DIR=" + home_, "XDG_CONFIG_HOME=" + home_})
            env_.push_back(e);
        std::remove(logPath.c_str()); // of an earlier run
        Child::Options wmOptions;
        wmOptions.env = env_;
        wmOptions.errFile = logPath;
        wmOptions.outFile = logPath + ".out";
        wm_ = std::make_unique<Child>(argv, wmOptions);
        if (!wm_->started() || !waitFor([&] { return wmReady() || !wm_->running(); }) ||
            !wm_->running())
            return argv[0] + " did not take the screen";
        return {};
    }
    ~WindowManagerSession() {
        wm_.reset();
        bus_.reset();
        if (!home_.empty())
            std::filesystem::remove_all(home_);
    }
    const std::vector<std::string>& env() const { return env_; }

private:
    std::unique_ptr<Child> bus_, wm_;
    std::string home_;
    std::vector<std::string> env_;
};

} // namespace desktop
