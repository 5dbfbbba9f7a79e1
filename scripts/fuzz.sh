#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into ./build-fuzz and runs each one briefly.
# FUZZ_SECONDS sets the time per target (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
if ! ls tests/fuzz/*.cpp >/dev/null 2>&1; then
  echo "no fuzz targets"
  exit 0
fi
GEN=()
if command -v ninja >/dev/null 2>&1 && [ ! -f build-fuzz/CMakeCache.txt ]; then GEN=(-G Ninja); fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz "${GEN[@]}" -DVQ_FUZZ=ON -DVQ_TESTS=OFF -DVQ_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_all -j "$(nproc)"
export SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=offscreen
for f in build-fuzz/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name"
  "$f" -max_total_time="${FUZZ_SECONDS:-10}" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
done
