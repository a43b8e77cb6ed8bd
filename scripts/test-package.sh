#!/usr/bin/env bash
# What a user of the packages sees: makes them (scripts/package.sh), installs
# the Debian package with apt-get, starts the installed panel against the
# installed simulator on a virtual X server and ends it, asks the installed
# korvanthine-ctl its version, verifies the exporter's service unit and tests
# the installed alert rules, looks for the menu entry and the icon where
# the desktop looks, removes the package and looks for anything left; then
# starts the Windows download's programs under Wine. It installs into /usr
# (through sudo when not root): run it where the package may come and go.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/deps.sh
korvanthine_install xvfb xdotool imagemagick unzip man-db wine wine64 curl openssl python3 "${KORVANTHINE_MONITORING_PACKAGES[@]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

scripts/package.sh
deb=$(ls "$root"/out/korvanthine_*_amd64.deb)
zip=$(ls "$root"/out/korvanthine-*-win64.zip)

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
xdpyinfo_ok() { xdotool getdisplaygeometry >/dev/null 2>&1; }

. "$(dirname "${BASH_SOURCE[0]}")/wait-for.sh"

echo "== install =="
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's#^\./#/#p' | grep -v '/$' >"$work/files"
echo "$(wc -l <"$work/files") files, $(stat -c %s "$deb") bytes: $(basename "$deb")"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
installed_version=$(dpkg-query -W -f='${Version}' korvanthine)
[ "$installed_version" = 1.0.0.1 ] || fail "installed version $installed_version"

echo "-- menu entry and icon where the desktop looks"
entry=""
IFS=: read -r -a data_dirs <<<"${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
for dir in "${data_dirs[@]}"; do
    [ -f "$dir/applications/korvanthine.desktop" ] && entry=$dir/applications/korvanthine.desktop && break
done
[ -n "$entry" ] || fail "no korvanthine.desktop in ${data_dirs[*]}/applications"
desktop-file-validate "$entry"
icon=$(sed -n 's/^Icon=//p' "$entry")
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ "$(command -v "$exec_program")" = /usr/bin/korvanthine ] || fail "Exec=$exec_program is not the installed panel"
for size in 16 22 24 32 48 64 128 256; do
    found=""
    for dir in "${data_dirs[@]}"; do
        png=$dir/icons/hicolor/${size}x${size}/apps/$icon.png
        [ -f "$png" ] || continue
        [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] ||
            fail "$png is not ${size}x${size}"
        found=$png
        break
    done
    [ -n "$found" ] || fail "no $size-pixel icon $icon in the hicolor theme"
done
man -w korvanthine korvanthine-sim >/dev/null

echo "-- korvanthine-ctl --version"
version=$(korvanthine-ctl --version)
echo "$version" | grep -q '1\.0\.0\.1' || fail "korvanthine-ctl --version said: $version"
man -w korvanthine-ctl >/dev/null

echo "-- the exporter's service unit and the Prometheus files"
[ -f /usr/lib/systemd/system/korvanthine-serve@.service ] || fail "no korvanthine-serve@.service"
# An instance for a port name and one for a device path, as the README enables them.
by_id=$(systemd-escape --path --template=korvanthine-serve@.service /dev/serial/by-id/usb-example-if00-port0)
verified=$(systemd-analyze verify korvanthine-serve@COM1.service "$by_id" 2>&1) || fail "systemd-analyze verify: $verified"
[ -z "$verified" ] || fail "systemd-analyze verify: $verified"
monitoring=/usr/share/korvanthine/monitoring
for name in korvanthine-alerts.yml korvanthine-alerts.test.yml prometheus-scrape.example.yml \
            alertmanager.example.yml korvanthine-dashboard.json federation/site-recording-rules.yml \
            federation/site-recording-rules.test.yml federation/global-prometheus.example.yml; do
    [ -f "$monitoring/$name" ] || fail "no $monitoring/$name"
done
(cd "$monitoring" && promtool test rules korvanthine-alerts.test.yml >/dev/null) || fail "the installed rules fail their tests"
promtool check config "$monitoring/prometheus-scrape.example.yml" >/dev/null || fail "the installed scrape example"
(cd "$monitoring/federation" && promtool test rules site-recording-rules.test.yml >/dev/null) ||
    fail "the installed recording rules fail their tests"
promtool check config "$monitoring/federation/global-prometheus.example.yml" >/dev/null || fail "the installed global example"
amtool check-config "$monitoring/alertmanager.example.yml" >/dev/null || fail "the installed Alertmanager example"
echo "korvanthine-serve@.service verified ($by_id too); rules pass their tests where installed"

echo "-- the installed panel against the installed simulator"
# Xvfb picks a free display number and writes it to descriptor 3, unless
# KORVANTHINE_XVFB_DISPLAY (a number) names one on a shared machine.
if [ -n "${KORVANTHINE_XVFB_DISPLAY:-}" ]; then
    Xvfb ":$KORVANTHINE_XVFB_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    echo "$KORVANTHINE_XVFB_DISPLAY" >"$work/display"
else
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
fi
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
# The panel on that display, as a user starts it: the test command runs
# Qt offscreen for its own tests.
export QT_QPA_PLATFORM=xcb
wait_for 100 xdpyinfo_ok || fail "Xvfb did not start on $DISPLAY"
export KORVANTHINE_PORTS=$work/ports
export XDG_RUNTIME_DIR=$work/xdg
mkdir -m 0700 "$XDG_RUNTIME_DIR"
korvanthine-sim --port COM1 >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for 100 grep -q '^READY' "$work/sim.out" || fail "installed korvanthine-sim did not start: $(cat "$work/sim.out")"
device=$(sed -n 's/^READY //p' "$work/sim.out")
korvanthine >"$work/panel.out" 2>&1 &
panel=$!
pids+=("$panel")
window() { xdotool search --name '^KORVANTHINE 1\.2$' 2>/dev/null | head -n1; }
has_window() { [ -n "$(window)" ]; }
wait_for 200 has_window || fail "the installed panel showed no window: $(cat "$work/panel.out")"
holds_device() {
    local fd
    for fd in /proc/"$panel"/fd/*; do
        [ "$(readlink -f "$fd")" = "$(readlink -f "$device")" ] && return 0
    done
    return 1
}
# A click on the port list drops its list below it (nothing chosen yet), a
# click on the first entry chooses COM1, and the panel opens the
# simulator's terminal through the ports folder. The points are inside the
# port list and on its first entry at the dialog font's size (DejaVu Sans).
# Clicks and keys go through XTEST: Qt ignores sent events. Repeated while
# the panel may still be starting.
opened=""
for _ in $(seq 5); do
    xdotool mousemove --window "$(window)" 86 72 click 1
    sleep 0.5
    xdotool mousemove --window "$(window)" 70 90 click 1
    wait_for 20 holds_device && opened=yes && break
done
[ -n "$opened" ] || fail "the panel did not open COM1 ($device)"
ended=""
for _ in $(seq 5); do
    xdotool windowfocus --sync "$(window)" 2>/dev/null || true
    xdotool key Escape
    wait_for 20 bash -c "! kill -0 $panel 2>/dev/null" && ended=yes && break
done
[ -n "$ended" ] || fail "the panel did not end on Escape"
wait "$panel" || fail "the panel ended with status $?"
echo "panel: window, COM1 opened on $device, ended on Escape"

echo "== remove =="
$sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq korvanthine >/dev/null
left=()
while read -r path; do
    [ -e "$path" ] || [ -L "$path" ] && left+=("$path")
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left after apt-get remove: ${left[*]}"
[ ! -e /usr/share/doc/korvanthine ] || fail "left after apt-get remove: /usr/share/doc/korvanthine"
echo "no file of the package left"

echo "== Windows download under Wine =="
unzip -q "$zip" -d "$work/win"
folder=$(find "$work/win" -mindepth 1 -maxdepth 1 -type d | head -n1)
for name in LICENSE.txt README.txt monitoring/korvanthine-alerts.yml monitoring/korvanthine-alerts.test.yml \
            monitoring/prometheus-scrape.example.yml monitoring/alertmanager.example.yml \
            monitoring/korvanthine-dashboard.json; do
    [ -f "$folder/$name" ] || fail "$name missing from $(basename "$zip")"
done
korvanthine_find_wine
# A prefix of its own: the Wine leg's draws no windows (null display driver).
export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/korvanthine-wine/package-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
for program in korvanthine-ctl.exe korvanthine.exe; do
    [ -f "$folder/$program" ] || fail "$program missing from $(basename "$zip")"
done
version=$(cd "$folder" && timeout 120 "$wine" korvanthine-ctl.exe --version | tr -d '\r')
echo "$version" | grep -q '1\.0\.0\.1' || fail "korvanthine-ctl.exe --version said: $version"
echo "korvanthine-ctl.exe --version: $version"
(cd "$folder" && exec timeout 120 "$wine" korvanthine.exe) >/dev/null 2>&1 &
winpanel=$!
pids+=("$winpanel")
wait_for 600 has_window || fail "korvanthine.exe showed no window under Wine"
# Wine names its window before it maps it, and the focus cannot go to an
# unmapped window: tried again until the program ends.
ended=""
for _ in $(seq 10); do
    xdotool windowfocus --sync "$(window)" 2>/dev/null && xdotool key Escape
    wait_for 20 bash -c "! kill -0 $winpanel 2>/dev/null" && ended=yes && break
done
[ -n "$ended" ] || fail "korvanthine.exe did not end on Escape"
echo "korvanthine.exe: window under Wine, ended on Escape"

echo "-- the installer: silent install, Start-menu entries, uninstall"
installer=$(ls "$root"/out/korvanthine-*-win64.exe 2>/dev/null || true)
if [ -z "$installer" ]; then
    echo "no installer in out/ (makensis missing)"
else
    target="$WINEPREFIX/drive_c/Program Files/KORVANTHINE"
    menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
    timeout 120 "$wine" "$installer" /S
    expected=(LICENSE.txt README.txt Uninstall.exe korvanthine.exe korvanthine-ctl.exe)
    links=(Uninstall.lnk KORVANTHINE.lnk)
    for name in "${expected[@]}"; do
        [ -f "$target/$name" ] || fail "the installer did not install $name"
    done
    for name in "${links[@]}"; do
        find "$menu" -path '*KORVANTHINE*' -name "$name" | grep -q . || fail "no Start-menu entry $name"
    done
    # The uninstaller copies itself away and goes on in the background.
    timeout 120 "$wine" "C:\\Program Files\\KORVANTHINE\\Uninstall.exe" /S
    no_install_left() { [ ! -e "$target" ] && ! find "$menu" -path '*KORVANTHINE*' | grep -q .; }
    wait_for 300 no_install_left || fail "the uninstaller left files or Start-menu entries"
    echo "installed ${expected[*]} and Start-menu ${links[*]}; uninstalled without a trace"
    echo "-- the installer's exporter services"
    # The simulator of the build the package was made from: the tests' own
    # (KORVANTHINE_PACKAGE_NATIVE_BUILD) or package.sh's, whichever is newer.
    sim=""
    for candidate in "$root/${KORVANTHINE_PACKAGE_NATIVE_BUILD:-build-package}/sim/korvanthine-sim" \
                     "$root/build-package/sim/korvanthine-sim"; do
        [ -x "$candidate" ] && { [ -z "$sim" ] || [ "$candidate" -nt "$sim" ]; } && sim=$candidate
    done
    [ -n "$sim" ] || fail "no korvanthine-sim built beside the package"
    scripts/test-wine-installer.sh "$wine" "$installer" "$sim"
fi
"$wine_dir/wineserver" -k 2>/dev/null || true
echo "package checks passed"
