#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user gets: the programs
# linked from bin/ into lib/tessaly/program/ beside the plug-ins, the language file and the
# manual; the desktop entry, icon and MIME type; and the installed tessaly-cli running
# from there with an empty home folder, away from the build tree.
#   usage: install_test.sh BUILD-DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
check() { local what=$1; shift; "$@" >/dev/null 2>&1 || fail "$what"; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
lib=$prefix/lib/tessaly/program

programs=(tessaly-cli)
[ -x "$build/bin/tessaly" ] && programs+=(tessaly)
for p in "${programs[@]}"; do
    [ -L "$prefix/bin/$p" ] || fail "bin/$p is not a link"
    [ "$(readlink -f "$prefix/bin/$p")" = "$(readlink -f "$lib/$p")" ] || fail "bin/$p does not lead to lib/tessaly/program/$p"
    [ -x "$lib/$p" ] || fail "lib/tessaly/program/$p missing"
    # Nothing may point back into the build tree, and every library must be found.
    readelf -d "$lib/$p" | grep -E 'RPATH|RUNPATH' | grep -q "$build" && fail "$p keeps a run path into the build tree"
    ldd "$lib/$p" | grep -q 'not found' && fail "$p: $(ldd "$lib/$p" | grep 'not found')"
done
for f in framepull.vfp soundpull.vfp lang/tessaly.lng help/index.html help/style.css help/command-line.html; do
    [ -s "$lib/$f" ] || fail "lib/tessaly/program/$f missing"
done
for f in "$lib"/*.vfp; do
    ldd "$f" | grep -q 'not found' && fail "$f: $(ldd "$f" | grep 'not found')"
done
[ "$(ls "$lib" | sort | tr '\n' ' ')" = "$(printf '%s\n' "${programs[@]}" framepull.vfp soundpull.vfp help lang | sort | tr '\n' ' ')" ] \
    || fail "lib/tessaly/program holds other files: $(ls "$lib" | tr '\n' ' ')"

# Desktop integration.
svg=$prefix/share/icons/hicolor/scalable/apps/tessaly.svg
mime=$prefix/share/mime/packages/tessaly.xml
check "icon is no well-formed SVG" xmllint --noout "$svg"
grep -q '<svg' "$svg" || fail "icon is no SVG"
check "MIME file is not well formed" xmllint --noout "$mime"
check "update-mime-database refuses the MIME file" update-mime-database "$prefix/share/mime"
grep -qx 'application/x-tessaly-project:\*\.tsp' "$prefix/share/mime/globs" || fail "*.tsp is not registered as application/x-tessaly-project"
[ -s "$prefix/share/doc/tessaly/copyright" ] || fail "copyright file missing"
desktop=$prefix/share/applications/tessaly.desktop
if [[ " ${programs[*]} " == *" tessaly "* ]]; then
    [ -s "$desktop" ] || fail "desktop entry missing"
    grep -qx 'MimeType=application/x-tessaly-project;' "$desktop" || fail "desktop entry does not open projects"
    if command -v desktop-file-validate >/dev/null; then
        out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    fi
else
    [ ! -e "$desktop" ] || fail "desktop entry installed without the window program"
fi

# The installed command line, run from an empty folder with an empty home.
home=$work/home
mkdir -p "$home" "$work/run"
cd "$work/run" || exit 1
run() { env HOME="$home" XDG_CONFIG_HOME="$home/.config" "$prefix/bin/tessaly-cli" "$@"; }
out=$(run --help) || fail "tessaly-cli --help failed"
grep -q 'usage: tessaly-cli' <<<"$out" || fail "tessaly-cli --help printed: $out"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=s=64x48:r=25:d=2" -f lavfi -i "sine=d=2:r=22050" \
    -c:v mpeg4 -c:a pcm_s16le -shortest clip.avi || fail "ffmpeg could not make the test clip"
out=$(run info clip.avi 2>&1) || fail "tessaly-cli info clip.avi: $out"
grep -q 'Image Size:  64 x 48' <<<"$out" || fail "info clip.avi printed: $out"
grep -q 'Format:      22050 Hz; 16 bit; mono' <<<"$out" || fail "info clip.avi audio: $out"
# Where the program loads its plug-ins and language file at start (the application
# context), audio only the plug-ins read and German words prove they were found.
if run --help | grep -q -- '--language'; then
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=d=2:r=44100" -ac 2 -c:a libmp3lame tone.mp3 || fail "ffmpeg mp3"
    out=$(run info tone.mp3 2>&1) || fail "tessaly-cli info tone.mp3 (through the installed plug-ins): $out"
    grep -q '44100 Hz' <<<"$out" || fail "info tone.mp3 printed: $out"
    out=$(run --language Deutsch info clip.avi 2>&1) || fail "tessaly-cli --language Deutsch: $out"
    grep -q 'Standard' <<<"$out" || fail "the installed language file was not used: $out"
fi

[ $fails -eq 0 ] && echo "install layout: all checks passed"
exit $((fails > 0))
