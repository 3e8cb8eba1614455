#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one for a given time.
# Usage: fuzz/run.sh NAME [SECONDS]     e.g. fuzz/run.sh ace_archive 600
# The seed corpus, if any, is fuzz/seeds/NAME (made by the target's seed generator when it has one).
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?usage: fuzz/run.sh NAME [SECONDS]}
seconds=${2:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF \
  -DQUILLON_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target "fuzz_$name"
corpus=fuzz/corpus-$name
mkdir -p "$corpus"
seeds=()
[ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
exec build-fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -rss_limit_mb=4096 "$corpus" "${seeds[@]}"
