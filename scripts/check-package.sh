#!/usr/bin/env bash
# Checks the console's Debian package with Debian's own checker (lintian: no error, no warning)
# and its AppStream metadata, installs it as a user would, starts the installed console under
# xvfb-run and checks that its window appears, then removes the package and checks that nothing
# of it is left. Run as root, best on a pristine machine (.ci/run does that).
#   scripts/check-package.sh path/to/zelk-console_VERSION_ARCH.deb
set -euo pipefail
deb=${1:?usage: scripts/check-package.sh path/to/zelk-console_*.deb}
[[ -f $deb ]] || { echo "check-package: no such file: $deb" >&2; exit 2; }
[[ $deb == /* ]] || deb=$(pwd)/$deb
export DEBIAN_FRONTEND=noninteractive

fail() { echo "check-package: FAILED: $*" >&2; exit 1; }

echo "== package $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends | sed 's/^/   depends: /'
apt-get update -qq
# The tools of this check, not of the package: an X server and a window lister, Debian's package
# checker and the AppStream validator.
apt-get install -y -qq xvfb xauth x11-utils desktop-file-utils lintian appstream >/dev/null

app_id=org.example.zelk.console
echo "== lintian $(basename "$deb")"
report=$(mktemp)
unpacked=$(mktemp -d)
trap 'rm -rf "$report" "$unpacked"' EXIT
# Informational tags are shown too; an error or a warning fails the check.
lintian_ok=1
lintian -I --fail-on error,warning "$deb" >"$report" 2>&1 || lintian_ok=0
grep -v '^running with root privileges' "$report" | sed 's/^/   /' || true
count() { grep -c "^$1: " "$report" || true; }
echo "   lintian: $(count E) error(s), $(count W) warning(s), $(count I) informational tag(s)"
[[ $lintian_ok == 1 ]] || fail "lintian"

echo "== AppStream metadata of the package"
# The whole tree too: the component's desktop entry and icon must be where it says.
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate-tree --no-net "$unpacked" || fail "appstreamcli validate-tree"

echo "== apt-get install ./$(basename "$deb")"
apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install"
files=$(dpkg -L zelk-console)
for f in /usr/bin/zelk-console /usr/bin/zelk-robot-sim \
    /usr/share/man/man1/zelk-console.1.gz /usr/share/man/man1/zelk-robot-sim.1.gz \
    "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml" \
    /usr/share/icons/hicolor/scalable/apps/zelk-console.svg \
    /usr/share/doc/zelk-console/README.md /usr/share/doc/zelk-console/copyright \
    /usr/share/doc/zelk-console/changelog.gz; do
    [[ -e $f ]] || fail "$f is not installed"
done
if grep -q '^/usr/bin/.*_' <<<"$files"; then
    fail "a command in /usr/bin under a second name: $(grep '^/usr/bin/' <<<"$files" | tr '\n' ' ')"
fi
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "desktop entry"
grep -qx 'Name=ZELK controll' "/usr/share/applications/$app_id.desktop" || fail "desktop name"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" ||
    fail "appstreamcli validate"
zelk-robot-sim --help >/dev/null || fail "zelk-robot-sim --help"

echo "== zelk-console under xvfb-run"
started=$(mktemp)
# shellcheck disable=SC2016
xvfb-run -a -s '-screen 0 1600x1000x24' sh -c '
    zelk-console >/tmp/zelk-console.log 2>&1 &
    pid=$!
    for i in $(seq 100); do
        if xwininfo -root -tree 2>/dev/null | grep -q "\"ZELK controll\""; then
            echo window >"$1"
            break
        fi
        kill -0 $pid 2>/dev/null || break
        sleep 0.2
    done
    kill -0 $pid 2>/dev/null && echo running >>"$1"
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    true' check "$started"
if ! grep -q window "$started" || ! grep -q running "$started"; then
    cat /tmp/zelk-console.log >&2 || true
    fail "the installed console did not show its window"
fi
echo "   the main window \"ZELK controll\" was mapped and the console kept running"
rm -f "$started"

echo "== apt-get remove zelk-console"
apt-get remove -y -qq zelk-console >/dev/null || fail "apt-get remove"
status=$(dpkg-query -W -f='${db:Status-Abbrev}' zelk-console 2>/dev/null || true)
[[ -z $status || $status == un* ]] || fail "package state after removal: $status"
left=0
while IFS= read -r f; do
    if [[ -e $f && ! -d $f ]] || [[ -L $f ]]; then
        echo "   left behind: $f" >&2
        left=1
    fi
done <<<"$files"
[[ $left -eq 0 ]] || fail "files left after removal"
echo "check-package: installed, started and removed cleanly"
