#!/usr/bin/env bash
# One korvanthine-ctl serve at a pass a second against the simulator, scraped
# once a second: its resident memory, its share of a core, the passes it
# held and the scrapes' latency; beside bench_link's and bench_serve's pass
# in the same run.
#
#   bench/serve_footprint.sh [SECONDS]     (default 60)
#
# Needs build/ctl/korvanthine-ctl, build/sim/korvanthine-sim,
# build/bench/bench_link and build/bench/bench_serve; curl and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
work=$(mktemp -d /tmp/serve-footprint.XXXXXX)
sim_pid=
serve_pid=
cleanup() {
    [ -z "$serve_pid" ] || kill -TERM "$serve_pid" 2>/dev/null || true
    [ -z "$sim_pid" ] || kill -TERM "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "== bench_link"
build/bench/bench_link --quick
echo "== bench_serve"
build/bench/bench_serve

mkdir -p "$work/ports"
build/sim/korvanthine-sim --ports-dir "$work/ports" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q READY "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port/metrics
KORVANTHINE_PORTS=$work/ports build/ctl/korvanthine-ctl serve -p COM1 --listen "127.0.0.1:$port" 2>"$work/serve.err" &
serve_pid=$!
for _ in $(seq 100); do curl -s -m 1 "$url" | grep -qx 'korvanthine_up 1' && break; sleep 0.1; done

metric() { awk -v name="$1" '$1 == name {print $2}' "$2"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$serve_pid/stat"; }
echo "== serve --interval 1, scraped once a second for $seconds s"
curl -s "$url" >"$work/first.txt"
ticks0=$(cpu_ticks)
start=$(date +%s.%N)
: >"$work/latency.txt"
for _ in $(seq "$seconds"); do
    curl -s -o /dev/null -w '%{time_total}\n' "$url" >>"$work/latency.txt"
    sleep 1
done
end=$(date +%s.%N)
ticks1=$(cpu_ticks)
curl -s "$url" >"$work/last.txt"
rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$serve_pid/status")
hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$serve_pid/status")
passes=$(awk -v a="$(metric korvanthine_passes_total "$work/first.txt")" \
             -v b="$(metric korvanthine_passes_total "$work/last.txt")" 'BEGIN {print b - a}')
awk -v s="$start" -v e="$end" -v t0="$ticks0" -v t1="$ticks1" -v hz="$(getconf CLK_TCK)" -v rss="$rss" \
    -v hwm="$hwm" -v passes="$passes" -v duration="$(metric korvanthine_pass_duration_seconds "$work/last.txt")" 'BEGIN {
    printf "  passes: %d in %.1f s (%.3f a second); the latest took %.3f ms (20 exchanges)\n", passes, e - s,
           passes / (e - s), duration * 1000
    printf "  CPU: %.2f %% of a core\n", (t1 - t0) / hz / (e - s) * 100
    printf "  resident memory: %d kB now, %d kB at most (VmHWM)\n", rss, hwm
}'
sort -n "$work/latency.txt" | awk '{ v[NR] = $1 } END {
    printf "  scrape (curl, new connection each): median %.2f ms, p99 %.2f ms, max %.2f ms over %d\n",
           v[int((NR + 1) / 2)] * 1000, v[int(NR * 0.99 + 0.999)] * 1000, v[NR] * 1000, NR
}'
