#!/usr/bin/env bash
# Builds Pelorin and starts the viewer with the images named on the command line.
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev zlib1g-dev
  fonts-dejavu-core fonts-liberation libgtest-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

if [ ! -x build/app/pelorin ]; then
  echo "The viewer itself is not built yet: this checkout has the image model, codecs and tools only."
  exit 0
fi
exec build/app/pelorin "$@"
