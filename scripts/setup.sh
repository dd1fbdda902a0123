#!/usr/bin/env bash
# Installs every Debian package Tessaly needs to build, test and run.
# Safe to run more than once; needs root (or sudo) and the Debian package mirror.
set -euo pipefail

packages=(
    # tool chain and tests
    build-essential cmake pkg-config git python3
    libgtest-dev libgmock-dev
    # media: FFmpeg libraries for the system media layer and the frame decoder,
    # the ffmpeg/ffprobe commands as independent readers in the tests
    ffmpeg libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
    # reader plug-ins: GStreamer and its decoders
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-tools gstreamer1.0-plugins-base-apps
    # independent readers of the results in the tests: MKVToolNix and a player
    mkvtoolnix mpv
    # peak memory and times of the benchmark scripts (/usr/bin/time -v)
    time
    # the window: Qt 6 Widgets and Multimedia (GStreamer backend), SVG icons,
    # the offscreen and X11 platforms, and Xvfb for screenshot tests
    qt6-base-dev qt6-multimedia-dev libqt6multimediawidgets6 qt6-svg-dev libqt6svg6
    qt6-qpa-plugins libgl-dev xvfb xauth
    # checks of the install layout (desktop entry, MIME and icon files) and the
    # Debian package (dpkg-shlibdeps)
    desktop-file-utils libxml2-utils shared-mime-info dpkg-dev
    # automatic synchronisation: FFTW3 and libsoxr; espeak-ng and sox make test speech
    libfftw3-dev libsoxr-dev espeak-ng sox
    # recorded music for the synchronisation benchmark (bench_sync --recorded, --long-recorded)
    asc-music hyperrogue-music
    # the mixer's keep-pitch reading: librubberband
    librubberband-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
