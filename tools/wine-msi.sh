#!/usr/bin/env bash
# Checks the per-user installer, ventora-<version>-win64.msi: first its tables,
# then, under Wine in a fresh prefix, an install as a user without
# administrator rights would run it, the programs it installed, an upgrade, a
# refused downgrade, and removals that leave nothing behind. Ends with the
# figures against their goals. CI runs it; so can anyone after
# `./dev.sh windows` (`./dev.sh wine-msi` does both).
#   tools/wine-msi.sh WINDOWS_BUILD_DIR SIM_HOST
# WINDOWS_BUILD_DIR is the MinGW build that holds the MSI and the zip; SIM_HOST
# is a Linux build's tests/ventora-sim-host, which the prefix set-up shared
# with the other Wine scripts (tools/wine-common.sh) serves ports with.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
source "$root/tools/wine-common.sh"

build=$(realpath "$1")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
msi=$build/ventora-$version-win64.msi
zip=$build/ventora-cli-$version-win64.zip
zip_folder=$build/windows-zip/zip
# Never changes: it is how a newer version finds the installed one.
upgrade_code='{2127B978-98DD-4613-8393-1FBA47597CEE}'

fail() { echo "wine-msi: $*" >&2; exit 1; }
expect() { [ "$2" = "$3" ] || fail "$1: expected \"$3\", found \"$2\""; }
[ -f "$msi" ] || fail "no $msi"

# A table's rows, tab-separated, without msiinfo's three heading lines.
rows() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r'; }
property() { rows "$1" Property | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }

# The tables: version, no administrator rights, the upgrade rules, the
# programs' versions, the Start-menu entries.
product=$(property "$msi" ProductCode)
expect ProductVersion "$(property "$msi" ProductVersion)" "$version"
expect UpgradeCode "$(property "$msi" UpgradeCode)" "$upgrade_code"
expect ALLUSERS "$(property "$msi" ALLUSERS)" ""
source_flags=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
((source_flags & 8)) || fail "the summary's Source, $source_flags, asks for elevated rights"
# An older version is replaced (migrating features); a newer one is only
# detected, and the launch condition then refuses to install.
expect Upgrade "$(rows "$msi" Upgrade | awk -F'\t' '{ print $1, "min=" $2, "max=" $3, $5, $7 }' | LC_ALL=C sort)" \
    "$upgrade_code min= max=$version 1 WIX_UPGRADE_DETECTED
$upgrade_code min=$version max= 2 WIX_DOWNGRADE_DETECTED"
rows "$msi" LaunchCondition | grep -q '^NOT WIX_DOWNGRADE_DETECTED' || fail "no launch condition refuses a downgrade"
unversioned=$(rows "$msi" File | awk -F'\t' -v v="$version" '$5 != ($3 ~ /\.exe$/ ? v : "") { print $3 }')
[ -z "$unversioned" ] || fail "File table versions wrong for: $unversioned"
shortcuts=$(rows "$msi" Shortcut | awk -F'\t' '{ print $2 "|" $3 "|" $5 "|" $6 "|" $12 }' | LC_ALL=C sort)
expect Shortcut "$shortcuts" \
    "ProgramMenuFolder|Ventora command line|[System64Folder]cmd.exe|/k ventora-cli --version|INSTALLDIR
ProgramMenuFolder|Ventora|[#VentoraExe]||INSTALLDIR"

wine_prefix_up "$2"
# Start-menu links would otherwise become menu entries of this Linux desktop.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
profile=$(realpath "$(wine64 winepath -u "$(wine64 cmd /c echo %USERPROFILE% | tr -d '\r')" 2>/dev/null)")
installed=$profile/AppData/Local/Programs/Ventora
menu=$profile/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs

# Wine passes on only the low byte of msiexec's status (1603 becomes 67).
msiexec() { timeout 120 wine64 msiexec "$1" "$(wine64 winepath -w "$2" 2>/dev/null)" /qn; }
# A product's Add/Remove Programs entry; nothing when there is none
# (reg reports a missing key on standard output).
registered() {
    local entry
    if entry=$(wine64 reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" 2>/dev/null); then
        tr -d '\r' <<<"$entry"
    fi
}
# Windows Installer's packed form of a GUID, which names its registry keys.
packed() {
    local g=${1//[\{\}-]/} out i
    out=$(rev <<<"${g:0:8}")$(rev <<<"${g:8:4}")$(rev <<<"${g:12:4}")
    for i in 16 18 20 22 24 26 28 30; do out+=${g:i+1:1}${g:i:1}; done
    echo "$out"
}
# The prefix's files, but for Windows Installer's own folders (every Windows
# has them; under Wine the first install makes them).
files() { find "$WINEPREFIX/drive_c" | grep -v -e '/windows/Installer$' -e '/Microsoft/Installer$' | sort; }
nothing_left() {
    local left
    left=$(files | comm -13 "$work/files.before" -)
    [ -z "$left" ] || fail "left behind after $1: $left"
}
files >"$work/files.before"

t0=$EPOCHREALTIME
msiexec /i "$msi" || fail "msiexec /i failed with status $?"
install_ms=$(ms_since "$t0")

diff -r "$zip_folder/ventora-cli-$version-win64" "$installed" >/dev/null ||
    fail "$installed differs from the zip's contents"
# The links keep their target as text; the working folder and the arguments in UTF-16.
link_holds() { strings -a -e "$2" "$menu/$1" | grep -qiF "$3" || fail "the link $1 lacks $3"; }
link_holds Ventora.lnk s '\AppData\Local\Programs\Ventora\Ventora.exe'
link_holds 'Ventora command line.lnk' s '\system32\cmd.exe'
link_holds 'Ventora command line.lnk' l "\\AppData\\Local\\Programs\\Ventora\\"
link_holds 'Ventora command line.lnk' l '/k ventora-cli --version'
# Add/Remove Programs (Wine keeps even a per-user product's entry under HKLM).
entry=$(registered "$product")
for field in "DisplayName=Ventora" "DisplayVersion=$version" "Publisher=Ventora authors"; do
    grep -qE "^ +${field%%=*} +REG_SZ +${field#*=}\$" <<<"$entry" || fail "the Add/Remove Programs entry lacks $field"
done
icon=$({ wine64 reg query "HKCU\\Software\\Microsoft\\Installer\\Products\\$(packed "$product")" /v ProductIcon ||
    true; } 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ -f "$(wine64 winepath -u "$icon" 2>/dev/null)" ] || fail "no product icon at \"$icon\""

# The programs, started as the Start-menu entries start them: ventora-cli by
# name from a command prompt in the install folder; the window, whose dialog
# must appear (winedbg lists the null display's windows, each caption in the
# prefix's code page, so the dialog is known by its class) and end with status 0
# when asked to close.
expect "ventora-cli --version" "$(cd "$installed" && timeout 30 wine64 cmd /c ventora-cli --version | tr -d '\r')" \
    "ventora-cli $version"
(cd "$installed" && exec timeout 30 wine64 ./Ventora.exe >/dev/null 2>&1) &
window=$!
shown=
for _ in $(seq 1 100); do
    kill -0 "$window" 2>/dev/null || break
    grep -q ' #32770 ' <<<"$(timeout 10 wine64 winedbg --command "info wnd" 2>/dev/null)" && { shown=1; break; }
    sleep 0.2
done
timeout 10 wine64 taskkill /im Ventora.exe >/dev/null 2>&1 || true
wait "$window" || fail "Ventora.exe did not end cleanly when closed (status $?)"
[ -n "$shown" ] || fail "Ventora.exe showed no dialog"

t0=$EPOCHREALTIME
msiexec /x "$msi" || fail "msiexec /x failed with status $?"
remove_ms=$(ms_since "$t0")
nothing_left "the removal"

# A newer version, built from the same source, replaces this one; this one
# will not go over it; removing it leaves nothing either.
newer=$work/newer.msi
(cd "$zip_folder" && wixl -a x64 -D Version=$((${version%%.*} + 1)).0.0 -D Stage="ventora-cli-$version-win64" \
    -D Icon="$(realpath --relative-to=. "$root/app/res/ventora.ico")" -o "$newer" "$root/packaging/ventora.wxs")
newer_product=$(property "$newer" ProductCode)
only_newer() { [ -z "$(registered "$product")" ] && [ -n "$(registered "$newer_product")" ]; }
msiexec /i "$msi" || fail "$version did not install again after its removal"
msiexec /i "$newer" || fail "the newer version did not install over $version"
only_newer || fail "the newer version did not replace $version"
! msiexec /i "$msi" || fail "$version installed over a newer version"
only_newer || fail "$version displaced a newer version"
msiexec /x "$newer" || fail "msiexec /x of the newer version failed with status $?"
nothing_left "the upgrade and removal"

# No registry value, key or product registration names the product any more.
# The wineserver writes the registry out when it ends.
timeout 30 wineserver -k
left=$(grep -F -e '\Ventora' -e "${product//[\{\}]/}" -e "${newer_product//[\{\}]/}" -e "$(packed "$product")" \
    -e "$(packed "$newer_product")" -e "$(packed "$upgrade_code")" "$WINEPREFIX"/*.reg || true)
[ -z "$left" ] || fail "left in the registry: $left"

awk -v msi="$(stat -c %s "$msi")" -v zip="$(stat -c %s "$zip")" -v i="$install_ms" -v r="$remove_ms" \
    -v name="${msi##*/}" 'BEGIN {
    printf "%s: %d bytes, %.2fx the zip (goal 1.2x or less: %s)\n", name, msi, msi / zip,
        msi <= 1.2 * zip ? "met" : "missed"
    s = (i + r) / 1000
    printf "Install %.1f s plus removal %.1f s under Wine: %.1f s (goal under 30 s: %s)\n", i / 1000, r / 1000, s,
        s < 30 ? "met" : "missed"
}'
echo "${msi##*/}: tables, per-user install, files, Start-menu links, Add/Remove Programs entry, both programs,"
echo "upgrade, refused downgrade and removal checked"
