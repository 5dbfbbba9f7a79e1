#!/usr/bin/env bash
# Installs what is needed, builds, and shows the demo scene through the OpenGL display
# device (vqview) until the game exists. The scene is written by vqtool when absent.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export SDL_VIDEODRIVER=offscreen; fi
if [ ! -f build/demo.vqo ]; then ./build/bin/vqtool scene-demo build/demo.vqo; fi
exec ./build/bin/vqview build/demo.vqo "$@"
