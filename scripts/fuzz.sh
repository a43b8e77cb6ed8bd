#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 20), or for a given number of runs with --runs N.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
    echo "clang++ not found: fuzzing skipped"
    exit 0
fi
limit=(-max_total_time="${1:-20}")
if [ "${1:-}" = "--runs" ]; then limit=(-runs="$2"); fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
      -DKORVANTHINE_FUZZ=ON -DKORVANTHINE_BUILD_PANEL=OFF -DKORVANTHINE_BUILD_TESTS=OFF \
      -DKORVANTHINE_BUILD_BENCH=OFF >/dev/null
targets="fuzz_reply_value fuzz_scaled_decimal fuzz_frame_builders fuzz_shared_line_request fuzz_reply_check fuzz_routes fuzz_web_request fuzz_web_config fuzz_program_state"
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets

# Two targets at a time on a machine of two cores or more, one per core at
# most: each keeps its whole time budget. Each writes into its own log, and
# the logs are shown in the targets' order, so that two runs never mix
# their lines.
slots=$(nproc)
[ "$slots" -le 2 ] || slots=2
logs=build-fuzz/logs
mkdir -p "$logs"
declare -A pid_of=()
started=()
stop_running() {
    local pid
    for pid in "${pid_of[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pid_of[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_running EXIT

start() {
    local target=$1 corpus="tests/fuzz/corpus/$1" work="build-fuzz/corpus/$1" max_len=64
    mkdir -p "$work"
    [ "$target" != fuzz_routes ] && [ "$target" != fuzz_web_request ] || max_len=512
    [ "$target" != fuzz_web_config ] && [ "$target" != fuzz_program_state ] || max_len=4096
    # shellcheck disable=SC2046
    "build-fuzz/tests/fuzz/${target}" "${limit[@]}" -max_len="$max_len" -print_final_stats=1 \
        "$work" $( [ -d "$corpus" ] && echo "$corpus" ) >"$logs/$target.log" 2>&1 &
    pid_of[$target]=$!
    started+=("$target")
}

# Waits for the target, shows its summary and fails the script with its name
# if the target failed.
report() {
    local target=$1 status=0
    wait "${pid_of[$target]}" || status=$?
    unset "pid_of[$target]"
    echo "-- ${target}"
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|Done|==|SUMMARY)" "$logs/$target.log" || true
    [ "$status" -eq 0 ] || { echo "${target} failed (exit status $status, log in $logs/$target.log)" >&2; exit 1; }
}

reported=0
for target in $targets; do
    if [ $((${#started[@]} - reported)) -ge "$slots" ]; then
        report "${started[reported]}"
        reported=$((reported + 1))
    fi
    start "$target"
done
while [ "$reported" -lt ${#started[@]} ]; do
    report "${started[reported]}"
    reported=$((reported + 1))
done
