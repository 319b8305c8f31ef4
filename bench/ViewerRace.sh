#!/usr/bin/env bash
# Start to first picture of a 6000 x 4000 photo-like image as JPEG, PNG and
# BMP, for Pelorin beside qimgv and feh (the viewers a Linux user would pick
# instead), all on one virtual screen of our own, runs interleaved. The time
# is taken by bench/FirstPicture.c from the viewer's start until the screen
# shows the picture, the same way for every viewer. Prints the medians.
#   bench/ViewerRace.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
runs=${2:-5}

source tools/install-missing.sh
install_missing qimgv feh libx11-dev imagemagick xvfb xauth liblcms2-dev

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELORIN_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target pelorin >/dev/null

work=$(mktemp -d /tmp/pelorin-race.XXXXXX)
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prog" "$work/home"
cp "$build/app/pelorin" "$work/prog/"
cc -O2 -o "$work/FirstPicture" bench/FirstPicture.c -lX11

# Photo-like content (smooth shapes and grain), tinted so that FirstPicture
# can tell the picture from any viewer's own window.
convert -size 1500x1000 plasma:fractal -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
  -fill '#ff00ff' -colorize 60% "$work/photo.ppm"
convert "$work/photo.ppm" -quality 90 "$work/photo.jpg"
convert "$work/photo.ppm" "$work/photo.png"
convert "$work/photo.ppm" -type TrueColor BMP3:"$work/photo.bmp"
rm "$work/photo.ppm"

export WORK=$work RUNS=$runs HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
export XDG_RUNTIME_DIR=$work TMPDIR=$work
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  median() { sort -n | awk "{a[NR]=\$1} END {print a[int((NR+1)/2)]}"; }
  viewer() {
    case $1 in
      pelorin) echo "$WORK/prog/pelorin" ;;
      qimgv) echo qimgv ;;
      feh) echo feh ;;
    esac
  }
  # A picture covers a quarter of the screen at least in every viewer.
  race() { "$WORK/FirstPicture" 300000 20 "$(viewer "$1")" "$WORK/photo.$2"; }
  # One run each first: configuration files made, files in the page cache.
  for v in pelorin qimgv feh; do race $v bmp >/dev/null; sleep 0.3; done
  for i in $(seq "$RUNS"); do
    for f in jpg png bmp; do
      for v in pelorin qimgv feh; do
        race $v $f >>"$WORK/$v-$f"
        sleep 0.3
      done
    done
  done
  printf "6000 x 4000, start to first picture, median of %d interleaved runs (s)\n" "$RUNS"
  printf "%-6s %8s %8s %8s\n" format pelorin qimgv feh
  for f in jpg png bmp; do
    printf "%-6s %8s %8s %8s\n" $f "$(median <"$WORK/pelorin-$f")" "$(median <"$WORK/qimgv-$f")" "$(median <"$WORK/feh-$f")"
  done
'
