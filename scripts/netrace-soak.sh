#!/usr/bin/env bash
# Soak run of a network race in the game itself: four Pindrel processes (a host and three
# clients, each on its own copy of the generated data tree and its own datagram port) find each
# other on 127.0.0.1, get ready and race for MINUTES minutes of race time (default 10; the
# host's netracelimit ends the race and classifies the field). Prints each player's race traffic
# in bytes per second and fails when a process crashed or the four classifications differ.
# Usage: scripts/netrace-soak.sh [MINUTES] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES="${1:-10}"
BUILD="${2:-build}"
BIN="$BUILD/bin/Pindrel"
GAME="$BUILD/game"
[ -x "$BIN" ] && [ -f "$GAME/Config.ini" ] || { echo "build Pindrel and the game data first ($BUILD)" >&2; exit 1; }
STEP=0.05
LIMIT=$((MINUTES * 60))
# The lobby and loading take well under two minutes; the frame budget is only a safety net.
FRAMES=$(( (LIMIT + 180) * 20 ))
WAIT=$((LIMIT + 240))
OUT=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "${status:-1}" = 0 ]; then rm -rf "$OUT"; else echo "runs kept in $OUT" >&2; fi
}
trap cleanup EXIT

# Free ports on 127.0.0.1: the game connection and one datagram port per machine.
read -r TCP U0 U1 U2 U3 < <(python3 - <<'EOF'
import socket
socks = []
ports = []
for kind in [socket.SOCK_STREAM] + [socket.SOCK_DGRAM] * 4:
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    socks.append(s)
    ports.append(s.getsockname()[1])
print(*ports)
EOF
)
NAMES=(Hosta Alpha Bravo Delta)
UDPS=($U0 $U1 $U2 $U3)

press() { echo "$1 key $2 down"; echo "$(($1 + 1)) key $2 up"; }
# The throttle from the moment the menus are gone, let go for two seconds every thirty (a
# throttle held through the start lights counts only once it was let go); the cars steer
# themselves (--steer-assist), which also rescues a car that stands still under throttle.
drive() {
  for ((f = 640; f < FRAMES - 100; f += 600)); do
    echo "$f key up down"
    echo "$((f + 560)) key up up"
  done
}

for i in 0 1 2 3; do
  name=${NAMES[$i]}
  dir="$OUT/$name"
  mkdir -p "$dir"
  cp -al "$GAME/." "$dir/"
  rm "$dir/Config.ini" "$dir/Data/Players/Driver.bin"
  cp "$GAME/Data/Players/Driver.bin" "$dir/Data/Players/$name.bin"
  grep -v -E '^(player1|tcpport|udpport) ' "$GAME/Config.ini" >"$dir/Config.ini"
  {
    echo "player1 = $name"
    echo "tcpport = $TCP"
    echo "udpport = ${UDPS[$i]}"
    echo "netaddress = 127.0.0.1"
    echo "broadcastaddress = 127.0.0.1"
    echo "netracelimit = $LIMIT"
    [ "$i" = 0 ] && echo "broadcastports = $U1 $U2 $U3"
  } >>"$dir/Config.ini"
  {
    press 3 space; press 40 space; press 120 space
    if [ "$i" = 0 ]; then
      # Multiplayer, host; start (the start item takes the focus once everybody is ready).
      press 220 down; press 230 enter; press 250 enter; press 540 enter; press 570 enter
      press 600 enter
    else
      # Multiplayer, join, search; ready.
      press 220 down; press 230 enter; press 250 down; press 260 enter; press 280 enter
      press $((480 + 10 * i)) enter
    fi
    drive
  } >"$dir/input.txt"
done

START=$(date +%s)
for i in 0 1 2 3; do
  dir="$OUT/${NAMES[$i]}"
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$BIN" --headless --fixed-step "$STEP" --seed $((i + 1)) --steer-assist \
    --frames "$FRAMES" --input "$dir/input.txt" --results "$dir/results.csv" --data "$dir" \
    >"$dir/output.txt" 2>&1 &
  PIDS+=($!)
done

# Until every machine wrote its results (or one ended, or the wait ran out).
status=1
running=0
while :; do
  done_count=0
  for i in 0 1 2 3; do
    grep -q "Race results appended" "$OUT/${NAMES[$i]}/qvxlog.txt" 2>/dev/null && done_count=$((done_count + 1))
    if ! kill -0 "${PIDS[$i]}" 2>/dev/null && ! grep -q "Race results appended" "$OUT/${NAMES[$i]}/qvxlog.txt" 2>/dev/null; then
      echo "${NAMES[$i]} ended before the results:" >&2
      tail -n 20 "$OUT/${NAMES[$i]}/qvxlog.txt" >&2 || true
      running=1
    fi
  done
  [ "$done_count" = 4 ] || [ "$running" != 0 ] && break
  if [ $(($(date +%s) - START)) -gt "$WAIT" ]; then
    echo "no results after $WAIT s" >&2
    running=1
    break
  fi
  sleep 2
done
failed=$running
for i in 0 1 2 3; do
  if [ -f "$OUT/${NAMES[$i]}/Crashlog.txt" ]; then
    echo "${NAMES[$i]} crashed:" >&2
    cat "$OUT/${NAMES[$i]}/Crashlog.txt" >&2
    failed=1
  fi
done
[ "$failed" = 0 ] || exit 1

printf '%-8s %12s %12s %10s %12s %12s\n' player sent received seconds "sent B/s" "recv B/s"
for name in "${NAMES[@]}"; do
  line=$(grep "race traffic sent" "$OUT/$name/qvxlog.txt" | tail -1)
  read -r sent recv secs < <(sed -E 's/.*sent ([0-9]+) bytes, received ([0-9]+) bytes in ([0-9.]+) race.*/\1 \2 \3/' <<<"$line")
  awk -v p="$name" -v s="$sent" -v r="$recv" -v t="$secs" \
    'BEGIN { if (t <= 0) t = 1; printf "%-8s %12d %12d %10.1f %12.0f %12.0f\n", p, s, r, t, s / t, r / t }'
done

# The classification (position and player of every row) is the same on every machine.
REFERENCE=$(cut -d, -f3,4 "$OUT/Hosta/results.csv")
for name in "${NAMES[@]:1}"; do
  if [ "$(cut -d, -f3,4 "$OUT/$name/results.csv")" != "$REFERENCE" ]; then
    echo "the classification of $name differs from the host's:" >&2
    diff <(echo "$REFERENCE") <(cut -d, -f3,4 "$OUT/$name/results.csv") >&2 || true
    exit 1
  fi
done
echo "classification (same on all four machines):"
echo "$REFERENCE"
status=0
