#!/usr/bin/env bash
# korvanthine-ctl watch --interval 0 against the instantly answering
# simulator, beside bench_link's sampling pass in the same run: the two
# compared in one process, batch against batch (bench_ctl_watch), then the
# program itself: passes a second and its resident memory.
#
#   bench/ctl_watch_rate.sh [PASSES]     (default 3000)
#
# Needs build/ctl/korvanthine-ctl, build/sim/korvanthine-sim, build/bench/bench_link
# and build/bench/bench_ctl_watch.
set -euo pipefail
cd "$(dirname "$0")/.."
passes=${1:-3000}
work=$(mktemp -d /tmp/ctl-rate.XXXXXX)
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

echo "== bench_link"
build/bench/bench_link --quick
echo "== bench_ctl_watch"
build/bench/bench_ctl_watch >/dev/null

mkdir -p "$work/ports"
build/sim/korvanthine-sim --ports-dir "$work/ports" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q READY "$work/sim.out" 2>/dev/null && break; sleep 0.1; done

echo "== korvanthine-ctl watch --interval 0 --count $passes"
start=$(date +%s.%N)
KORVANTHINE_PORTS=$work/ports build/ctl/korvanthine-ctl watch -p COM1 --interval 0 --count "$passes" >"$work/rows.csv" &
ctl_pid=$!
peak=0
while kill -0 "$ctl_pid" 2>/dev/null; do
    rss=$(awk '/^VmHWM:/ {print $2}' "/proc/$ctl_pid/status" 2>/dev/null || echo 0)
    [ -n "$rss" ] && [ "$rss" -gt "$peak" ] && peak=$rss
    sleep 0.2
done
wait "$ctl_pid"
end=$(date +%s.%N)
rows=$(($(wc -l <"$work/rows.csv") - 1))
awk -v n="$rows" -v s="$start" -v e="$end" -v rss="$peak" 'BEGIN {
    printf "  %d rows in %.2f s: %.0f passes/s (start-up included)\n", n, e - s, n / (e - s)
    printf "  peak resident memory (VmHWM): %d kB\n", rss
}'
