#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into ./build-fuzz and runs each one briefly.
# FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
if ! ls tests/fuzz/*.cpp >/dev/null 2>&1; then
  echo "no fuzz targets"
  exit 0
fi
BUILD_DIR=build-fuzz CC=clang CXX=clang++ ./scripts/build.sh -DVQ_FUZZ=ON -DVQ_TESTS=OFF -DVQ_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
export SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=offscreen
for f in build-fuzz/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name"
  "$f" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
done
