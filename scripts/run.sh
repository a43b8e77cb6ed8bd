#!/usr/bin/env bash
# Builds the panel and the simulated controller, starts the simulator on
# COM1 in a private ports folder and opens the panel against it. The
# simulator stops when the panel closes.
#
#   scripts/run.sh                 the panel against the simulator on COM1
#   scripts/run.sh --port COMn     the panel for a real controller on COMn:
#                                  no simulator, the user's own ports folder
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY, as under plain sudo, which
# drops them), the panel runs on a virtual X server for a while instead and
# a screenshot of it is saved; KORVANTHINE_HEADLESS_SECONDS sets how long.
set -euo pipefail
cd "$(dirname "$0")/.."

port=""
case "${1:-}" in
    "") ;;
    --port)
        port=$(tr 'a-z' 'A-Z' <<<"${2:-}")
        [[ $port =~ ^COM([1-9]|1[0-9]|20)$ ]] || { echo "usage: $0 [--port COM1...COM20]" >&2; exit 2; }
        ;;
    *) echo "usage: $0 [--port COM1...COM20]" >&2; exit 2 ;;
esac

. scripts/deps.sh

# The X11 side of Qt and a virtual display for machines without a screen.
korvanthine_install "${KORVANTHINE_BUILD_PACKAGES[@]}" libxcb-cursor0 xvfb imagemagick

build="${KORVANTHINE_BUILD_DIR:-build}"
echo "== build ($build) =="
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANTHINE_BUILD_PANEL=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target korvanthine korvanthine-sim

runtime="${XDG_RUNTIME_DIR:-/tmp}"
work="$(mktemp -d "$runtime/korvanthine-run.XXXXXX")"
if [ -z "$port" ]; then
    export KORVANTHINE_PORTS="$work/ports"
    mkdir -p "$KORVANTHINE_PORTS"
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    # Qt wants a private runtime folder; root under sudo often has none.
    export XDG_RUNTIME_DIR="$work/xdg"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
fi

sim_pid=""
xvfb_pid=""
stop() {
    if [ -n "$1" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    stop "$sim_pid"
    stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "$port" ]; then
    # As the panel maps the name: the ports folder's entry, else the ttyS device.
    folder="${KORVANTHINE_PORTS:-${XDG_CONFIG_HOME:-$HOME/.config}/korvanthine/ports}"
    entry="$folder/$(tr 'A-Z' 'a-z' <<<"$port")"
    if [ -e "$entry" ] || [ -L "$entry" ]; then
        device="$entry"
    else
        device="/dev/ttyS$((${port#COM} - 1))"
    fi
    echo "== $port -> $device =="
    [ -e "$device" ] || echo "($device does not exist: the panel will say OPEN FAIL; see Troubleshooting in the README)"
    if [ -e "$device" ] && { [ ! -r "$device" ] || [ ! -w "$device" ]; }; then
        echo "(no access to $device: join its group, usually dialout, and log in again)"
    fi
    hint="Choose $port, press CommCheck, then SAMPLE ON/OFF. Close the panel to stop."
else
    echo "== simulated controller on COM1 =="
    "$build/sim/korvanthine-sim" --ports-dir "$KORVANTHINE_PORTS" --port COM1 >"$work/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do
        grep -q '^READY' "$work/sim.out" 2>/dev/null && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! grep -q '^READY' "$work/sim.out" 2>/dev/null; then
        echo "korvanthine-sim did not start:" >&2
        cat "$work/sim.out" >&2
        exit 1
    fi
    echo "COM1 -> $(sed -n 's/^READY //p' "$work/sim.out")"
    hint="Choose COM1, press CommCheck, then SAMPLE ON/OFF. Close the panel to stop."
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "== panel =="
    echo "$hint"
    "$build/panel/korvanthine"
    exit 0
fi

seconds="${KORVANTHINE_HEADLESS_SECONDS:-15}"
shot="${KORVANTHINE_SCREENSHOT:-$PWD/korvanthine-panel.png}"
echo "No display: DISPLAY is not set (run scripts/run.sh as yourself in a desktop session; it uses sudo only to install)."
echo "Running the panel on a virtual X server for $seconds s instead; a screenshot goes to $shot."
# Xvfb picks a free display number and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.out" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
display=":$(head -n1 "$work/display")"
DISPLAY="$display" "$build/panel/korvanthine" &
panel_pid=$!
sleep "$seconds"
DISPLAY="$display" import -window root "$shot" && echo "Screenshot: $shot"
stop "$panel_pid"
