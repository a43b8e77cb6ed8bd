#!/usr/bin/env bash
# korvanthine-ctl.exe serve as a Windows service under Wine, against the
# native simulator on COM1: registered with sc create, started with sc
# start, scraped from Linux on 127.0.0.1, stopped with sc stop, and then the
# port is free again for the next program; the bench page is served too. Called by scripts/test-wine.sh
# with the Wine environment it set up (WINEPREFIX, KORVANTHINE_SIM,
# KORVANTHINE_WINE_PORTS, KORVANTHINE_WINE_TMP).
#
#   scripts/test-wine-service.sh WINE KORVANTHINE-CTL.EXE
set -euo pipefail
wine=$1
exe=$2
service=KorvanthineServeTest
work=$KORVANTHINE_WINE_TMP/service
mkdir -p "$work"

fail() { echo "wine service test: FAILED: $*" >&2; exit 1; }

. "$(dirname "${BASH_SOURCE[0]}")/wait-for.sh"

sc() { timeout 60 "$wine" sc "$@" 2>&1 | tr -d '\r'; }
service_state() { sc query "$service" | awk '/STATE/ {print $4}'; }
in_state() { [ "$(service_state)" = "$1" ]; }
not_in_state() { ! in_state "$1"; }
exporter_up() { curl -s -m 2 "$url" | grep -qx 'korvanthine_up 1'; }

sim_pid=
cleanup() {
    sc stop "$service" >/dev/null || true
    wait_for 100 not_in_state RUNNING || true
    sc delete "$service" >/dev/null || true
    [ -z "$sim_pid" ] || kill -TERM "$sim_pid" 2>/dev/null || true
}
trap cleanup EXIT
# What a run that died left behind.
sc stop "$service" >/dev/null || true
sc delete "$service" >/dev/null || true

"$KORVANTHINE_SIM" --ports-dir "$KORVANTHINE_WINE_PORTS" --port COM1 >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 50 grep -q READY "$work/sim.out" || fail "the simulator did not start"

# A free port on 127.0.0.1 for the service to answer on.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port/metrics
winexe=$(timeout 60 "$wine" winepath -w "$exe" 2>/dev/null | tr -d '\r')

sc create "$service" binPath= "\"$winexe\" serve -p COM1 --listen 127.0.0.1:$port --interval 0.5" >"$work/create.out" \
    || fail "sc create: $(cat "$work/create.out")"
sc start "$service" >"$work/start.out" || fail "sc start: $(cat "$work/start.out")"
wait_for 300 exporter_up || fail "no korvanthine_up 1 at $url"
curl -s -m 2 "$url" >"$work/metrics.txt"
grep -q '^korvanthine_firmware_version 258$' "$work/metrics.txt" || fail "no firmware version in $work/metrics.txt"
grep -q '^korvanthine_temperature_celsius{channel="1"} ' "$work/metrics.txt" || fail "no temperature in $work/metrics.txt"
[ "$(service_state)" = RUNNING ] || fail "the service is not RUNNING: $(sc query "$service")"
# The bench page, its chart library and its trend come from the program itself.
base=http://127.0.0.1:$port
curl -s -m 2 "$base/" | grep -q 'KORVANTHINE bench COM1' || fail "no bench page at $base/"
curl -s -m 2 "$base/dygraph.min.js" | grep -q 'Dygraph' || fail "no chart library at $base/dygraph.min.js"
curl -s -m 5 "$base/state.json?after=0" | python3 -c 'import json, sys; state = json.load(sys.stdin)
assert state["answering"] and state["trend"]["entries"], state' >"$work/state.out" 2>&1 \
    || fail "no trend at $base/state.json: $(cat "$work/state.out")"
# Program commands reach the service's runner through its pipe, as they do a
# serve started from a console.
programs=$(timeout 60 "$wine" "$exe" program status -p COM1 2>&1 | tr -d "\r" || true)
[ "$programs" = "no program has run on this bench since serve started" ] \
    || fail "korvanthine-ctl.exe program status -p COM1 through the service: $programs"

sc stop "$service" >"$work/stop.out" || fail "sc stop: $(cat "$work/stop.out")"
wait_for 200 in_state STOPPED || fail "the service did not stop: $(sc query "$service")"
sc query "$service" | grep -q 'WIN32_EXIT_CODE *: 0 ' || fail "stopped with an error: $(sc query "$service")"
curl -s -m 2 -o /dev/null "$url" && fail "still answering at $url after the stop"
# The port is released: the next program opens it.
version=$(timeout 60 "$wine" "$exe" version -p COM1 2>&1 | tr -d "\r" || true)
[ "$version" = 258 ] || fail "korvanthine-ctl.exe version -p COM1 after the stop: $version"
echo "wine service test: sc create, start, a scrape and the bench page from Linux, program status, stop, the port free again: passed"
