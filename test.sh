#!/usr/bin/env bash
# Builds Pelorin from nothing and runs every test: the full build (core, Qt
# widgets, program, end-to-end) and then the core again under AddressSanitizer
# and UndefinedBehaviorSanitizer with clang, fuzz targets included.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

source tools/install-missing.sh
install_missing build-essential cmake ninja-build pkg-config qt6-base-dev libgtest-dev \
  libjpeg62-turbo-dev zlib1g-dev libdeflate-dev libcairo2-dev liblcms2-dev fonts-dejavu-core fonts-liberation \
  clang-14 libclang-rt-14-dev \
  xvfb xauth x11-utils imagemagick xdotool xclip poppler-utils cups-daemon cups-client printer-driver-cups-pdf \
  python3-pil netpbm pngcheck libtiff-tools giflib-tools libwmf-bin libjpeg-turbo-progs libpng-dev libsane1 sane-utils \
  icc-profiles-free libgs-common libimage-exiftool-perl desktop-file-utils appstream shared-mime-info

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/pelorin-runtime.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
jobs=$(nproc)

echo "== Sanitizer build of the core (clang-14, ASan + UBSan, fuzz targets)"
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DPELORIN_CORE_ONLY=ON -DPELORIN_SANITIZE=ON -DPELORIN_FUZZ=ON >/dev/null
cmake --build build-san -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$top/tests/lsan.supp ctest --test-dir build-san --output-on-failure -j "$jobs"

echo "== Full build (gcc)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
