#!/usr/bin/env bash
# Installs the Debian packages the console, its tests and its tools need, when they are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format
    qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    libsdl2-dev googletest libgtest-dev
    xvfb xauth util-linux
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        sudo=sudo
    else
        sudo=
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
