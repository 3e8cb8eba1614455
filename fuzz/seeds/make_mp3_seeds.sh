#!/usr/bin/env bash
# Writes the small seed streams of the mp3 fuzz target (needs sox, lame and ffmpeg). The
# same tools give the same bytes on every run.
# Run from the repository root: fuzz/seeds/make_mp3_seeds.sh (or build the target fuzz_seeds_mp3)
set -euo pipefail
out=fuzz/seeds/mp3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
sox -R -n -r 44100 -c 2 "$tmp/s.wav" synth 0.12 sine 440 sine 660 : synth 0.02 whitenoise
sox -R -n -r 22050 -c 1 "$tmp/m.wav" synth 0.2 sine 300 : synth 0.02 whitenoise
sox -R -n -r 8000 -c 1 "$tmp/e.wav" synth 0.3 sine 200
lame --quiet -t -b 128 -m j "$tmp/s.wav" "$out/mpeg1_joint.mp3"
lame --quiet -b 64 -m m --resample 32 "$tmp/m.wav" "$out/mpeg1_mono_xing.mp3"
lame --quiet -t -b 32 "$tmp/m.wav" "$out/mpeg2_mono.mp3"
lame --quiet -t -b 16 "$tmp/e.wav" "$out/mpeg25_8k.mp3"
lame --quiet -t --freeformat -b 200 "$tmp/s.wav" "$out/free_format.mp3"
ffmpeg -v error -i "$tmp/s.wav" -c:a mp2 -b:a 192k -f mp2 -y "$out/layer2.mp2"
ffmpeg -v error -i "$tmp/m.wav" -c:a mp2 -b:a 32k -f mp2 -y "$out/layer2_lsf.mp2"
# 24-byte frames (8 kbit/s at 24 kHz), shorter than the player's 64-byte pieces
lame --quiet -t -b 8 -m m --resample 24 "$tmp/m.wav" "$out/mpeg2_24_byte_frames.mp3"
# one channel, then two, then one again
lame --quiet -t -b 96 -m m "$tmp/s.wav" "$tmp/mono.mp3"
lame --quiet -t -b 96 -m j "$tmp/s.wav" "$tmp/joint.mp3"
cat "$tmp/mono.mp3" "$tmp/joint.mp3" "$tmp/mono.mp3" > "$out/layout_change.mp3"
ls -l "$out"
