#!/usr/bin/env bash
# Installs what is needed, builds (which also generates the sample data tree in build/game),
# and runs the game on that tree. Without a display the game runs headless for a minute of game
# time: the intro is skipped, the main menu waits until its idle countdown starts the race of
# computer drivers, a screenshot is taken at the end, and the script says where it is.
# Extra arguments go to Pindrel (for example --frames 600 or --headless).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/bin/Pindrel --data build/game "$@"
fi
# Headless: 3000 frames of 0.02 s; three key presses skip the intro's pictures, F9 near the end.
script="$(mktemp)"
trap 'rm -f "$script"' EXIT
{
  for f in 3 20 60; do echo "$f key space down"; echo "$((f + 1)) key space up"; done
  echo "2990 key F9 down"
  echo "2991 key F9 up"
} >"$script"
before="$(ls build/game/snap*.jpg 2>/dev/null || true)"
./build/bin/Pindrel --data build/game --headless --fixed-step 0.02 --frames 3000 --input "$script" "$@"
for shot in build/game/snap*.jpg; do
  [ -e "$shot" ] || continue
  case "$before" in *"$shot"*) continue ;; esac
  echo "play.sh: screenshot written to $shot"
done
echo "play.sh: the game log is build/game/qvxlog.txt"
