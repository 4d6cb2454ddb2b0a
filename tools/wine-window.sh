#!/usr/bin/env bash
# Opens Ventora.exe under Wine with a simulated FD transmitter (address 1,
# 9600 bit/s, line rate) as COM1, on this desktop; or, with --screenshot,
# takes doc/screenshot-windows.png (Chinese) and doc/screenshot-windows-en.png
# (English) of it after a detection on a virtual X display. Wine takes the
# interface language from LANG, so each shot sets it.
#   tools/wine-window.sh [--screenshot]
# BUILD_DIR (default build) holds the Linux build of the simulator,
# WINDOWS_BUILD_DIR (default build-windows) the MinGW build of Ventora.exe;
# the Wine prefix lives in WINDOWS_BUILD_DIR/wine-window.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
WINDOWS_BUILD_DIR=${WINDOWS_BUILD_DIR:-build-windows}

# The part that runs on the virtual display: this script again, with
# --on-display EXE LANGUAGE OUT.
if [ "${1:-}" = --on-display ]; then
    language=$3 out=$4
    wine64 "$2" >/dev/null 2>&1 &
    pid=$!
    source tools/on-display.sh
    window=$(detect_on_display "$language" 200 60)
    # The buttons come back when the box has gone, and the area it covered is repainted.
    sleep 2
    import -silent -window "$window" -strip -colors 64 "PNG8:$out"
    xdotool windowfocus --sync "$window" key Escape
    timeout 20 tail --pid="$pid" -f /dev/null
    exit
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --target ventora-sim >/dev/null
# The Windows build is the one `./dev.sh windows` makes, so the two share
# one build folder without fighting over its settings.
BUILD_DIR="$WINDOWS_BUILD_DIR" ./dev.sh windows >/dev/null
exe=$(realpath "$WINDOWS_BUILD_DIR/win32/Ventora.exe")

source tools/wine-common.sh
export PATH=/usr/lib/wine:$PATH
export WINEPREFIX=$(realpath -m "$WINDOWS_BUILD_DIR/wine-window") WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
work=$(mktemp -d /tmp/ventora-wine-window.XXXXXX)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

"$BUILD_DIR/sim/ventora-sim" --line-rate >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 1 50); do grep -q '^/dev/' "$work/sim.out" && break; sleep 0.1; done
pty=$(head -n 1 "$work/sim.out")

[ -d "$WINEPREFIX" ] || timeout 120 wine64 wineboot --init >/dev/null 2>&1
# COM1 names the simulator's pty; and Wine has no "宋体", the dialog font, so
# a CJK face stands in for it. regedit reads UTF-16 files, which keep the
# face's name intact where reg add would garble it.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n"COM1"="%s"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n"宋体"="WenQuanYi Zen Hei"\r\n' "$pty" |
    iconv -f UTF-8 -t UTF-16 >"$work/window.reg"
timeout 60 wine64 regedit /S "$(timeout 30 wine64 winepath -w "$work/window.reg" 2>/dev/null)" >/dev/null 2>&1
timeout 30 wineserver -k >/dev/null 2>&1 || true

if [ "${1:-}" = --screenshot ]; then
    wine_locales "$work/locales"
    for shot in zh_CN:zh:doc/screenshot-windows.png en_US:en:doc/screenshot-windows-en.png; do
        IFS=: read -r locale language out <<<"$shot"
        LANG=$locale.UTF-8 xvfb-run -a -s "-screen 0 800x600x24" "$0" --on-display "$exe" "$language" "$out"
        timeout 30 wineserver -k >/dev/null 2>&1 || true
        echo "$out"
    done
else
    echo "Ventora.exe under Wine; COM1 is the simulated transmitter on $pty"
    wine64 "$exe"
fi
