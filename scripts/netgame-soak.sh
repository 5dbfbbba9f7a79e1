#!/usr/bin/env bash
# Soak run of network play: a host and three clients (netgame-peer) race on 127.0.0.1 for N
# seconds (default 30) and each reports its traffic; prints bytes per second per player.
# Usage: scripts/netgame-soak.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN="${1:-30}"
BIN="${2:-build}/bin/netgame-peer"
[ -x "$BIN" ] || { echo "build netgame-peer first ($BIN)" >&2; exit 1; }
OUT=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$OUT"' EXIT
LIMIT=$((SECONDS_TO_RUN + 60))
COMMON=(--laps 1000000 --stop-after "$SECONDS_TO_RUN" --seconds "$LIMIT")
"$BIN" host --name Host --players 4 --tcp 0 --udp 0 --beacon-port 1 "${COMMON[@]}" >"$OUT/host.txt" &
for _ in $(seq 100); do grep -q '^hosting' "$OUT/host.txt" 2>/dev/null && break; sleep 0.05; done
read -r _ _ TCP _ UDP < <(grep '^hosting' "$OUT/host.txt")
for n in 1 2 3; do
  "$BIN" join 127.0.0.1 --name "Client$n" --tcp "$TCP" --udp 0 --host-udp "$UDP" --speed $((20 + n)) \
    "${COMMON[@]}" >"$OUT/client$n.txt" &
done
wait
printf '%-8s %12s %12s %10s %12s %12s\n' player sent received seconds "sent B/s" "recv B/s"
for f in host client1 client2 client3; do
  line=$(grep '^traffic' "$OUT/$f.txt" || true)
  [ -n "$line" ] || { echo "$f: no traffic line" >&2; cat "$OUT/$f.txt" >&2; exit 1; }
  read -r _ _ sent _ recv _ secs <<<"$line"
  awk -v p="$f" -v s="$sent" -v r="$recv" -v t="$secs" \
    'BEGIN { printf "%-8s %12d %12d %10.1f %12.0f %12.0f\n", p, s, r, t, s / t, r / t }'
done
