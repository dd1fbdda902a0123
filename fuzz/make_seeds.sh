#!/bin/sh
# Makes the seed files of the WAVE and FFmpeg reader fuzz targets from real encoders:
#   fuzz/make_seeds.sh OUTDIR
# writes OUTDIR/wave_reader/ and OUTDIR/lavf_reader/ (a few KB each). Needs ffmpeg.
# Run a target over them with, e.g.:
#   build-fuzz/bin/fuzz_wave_reader -max_total_time=300 CORPUS OUTDIR/wave_reader fuzz/corpus/wave_reader
set -eu
out=${1:?usage: make_seeds.sh OUTDIR}
wav="$out/wave_reader"
lavf="$out/lavf_reader"
mkdir -p "$wav" "$lavf"
ff() { ffmpeg -nostdin -v error -y "$@"; }
tone="sine=frequency=440:sample_rate=8000:duration=0.05"

# WAVE files in every sample format the readers take, and the extensible record.
ff -f lavfi -i "$tone" -ac 1 -c:a pcm_u8 "$wav/u8_mono.wav"
ff -f lavfi -i "$tone" -ac 2 -c:a pcm_s16le "$wav/s16_stereo.wav"
ff -f lavfi -i "$tone" -ac 2 -c:a pcm_s24le "$wav/s24_stereo.wav"
ff -f lavfi -i "$tone" -ac 1 -c:a pcm_s32le "$wav/s32_mono.wav"
ff -f lavfi -i "$tone" -ac 1 -c:a pcm_f32le "$wav/f32_mono.wav"
ff -f lavfi -i "$tone" -ac 1 -c:a pcm_f64le "$wav/f64_mono.wav"
ff -f lavfi -i "$tone" -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" -c:a pcm_s16le "$wav/s16_51.wav"
ff -f lavfi -i "$tone" -ac 1 -c:a adpcm_ima_wav "$wav/ima_adpcm.wav"
ff -f lavfi -i "$tone" -ac 1 -c:a pcm_mulaw "$wav/mulaw.wav"
# An AVI with a PCM track: the same front-end reads its audio.
ff -f lavfi -i "color=c=gray:s=16x16:r=10:d=0.3" -f lavfi -i "$tone" -c:v rawvideo -pix_fmt bgr24 \
   -c:a pcm_s16le -shortest "$wav/raw_pcm.avi"

# Containers and codecs of the FFmpeg path, video and audio.
v="testsrc=size=32x24:rate=10:duration=0.5"
ff -f lavfi -i "$v" -f lavfi -i "$tone" -c:v libx264 -g 3 -bf 2 -c:a flac -shortest "$lavf/h264_flac.mkv"
ff -f lavfi -i "$v" -f lavfi -i "$tone" -c:v mpeg4 -g 3 -c:a aac -b:a 16k -shortest "$lavf/mpeg4_aac.mp4"
ff -f lavfi -i "$v" -f lavfi -i "$tone" -c:v mpeg2video -g 3 -c:a mp2 -b:a 32k -shortest "$lavf/mpeg2_mp2.ts"
ff -f lavfi -i "$v" -f lavfi -i "$tone" -c:v mjpeg -c:a pcm_s16le -shortest "$lavf/mjpeg_pcm.mov"
ff -f lavfi -i "$v" -c:v libvpx -g 3 "$lavf/vp8.webm"
ff -f lavfi -i "$tone" -c:a libvorbis "$lavf/vorbis.ogg"
ff -f lavfi -i "$tone" -c:a libopus -b:a 16k "$lavf/opus.opus"
ff -f lavfi -i "$tone" -c:a ac3 -b:a 64k "$lavf/tone.ac3"
ff -f lavfi -i "$tone" -c:a libmp3lame -b:a 32k "$lavf/tone.mp3"
ff -f lavfi -i "$tone" -c:a flac "$lavf/tone.flac"
ff -f lavfi -i "$tone" -c:a pcm_s16be "$lavf/tone.aiff"
echo "seeds in $wav and $lavf"
