#!/usr/bin/env bash
# Fails when code outside host/ (and the tests, which exercise host/ directly) includes a
# platform header: SDL, GL/EGL, FLTK, X11, sockets, signals or dlopen. The engine, the game,
# the model library, the tools and the benchmarks reach the platform only through host/.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL[^">]*|GL/[^">]*|EGL/[^">]*|GLES[^">]*|KHR/[^">]*|FL/[^">]*|X11/[^">]*|sys/socket\.h|netinet/[^">]*|arpa/inet\.h|netdb\.h|poll\.h|sys/select\.h|signal\.h|csignal|dlfcn\.h|windows\.h|winsock[^">]*)[">]'
dirs=()
for d in Zentri QVX model tools bench; do [ -d "$d" ] && dirs+=("$d"); done
if hits=$(grep -rnE "$pattern" --include='*.c' --include='*.cc' --include='*.cpp' --include='*.h' --include='*.hpp' \
            "${dirs[@]}"); then
  echo "platform headers outside host/ (move the code into a host/ layer):" >&2
  echo "$hits" >&2
  exit 1
fi
echo "no platform headers outside host/"
