#!/usr/bin/env bash
# Builds the benchmarks in Release, runs every one and prints one table: each
# measure beside the reference it runs against in the same process, with both
# times and their ratio (measure time / reference time; lower is better).
#   ./bench.sh [filter]    # filter: a regular expression over benchmark names
set -euo pipefail
cd "$(dirname "$0")"

source tools/install-missing.sh
install_missing build-essential cmake ninja-build pkg-config qt6-base-dev libgtest-dev \
  libjpeg62-turbo-dev zlib1g-dev libdeflate-dev libcairo2-dev liblcms2-dev icc-profiles-free libgs-common libbenchmark-dev libstb-dev libgif-dev libpng-dev libspng-dev libtiff-dev python3 \
  libpython3-dev python3-pil

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELORIN_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

out=$(mktemp -d /tmp/pelorin-bench.XXXXXX)
chmod 700 "$out"
trap 'rm -rf "$out"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$out
filter=(); [ $# -gt 0 ] && filter=(--benchmark_filter="$1")
for b in "$build"/bench/Bench*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  name=$(basename "$b")
  echo "running $name" >&2
  "$b" "${filter[@]}" --benchmark_out="$out/$name.json" --benchmark_out_format=json >"$out/$name.log" 2>&1 ||
    { cat "$out/$name.log" >&2; exit 1; }
done
echo
/usr/bin/env python3 bench/BenchTable.py "$out"/*.json
