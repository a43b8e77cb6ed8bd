#!/usr/bin/env bash
# A lab on one machine: N simulated benches, each with its exporter
# (korvanthine-ctl serve, one pass a second), and one Prometheus on
# 127.0.0.1 scraping all of them every second, with the alert rules
# evaluated every second. After the run it prints what Prometheus saw
# (scrape success, median and 99th-percentile scrape duration, from its own
# up and scrape_duration_seconds series; passes a second held per bench,
# from korvanthine_passes_total and the passes' end times; series and bytes
# per bench) and what each exporter cost (private and resident memory,
# share of one core), against the targets.
#
# Memory: what one more exporter costs a machine is its private memory
# (Private_Clean + Private_Dirty of /proc/PID/smaps_rollup), at most 4 MB.
# Resident memory is shown beside it, at most 10 MB: since serve links the
# TLS, YAML and bcrypt libraries, resident memory counts their file-backed
# pages too, which every exporter on the machine shares with the others, so
# it no longer says what an exporter costs (the target was 6 MB resident
# before those libraries).
#
#   bench/lab_scale.sh N [SECONDS]     (default 300: five minutes)
#
# Needs build/ctl/korvanthine-ctl and build/sim/korvanthine-sim (another
# build folder with KORVANTHINE_BUILD=...), prometheus, curl, jq, python3.
set -euo pipefail
cd "$(dirname "$0")/.."
benches=${1:?usage: bench/lab_scale.sh N [SECONDS]}
duration=${2:-300}
LAB_BUILD=$(cd "${KORVANTHINE_BUILD:-build}" && pwd)
. scripts/monitoring-lab.sh
LAB_WORK=$(mktemp -d /tmp/korvanthine-lab.XXXXXX)
trap 'lab_cleanup; rm -rf "$LAB_WORK"' EXIT

read -r -a ports <<<"$(lab_free_ports $((benches + 1)))"
echo "== $benches benches, $duration s"
for n in $(seq "$benches"); do lab_start_sim "$n"; done
for n in $(seq "$benches"); do
    lab_wait_for 200 lab_sim_ready "$n" || lab_fail "simulator $n did not start: $(cat "$LAB_WORK/sim$n.out")"
done
targets=()
exporter_pids=()
for n in $(seq "$benches"); do
    targets+=("127.0.0.1:${ports[$((n - 1))]}")
    lab_start_exporter "$n" "${ports[$((n - 1))]}" --interval 1
    exporter_pids+=($!)
done
lab_prometheus_config "$LAB_WORK/prometheus.yml" "$PWD/monitoring/korvanthine-alerts.yml" "${targets[@]}"
lab_start_prometheus "${ports[$benches]}" "$LAB_WORK/prometheus.yml"
all_up() { [ "$(lab_count 'up{job="korvanthine"} == 1')" = "$benches" ]; }
lab_wait_for 600 all_up || lab_fail "not every exporter is scraped: $(lab_query 'up == 0')"
bytes=$(curl -sf --max-time 2 "http://${targets[0]}/metrics" | wc -c)

# CPU seconds (user and system) of each process, from /proc.
cpu_ticks() {
    local pid
    for pid in "$@"; do awk '{ print $14 + $15 }' "/proc/$pid/stat"; done
}
ticks_before=$(cpu_ticks "${exporter_pids[@]}" "$lab_prometheus_pid")
start=$(date +%s.%N)
echo "all $benches exporters scraped; measuring for $duration s"
end_at=$((SECONDS + duration))
while [ "$SECONDS" -lt "$end_at" ]; do
    sleep 5
    for pid in "${exporter_pids[@]}" "$lab_prometheus_pid"; do
        kill -0 "$pid" 2>/dev/null || lab_fail "process $pid ended during the run"
    done
done
end=$(date +%s.%N)
ticks_after=$(cpu_ticks "${exporter_pids[@]}" "$lab_prometheus_pid")
rss=$(for pid in "${exporter_pids[@]}" "$lab_prometheus_pid"; do
          awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"
      done)
private=$(for pid in "${exporter_pids[@]}" "$lab_prometheus_pid"; do
              awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print kb }' "/proc/$pid/smaps_rollup"
          done)

at=$end
window="${duration}s"
sel='job="korvanthine"'
# The figures go to python3 through files: 15 000 scrape durations are too
# long for a command line.
figures=$LAB_WORK/figures
mkdir -p "$figures"
lab_query "sum(count_over_time(up{$sel}[$window]))" "$at" | jq -r '.result[0].value[1]' >"$figures/scrapes"
lab_query "sum(sum_over_time(up{$sel}[$window]))" "$at" | jq -r '.result[0].value[1]' >"$figures/successes"
lab_query "scrape_duration_seconds{$sel}[$window]" "$at" | jq -c '[.result[].values[][1] | tonumber]' >"$figures/durations"
# Passes a second on the exporters' own clock: the passes counted between
# the first and the last scrape of the run, over the time between the ends
# of the passes those two scrapes saw (scrape times would be off by up to a pass).
first_last='[.result[] | {(.metric.instance): [(.values[0][1] | tonumber), (.values[-1][1] | tonumber)]}] | add'
lab_query "korvanthine_passes_total{$sel}[$window]" "$at" | jq -c "$first_last" >"$figures/pass_counts"
lab_query "korvanthine_last_pass_timestamp_seconds{$sel}[$window]" "$at" | jq -c "$first_last" >"$figures/pass_ends"
lab_query "korvanthine_pass_duration_seconds{$sel}[$window]" "$at" |
    jq -c '[.result[].values[][1] | tonumber]' >"$figures/pass_duration"
lab_count "{$sel}" >"$figures/series"
lab_query "avg(scrape_samples_scraped{$sel})" | jq -r '.result[0].value[1]' >"$figures/samples"
echo "$bytes" >"$figures/size"
getconf CLK_TCK >"$figures/hz"
echo "$ticks_before" >"$figures/before"
echo "$ticks_after" >"$figures/after"
echo "$rss" >"$figures/rss"
echo "$private" >"$figures/private"

python3 - "$benches" "$start" "$end" "$figures" <<'EOF'
import json, sys
benches, start, end, folder = sys.argv[1:]
def figure(name):
    with open(folder + "/" + name) as f:
        return f.read().strip()
(scrapes, successes, durations, pass_counts, pass_ends, pass_duration, series, samples, size, hz, before, after,
 rss, private) = (figure(name) for name in ("scrapes", "successes", "durations", "pass_counts", "pass_ends",
                                            "pass_duration", "series", "samples", "size", "hz", "before", "after",
                                            "rss", "private"))
benches = int(benches)
wall = float(end) - float(start)
def quantile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]
durations = json.loads(durations)
pass_counts, pass_ends = json.loads(pass_counts), json.loads(pass_ends)
passes = [(c[1] - c[0]) / (pass_ends[i][1] - pass_ends[i][0]) for i, c in pass_counts.items()]
pass_duration = json.loads(pass_duration)
before = [int(x) for x in before.split()]
after = [int(x) for x in after.split()]
cpu = [(a - b) / int(hz) / wall * 100 for a, b in zip(after, before)]
rss = [int(x) / 1024 for x in rss.split()]
private = [int(x) / 1024 for x in private.split()]
exporter_cpu, exporter_rss, exporter_private = cpu[:benches], rss[:benches], private[:benches]
success = float(successes) / float(scrapes)
p50, p99 = quantile(durations, 0.5) * 1000, quantile(durations, 0.99) * 1000
rows = [
    ("scrapes successful", f"{float(successes):.0f} of {float(scrapes):.0f} ({success * 100:.2f} %)", success == 1.0, "all"),
    ("scrape duration, median", f"{p50:.2f} ms", True, ""),
    ("scrape duration, 99th percentile", f"{p99:.2f} ms (max {max(durations) * 1000:.2f} ms)", p99 <= 10, "<= 10 ms"),
    ("passes a second per bench", f"min {min(passes):.4f}, median {quantile(passes, 0.5):.4f}, max {max(passes):.4f}",
     min(passes) >= 0.99, "1 each"),
    ("pass duration, median / 99th percentile", f"{quantile(pass_duration, 0.5) * 1000:.2f} / {quantile(pass_duration, 0.99) * 1000:.2f} ms", True, ""),
    ("exporter private memory", f"median {quantile(exporter_private, 0.5):.2f} MB, max {max(exporter_private):.2f} MB",
     max(exporter_private) <= 4, "<= 4 MB"),
    ("exporter resident memory", f"median {quantile(exporter_rss, 0.5):.2f} MB, max {max(exporter_rss):.2f} MB",
     max(exporter_rss) <= 10, "<= 10 MB"),
    ("exporter share of one core", f"median {quantile(exporter_cpu, 0.5):.2f} %, max {max(exporter_cpu):.2f} %", max(exporter_cpu) <= 1, "<= 1 %"),
    ("series per bench", f"{int(series) / benches:.0f} ({float(samples):.0f} samples a scrape, {size} bytes of exposition)", True, ""),
    ("Prometheus", f"{rss[-1]:.0f} MB resident ({private[-1]:.0f} MB private), {cpu[-1]:.1f} % of one core", True, ""),
]
print(f"over {wall:.0f} s, {benches} benches:")
for name, value, ok, target in rows:
    mark = ("meets " + target) if target and ok else ("MISSES " + target) if target else ""
    print(f"  {name:42} {value:52} {mark}")
EOF
