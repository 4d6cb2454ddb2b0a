# Sourced by .ci/wine-tests.sh, tools/wine-bench.sh and tools/wine-msi.sh (and,
# for wine_locales, by tools/wine-window.sh): a fresh, headless Wine prefix whose COM ports lead
# to transmitters served on Linux, and the figures that compare the Windows
# programs under Wine with the Linux ones.
#
#   wine_prefix_up SIM_HOST
#     SIM_HOST is a Linux build's tests/ventora-sim-host. It serves the
#     transmitters and ptys that tests ask for; Wine's COM41..COM48 name links
#     that it points at them, clear of the low COM numbers that Wine gives the
#     machine's own /dev/ttyS* devices. COM32, the last port in Ventora.exe's
#     list, names a link of its own for the window's figures. Sets `work` (a
#     temporary folder, removed at exit with the host and the wineserver) and
#     exports the prefix and VENTORA_SIM_HOST.
#
#   wine_figures WINDOWS_BUILD_DIR
#     With NATIVE_CLI (a Linux build's ventora-cli): its read at 9600 against
#     Wine's. With NATIVE_WINDOW_PROBE (a Linux build's ventora-startup-probe):
#     the Qt window's start-up and detection against Ventora.exe's, and the
#     size of Ventora.exe.

# wine_locales DIR
#   Wine takes the user's interface language from LANG, and only for a locale
#   that the C library has. Builds zh_CN.UTF-8 and en_US.UTF-8 into DIR (from
#   the locales package's sources) and exports LOCPATH, so that LANG picks either.
wine_locales() {
    local name
    mkdir -p "$1"
    for name in zh_CN en_US; do
        # localedef fails on mere warnings, with the locale written.
        [ -d "$1/$name.UTF-8" ] || localedef -i "$name" -f UTF-8 "$1/$name.UTF-8" >/dev/null 2>&1 ||
            [ -d "$1/$name.UTF-8" ]
    done
    export LOCPATH=$1
}

first_port=41
ports=8
window_port=32

wine_prefix_up() {
    local host
    host=$(realpath "$1")
    work=$(mktemp -d /tmp/ventora-wine.XXXXXX)
    mkdir "$work/links"
    # Debian's wine64 keeps its loader and wineserver out of PATH.
    export PATH=/usr/lib/wine:$PATH
    export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"
    # Ventora.exe follows the user's language, as the Qt window on Linux does
    # (Chinese without one); without LANG, Wine's would be English.
    wine_locales "$work/locales"
    export LANG=zh_CN.UTF-8
    unset DISPLAY

    host_pid=
    trap wine_prefix_down EXIT
    "$host" "$work/links" "$first_port" "$ports" >"$work/host.out" &
    host_pid=$!

    setup timeout 120 wine64 wineboot --init
    # Wine rewrites its dosdevices links when it starts, so each port is mapped
    # in the registry, and the wineserver restarted to read it. Windows are made
    # through the null display driver: they exist and answer messages, with no
    # display to draw on.
    {
        printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
        for n in $(seq "$first_port" $((first_port + ports - 1))) "$window_port"; do
            printf '"COM%d"="%s"\n' "$n" "$work/links/com$n"
        done
        printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n'
    } >"$work/ports.reg"
    setup timeout 60 wine64 regedit /S "$(timeout 30 wine64 winepath -w "$work/ports.reg" 2>/dev/null)"
    setup timeout 30 wineserver -k
    # One wineserver for the whole run, instead of one per program. Its
    # background services start now, away from the pipes a caller reads a
    # program's output through: they would hold them open after it has ended.
    setup timeout 30 wineserver -p
    setup timeout 60 wine64 wineboot

    for _ in $(seq 1 100); do
        grep -q '^listening on ' "$work/host.out" && break
        sleep 0.1
    done
    host_port=$(sed -n 's/^listening on //p' "$work/host.out")
    [ -n "$host_port" ] || { echo "ventora-sim-host did not start" >&2; return 1; }
    export VENTORA_SIM_HOST=127.0.0.1:$host_port
}

wine_prefix_down() {
    [ -n "${host_pid:-}" ] && kill "$host_pid" 2>/dev/null
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$work"
}

# Wine's own start-up chatter, and the wineserver's, go to a file shown only
# when a step fails.
setup() {
    "$@" >>"$work/wine-setup.log" 2>&1 </dev/null || { cat "$work/wine-setup.log"; return 1; }
}

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }

# Milliseconds from an earlier $EPOCHREALTIME to now.
ms_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'; }

# The Qt window's start-up: from starting the probe to its "shown".
qt_startup_ms() {
    local t0 line
    t0=$EPOCHREALTIME
    while read -r line; do
        [ "$line" = shown ] && { ms_since "$t0"; break; }
    done < <(QT_QPA_PLATFORM=offscreen timeout 20 "$NATIVE_WINDOW_PROBE" 2>/dev/null)
    wait $! 2>/dev/null || true
}

wine_figures() {
    local build runs=5
    build=$(realpath "$1")
    # One transmitter at the line rate (FD, address 1, 9600), both programs of
    # each pair in turn on the same pty: Linux's through the host's link, Wine's
    # through a COM port.
    exec 3<>"/dev/tcp/127.0.0.1/$host_port"
    echo "sim 0 1 9600 0 0 0 123 1328.4 300 1 0 0" >&3
    local com device
    read -r _ com <&3
    com=${com%$'\r'}
    device=$work/links/${com,,}

    if [ -n "${NATIVE_CLI:-}" ]; then
        # Request to reply from the tool's own -v timestamps, the median of 9 reads.
        cli_read_ms() {
            for _ in 1 2 3 4 5 6 7 8 9; do
                timeout 30 "$@" -v -b 9600 -d fd -a 1 read 2>&1 >/dev/null |
                    awk '/ ms > /{t = $1} / ms < /{printf "%.1f\n", $1 - t; exit}'
            done | median
        }
        local native wine
        native=$(cli_read_ms "$NATIVE_CLI" -p "$device")
        wine=$(cli_read_ms wine64 "$build/cli/ventora-cli.exe" -p "$com")
        echo "ventora-cli read at 9600 against the line-rate sim, request to reply: Linux ${native} ms, Wine ${wine} ms"
    fi

    if [ -n "${NATIVE_WINDOW_PROBE:-}" ]; then
        # The program as shipped, stripped in the zip, when the zip is built.
        local exe qt_start qt_lines probe
        exe=$(ls "$build"/windows-zip/zip/*/Ventora.exe 2>/dev/null | head -n 1)
        [ -n "$exe" ] || exe=$build/win32/Ventora.exe
        qt_start=$(for _ in $(seq "$runs"); do qt_startup_ms; done | median)
        qt_lines=$(for _ in $(seq "$runs"); do
            QT_QPA_PLATFORM=offscreen timeout 30 "$NATIVE_WINDOW_PROBE" --detect "$device" 2>/dev/null | grep '^detection '
        done)
        if [ -z "$qt_start" ] || [ -z "$qt_lines" ]; then
            echo "ventora-startup-probe did not report the Qt window shown, or no detection" >&2
            return 1
        fi
        # Ventora.exe lists COM1..COM32; COM32 leads to the same pty.
        ln -sfn "$(readlink "$device")" "$work/links/com$window_port"
        probe=$(timeout 300 wine64 "$build/bench/ventora-window-probe.exe" \
            "$(wine64 winepath -w "$exe" 2>/dev/null)" "$runs" $((window_port - 1)) 2>&1 | tr -d '\r') || {
            echo "$probe"
            return 1
        }
        awk -v qs="$qt_start" -v ws="$(awk '$1 == "start-up" { print $2 }' <<<"$probe")" \
            -v floor="$(awk '$1 == "floor" { print $2 }' <<<"$probe")" \
            -v qd="$(awk '{ print $2 }' <<<"$qt_lines" | median)" -v wd="$(awk '$1 == "detection" { print $2 }' <<<"$probe")" \
            -v n="$runs" -v size="$(stat -c %s "$exe")" -v exe="${exe#"$build"/}" 'BEGIN {
            printf "Window start-up to a dialog that answers, median of %d: Qt on Linux (offscreen) %.1f ms, Ventora.exe under Wine (null display) %.1f ms: %.2fx; of which starting any process under Wine %.1f ms\n", n, qs, ws, ws / qs, floor
            d = (wd - qd) / qd * 100
            printf "FD detection at 9600, click to message box, same transmitter, median of %d: Qt %.1f ms, Wine %.1f ms: %+.1f %% (goal within 10 %%: %s)\n", n, qd, wd, d, (d <= 10 && d >= -10) ? "met" : "missed"
            printf "%s: %d bytes, %.2f MB (goal 2 MB or less: %s)\n", exe, size, size / 1e6, size <= 2e6 ? "met" : "missed"
        }'
        echo "Outcomes: Qt \"$(sed -n '1s/^detection [0-9.]* //p' <<<"$qt_lines")\", Wine \"$(sed -n 's/^detection [0-9.]* //p' <<<"$probe")\""
    fi
    exec 3>&-
}
