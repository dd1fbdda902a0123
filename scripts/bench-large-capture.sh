#!/usr/bin/env bash
# Full-size check of a raw capture as FFmpeg writes it: uncompressed BGR24 stored top-down
# (negative height) in an OpenDML AVI above 2 GiB. tessaly-cli renders it through the own
# reader and through the FFmpeg-backed layer; every video packet of both results must equal
# the source's, and the results must pass the independent readers. Not part of the normal
# test run.
# usage: scripts/bench-large-capture.sh [DIR] [FRAMES]   (build folder: $BUILD_DIR or build)
#   FRAMES of 1280x720 (2.6 MiB each); the default 860 makes a file of about 2.2 GiB.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
dir=${1:-${TMPDIR:-/tmp}}
frames=${2:-860}
cli=$build/bin/tessaly-cli
[ -x "$cli" ] || { echo "build tessaly-cli first (cmake --build $build --target tessaly-cli)" >&2; exit 2; }
need=$((frames * 3 * 3 + 1024))
avail=$(df --output=avail -BM "$dir" | tail -1 | tr -dc 0-9)
[ "$avail" -gt "$need" ] || { echo "need ${need} MiB free in $dir, have ${avail} MiB" >&2; exit 2; }

work=$(mktemp -d "$dir/tessaly-capture-XXXXXX")
trap 'rm -rf "$work"' EXIT
fails=0
pass() { echo "PASS  $*"; }
fail() { echo "FAIL  $*"; fails=$((fails + 1)); }
packets() { ffmpeg -nostdin -v error -i "$1" -map 0:v -c copy -f framemd5 - | grep -v '^#' | awk -F, '{print $5 $6}'; }

src=$work/capture.avi
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=1280x720:rate=25 -frames:v "$frames" \
    -c:v rawvideo -pix_fmt bgr24 "$src"
ffmpeg -nostdin -v error -f lavfi -i "sine=sample_rate=48000:duration=$((frames / 25 + 1))" -ac 2 "$work/audio.wav"
bytes=$(stat -c %s "$src")
[ "$bytes" -gt 2147483648 ] && pass "capture of $bytes bytes (> 2 GiB)" || fail "capture of $bytes bytes not above 2 GiB"
packets "$src" > "$work/src.md5"

"$cli" project create "$work/p.tsp" --video "$src" --audio "$work/audio.wav" >/dev/null
for kind in ODML MSVW; do
    sed "s/^VideoFT=.*/VideoFT=$kind|-1/" "$work/p.tsp" > "$work/$kind.tsp"
    t0=$(date +%s.%N)
    if "$cli" render --no-progress "$work/$kind.tsp" "$work/$kind.avi" >/dev/null; then
        pass "$kind render in $(echo "$(date +%s.%N) - $t0" | bc) s"
    else
        fail "$kind render"
        continue
    fi
    packets "$work/$kind.avi" > "$work/$kind.md5"
    cmp -s "$work/src.md5" "$work/$kind.md5" && pass "$kind: $frames video packets equal the capture's" \
        || fail "$kind: video packets differ"
    height=$(ffprobe -v error -select_streams v:0 -show_entries stream=height -of csv=p=0 "$work/$kind.avi")
    [ "$height" = 720 ] && pass "$kind: ffprobe height 720" || fail "$kind: ffprobe height $height"
    err=$(ffmpeg -nostdin -v error -i "$work/$kind.avi" -map 0 -f null - 2>&1 >/dev/null) && [ -z "$err" ] \
        && pass "$kind: ffmpeg full decode printed nothing" || fail "$kind: ffmpeg decode: ${err:0:300}"
    rm -f "$work/$kind.avi"
done

if [ $fails -eq 0 ]; then echo "OK: all checks passed"; else echo "FAILED: $fails checks"; exit 1; fi
