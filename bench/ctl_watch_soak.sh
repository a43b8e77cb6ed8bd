#!/usr/bin/env bash
# korvanthine-ctl watch against the simulator while the simulator cycles
# through its fault modes (the soak's cycle, through the control FIFO):
# rows written, rows with missing values, and the watch's descriptors and
# resident memory, sampled every minute into progress.txt.
#
#   bench/ctl_watch_soak.sh [SECONDS [WORK_DIR]]    (default: 3600, a temp folder)
#
# Needs build/ctl/korvanthine-ctl and build/sim/korvanthine-sim (or
# KORVANTHINE_CTL / KORVANTHINE_SIM).
set -euo pipefail
cd "$(dirname "$0")/.."
duration=${1:-3600}
work=${2:-$(mktemp -d /tmp/ctl-soak.XXXXXX)}
ctl=${KORVANTHINE_CTL:-build/ctl/korvanthine-ctl}
sim=${KORVANTHINE_SIM:-build/sim/korvanthine-sim}
mkdir -p "$work/ports"
rows=$work/watch.csv progress=$work/progress.txt

"$sim" --ports-dir "$work/ports" --control "$work/control" --ack "$work/ack" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q READY "$work/sim.out" 2>/dev/null && break; sleep 0.1; done

KORVANTHINE_PORTS=$work/ports "$ctl" watch -p COM1 --interval 1 --output "$rows" 2>"$work/watch.err" &
ctl_pid=$!
cleanup() {
    kill -TERM "$ctl_pid" 2>/dev/null || true
    kill -TERM "$sim_pid" 2>/dev/null || true
}
trap cleanup EXIT

figures() {
    local fds rss total missing
    fds=$(ls "/proc/$ctl_pid/fd" 2>/dev/null | wc -l)
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$ctl_pid/status" 2>/dev/null)
    total=$(($(wc -l <"$rows") - 1))
    missing=$(tail -n +2 "$rows" | grep -c -E ',,|,$' || true)
    echo "$(date -u +%FT%TZ) elapsed=$1s rows=$total missing=$missing fds=$fds rss_kb=$rss"
}

# The phases of one cycle (about a minute): command, seconds.
cycle=("fault none" 8 "fault silence" 7 "fault none" 3 "fault cut 5" 6 "fault garbage" 6
       "fault spaced 25" 8 "fault extra 5" 6 "fault none" 3 "hangup" 5 "return" 0)
start=$(date +%s)
sleep 5
figures 5 >"$progress"
next_figures=$((start + 60))
while [ $(($(date +%s) - start)) -lt "$duration" ]; do
    for ((i = 0; i < ${#cycle[@]}; i += 2)); do
        echo "${cycle[i]}" >"$work/control"
        sleep "${cycle[i + 1]}"
        now=$(date +%s)
        if [ "$now" -ge "$next_figures" ]; then
            figures $((now - start)) >>"$progress"
            next_figures=$((next_figures + 60))
        fi
        [ $((now - start)) -lt "$duration" ] || break
    done
done
echo "return" >"$work/control"
echo "fault none" >"$work/control"
sleep 3
figures $(($(date +%s) - start)) >>"$progress"
kill -INT "$ctl_pid"
status=0
wait "$ctl_pid" || status=$?
echo "watch ended with exit status $status" >>"$progress"
cat "$progress"
