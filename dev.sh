#!/usr/bin/env bash
# Set-up, build and run helper for a fresh Debian 12 machine.
#   ./dev.sh test   install what is missing, build, run every test through CTest
#   ./dev.sh run    install what is missing, build, open the window with the built-in simulated transmitter
#   ./dev.sh bench  build and run the benchmark
#   ./dev.sh windows  cross-compile Ventora.exe and ventora-cli.exe with MinGW-w64, zip them (ventora-cli-<version>-win64.zip)
#                     and build the per-user installer ventora-<version>-win64.msi (in BUILD_DIR, default build-windows)
#   ./dev.sh package  build the Debian package ventora_<version>_amd64.deb (in BUILD_DIR, default build-package)
#   ./dev.sh wine-window  open Ventora.exe (the native Windows window) under Wine with the simulated transmitter as COM1
#   ./dev.sh wine-bench   time the Windows programs under Wine against the Linux ones (start-up, detection, a read)
#   ./dev.sh wine-msi     check the MSI under Wine as CI does: install, the programs, upgrade, removal
# Environment: BUILD_DIR (default build), CMAKE_ARGS (extra configure arguments).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGE_BUILD_DIR=${BUILD_DIR:-build-package}
WINDOWS_BUILD_DIR=${BUILD_DIR:-build-windows}
BUILD_DIR=${BUILD_DIR:-build}
PACKAGES=(cmake ninja-build g++ libgtest-dev qt6-base-dev qt6-translations-l10n libcli11-dev nlohmann-json3-dev)
# ventora-cli's watch --mqtt: the client library, and the broker and subscriber its tests run.
PACKAGES+=(libmosquitto-dev mosquitto mosquitto-clients)
# A watch under systemd: sd_notify for readiness, the watchdog and its status.
PACKAGES+=(libsystemd-dev)

install_missing() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure_and_build() {
    # shellcheck disable=SC2086
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-} >/dev/null
    cmake --build "$BUILD_DIR" "$@"
}

case "${1:-}" in
test)
    install_missing
    configure_and_build
    log=$(mktemp)
    rc=0
    ctest --test-dir "$BUILD_DIR" --output-on-failure --no-label-summary -j2 ${CTEST_ARGS:-} 2>&1 | tee "$log" || rc=$?
    # End with CTest's summary line, whatever came after it.
    summary=$(grep -E 'tests passed|tests failed' "$log" | tail -n 1 || true)
    rm -f "$log"
    [ -n "$summary" ] && echo "$summary"
    exit "$rc"
    ;;
run)
    install_missing
    configure_and_build --target Ventora-demo
    exec "$BUILD_DIR/app/Ventora-demo"
    ;;
bench)
    install_missing mbpoll
    configure_and_build --target ventora-bench
    exec "$BUILD_DIR/bench/ventora-bench" "${@:2}"
    ;;
package)
    install_missing dpkg-dev file
    # Debian's own compiler and linker flags (hardening included), so the
    # package builds in a directory of its own.
    BUILD_DIR=$PACKAGE_BUILD_DIR
    CXXFLAGS="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        LDFLAGS="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)" \
        CMAKE_ARGS="-DVENTORA_BUILD_TESTS=OFF -DVENTORA_BUILD_BENCH=OFF ${CMAKE_ARGS:-}" \
        configure_and_build
    (cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
    ls "$BUILD_DIR"/ventora_*.deb
    ;;
windows)
    install_missing g++-mingw-w64-x86-64-posix wixl msitools
    BUILD_DIR=$WINDOWS_BUILD_DIR
    # The header-only libraries reach the cross build through a folder of their own.
    mkdir -p "$BUILD_DIR/header-only"
    cp -r /usr/include/CLI /usr/include/nlohmann "$BUILD_DIR/header-only/"
    CMAKE_ARGS="-DCMAKE_TOOLCHAIN_FILE=$PWD/.ci/mingw-w64.cmake -DVENTORA_HEADER_ONLY_DIR=$(realpath "$BUILD_DIR/header-only") \
        -DVENTORA_BUILD_APP=ON -DVENTORA_BUILD_TESTS=OFF -DVENTORA_BUILD_BENCH=ON ${CMAKE_ARGS:-}" \
        configure_and_build --target ventora-cli-zip ventora-msi
    ls "$BUILD_DIR"/ventora-cli-*-win64.zip "$BUILD_DIR"/ventora-*-win64.msi
    ;;
wine-window)
    install_missing g++-mingw-w64-x86-64-posix wine64
    WINDOWS_BUILD_DIR=$WINDOWS_BUILD_DIR BUILD_DIR=$BUILD_DIR exec tools/wine-window.sh
    ;;
wine-bench)
    install_missing g++-mingw-w64-x86-64-posix wine64 locales
    WINDOWS_BUILD_DIR=$WINDOWS_BUILD_DIR BUILD_DIR=$BUILD_DIR exec tools/wine-bench.sh
    ;;
wine-msi)
    install_missing g++-mingw-w64-x86-64-posix wixl msitools wine64
    configure_and_build --target ventora-sim-host >/dev/null
    BUILD_DIR=$WINDOWS_BUILD_DIR ./dev.sh windows >/dev/null
    exec tools/wine-msi.sh "$WINDOWS_BUILD_DIR" "$BUILD_DIR/tests/ventora-sim-host"
    ;;
*)
    echo "usage: $0 test | run | bench | package | windows | wine-window | wine-bench | wine-msi" >&2
    exit 2
    ;;
esac
