#!/usr/bin/env bash
# The Prometheus side, checked by promtool and then against the real server:
# the alert rules and their unit tests, the scrape example, the service unit
# (verified, and its sandbox rated); then three simulated benches, each with
# its exporter, and one Prometheus scraping them every second on 127.0.0.1,
# which must see what korvanthine-ctl read sees, lose a silent controller's
# readings and get them back, fire the sensor alert for a broken sensor, and
# answer every query of the dashboard.
#
#   scripts/test-monitoring.sh [BUILD]     (default build, built: it needs
#                                           BUILD/ctl/korvanthine-ctl,
#                                           BUILD/sim/korvanthine-sim and
#                                           what BUILD installs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
LAB_BUILD=$(cd "${1:-build}" && pwd)
. scripts/monitoring-lab.sh
LAB_WORK=$(mktemp -d /tmp/korvanthine-monitoring.XXXXXX)
trap 'lab_cleanup; rm -rf "$LAB_WORK"' EXIT
started=$SECONDS

echo "-- alert rules, their unit tests, the scrape example, the dashboard"
promtool check rules monitoring/korvanthine-alerts.yml >/dev/null
tested=$(cd monitoring && promtool test rules korvanthine-alerts.test.yml 2>&1) || lab_fail "promtool test rules: $tested"
sed "s#/usr/share/korvanthine/monitoring/#$root/monitoring/#" monitoring/prometheus-scrape.example.yml \
    >"$LAB_WORK/example.yml"
promtool check config "$LAB_WORK/example.yml" >/dev/null
dashboard=monitoring/korvanthine-dashboard.json
jq -e '.panels | length > 0' "$dashboard" >/dev/null || lab_fail "$dashboard has no panels"

echo "-- the service unit, installed as the package installs it"
# Into a folder of its own, beside the host's targets and slices that
# every service is ordered against.
installed=$LAB_WORK/root
DESTDIR=$installed cmake --install "$LAB_BUILD" --prefix /usr >/dev/null
cp /lib/systemd/system/*.target /lib/systemd/system/*.slice "$installed/usr/lib/systemd/system/"
by_id=$(systemd-escape --path --template=korvanthine-serve@.service /dev/serial/by-id/usb-example-if00-port0)
# The manual page is looked up on the host, where the package may not be.
verified=$(systemd-analyze verify --man=no --root="$installed" korvanthine-serve@COM1.service "$by_id" 2>&1) ||
    lab_fail "systemd-analyze verify: $verified"
[ -z "$verified" ] || lab_fail "systemd-analyze verify: $verified"
rating=$(systemd-analyze security --offline=true --root="$installed" --no-pager korvanthine-serve@COM1.service |
         sed -n 's/^→ Overall exposure level for [^:]*: \([0-9.]*\) \([A-Z]*\).*/\1 \2/p')
echo "verified, exposure $rating"
case ${rating#* } in
    PERFECT | SAFE | OK) ;;
    *) lab_fail "systemd-analyze security rates the unit '${rating:-?}'" ;;
esac

echo "-- three benches, three exporters, one Prometheus"
read -r -a ports <<<"$(lab_free_ports 4)"
benches=(1 2 3)
for n in "${benches[@]}"; do lab_start_sim "$n"; done
for n in "${benches[@]}"; do
    lab_wait_for 100 lab_sim_ready "$n" || lab_fail "simulator $n did not start: $(cat "$LAB_WORK/sim$n.out")"
done
# Frozen, every channel of every bench at its own temperature: a reading
# given to the wrong bench or channel, or rounded, shows.
for n in "${benches[@]}"; do
    lab_sim_command "$n" "freeze 1" "set temp 0 $((2000 + 100 * n + 11))" "set temp 1 $((2000 + 100 * n + 22))" \
        "set temp 2 $((2000 + 100 * n + 33))" "set temp 3 $((2000 + 100 * n + 47))"
    KORVANTHINE_PORTS=$LAB_WORK/ports timeout 30 "$LAB_BUILD/ctl/korvanthine-ctl" read -p "COM$n" --format json \
        >"$LAB_WORK/read$n.json" || lab_fail "korvanthine-ctl read -p COM$n"
done
targets=()
for n in "${benches[@]}"; do
    port=${ports[$((n - 1))]}
    targets+=("127.0.0.1:$port")
    lab_start_exporter "$n" "$port" --interval 1
done
for n in "${benches[@]}"; do
    lab_wait_for 100 lab_answers "http://${targets[$((n - 1))]}/metrics" ||
        lab_fail "exporter $n does not answer: $(cat "$LAB_WORK/serve$n.out")"
done
sed -E 's/^( *for:).*/\1 2s/' monitoring/korvanthine-alerts.yml >"$LAB_WORK/alerts.yml"
lab_prometheus_config "$LAB_WORK/prometheus.yml" "$LAB_WORK/alerts.yml" "${targets[@]}"
lab_start_prometheus "${ports[3]}" "$LAB_WORK/prometheus.yml"

instance_of() { echo "${targets[$(($1 - 1))]}"; }
count_is() { [ "$(lab_count "$2")" = "$1" ]; }

echo "-- twelve temperatures, as korvanthine-ctl read has them"
lab_wait_for 150 count_is 12 'korvanthine_temperature_celsius{job="korvanthine"}' ||
    lab_fail "not twelve temperature series: $(lab_query korvanthine_temperature_celsius)"
for n in "${benches[@]}"; do
    expected=$(jq -c '[.channels[] | [(.channel | tostring), .temperature_c]]' "$LAB_WORK/read$n.json")
    scraped=$(lab_query "korvanthine_temperature_celsius{instance=\"$(instance_of "$n")\"}" |
              jq -c '[.result[] | [.metric.channel, (.value[1] | tonumber)]] | sort')
    [ "$scraped" = "$expected" ] || lab_fail "bench $n: read gave $expected, Prometheus has $scraped"
    echo "bench $n: $scraped"
done

echo "-- a silent controller: korvanthine_up 0, its readings go, and come back"
silent=$(instance_of 2)
down() { [ "$(lab_count "korvanthine_up{instance=\"$silent\"} == 0")" = 1 ]; }
no_readings() {
    [ "$(lab_count "{__name__=~\"korvanthine_(temperature_celsius|output_power_ratio|sensor_ok|set_temperature_celsius|output_enabled)\", instance=\"$silent\"}")" = 0 ]
}
readings_back() {
    [ "$(lab_count "korvanthine_up{instance=\"$silent\"} == 1")" = 1 ] &&
        [ "$(lab_count "korvanthine_temperature_celsius{instance=\"$silent\"}")" = 4 ]
}
# A pass held up by an exchange waiting on the silent line is overdue 0.8 s
# after it was due to end: from then on a scrape sees korvanthine_up 0 and
# no readings, without waiting out the link's read bound. Prometheus sees it
# at the next scrape: within two scrapes of the fault (with a second's
# margin for the query).
lab_sim_command 2 "fault silence"
since=$SECONDS
lab_wait_for 40 down || lab_fail "bench 2 silent, but korvanthine_up is not 0: $(lab_query "korvanthine_up")"
echo "korvanthine_up 0 after $((SECONDS - since)) s"
lab_wait_for 10 no_readings || lab_fail "bench 2 silent, but Prometheus still has: $(lab_query "{instance=\"$silent\"}")"
echo "readings gone after $((SECONDS - since)) s"
[ "$(lab_count 'korvanthine_temperature_celsius')" = 8 ] || lab_fail "the other benches lost readings too"
lab_sim_command 2 "fault none"
since=$SECONDS
lab_wait_for 200 readings_back || lab_fail "bench 2 answers again, but its readings did not come back"
echo "back after $((SECONDS - since)) s"

echo "-- a broken sensor fires KorvanthineSensorBroken for its channel"
broken=$(instance_of 1)
lab_sim_command 1 "break 1"
firing='ALERTS{alertname="KorvanthineSensorBroken", alertstate="firing"}'
lab_wait_for 150 count_is 1 "$firing" || lab_fail "no sensor alert: $(lab_query ALERTS)"
alert=$(lab_query "$firing" | jq -c '.result[0].metric | [.instance, .channel]')
[ "$alert" = "[\"$broken\",\"2\"]" ] || lab_fail "the sensor alert names $alert"
[ "$(lab_count "korvanthine_temperature_celsius{instance=\"$broken\", channel=\"2\"}")" = 0 ] ||
    lab_fail "a broken sensor's reading is exported as a temperature"
echo "firing for $alert"

echo "-- every query of the dashboard"
# The bench variable's query, then every panel's and annotation's with the
# variables as Grafana fills them: all benches, all channels.
values=$(curl -sf --max-time 10 --get --data-urlencode 'match[]=korvanthine_up' \
         "$lab_prometheus_url/api/v1/label/instance/values" | jq -c '.data | sort')
[ "$values" = "$(printf '%s\n' "${targets[@]}" | jq -R . | jq -sc 'sort')" ] ||
    lab_fail "the bench variable lists $values"
jq -r '.templating.list[] | select(.name == "bench") | .definition' "$dashboard" |
    grep -qx 'label_values(korvanthine_up, instance)' || lab_fail "the bench variable's query changed"
queries=0
while IFS= read -r expr; do
    filled=$(sed -e 's/\$bench/.*/g; s/\$channel/1|2|3|4/g; s/\$__rate_interval/1m/g' <<<"$expr")
    result=$(lab_query "$filled") || lab_fail "the dashboard's query fails: $filled"
    [ "$(jq '.result | length' <<<"$result")" -gt 0 ] || lab_fail "the dashboard's query finds nothing: $filled"
    queries=$((queries + 1))
done < <(jq -r '.. | objects | select(has("expr")) | .expr' "$dashboard")
echo "$queries queries answered with data"

echo "monitoring checks passed in $((SECONDS - started)) s"
