#!/usr/bin/env bash
# Full-size check of the result AVI writer: writes an OpenDML result larger than 4 GiB
# with bench_avi_writer, reads it back with the project's reader (every frame and sample),
# and has FFmpeg, MKVToolNix and GStreamer judge it; the video packets' MD5s must equal
# those of the raw source frames. Not part of the normal test run.
# usage: scripts/bench-large-avi.sh [DIR] [SIZE_MiB] [WxH]   (build folder: $BUILD_DIR or build)
#   WxH: frame size, default 640x480; 1280x720 frames make the standard indexes split
#   their entries so that each index stays within 4 GiB of its base.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
dir=${1:-${TMPDIR:-/tmp}}
size=${2:-4400}
frame=${3:-640x480}
bin=$build/bin/bench_avi_writer
[ -x "$bin" ] || { echo "build bench_avi_writer first (cmake --build $build --target bench_avi_writer)" >&2; exit 2; }
avail=$(df --output=avail -BM "$dir" | tail -1 | tr -dc 0-9)
need=$((size * 3 + 1024))
[ "$avail" -gt "$need" ] || { echo "need ${need} MiB free in $dir, have ${avail} MiB" >&2; exit 2; }

work=$(mktemp -d "$dir/tessaly-large-XXXXXX")
trap 'rm -rf "$work"' EXIT
f=$work/large.avi src=$work/frames.bgr
fails=0
pass() { echo "PASS  $*"; }
fail() { echo "FAIL  $*"; fails=$((fails + 1)); }

echo "== writing and reading back ($size MiB)"
out=$("$bin" --size "$size" --frame "$frame" --dir "$work" --keep "$f" --verify --dump-frames "$src") || { echo "$out"; exit 1; }
echo "$out"
frames=$(echo "$out" | sed -n 's/^frames=\([0-9]*\) .*/\1/p')
samples=$(echo "$out" | sed -n 's/.* samples=\([0-9]*\)$/\1/p')
bytes=$(stat -c %s "$f")
[ "$bytes" -gt 4294967296 ] && pass "file size $bytes bytes (> 4 GiB)" || fail "file size $bytes not above 4 GiB"
echo "$out" | grep -q 'verify: every frame and every sample as written' && pass "project reader" || fail "project reader"

echo "== FFmpeg"
t0=$(date +%s.%N)
probe=$(ffprobe -v error -count_packets -show_entries stream=codec_type,nb_frames,nb_read_packets -of csv=p=0 "$f" 2>&1)
echo "$probe"
echo "$probe" | grep -qx "video,$frames,$frames" && pass "ffprobe video: $frames frames, $frames packets" || fail "ffprobe video"
echo "$probe" | grep -q "^audio,$samples," && pass "ffprobe audio length $samples sample frames" || fail "ffprobe audio"
err=$(ffmpeg -nostdin -v error -i "$f" -map 0 -f null - 2>&1 >/dev/null) && [ -z "$err" ] \
    && pass "ffmpeg full decode printed nothing" || fail "ffmpeg full decode: ${err:0:300}"
ffmpeg -nostdin -v error -i "$f" -map 0:v -c copy -f framemd5 - 2>/dev/null | grep -v '^#' | awk -F, '{print $5 $6}' > "$work/avi.md5"
ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgr24 -s $frame -r 25 -i "$src" -c copy -f framemd5 - 2>/dev/null \
    | grep -v '^#' | awk -F, '{print $5 $6}' > "$work/src.md5"
n=$(wc -l < "$work/avi.md5")
[ "$n" = "$frames" ] && cmp -s "$work/avi.md5" "$work/src.md5" && pass "framemd5 of $n video packets equals the source's" \
    || fail "framemd5 differs ($n packets)"
abytes=$(ffmpeg -nostdin -v error -i "$f" -map 0:a -c copy -f s16le - 2>/dev/null | wc -c)
[ "$abytes" = "$((samples * 4))" ] && pass "ffmpeg audio bytes $abytes" || fail "ffmpeg audio bytes $abytes, want $((samples * 4))"
echo "FFmpeg checks took $(echo "$(date +%s.%N) - $t0" | bc) s"

echo "== MKVToolNix and GStreamer"
mkv=$(mkvmerge -J "$f" | tr -d ' \n')
echo "$mkv" | grep -q '"recognized":true' && echo "$mkv" | grep -q '"errors":\[\]' && echo "$mkv" | grep -q '"warnings":\[\]' \
    && pass "mkvmerge -J: recognised, no errors or warnings" || fail "mkvmerge -J: $mkv"
disc=$(gst-discoverer-1.0 "$f" 2>&1)
echo "$disc" | grep -q ' video #' && echo "$disc" | grep -q ' audio #' && ! echo "$disc" | grep -qiE 'error|warning' \
    && pass "gst-discoverer: $(echo "$disc" | grep 'Duration:' | head -1 | tr -s ' ')" || fail "gst-discoverer: $disc"

rm -f "$src"
if [ $fails -eq 0 ]; then echo "OK: all checks passed"; else echo "FAILED: $fails checks"; exit 1; fi
