#!/usr/bin/env bash
# Builds the Debian package of the console in build-package/ (without the tests) and prints the
# path of the .deb. Install it with: apt-get install ./build-package/package/zelk-console_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ZELK_PACKAGE_BUILD:-build-package}

bash scripts/install-deps.sh >&2

# Debian's hardening flags, as the distribution's own packages are built: fortified libc calls,
# stack protection, a read-only GOT bound at start.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELK_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$(nproc)" >&2
rm -f "$build"/package/zelk-console_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/package/zelk-console_*.deb)
echo "$deb"
