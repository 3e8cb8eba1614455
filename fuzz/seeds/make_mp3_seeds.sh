#!/usr/bin/env bash
# Writes the small seed streams of the mp3 fuzz target (needs sox, lame and ffmpeg).
# Run from the repository root: fuzz/seeds/make_mp3_seeds.sh
set -euo pipefail
out=fuzz/seeds/mp3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
sox -n -r 44100 -c 2 "$tmp/s.wav" synth 0.12 sine 440 sine 660 : synth 0.02 whitenoise
sox -n -r 22050 -c 1 "$tmp/m.wav" synth 0.2 sine 300 : synth 0.02 whitenoise
sox -n -r 8000 -c 1 "$tmp/e.wav" synth 0.3 sine 200
lame --quiet -t -b 128 -m j "$tmp/s.wav" "$out/mpeg1_joint.mp3"
lame --quiet -b 64 -m m --resample 32 "$tmp/m.wav" "$out/mpeg1_mono_xing.mp3"
lame --quiet -t -b 32 "$tmp/m.wav" "$out/mpeg2_mono.mp3"
lame --quiet -t -b 16 "$tmp/e.wav" "$out/mpeg25_8k.mp3"
lame --quiet -t --freeformat -b 200 "$tmp/s.wav" "$out/free_format.mp3"
ffmpeg -v error -i "$tmp/s.wav" -c:a mp2 -b:a 192k -f mp2 -y "$out/layer2.mp2"
ffmpeg -v error -i "$tmp/m.wav" -c:a mp2 -b:a 32k -f mp2 -y "$out/layer2_lsf.mp2"
ls -l "$out"
