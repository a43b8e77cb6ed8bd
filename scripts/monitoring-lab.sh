# A lab on one machine: simulated benches (korvanthine-sim), one exporter
# each (korvanthine-ctl serve, plain or over TLS), one Prometheus and, for
# federation, a global one over it, all on 127.0.0.1 with
# their own folders under $LAB_WORK. Sourced by scripts/test-monitoring.sh
# and bench/lab_scale.sh, which set LAB_WORK (an empty folder) and LAB_BUILD
# (the build folder with ctl/ and sim/) and call lab_cleanup on exit. Every
# wait is bounded; every process is ended by its pid.

lab_pids=()
lab_prometheus_url=""

lab_fail() { echo "FAIL: $*" >&2; exit 1; }

# Polls a command for up to $1 tenths of a second.
lab_wait_for() {
    local tenths=$1
    shift
    local _
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Ends every process started here: TERM, up to 10 s to go, then KILL.
lab_cleanup() {
    local pid
    for pid in "${lab_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for _ in $(seq 100); do
        local alive=""
        for pid in "${lab_pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=yes && break; done
        [ -z "$alive" ] && break
        sleep 0.1
    done
    for pid in "${lab_pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    for pid in "${lab_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    lab_pids=()
}

# Prints $1 TCP ports on 127.0.0.1 that are free now, all different.
lab_free_ports() {
    python3 - "$1" <<'EOF'
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
print(" ".join(str(s.getsockname()[1]) for s in held))
EOF
}

# Bench $1 (1, 2, ...): a simulator linked as COM$1 in $LAB_WORK/ports,
# with its control FIFO; further arguments go to the simulator.
lab_start_sim() {
    local n=$1
    shift
    mkdir -p "$LAB_WORK/ports"
    "$LAB_BUILD/sim/korvanthine-sim" --ports-dir "$LAB_WORK/ports" --port "COM$n" \
        --control "$LAB_WORK/sim$n.fifo" --ack "$LAB_WORK/sim$n.ack" "$@" \
        >"$LAB_WORK/sim$n.out" 2>&1 &
    lab_pids+=($!)
    eval "lab_sim_pid_$n=$!"
}

lab_sim_ready() { grep -q '^READY' "$LAB_WORK/sim$1.out" 2>/dev/null; }

# Sends control lines ($2...) to bench $1's simulator and waits until it has
# applied them (a ping after them is acknowledged); fails on an error.
lab_sim_command() {
    local n=$1
    shift
    local token="t$RANDOM$RANDOM"
    timeout 5 bash -c 'printf "%s\n" "${@:2}" >"$1"' _ "$LAB_WORK/sim$n.fifo" "$@" "ping $token" ||
        lab_fail "simulator $n took no control lines"
    lab_wait_for 50 grep -qxF "ok $token" "$LAB_WORK/sim$n.ack" || lab_fail "simulator $n did not acknowledge: $*"
    ! grep '^error ' "$LAB_WORK/sim$n.ack" >&2 || lab_fail "simulator $n refused a control line"
}

# Bench $1's exporter on 127.0.0.1:$2; further arguments go to serve.
lab_start_exporter() {
    local n=$1 port=$2
    shift 2
    KORVANTHINE_PORTS=$LAB_WORK/ports "$LAB_BUILD/ctl/korvanthine-ctl" serve -p "COM$n" \
        --listen "127.0.0.1:$port" "$@" >"$LAB_WORK/serve$n.out" 2>&1 &
    lab_pids+=($!)
    eval "lab_exporter_pid_$n=$!"
}

lab_answers() { curl -sf --max-time 2 -o /dev/null "$1"; }

# Prometheus on 127.0.0.1:$1 with the configuration file $2, its storage
# in $3 (default $LAB_WORK/tsdb); waits until it is ready.
lab_start_prometheus() {
    local port=$1 config=$2 storage=${3:-$LAB_WORK/tsdb}
    prometheus --config.file="$config" --storage.tsdb.path="$storage" \
        --web.listen-address="127.0.0.1:$port" --log.level=warn \
        >"$LAB_WORK/prometheus.out" 2>&1 &
    lab_pids+=($!)
    lab_prometheus_pid=$!
    lab_prometheus_url="http://127.0.0.1:$port"
    lab_wait_for 300 lab_answers "$lab_prometheus_url/-/ready" ||
        lab_fail "Prometheus did not get ready: $(tail -5 "$LAB_WORK/prometheus.out")"
}

# Ends Prometheus alone (its data stays in $LAB_WORK/tsdb).
lab_stop_prometheus() { lab_stop_pid "$lab_prometheus_pid"; }

# The instant query $1 (at time $2, if given): prints the API's "data" as
# JSON; fails unless the API reports success. Asks lab_query_url when it is
# set (lab_query_url=$lab_global_url lab_count ...), else lab_start_prometheus's.
lab_query() {
    local reply
    local args=(--data-urlencode "query=$1")
    [ -z "${2:-}" ] || args+=(--data-urlencode "time=$2")
    reply=$(curl -sf --max-time 10 --get "${args[@]}" "${lab_query_url:-$lab_prometheus_url}/api/v1/query") ||
        { echo "query failed: $1" >&2; return 1; }
    [ "$(jq -r .status <<<"$reply")" = success ] || { echo "query failed: $1: $reply" >&2; return 1; }
    jq -c .data <<<"$reply"
}

# The number of series the query $1 returns now.
lab_count() { lab_query "$1" | jq '.result | length'; }

# Writes a Prometheus configuration to $1 that scrapes the targets $3...
# (host:port) every second as job "korvanthine" and evaluates the rule file
# $2 (none when empty) every second.
lab_prometheus_config() {
    local config=$1 rules=$2
    shift 2
    {
        echo "global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}"
        [ -z "$rules" ] || echo "rule_files: ['$rules']"
        echo "scrape_configs:"
        echo "  - job_name: korvanthine"
        echo "    static_configs:"
        echo "      - targets:"
        local target
        for target in "$@"; do echo "          - '$target'"; done
    } >"$config"
    promtool check config "$config" >/dev/null || lab_fail "promtool does not accept $config"
}

# Alertmanager on 127.0.0.1:$1 with the configuration file $2, its data in
# $LAB_WORK/alertmanager and no cluster port; waits until it is ready.
lab_start_alertmanager() {
    local port=$1 config=$2
    prometheus-alertmanager --config.file="$config" --storage.path="$LAB_WORK/alertmanager" \
        --web.listen-address="127.0.0.1:$port" --cluster.listen-address= --log.level=warn \
        >"$LAB_WORK/alertmanager.out" 2>&1 &
    lab_pids+=($!)
    lab_wait_for 300 lab_answers "http://127.0.0.1:$port/-/ready" ||
        lab_fail "Alertmanager did not get ready: $(tail -5 "$LAB_WORK/alertmanager.out")"
}

# A webhook receiver on 127.0.0.1:$1 that appends each notification, with
# the time it arrived, to $LAB_WORK/notifications.jsonl.
lab_start_webhook() {
    python3 "$(dirname "${BASH_SOURCE[0]}")/alert-webhook.py" "$1" "$LAB_WORK/notifications.jsonl" \
        >"$LAB_WORK/webhook.out" 2>&1 &
    lab_pids+=($!)
    lab_wait_for 100 lab_answers "http://127.0.0.1:$1/" || lab_fail "the webhook receiver did not start"
}

# Writes to $1 the shipped scrape example as a lab would use it: its
# intervals, jobs and relabelling as they are, its rule files from this
# tree, the Alertmanager at 127.0.0.1:$2, and the targets $3... (host:port,
# or https://host:port for a bench of lab_make_tls's) in place of the
# example's, listed once for both of its scrape configurations, as it lists
# them; the TLS one takes lab_make_tls's certificate and password file.
lab_config_from_example() {
    python3 - "$LAB_WORK/tls" "$@" <<'PYTHON' || lab_fail "cannot adapt the scrape example"
import os, sys, yaml
tls, out, alertmanager, targets = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
with open("monitoring/prometheus-scrape.example.yml") as f:
    config = yaml.safe_load(f)
shipped = "/usr/share/korvanthine/monitoring/"
assert all(rule.startswith(shipped) for rule in config["rule_files"]), config["rule_files"]
config["rule_files"] = [os.path.join(os.getcwd(), "monitoring", rule[len(shipped):]) for rule in config["rule_files"]]
config["alerting"]["alertmanagers"] = [{"static_configs": [{"targets": ["127.0.0.1:" + alertmanager]}]}]
jobs = {j["job_name"]: j for j in config["scrape_configs"]}
plain, secure = jobs["korvanthine"], jobs["korvanthine-tls"]
assert plain["static_configs"] == secure["static_configs"], "the two configurations list other benches"
# Prometheus sends basic_auth with every scrape of its configuration: one
# that has it must keep https targets only, or the password goes in clear.
for job in config["scrape_configs"]:
    if "basic_auth" in job:
        assert {"source_labels": ["__scheme__"], "regex": "https", "action": "keep"} in job["relabel_configs"], \
            job["job_name"] + " would send its password to plain benches"
benches = [{"targets": [t for t in targets if "://" not in t], "labels": {"site": "lab-test"}}]
if any("://" in t for t in targets):
    benches.append({"targets": [t.split("://", 1)[1] for t in targets if t.startswith("https://")],
                    "labels": {"site": "lab-test", "__scheme__": "https"}})
plain["static_configs"] = secure["static_configs"] = benches
secure["basic_auth"]["password_file"] = os.path.join(tls, "prometheus.password")
secure["tls_config"]["ca_file"] = os.path.join(tls, "bench.crt")
with open(out, "w") as f:
    yaml.safe_dump(config, f)
PYTHON
    promtool check config "$1" >/dev/null || lab_fail "promtool does not accept $1"
}

# A bench served over TLS with users: in $LAB_WORK/tls, a certificate for
# 127.0.0.1 (self-signed, so that it is its own authority for Prometheus),
# the web configuration web.yml with one user, prometheus, and that user's
# password in prometheus.password (random, never printed).
lab_make_tls() {
    local tls=$LAB_WORK/tls
    mkdir -p "$tls"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$tls/bench.key" -out "$tls/bench.crt" 2>/dev/null ||
        lab_fail "openssl made no certificate"
    (umask 077 && head -c 18 /dev/urandom | base64 >"$tls/prometheus.password")
    local user
    user=$("$LAB_BUILD/ctl/korvanthine-ctl" hash-password prometheus <"$tls/prometheus.password") ||
        lab_fail "korvanthine-ctl hash-password"
    printf 'tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\nbasic_auth_users:\n  %s\n' \
        "$user" >"$tls/web.yml"
}

# A global Prometheus on 127.0.0.1:$1 that federates the site Prometheus
# at 127.0.0.1:$2 as federation/global-prometheus.example.yml has it, but
# every $3 (a duration) instead of every 30 s; its configuration and
# storage in $LAB_WORK/global; its address in lab_global_url. Waits until
# it is ready.
lab_start_global_prometheus() {
    local port=$1 site=$2 every=$3 global=$LAB_WORK/global
    mkdir -p "$global"
    python3 - "$global/prometheus.yml" "127.0.0.1:$site" "$every" <<'PYTHON' || lab_fail "cannot adapt the global example"
import sys, yaml
out, site, every = sys.argv[1:]
with open("monitoring/federation/global-prometheus.example.yml") as f:
    config = yaml.safe_load(f)
config["global"].update(scrape_interval=every, scrape_timeout=every, evaluation_interval=every)
(job,) = config["scrape_configs"]
job["static_configs"] = [{"targets": [site]}]
with open(out, "w") as f:
    yaml.safe_dump(config, f)
PYTHON
    promtool check config "$global/prometheus.yml" >/dev/null || lab_fail "promtool does not accept $global/prometheus.yml"
    prometheus --config.file="$global/prometheus.yml" --storage.tsdb.path="$global/tsdb" \
        --web.listen-address="127.0.0.1:$port" --log.level=warn >"$global/prometheus.out" 2>&1 &
    lab_pids+=($!)
    lab_global_pid=$!
    lab_global_url="http://127.0.0.1:$port"
    lab_wait_for 300 lab_answers "$lab_global_url/-/ready" ||
        lab_fail "the global Prometheus did not get ready: $(tail -5 "$global/prometheus.out")"
}

# Ends process $1 alone: TERM, up to 10 s to go, then KILL.
lab_stop_pid() {
    kill -TERM "$1" 2>/dev/null || true
    lab_wait_for 100 bash -c "! kill -0 $1 2>/dev/null" || kill -KILL "$1" 2>/dev/null || true
}

# When the first notification since $1 (seconds since 1970) arrived that
# has alert $3 of instance $4 with status $2 (firing, resolved); nothing
# when none has.
lab_notified_at() {
    [ -s "$LAB_WORK/notifications.jsonl" ] || return 0
    jq -r --argjson since "$1" --arg status "$2" --arg alert "$3" --arg instance "$4" '
        select(.received >= $since)
        | select(any(.body.alerts[]; .status == $status and .labels.alertname == $alert
                                     and .labels.instance == $instance))
        | .received' "$LAB_WORK/notifications.jsonl" | head -n1
}
