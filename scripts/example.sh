#!/usr/bin/env bash
# The main job on a small generated example: installs the dependencies and builds
# Tessaly, makes a 20-second video and an audio track that drifts away from it (with
# ffmpeg), builds a project with markers through `tessaly-cli project`, renders the
# re-synchronised result and prints where it is.
#   usage: scripts/example.sh [OUTPUT-FOLDER]   (default: ./example-output)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cli=./build/bin/tessaly-cli
out=${1:-example-output}
mkdir -p "$out"
out=$(cd "$out" && pwd)
ff="ffmpeg -nostdin -hide_banner -v error -y"

# 20 s of test pictures at 25 fps, a key frame every second.
$ff -f lavfi -i "testsrc2=s=320x240:r=25:d=20" -c:v mpeg4 -q:v 5 -g 25 -bf 0 "$out/video.avi"
# A click at the start of every second, then slowed by 1 %: after 20 s the audio lies
# 0.2 s (5 frames) behind the picture.
$ff -f lavfi -i "aevalsrc=exprs='if(lt(mod(t\,1)\,0.02)\,0.8*sin(2*PI*1000*t)\,0)|if(lt(mod(t\,1)\,0.02)\,0.8*sin(2*PI*1000*t)\,0)':s=48000:d=20" \
    -af "atempo=0.99" -c:a pcm_s16le "$out/drifting.wav"

project="$out/example.tsp"
"$cli" project create "$project" --video "$out/video.avi" --audio "$out/drifting.wav"
# The shift curve: in sync at the start, then 1 frame more every 200 frames (8 s).
"$cli" project add-marker "$project" 0 spline 0
"$cli" project add-marker "$project" 200 spline 2
"$cli" project add-marker "$project" 400 spline 4
"$cli" project add-marker "$project" 499 spline 5
# Two chapters written into one file.
"$cli" project add-chapter "$project" 250
"$cli" project set "$project" --concat-chapters 1
"$cli" project list "$project"
"$cli" analyze "$project" 2>/dev/null
"$cli" render "$project" "$out/result.avi" --yes
echo
echo "Result: $out/result.avi (project $project)"
