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

for target in $targets; do
    corpus="tests/fuzz/corpus/${target}"
    work="build-fuzz/corpus/${target}"
    mkdir -p "$work"
    echo "-- ${target}"
    max_len=64
    [ "$target" != fuzz_routes ] && [ "$target" != fuzz_web_request ] || max_len=512
    [ "$target" != fuzz_web_config ] && [ "$target" != fuzz_program_state ] || max_len=4096
    "build-fuzz/tests/fuzz/${target}" "${limit[@]}" -max_len="$max_len" -print_final_stats=1 \
        "$work" $( [ -d "$corpus" ] && echo "$corpus" ) 2>&1 | grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|Done|==|SUMMARY)" || true
    [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "${target} failed"; exit 1; }
done
