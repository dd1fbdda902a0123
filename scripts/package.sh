#!/usr/bin/env bash
# Builds the Debian package of Tessaly (cpack -G DEB) in a release build of its own.
# With --test it then installs the package with apt-get, runs the installed programs on
# media made with ffmpeg, removes the package again and checks that nothing is left.
# Not part of the normal test run. Needs root (or sudo) for apt-get.
#   usage: scripts/package.sh [--test]      (build folder: $BUILD_DIR or build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BUILD_DIR:-build-package}
test_install=0
case "${1:-}" in
    --test) test_install=1 ;;
    "") ;;
    *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

bash scripts/setup.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tessaly_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$root/$build"/tessaly_*.deb)
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
[ $test_install -eq 1 ] || exit 0

fails=0
pass() { echo "PASS  $*"; }
fail() { echo "FAIL  $*"; fails=$((fails + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== installing"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get install -y -q "$deb"
dpkg-query -L tessaly | sort >"$work/files"
cd "$work"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=s=320x240:r=25:d=4" -f lavfi -i "sine=d=4:r=48000" \
    -c:v mpeg4 -q:v 5 -c:a pcm_s16le -ac 2 -shortest clip.avi
ffmpeg -nostdin -v error -y -f lavfi -i "sine=d=3:r=44100" -ac 2 -c:a libmp3lame tone.mp3

out=$(tessaly-cli --help) && grep -q 'usage: tessaly-cli' <<<"$out" && pass "$(command -v tessaly-cli) --help" \
    || fail "tessaly-cli --help: $out"
out=$(tessaly-cli info clip.avi 2>&1) && grep -q '320 x 240' <<<"$out" && pass "tessaly-cli info clip.avi" \
    || fail "tessaly-cli info clip.avi: $out"
if tessaly-cli --help | grep -q -- '--language'; then
    out=$(tessaly-cli info tone.mp3 2>&1) && grep -q '44100 Hz' <<<"$out" && pass "info tone.mp3 through the installed plug-ins" \
        || fail "info tone.mp3: $out"
    out=$(tessaly-cli --language Deutsch info clip.avi 2>&1) && grep -q 'Standard' <<<"$out" \
        && pass "the installed language file (German words)" || fail "--language Deutsch: $out"
else
    echo "SKIP  plug-in and language checks: this tessaly-cli loads neither at start"
fi
tessaly-cli project create p.tsp --video clip.avi --audio clip.avi >/dev/null && tessaly-cli project add-marker p.tsp 50 spline 2 >/dev/null \
    && tessaly-cli render p.tsp out.avi --yes --no-progress >/dev/null && ffmpeg -v error -i out.avi -f null - \
    && pass "render with the installed program" || fail "render with the installed program"
if [ -x /usr/bin/tessaly ]; then
    out=$(QT_QPA_PLATFORM=offscreen timeout 30 tessaly --version 2>&1) && pass "tessaly --version: $out" \
        || fail "tessaly --version (status $?): $out"
    missing=$(ldd /usr/lib/tessaly/program/tessaly | grep 'not found' || true)
    [ -z "$missing" ] && pass "every library of the window program installed" || fail "missing: $missing"
    [ -s /usr/share/applications/tessaly.desktop ] && pass "desktop entry" || fail "desktop entry missing"
fi
grep -q 'application/x-tessaly-project:\*\.tsp' /usr/share/mime/globs && pass "*.tsp registered in the MIME database" \
    || fail "*.tsp not in /usr/share/mime/globs"
[ -s /usr/lib/tessaly/program/help/index.html ] && pass "manual installed" || fail "manual missing"

echo "== removing"
"${sudo_cmd[@]}" apt-get remove -y -q tessaly
left=0
while read -r path; do
    # Folders that other packages share stay; everything of Tessaly's own must go.
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        case "$path" in */tessaly|*/tessaly/*) [ -e "$path" ] && { echo "left: $path"; left=1; } ;; esac
    elif [ -e "$path" ] || [ -L "$path" ]; then
        echo "left: $path"; left=1
    fi
done <"$work/files"
[ $left -eq 0 ] && pass "every installed file removed" || fail "files left after removal"
grep -q 'tessaly' /usr/share/mime/globs && fail "MIME database still knows *.tsp" || pass "MIME registration removed"
status=$(dpkg-query -W -f='${Status}' tessaly 2>/dev/null || true)
if [ -z "$status" ] || [[ "$status" == *not-installed ]]; then
    pass "dpkg keeps no record of tessaly (${status:-unknown})"
else
    fail "package state after removal: $status"
fi

if [ $fails -eq 0 ]; then echo "OK: all package checks passed"; else echo "FAILED: $fails checks"; exit 1; fi
