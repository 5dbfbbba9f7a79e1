#!/usr/bin/env bash
# Configures and builds into ./build (or the folder in BUILD_DIR). Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" "${GEN[@]}" "$@" >/dev/null
else
  cmake -S . -B "$BUILD_DIR" "$@" >/dev/null
fi
cmake --build "$BUILD_DIR" -j "$(nproc)"
