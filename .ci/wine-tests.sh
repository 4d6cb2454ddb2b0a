#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, headless, in a fresh prefix.
#   [NATIVE_CLI=path] .ci/wine-tests.sh WINDOWS_BUILD_DIR SIM_HOST [ctest arguments]
# SIM_HOST is a Linux build's tests/ventora-sim-host. It serves the
# transmitters and ptys the tests ask for; Wine's COM41..COM48 name links that
# it points at them, clear of the low COM numbers that Wine gives the machine's
# own /dev/ttyS* devices. The Windows build
# was configured with -DCMAKE_CROSSCOMPILING_EMULATOR=wine64. Ends with CTest's
# summary line.
set -euo pipefail

build=$(realpath "$1")
host=$(realpath "$2")
shift 2
first_port=41
ports=8

work=$(mktemp -d /tmp/ventora-wine.XXXXXX)
mkdir "$work/links"
# Debian's wine64 keeps its loader and wineserver out of PATH.
export PATH=/usr/lib/wine:$PATH
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"
unset DISPLAY

host_pid=
cleanup() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$host" "$work/links" "$first_port" "$ports" >"$work/host.out" &
host_pid=$!

# Wine's own start-up chatter, and the wineserver's, go to a file shown only
# when a step fails.
setup_log=$work/wine-setup.log
setup() {
    "$@" >>"$setup_log" 2>&1 </dev/null || { cat "$setup_log"; return 1; }
}
setup timeout 120 wine64 wineboot --init
# Wine rewrites its dosdevices links when it starts, so each port is mapped in
# the registry, and the wineserver restarted to read it. Windows are made
# through the null display driver: they exist and answer messages, with no
# display to draw on.
{
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for n in $(seq "$first_port" $((first_port + ports - 1))); do printf '"COM%d"="%s"\n' "$n" "$work/links/com$n"; done
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n'
} >"$work/ports.reg"
setup timeout 60 wine64 regedit /S "$(timeout 30 wine64 winepath -w "$work/ports.reg" 2>/dev/null)"
setup timeout 30 wineserver -k
# One wineserver for the whole run, instead of one per test program. Its
# background services start now, away from the pipes CTest reads a test's
# output through: they would hold them open after the test has ended.
setup timeout 30 wineserver -p
setup timeout 60 wine64 wineboot

for _ in $(seq 1 100); do
    grep -q '^listening on ' "$work/host.out" && break
    sleep 0.1
done
host_port=$(sed -n 's/^listening on //p' "$work/host.out")
export VENTORA_SIM_HOST=127.0.0.1:$host_port

log=$work/ctest.log
rc=0
# Not under Wine: it does not keep a serial device to one opener (its share-mode
# check covers files only); a COM port whose device has gone still opens there,
# and only refuses its settings; and a console-less test cannot send Ctrl+C.
not_under_wine='SecondOpenOfTheSameDeviceFails|HeldByAnotherPort|HangUpMidExchange|WatchStopsCleanlyOnSigint'
timeout 900 ctest --test-dir "$build" --output-on-failure --no-label-summary --timeout 120 \
    -E "$not_under_wine" "$@" 2>&1 | tee "$log" || rc=$?

# With NATIVE_CLI (a Linux build's ventora-cli): one transmitter at the line
# rate, read at 9600 by the Linux tool through its pty and by the Windows tool
# through its COM port. The figure is request to reply from the tool's own -v
# timestamps, the median of 9 reads.
if [ -n "${NATIVE_CLI:-}" ] && [ "$rc" -eq 0 ]; then
    exec 3<>"/dev/tcp/127.0.0.1/$host_port"
    echo "sim 0 1 9600 0 0 0 123 1328.4 300 1 0" >&3
    read -r _ com <&3
    com=${com%$'\r'}
    median() {
        for _ in 1 2 3 4 5 6 7 8 9; do
            timeout 30 "$@" -v -b 9600 -d fd -a 1 read 2>&1 >/dev/null |
                awk '/ ms > /{t = $1} / ms < /{printf "%.1f\n", $1 - t; exit}'
        done | sort -n | sed -n 5p
    }
    native=$(median "$NATIVE_CLI" -p "$work/links/${com,,}")
    wine=$(median wine64 "$build/cli/ventora-cli.exe" -p "$com")
    echo "ventora-cli read at 9600 against the line-rate sim, request to reply: Linux ${native} ms, Wine ${wine} ms"
    exec 3>&-
fi

summary=$(grep -E 'tests passed|tests failed' "$log" | tail -n 1 || true)
[ -n "$summary" ] && echo "$summary"
exit "$rc"
