#!/usr/bin/env bash
# Installs what is needed, builds (which also generates the sample data tree in build/game),
# and runs the game on that tree. Without a display the game runs headless for 300 frames.
# Extra arguments go to Pindrel (for example --frames 600 or --headless).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
ARGS=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then ARGS=(--headless --frames 300); fi
exec ./build/bin/Pindrel --data build/game "${ARGS[@]}" "$@"
