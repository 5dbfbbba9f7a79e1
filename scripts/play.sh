#!/usr/bin/env bash
# Installs what is needed, builds, and runs the program on the sample data tree.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export SDL_VIDEODRIVER=offscreen; fi
exec ./build/bin/zentri-demo "$@"
