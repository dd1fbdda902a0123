#!/usr/bin/env bash
# Rendering benchmark: generates deterministic media (a 720x576 25 fps MPEG-4 AVI and a
# 48 kHz stereo WAV of the same length), renders three projects with tessaly-cli (no
# markers; a drift curve of five spline points, band-limited and by sample copy; the curve
# plus relative cuts, an option marker and a double track), and in the same run times
# ffmpeg muxing the same streams and cp of the same bytes. Prints seconds, processor
# seconds, ratios and peak memory of every run.
# Then renders the curve band-limited and by sample copy PAIRS times more, interleaved (the
# order alternating), and prints the median processor and wall time of each and of their
# ratio, with the load average before and after, since a busy machine moves single runs.
#   usage: scripts/bench-render.sh [-l SECONDS] [-p PAIRS] [-c CLI] [WORKDIR]
#   (default 600 s, 5 pairs, build/bin/tessaly-cli, a temporary folder)
set -euo pipefail
len=600
pairs=5
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/tessaly-cli"
while getopts l:p:c: opt; do
    case $opt in
        l) len=$OPTARG ;;
        p) pairs=$OPTARG ;;
        c) cli=$OPTARG ;;
        *) echo "usage: $0 [-l SECONDS] [-p PAIRS] [-c CLI] [WORKDIR]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ -x "$cli" ] || { echo "build tessaly-cli first (scripts/build.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing: run scripts/setup.sh" >&2; exit 1; }
if [ $# -ge 1 ]; then work=$1; mkdir -p "$work"; keep=1; else work=$(mktemp -d); keep=0; fi
work=$(cd "$work" && pwd)
[ $keep -eq 1 ] || trap 'rm -rf "$work"' EXIT

ff="ffmpeg -nostdin -hide_banner -v error -y"
bitexact="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact"
frames=$((len * 25))
if [ ! -s "$work/video.avi" ] || [ ! -s "$work/audio.wav" ] || [ ! -s "$work/double.wav" ]; then
    echo "generating ${len} s of media in $work ..."
    $ff -f lavfi -i "testsrc2=s=720x576:r=25:d=$len" -c:v mpeg4 -q:v 5 -bf 0 -vtag XVID -pix_fmt yuv420p \
        -threads 2 -an $bitexact -f avi "$work/video.avi"
    $ff -f lavfi -i "sine=f=440:r=48000:d=$len" -f lavfi -i "anoisesrc=c=pink:r=48000:d=$len:seed=42" \
        -filter_complex "[0:a][1:a]join=inputs=2:channel_layout=stereo" -c:a pcm_s16le $bitexact "$work/audio.wav"
    $ff -f lavfi -i "sine=f=660:r=48000:d=$len" -ac 2 -c:a pcm_s16le $bitexact "$work/double.wav"
fi

# The three projects.
p1="$work/plain.tsp" p2="$work/curve.tsp" p3="$work/cuts.tsp" p2c="$work/curve-copy.tsp"
"$cli" project create "$p1" --video "$work/video.avi" --audio "$work/audio.wav" >/dev/null
"$cli" project create "$p2" --video "$work/video.avi" --audio "$work/audio.wav" >/dev/null
"$cli" project create "$p3" --video "$work/video.avi" --audio "$work/audio.wav" --double "$work/double.wav" >/dev/null
for p in "$p2" "$p3"; do
    i=0
    for v in 0 3 -2 6 4; do
        "$cli" project add-marker "$p" $((i * (frames - 1) / 4)) spline $v >/dev/null
        i=$((i + 1))
    done
done
"$cli" project add-marker "$p3" $((frames / 5)) cut 25 >/dev/null
"$cli" project add-marker "$p3" $((frames * 2 / 5)) cut -50 >/dev/null
"$cli" project add-marker "$p3" $((frames * 3 / 5)) option --audio-off --volume 70 >/dev/null
"$cli" project add-marker "$p3" $((frames * 3 / 5 + frames / 20)) option >/dev/null
# The curve band-limited with 5 ms fades, and the same curve by sample copy.
"$cli" project set "$p2" --resampling band-limited --cross-fade-ms 5 >/dev/null
cp "$p2" "$p2c"
"$cli" project set "$p2c" --resampling sample-copy --cross-fade-ms 0 >/dev/null

# run NAME COMMAND...: elapsed seconds, processor seconds and peak resident memory (KiB)
# into $NAME_s, $NAME_cpu, $NAME_kb
run() {
    local name=$1
    shift
    sync
    /usr/bin/time -v -o "$work/$name.time" "$@" >/dev/null 2>"$work/$name.err" ||
        { echo "$name failed:" >&2; cat "$work/$name.err" >&2; exit 1; }
    local wall kb cpu
    wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$work/$name.time")
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$name.time")
    cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$work/$name.time")
    printf -v "${name}_cpu" '%s' "$cpu"
    printf -v "${name}_s" '%s' "$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')"
    printf -v "${name}_kb" '%s' "$kb"
}

rm -rf "$work"/out-*.avi "$work/ffmpeg.avi" "$work/copy.avi" "$work/copy"
mkdir "$work/copy"
# cp of the bytes every run reads: the video and the primary audio.
run cp cp "$work/video.avi" "$work/audio.wav" "$work/copy/"
run ffmpeg ffmpeg -nostdin -v error -y -i "$work/video.avi" -i "$work/audio.wav" -map 0:v -map 1:a -c:v copy \
    -c:a pcm_s16le "$work/ffmpeg.avi"
run plain "$cli" render "$p1" "$work/out-plain.avi" --yes --no-progress
run curve "$cli" render "$p2" "$work/out-curve.avi" --yes --no-progress
run curvecopy "$cli" render "$p2c" "$work/out-curvecopy.avi" --yes --no-progress
run cuts "$cli" render "$p3" "$work/out-cuts.avi" --yes --no-progress

size=$(stat -c %s "$work/video.avi")
echo "media: ${len} s, ${frames} frames 720x576 MPEG-4 ($((size / 1048576)) MiB) + 48 kHz stereo WAV"
printf '%-28s %9s %9s %10s %12s %12s\n' run seconds "cpu s" "x ffmpeg" "x cp" "peak MiB"
for n in cp ffmpeg plain curve curvecopy cuts; do
    s_var="${n}_s" kb_var="${n}_kb" cpu_var="${n}_cpu"
    awk -v n="$n" -v s="${!s_var}" -v u="${!cpu_var}" -v f="$ffmpeg_s" -v c="$cp_s" -v kb="${!kb_var}" 'BEGIN {
        rf = f > 0 ? s / f : 0; rc = c > 0 ? s / c : 0
        printf "%-28s %9.2f %9.2f %10.2f %12.2f %12.1f\n", n, s, u, rf, rc, kb / 1024 }'
done
awk -v b="$curve_s" -v c="$curvecopy_s" -v bu="$curve_cpu" -v cu="$curvecopy_cpu" 'BEGIN {
    printf "curve band-limited against sample copy: %.2f x (processor time %.2f x)\n", (c > 0 ? b / c : 0), (cu > 0 ? bu / cu : 0) }'
for n in plain curve curvecopy cuts; do
    ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 \
        "$work/out-$n.avi" | awk -v n="$n" -v want="$frames" '{ if ($1 != want) { print n ": " $1 " video packets, expected " want; exit 1 } }'
done
echo "targets: no markers <= 0.85 x ffmpeg, every render <= 1.15 x ffmpeg, peak memory < 64 MiB,"
echo "         band-limited curve <= 1.5 x its sample copy"

# The interleaved pairs: band-limited and sample copy of the same curve, in alternating order.
[ "$pairs" -gt 0 ] || exit 0
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
: >"$work/pairs.txt"
for i in $(seq 1 "$pairs"); do
    if [ $((i % 2)) -eq 1 ]; then order="curve curvecopy"; else order="curvecopy curve"; fi
    for n in $order; do
        p=$p2
        [ "$n" = curve ] || p=$p2c
        run "$n" "$cli" render "$p" "$work/out-$n.avi" --yes --no-progress
    done
    echo "$curve_cpu $curvecopy_cpu $curve_s $curvecopy_s" >>"$work/pairs.txt"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
echo "$pairs interleaved pairs (load average before: $load_before, after: $load_after):"
printf '%-28s %9s %9s\n' "" "cpu s" seconds
printf '%-28s %9.2f %9.2f\n' "curve band-limited" "$(awk '{ print $1 }' "$work/pairs.txt" | median)" \
    "$(awk '{ print $3 }' "$work/pairs.txt" | median)"
printf '%-28s %9.2f %9.2f\n' "curve sample copy" "$(awk '{ print $2 }' "$work/pairs.txt" | median)" \
    "$(awk '{ print $4 }' "$work/pairs.txt" | median)"
printf '%-28s %9.2f %9.2f\n' "ratio of each pair, median" \
    "$(awk '{ print ($2 > 0 ? $1 / $2 : 0) }' "$work/pairs.txt" | median)" \
    "$(awk '{ print ($4 > 0 ? $3 / $4 : 0) }' "$work/pairs.txt" | median)"
