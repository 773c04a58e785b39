#!/usr/bin/env bash
# Installs the Debian packages the console, its tests and its tools need, when they are missing.
set -euo pipefail

# Every package is named here: a pristine machine has nothing but Debian's minimal base, and a
# package that only happened to be on the developer's machine breaks a new user's first build.
packages=(
    # compilers and build tools; the sanitizer runtimes of g++ come with it; clang's runtime,
    # which brings libFuzzer, is named after clang's version (below)
    cmake ninja-build g++ clang clang-format
    # Qt: Qt Charts' CMake files need Qt OpenGL's development files, which qt6-charts-dev
    # does not pull in; the serial port module only lists the ports that exist
    qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    libqt6opengl6-dev qt6-serialport-dev
    # the game controller, the tests
    libsdl2-dev googletest libgtest-dev
    # a display for the desktop tests and for xvfb-run: an X server, real input, window
    # properties, fonts for the texts, Xlib for the desktop tests' own probe of the screen
    xvfb xauth xdotool x11-utils fonts-dejavu-core libx11-dev
    # a window manager for the desktop tests that look at the windows' frames and the work area
    openbox
    # a Wayland session for the desktop tests: a compositor that runs inside the X server, with
    # an X server of its own (XWayland), and Qt's Wayland platform, which runs the console as a
    # Wayland client
    weston xwayland qt6-wayland
    # runuser (tests as an ordinary user); the Debian package (dpkg-shlibdeps, file)
    util-linux dpkg-dev file
    # the desktops' window managers for the desktop tests: GNOME's (mutter on X11; gnome-shell
    # for its headless Wayland session, on a session bus, its settings set with gsettings, the
    # tests' input through its remote desktop session, whose screen cast needs PipeWire)
    mutter gnome-shell dbus libglib2.0-bin pipewire
)
# The other desktops' window managers run on Debian 12 only (see the README's desktop section):
# Xfce's, MATE's and Cinnamon's (with the settings schemas they read at start), metacity, KDE
# Plasma's on X11, icewm and fluxbox; and KDE Plasma's Wayland compositor (KWin 5.27), with what
# the tests' probe needs to give it input (its fake input protocol, a Wayland client's library,
# xkbcommon for the keys).
. /etc/os-release
if [[ ${VERSION_ID:-} == 12 ]]; then
    packages+=(xfwm4 marco mate-settings-daemon-common metacity muffin cinnamon-settings-daemon
        kwin-x11 icewm fluxbox
        kwin-wayland plasma-wayland-protocols libwayland-dev libwayland-bin libxkbcommon-dev)
fi

if [[ $(id -u) -ne 0 ]]; then
    sudo=sudo
else
    sudo=
fi
updated=
install_missing() { # package...
    local p status missing=()
    for p in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "Installing: ${missing[*]}"
    if [[ -z $updated ]]; then
        $sudo apt-get update -qq
        updated=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"
# The runtime of the clang that is installed: libclang-rt-14-dev on Debian 12, -19-dev on 13.
clang_major=$(clang -dumpversion | cut -d. -f1)
install_missing "libclang-rt-$clang_major-dev"
