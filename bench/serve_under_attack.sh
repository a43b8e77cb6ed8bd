#!/usr/bin/env bash
# serve under hostile clients: one simulated bench, its exporter on
# 127.0.0.1 sampling every second, a Prometheus scraping it every 2 s with a
# 2 s time-out, and the attacks of bench/serve_attacks.py one after another,
# each beside a loop of fresh-connection scrapes. For each attack: scrapes
# that got through / tried (the loop's and Prometheus'), the longest scrape,
# the passes a second serve kept, and serve's peak RSS.
#
#   bench/serve_under_attack.sh [--short] [BUILD] [ATTACK...]
#
# --short (the test command's run) gives each attack 5 s at a third of its
# strength and fails when a single scrape is lost, a scrape takes 2 s or
# more, or the passes fall off their interval. Without it, 30 s an attack at
# full strength, and the figures only.
set -euo pipefail
cd "$(dirname "$0")/.."
short=""
if [ "${1:-}" = "--short" ]; then short=--short; shift; fi
LAB_BUILD=$(cd "${1:-build}" && pwd)
shift || true
seconds=30
[ -z "$short" ] || seconds=5
. scripts/monitoring-lab.sh
LAB_WORK=$(mktemp -d /tmp/korvanthine-attack.XXXXXX)
trap 'lab_cleanup; rm -rf "$LAB_WORK"' EXIT

read -r serve_port prometheus_port <<<"$(lab_free_ports 2)"
lab_start_sim 1
lab_wait_for 100 lab_sim_ready 1 || lab_fail "the simulator did not start: $(cat "$LAB_WORK/sim1.out")"
lab_start_exporter 1 "$serve_port" --interval 1
lab_wait_for 100 lab_answers "http://127.0.0.1:$serve_port/metrics" ||
    lab_fail "serve does not answer: $(cat "$LAB_WORK/serve1.out")"
cat >"$LAB_WORK/prometheus.yml" <<EOF
global: {scrape_interval: 2s, scrape_timeout: 2s}
scrape_configs:
  - job_name: attack
    static_configs: [{targets: ['127.0.0.1:$serve_port']}]
EOF
lab_start_prometheus "$prometheus_port" "$LAB_WORK/prometheus.yml"
sleep 3

lost=0
printf '%-12s %10s %12s %9s %9s %8s\n' attack scrapes prometheus longest passes/s "RSS MB"
while IFS= read -r line; do
    attack=$(jq -r .attack <<<"$line")
    ok=$(jq -r .scrapes_ok <<<"$line")
    tried=$(jq -r .scrapes_tried <<<"$line")
    longest=$(jq -r .longest_s <<<"$line")
    rate=$(jq -r .passes_per_s <<<"$line")
    rss=$(jq -r .peak_rss_mb <<<"$line")
    end=$(jq -r .end <<<"$line")
    window=$(jq -r '(.end - .start) | floor' <<<"$line")
    # Prometheus' own scrapes in the attack's window, and its longest.
    sleep 2.5
    up=$(lab_query "sum_over_time(up{job=\"attack\"}[${window}s])" "$end" | jq -r '.result[0].value[1] // "0"')
    all=$(lab_query "count_over_time(up{job=\"attack\"}[${window}s])" "$end" | jq -r '.result[0].value[1] // "0"')
    slowest=$(lab_query "max_over_time(scrape_duration_seconds{job=\"attack\"}[${window}s])" "$end" |
              jq -r '.result[0].value[1] // "0"')
    longest=$(python3 -c "print(max($longest, $slowest))")
    found=$(jq -c '.found | with_entries(select(.value != 0))' <<<"$line")
    printf '%-12s %10s %12s %8.3fs %9s %8s %s\n' "$attack" "$ok/$tried" "$up/$all" "$longest" "$rate" "$rss" \
        "$([ "$found" = "{}" ] || echo "$found")"
    [ "$found" = "{}" ] || { echo "FAIL: $attack: $found" >&2; lost=1; }
    if [ -n "$short" ]; then
        bad=$(python3 -c "print(int($ok < $tried or $up < $all or $all == 0 or $longest >= 2.0 or abs($rate - 1.0) > 0.25))")
        [ "$bad" = 0 ] || { echo "FAIL: $attack cost a scrape or a pass" >&2; lost=1; }
    fi
done < <(python3 bench/serve_attacks.py "$serve_port" "$lab_exporter_pid_1" "$seconds" $short "$@")

kill -0 "$lab_exporter_pid_1" 2>/dev/null || lab_fail "serve ended under attack: $(tail -5 "$LAB_WORK/serve1.out")"
[ "$lost" = 0 ] || exit 1
echo "serve held: every scrape answered, every pass on time"
