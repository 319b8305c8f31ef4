#!/usr/bin/env bash
# Builds Pelorin (in build/, or PELORIN_BUILD_DIR) and starts the viewer with the images named on the command line.
# Without a display it runs the viewer on a virtual one and saves a screenshot
# to pelorin-screenshot.png instead.
set -euo pipefail
cd "$(dirname "$0")"

source tools/install-missing.sh

install_missing build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev zlib1g-dev libdeflate-dev libcairo2-dev liblcms2-dev \
  fonts-dejavu-core fonts-liberation libgtest-dev libsane1 sane-utils

build=${PELORIN_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target pelorin

# Image names are taken as given, relative to where run.sh was started.
args=()
for a in "$@"; do
  if [ -e "$OLDPWD/$a" ] && [[ "$a" != /* ]]; then args+=("$OLDPWD/$a"); else args+=("$a"); fi
done

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/app/pelorin" ${args[@]+"${args[@]}"}
fi

install_missing xvfb xauth imagemagick xdotool
shot="$PWD/pelorin-screenshot.png"
rm -f "$shot"
runtime=$(mktemp -d /tmp/pelorin-run.XXXXXX)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR="$runtime" TMPDIR="$runtime" build="$build" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  shot=$1; shift
  "$build/app/pelorin" "$@" &
  pid=$!
  # Up to 20 s for the window to show, then a moment for its first paint.
  for _ in $(seq 200); do
    xdotool search --onlyvisible --name . >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  # Without images the open dialog may come first (a setting): cancelling
  # it shows the start image.
  if [ $# -eq 0 ] && ! xdotool search --onlyvisible --name "^Pelorin" >/dev/null 2>&1; then
    dialog=$(xdotool search --onlyvisible --name . 2>/dev/null | head -1)
    [ -n "$dialog" ] && xdotool windowfocus --sync "$dialog" key Escape 2>/dev/null
    for _ in $(seq 50); do
      xdotool search --onlyvisible --name "^Pelorin" >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  if kill -0 "$pid" 2>/dev/null; then
    sleep 0.5
    import -window root "$shot"
    kill "$pid"
  fi
  wait "$pid" 2>/dev/null || true
' _ "$shot" ${args[@]+"${args[@]}"}
if [ -f "$shot" ]; then
  echo "No display here: Pelorin ran on a virtual screen; its screenshot is $shot"
else
  echo "No display here, and Pelorin ended before its window showed (nothing to show?)." >&2
  exit 1
fi
