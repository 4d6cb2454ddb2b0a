#!/usr/bin/env bash
# Regenerates doc/screenshot.png (Chinese) and doc/screenshot-en.png (English):
# the demo window after "测试波特率" ("Detect") has found the simulated
# transmitter on COM1, and the live values and area were read. Runs the demo
# on a virtual X display and drives it with key events only.
#   tools/screenshot.sh            uses BUILD_DIR (default build), builds Ventora-demo
# Needs xvfb, xdotool, imagemagick and a CJK font (fonts-wqy-zenhei).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}

# The part that runs on the virtual display: this script again, with
# --on-display DEMO LANGUAGE OUT.
if [ "${1:-}" = --on-display ]; then
    demo=$2 language=$3 out=$4
    "$demo" --lang "$language" &
    pid=$!
    source tools/on-display.sh
    window=$(detect_on_display "$language" 100 20)
    # Nine Tabs on from "测试波特率" is the measurement's "查询" ("Read"), one more the area's.
    sleep 0.3
    xdotool windowfocus --sync "$window"
    xdotool key --delay 50 Tab Tab Tab Tab Tab Tab Tab Tab Tab Return Tab Return
    sleep 0.5
    import -silent -window "$window" -strip -colors 64 "PNG8:$out"
    # Escape closes the window, and the demo ends.
    xdotool key Escape
    timeout 10 tail --pid="$pid" -f /dev/null
    wait "$pid"
    exit
fi

missing=()
for p in xvfb xauth xdotool imagemagick fonts-wqy-zenhei; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --target Ventora-demo >/dev/null

for shot in zh:doc/screenshot.png en:doc/screenshot-en.png; do
    out=${shot#*:}
    xvfb-run -a -s "-screen 0 800x600x24" "$0" --on-display "$BUILD_DIR/app/Ventora-demo" "${shot%%:*}" "$out"
    echo "$out: $(stat -c %s "$out") bytes"
done
