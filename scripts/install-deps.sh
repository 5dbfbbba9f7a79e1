#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the game need.
# Idempotent: when everything is present it does nothing and prints nothing.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-dev
  libsdl2-dev libgl1-mesa-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libjpeg62-turbo-dev libmpg123-dev libmp3lame-dev libfltk1.3-dev libfreetype-dev zlib1g-dev fonts-dejavu-core
  libgtest-dev libgmock-dev googletest libbenchmark-dev espeak-ng
)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
