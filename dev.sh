#!/usr/bin/env bash
# Set-up, build and run helper for a fresh Debian 12 machine.
#   ./dev.sh test   install what is missing, build, run every test through CTest
#   ./dev.sh run    install what is missing, build, open the window with the built-in simulated transmitter
#   ./dev.sh bench  build and run the benchmark
# Environment: BUILD_DIR (default build), CMAKE_ARGS (extra configure arguments).
set -euo pipefail
cd "$(dirname "$0")"

BUILD_DIR=${BUILD_DIR:-build}
PACKAGES=(cmake ninja-build g++ libgtest-dev qt6-base-dev libcli11-dev nlohmann-json3-dev)

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
*)
    echo "usage: $0 test | run | bench" >&2
    exit 2
    ;;
esac
