#!/usr/bin/env bash
# The Prometheus side, checked by promtool and then against the real server:
# the alert rules and their unit tests, the scrape example, the service unit
# (verified, and its sandbox rated); then three simulated benches, each with
# its exporter, and one Prometheus scraping them every second on 127.0.0.1,
# which must see what korvanthine-ctl read sees, lose a silent controller's
# readings and get them back, fire the sensor alert for a broken sensor, and
# answer every query of the dashboard; then eleven benches as the examples
# configure Prometheus and Alertmanager (one of them over TLS with a
# password, in the same job as the plain ones), with a webhook receiver of
# our own, where a broken sensor and an Overtemp must each reach the webhook
# within 30 s on five benches, naming the port and the runbook, a runaway
# heater on a bench whose sensor alert is already firing within 30 s too,
# and a silent line one notification that says it is silent; a global
# Prometheus federating that site's summaries must see the broken sensors;
# the times are printed.
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
# The seconds spent on the TLS bench and the federation, to a tenth: what
# they add to this test's wall time.
added=0
add_since() { added=$(awk -v a="$added" -v s="$1" -v n="$(date +%s.%N)" 'BEGIN { printf "%.1f", a + n - s }'); }

echo "-- alert and recording rules, their unit tests, the scrape and federation examples, the dashboard"
promtool check rules monitoring/korvanthine-alerts.yml >/dev/null
tested=$(cd monitoring && promtool test rules korvanthine-alerts.test.yml 2>&1) || lab_fail "promtool test rules: $tested"
since=$(date +%s.%N)
promtool check rules monitoring/federation/site-recording-rules.yml >/dev/null
tested=$(cd monitoring/federation && promtool test rules site-recording-rules.test.yml 2>&1) ||
    lab_fail "promtool test rules: $tested"
promtool check config monitoring/federation/global-prometheus.example.yml >/dev/null
add_since "$since"
sed "s#/usr/share/korvanthine/monitoring/#$root/monitoring/#" monitoring/prometheus-scrape.example.yml \
    >"$LAB_WORK/example.yml"
promtool check config "$LAB_WORK/example.yml" >/dev/null
dashboard=monitoring/korvanthine-dashboard.json
jq -e '.panels | length > 0' "$dashboard" >/dev/null || lab_fail "$dashboard has no panels"
# Grafana's import offers the data source named in __inputs, which the
# data source selector starts on; the bench's own page is linked, by the
# scheme the bench is scraped with (the scheme label the scrape example
# keeps; below, a TLS bench must have it).
jq -e '([.__inputs[] | select(.type == "datasource" and .pluginId == "prometheus")] | length == 1)
       and ([.templating.list[] | select(.name == "datasource") | .current.value] == ["${" + .__inputs[0].name + "}"])
       and any(.links[]; .url == "${bench_scheme}://${bench}/")
       and ([.templating.list[] | select(.name == "bench_scheme") | .definition]
            == ["label_values(korvanthine_up{instance=~\"$bench\"}, scheme)"])
       and ([.. | objects | select(has("links")) | .links[] | .url | select(test("labels.instance"))]
            | length > 0 and all(startswith("${__field.labels.scheme}://")))' "$dashboard" >/dev/null ||
    lab_fail "$dashboard: no data source input, or no link to the bench page by its scheme"

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
queries=0 programs=0
while IFS= read -r expr; do
    filled=$(sed -e 's/\$bench/.*/g; s/\$channel/1|2|3|4/g; s/\$__rate_interval/1m/g' <<<"$expr")
    result=$(lab_query "$filled") || lab_fail "the dashboard's query fails: $filled"
    # The lab's serves run no programs: the programs' queries need only be valid.
    if [[ $expr == *korvanthine_program_* ]]; then
        programs=$((programs + 1))
        continue
    fi
    [ "$(jq '.result | length' <<<"$result")" -gt 0 ] || lab_fail "the dashboard's query finds nothing: $filled"
    queries=$((queries + 1))
done < <(jq -r '.. | objects | select(has("expr")) | .expr' "$dashboard")
echo "$queries queries answered with data, $programs of programs answered"

echo "-- notifications as the kit ships them: the examples' timing, Alertmanager, a webhook"
# Eleven benches, scraped and evaluated as prometheus-scrape.example.yml has
# it, the shipped rules as they are, Alertmanager as alertmanager.example.yml
# has it with our own webhook as its receiver. Five benches get a broken
# sensor, five others an Overtemp with the heater on, one a silent line, all
# a little over half a second apart (so that each meets the scrape and
# evaluation cycle at another phase; each bench's alert is its own
# notification group, so they do not wait for each other), and each bench's time is
# counted from its control line to its notification's arrival; then the
# faults end and the resolved notices are timed the same way.
lab_stop_prometheus
read -r -a more <<<"$(lab_free_ports 12)"
new_benches=(4 5 6 7 8 9 10 11)
for n in "${new_benches[@]}"; do lab_start_sim "$n"; done
for n in "${new_benches[@]}"; do
    lab_wait_for 100 lab_sim_ready "$n" || lab_fail "simulator $n did not start: $(cat "$LAB_WORK/sim$n.out")"
    lab_sim_command "$n" "freeze 1"
done
lab_sim_command 1 "repair 1"
# Bench 5 (a broken sensor below) is served over TLS with a password, as
# a bench with a web configuration is: the same job scrapes it, and its
# alert is the proof.
tls_bench=5
since=$(date +%s.%N)
lab_make_tls
add_since "$since"
for n in "${new_benches[@]}"; do
    targets+=("127.0.0.1:${more[$((n - 4))]}")
    if [ "$n" = "$tls_bench" ]; then
        lab_start_exporter "$n" "${more[$((n - 4))]}" --web.config.file "$LAB_WORK/tls/web.yml"
    else
        lab_start_exporter "$n" "${more[$((n - 4))]}"
    fi
done
listed=("${targets[@]}")
listed[$((tls_bench - 1))]=https://$(instance_of "$tls_bench")
prometheus_port=${more[8]} alertmanager_port=${more[9]} webhook_port=${more[10]}
sed "s#url: http://alerts.lab.example:9095/korvanthine#url: http://127.0.0.1:$webhook_port/korvanthine#" \
    monitoring/alertmanager.example.yml >"$LAB_WORK/alertmanager.yml"
grep -q "127.0.0.1:$webhook_port" "$LAB_WORK/alertmanager.yml" || lab_fail "the Alertmanager example's receiver moved"
amtool check-config monitoring/alertmanager.example.yml >/dev/null
amtool check-config "$LAB_WORK/alertmanager.yml" >/dev/null
lab_start_webhook "$webhook_port"
lab_start_alertmanager "$alertmanager_port" "$LAB_WORK/alertmanager.yml"
lab_config_from_example "$LAB_WORK/example-lab.yml" "$alertmanager_port" "${listed[@]}"
lab_start_prometheus "$prometheus_port" "$LAB_WORK/example-lab.yml" "$LAB_WORK/tsdb-example"
# The site's summaries reach a global Prometheus every 2 s here (30 s in
# the example: only the interval is the test's).
since=$(date +%s.%N)
lab_start_global_prometheus "${more[11]}" "$prometheus_port" 2s
add_since "$since"
lab_wait_for 300 count_is 11 'korvanthine_up{job="korvanthine"} == 1' ||
    lab_fail "not eleven controllers answering: $(lab_query korvanthine_up)"
schemes=$(lab_query 'count by (scheme) (korvanthine_up{job="korvanthine"})' |
          jq -c '[.result[] | [.metric.scheme, .value[1]]] | sort')
[ "$schemes" = '[["http","10"],["https","1"]]' ] || lab_fail "not ten benches over http and one over https: $schemes"
[ "$(lab_count "korvanthine_up{scheme=\"https\", instance=\"$(instance_of $tls_bench)\"}")" = 1 ] ||
    lab_fail "bench $tls_bench is not the one over https: $(lab_query 'korvanthine_up{scheme="https"}')"
echo "one job: $schemes"
lab_wait_for 100 count_is 0 'ALERTS' || lab_fail "alerts before any fault: $(lab_query ALERTS)"

now() { date +%s.%N; }
# The seconds from $1 to $2, to a tenth.
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
declare -A caused_at
# Calls $1 BENCH for each bench given, 0.6 s apart, noting when.
cause() {
    local what=$1 n
    shift
    for n in "$@"; do
        caused_at[$n]=$(now)
        "$what" "$n"
        sleep 0.6
    done
}
# Waits for each bench's notification with status $1 of alert $2, up to
# $3 s after its cause, and prints the seconds each took; fails past that.
wait_notified() {
    local status=$1 alert=$2 limit=$3 n at times=()
    shift 3
    for n in "$@"; do
        while at=$(lab_notified_at "${caused_at[$n]}" "$status" "$alert" "$(instance_of "$n")") && [ -z "$at" ]; do
            awk -v a="${caused_at[$n]}" -v b="$(now)" -v l="$limit" 'BEGIN { exit !(b - a < l) }' ||
                lab_fail "bench $n: no $status $alert within $limit s: $(tail -c 3000 "$LAB_WORK/notifications.jsonl")"
            sleep 0.1
        done
        times+=("$(seconds_between "${caused_at[$n]}" "$at")")
    done
    echo "$status $alert: ${times[*]} s"
}
# The first notification since bench $1's fault naming alert $2 firing: the alert's labels and annotations.
notified_alert() {
    jq -c --argjson since "${caused_at[$1]}" --arg alert "$2" --arg instance "$(instance_of "$1")" '
        select(.received >= $since) | .body.alerts[]
        | select(.status == "firing" and .labels.alertname == $alert and .labels.instance == $instance)' \
        "$LAB_WORK/notifications.jsonl" | head -n1
}
# Bench $1's firing alert $2 names its COM port, channel $3 (or none), the
# site and its runbook entry.
check_names() {
    local alert
    alert=$(notified_alert "$1" "$2")
    jq -e --arg port "COM$1" --arg channel "$3" --arg anchor "#$(tr 'A-Z' 'a-z' <<<"$2")" '
        .labels.port == $port and (.labels.channel // "") == $channel and .labels.site == "lab-test"
        and (.annotations.summary | contains($port)) and (.annotations.runbook_url | endswith($anchor))' \
        <<<"$alert" >/dev/null || lab_fail "bench $1's $2 names: $alert"
}
break_sensor() { lab_sim_command "$1" "break 2"; }
repair_sensor() { lab_sim_command "$1" "repair 2"; }
# Channel 3's heater driving on above its set point, and then no more.
overheat() { lab_sim_command "$1" "set power 2 300" "set status 2 7"; }
cool() { lab_sim_command "$1" "set status 2 5" "set power 2 0"; }
silence() { lab_sim_command "$1" "fault silence"; }
answer() { lab_sim_command "$1" "fault none"; }

sensors=(1 2 3 4 5) heaters=(6 7 8 9 10) silent=11
cause break_sensor "${sensors[@]}"
cause overheat "${heaters[@]}"
cause silence "$silent"
wait_notified firing KorvanthineSensorBroken 30 "${sensors[@]}"
wait_notified firing KorvanthineOvertemp 30 "${heaters[@]}"
wait_notified firing KorvanthineControllerNotAnswering 30 "$silent"
for n in "${sensors[@]}" "${heaters[@]}"; do
    check_names "$n" "$( ((n <= 5)) && echo KorvanthineSensorBroken || echo KorvanthineOvertemp)" 3
done
check_names "$silent" KorvanthineControllerNotAnswering ""
notified_alert "$silent" KorvanthineControllerNotAnswering | jq -e '.annotations.description | contains("The line is silent")' \
    >/dev/null || lab_fail "the silent line is not named silent: $(notified_alert "$silent" KorvanthineControllerNotAnswering)"

# The same broken sensors, a level up: the global Prometheus has them from
# the site's recording rules, under the site's labels and its own job.
since=$(date +%s.%N)
broken_globally='instance_channel:korvanthine_sensor_broken:max{channel="3"} == 1'
alerts_globally='site:korvanthine_alerts_firing:count{alertname="KorvanthineSensorBroken", site="lab-test"} == 5'
global_sees() {
    [ "$(lab_query_url=$lab_global_url lab_count "$broken_globally")" = 5 ] &&
        [ "$(lab_query_url=$lab_global_url lab_count "$alerts_globally")" = 1 ]
}
lab_wait_for 300 global_sees ||
    lab_fail "the global Prometheus does not see five broken sensors, and five sensor alerts firing:" \
             "$(lab_query_url=$lab_global_url lab_query '{__name__=~".+:korvanthine_.+"}')"
seen=$(lab_query_url=$lab_global_url lab_query "$broken_globally" |
       jq -c '[.result[].metric | [.instance, .port, .site, .job]] | sort')
expected=$(for n in "${sensors[@]}"; do jq -nc --arg i "$(instance_of "$n")" --arg p "COM$n" '[$i, $p, "lab-test", "korvanthine-sites"]'; done |
           jq -sc sort)
[ "$seen" = "$expected" ] || lab_fail "the global Prometheus has $seen, not $expected"
add_since "$since"
echo "the global Prometheus sees the five broken sensors $(seconds_between "$since" "$(now)") s after their notifications"
since=$(date +%s.%N)
lab_stop_pid "$lab_global_pid"
add_since "$since"

# A second fault on a bench that already has one notified and firing:
# channel 2's heater runs away beside channel 3's broken sensor. It must not
# wait for the first alert's group to come round again.
second=${sensors[0]}
overheat_second() { lab_sim_command "$1" "set power 1 300" "set status 1 7"; }
cool_second() { lab_sim_command "$1" "set status 1 5" "set power 1 0"; }
cause overheat_second "$second"
wait_notified firing KorvanthineOvertemp 30 "$second"
check_names "$second" KorvanthineOvertemp 2

cause repair_sensor "${sensors[@]}"
cause cool "${heaters[@]}"
cause answer "$silent"
wait_notified resolved KorvanthineSensorBroken 90 "${sensors[@]}"
wait_notified resolved KorvanthineOvertemp 150 "${heaters[@]}"
wait_notified resolved KorvanthineControllerNotAnswering 90 "$silent"
cause cool_second "$second"
wait_notified resolved KorvanthineOvertemp 150 "$second"
# One notification a fault: its firing one and its resolved one; so a
# silent bench is one message, not one per channel.
for n in "${sensors[@]}" "${heaters[@]}" "$silent"; do
    for alert in KorvanthineSensorBroken KorvanthineOvertemp KorvanthineControllerNotAnswering; do
        case $alert in
            KorvanthineSensorBroken) faults=$(( n <= 5 )) ;;
            KorvanthineOvertemp) faults=$(( (n >= 6 && n <= 10) || n == second )) ;;
            KorvanthineControllerNotAnswering) faults=$(( n == silent )) ;;
        esac
        posts=$(jq -c --arg instance "$(instance_of "$n")" --arg alert "$alert" '
                    select(any(.body.alerts[]; .labels.instance == $instance and .labels.alertname == $alert))' \
                "$LAB_WORK/notifications.jsonl" | wc -l)
        [ "$posts" = $((2 * faults)) ] ||
            lab_fail "bench $n: $posts notifications of $alert, not $((2 * faults)) (a firing and a resolved one a fault)"
    done
    posts=$(jq -c --arg instance "$(instance_of "$n")" 'select(.body.groupLabels.instance == $instance)' \
            "$LAB_WORK/notifications.jsonl" | wc -l)
    expected=$(( n == second ? 4 : 2 ))
    [ "$posts" = "$expected" ] || lab_fail "bench $n: $posts notifications in all, not $expected"
done

echo "monitoring checks passed in $((SECONDS - started)) s ($added s of it for the TLS bench and the federation)"
