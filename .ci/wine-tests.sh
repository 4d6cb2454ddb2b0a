#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, headless, in a fresh prefix, then
# the figures that compare it with the Linux build.
#   [NATIVE_CLI=path] [NATIVE_WINDOW_PROBE=path] .ci/wine-tests.sh WINDOWS_BUILD_DIR SIM_HOST [ctest arguments]
# SIM_HOST is a Linux build's tests/ventora-sim-host; the prefix and the
# figures are described in tools/wine-common.sh. The Windows build was
# configured with -DCMAKE_CROSSCOMPILING_EMULATOR=wine64. Ends with CTest's
# summary line.
set -euo pipefail
source "$(dirname "$0")/../tools/wine-common.sh"

build=$(realpath "$1")
wine_prefix_up "$2"
shift 2

log=$work/ctest.log
rc=0
# Not under Wine: it does not keep a serial device to one opener (its share-mode
# check covers files only); a COM port whose device has gone still opens there,
# and only refuses its settings; and a console-less test cannot send Ctrl+C.
not_under_wine='SecondOpenOfTheSameDeviceFails|HeldByAnotherPort|HangUpMidExchange|WatchStopsCleanlyOnSigint|InterruptedCommandsSaySo'
timeout 900 ctest --test-dir "$build" --output-on-failure --no-label-summary --timeout 120 \
    -E "$not_under_wine" "$@" 2>&1 | tee "$log" || rc=$?
# Now and then wine64 fails to start a test program at all (it ends at once,
# with no output). What failed runs once more, and must pass then; the first
# failures stay in the log above.
if [ "$rc" -ne 0 ]; then
    echo "Running the failed tests once more"
    rc=0
    # By name: the numbers are given anew when the tests are listed under Wine,
    # and need not name the same tests twice.
    failed=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (\(Failed\|Timeout\|Not Run\|SEGFAULT\|Exception\|Subprocess aborted\)).*/\1/p' "$log" |
        sed 's/[][\.*^$+?(){}|]/\\&/g' | paste -sd'|' -)
    [ -n "$failed" ] || rc=1
    [ -z "$failed" ] || timeout 300 ctest --test-dir "$build" --output-on-failure --no-label-summary --timeout 120 -R "^($failed)\$" 2>&1 |
        tee -a "$log" || rc=$?
fi

[ "$rc" -eq 0 ] && { wine_figures "$build" || rc=$?; }

summary=$(grep -E 'tests passed|tests failed' "$log" | tail -n 1 || true)
[ -n "$summary" ] && echo "$summary"
exit "$rc"
