#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh "$@"
export SDL_AUDIODRIVER=dummy
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export SDL_VIDEODRIVER=offscreen; fi
# CTEST_EXCLUDE: a regular expression of tests to leave out (the sanitizer stage of CI leaves out
# the longest whole-race runs, which a debug build with sanitizers makes too slow).
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)" --timeout 300 ${CTEST_EXCLUDE:+-E "$CTEST_EXCLUDE"}
