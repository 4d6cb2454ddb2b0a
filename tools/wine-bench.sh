#!/usr/bin/env bash
# The Windows programs under Wine against the Linux ones, on one transmitter
# at the line rate: ventora-cli's read, the window's start-up and its
# detection, and the size of Ventora.exe. Prints the figures; asserts none.
#   tools/wine-bench.sh
# BUILD_DIR (default build) holds the Linux build, WINDOWS_BUILD_DIR (default
# build-windows) the MinGW build that `./dev.sh windows` makes.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
WINDOWS_BUILD_DIR=${WINDOWS_BUILD_DIR:-build-windows}

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --target ventora-sim-host ventora-cli ventora-startup-probe >/dev/null
BUILD_DIR="$WINDOWS_BUILD_DIR" ./dev.sh windows >/dev/null
cmake --build "$WINDOWS_BUILD_DIR" --target ventora-window-probe >/dev/null

source tools/wine-common.sh
NATIVE_CLI=$(realpath "$BUILD_DIR/cli/ventora-cli")
NATIVE_WINDOW_PROBE=$(realpath "$BUILD_DIR/app/ventora-startup-probe")
wine_prefix_up "$BUILD_DIR/tests/ventora-sim-host"
wine_figures "$WINDOWS_BUILD_DIR"
