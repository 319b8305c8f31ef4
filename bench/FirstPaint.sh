#!/usr/bin/env bash
# Time from process start to the first paint of a 6000 x 4000 24-bit BMP in
# the viewer (on Xvfb), beside the time "pelorin-convert --info" needs to read
# the same file. Prints the median of several runs of each, and the viewer's
# time for a tiny image, which is what start-up alone costs.
#   bench/FirstPaint.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-7}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target pelorin pelorin-convert >/dev/null

work=$(mktemp -d /tmp/pelorin-bench.XXXXXX)
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prog"
cp "$build/app/pelorin" "$work/prog/"
convert -size 6000x4000 gradient:'#ff8000-#0040ff' -type TrueColor BMP3:"$work/big.bmp"
# A tiny image gives the start-up floor: process, Qt, X and fonts.
convert -size 16x16 xc:gray -type TrueColor BMP3:"$work/small.bmp"

export WORK=$work RUNS=$runs CONVERT="$build/tools/convert/pelorin-convert"
export XDG_RUNTIME_DIR=$work TMPDIR=$work
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  median() { sort -n | awk "{a[NR]=\$1} END {print a[int((NR+1)/2)]}"; }
  now() { date +%s.%N; }
  for i in $(seq "$RUNS"); do
    for image in small big; do
      rm -f "$WORK/err"
      t0=$(now)
      PELORIN_REPORT_FIRST_PAINT=1 "$WORK/prog/pelorin" "$WORK/$image.bmp" 2>"$WORK/err" &
      pid=$!
      for _ in $(seq 2000); do
        grep -q "first paint" "$WORK/err" 2>/dev/null && break
        sleep 0.01
      done
      t1=$(sed -n "s/^pelorin: first paint //p" "$WORK/err")
      kill "$pid"; wait "$pid" 2>/dev/null || true
      [ -n "$t1" ] || { echo "no first paint reported" >&2; exit 1; }
      awk "BEGIN {print $t1 - $t0}" >>"$WORK/paint-$image"
    done
  done
  for i in $(seq "$RUNS"); do
    t0=$(now)
    "$CONVERT" --info "$WORK/big.bmp" >/dev/null
    t1=$(now)
    awk "BEGIN {print $t1 - $t0}" >>"$WORK/info"
  done
  printf "6000 x 4000 24-bit BMP, median of %d runs\n" "$RUNS"
  printf "  viewer, start to first paint:  %.3f s\n" "$(median <"$WORK/paint-big")"
  printf "  same for a 16 x 16 BMP:        %.3f s\n" "$(median <"$WORK/paint-small")"
  printf "  pelorin-convert --info:        %.3f s\n" "$(median <"$WORK/info")"
'
