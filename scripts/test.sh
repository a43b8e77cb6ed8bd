#!/usr/bin/env bash
# Builds everything and runs every test headless through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
korvanthine_install "${KORVANTHINE_BUILD_PACKAGES[@]}" "${KORVANTHINE_BROWSER_TEST_PACKAGES[@]}" \
    "${KORVANTHINE_MONITORING_PACKAGES[@]}" clang libclang-rt-14-dev dpkg-dev
. scripts/package-builds.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build and test =="
# With the Debian package's flags: the package is made from this build at the end.
korvanthine_deb_build_args
cmake -S . -B build -G Ninja "${KORVANTHINE_DEB_BUILD_ARGS[@]}" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The soak samples once a second and waits on the line most of its two
# minutes: it runs beside the sanitizer build, its report after it.
soak_pid=
# A failed build ends the script: the soak goes with it.
trap '[ -z "$soak_pid" ] || kill "$soak_pid" 2>/dev/null || true' EXIT
if [ -x build/bench/soak ]; then
    echo "== soak: two minutes of sampling through every fault of the line, beside the sanitizer build =="
    build/bench/soak 120 >build/soak.log 2>&1 &
    soak_pid=$!
fi

echo "== sanitizer build (address, undefined) =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANTHINE_SANITIZE=ON \
      -DKORVANTHINE_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"

if [ -n "$soak_pid" ]; then
    soak_status=0
    wait "$soak_pid" || soak_status=$?
    soak_pid=
    echo "== the soak's report =="
    cat build/soak.log
    [ "$soak_status" -eq 0 ] || { echo "soak failed with status $soak_status"; exit "$soak_status"; }
fi
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE slow

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzzing (brief) =="
    scripts/fuzz.sh 20
fi

echo "== monitoring: rules, service unit, benches scraped by Prometheus, notified through Alertmanager =="
scripts/test-monitoring.sh build

echo "== serve under hostile clients (short): no scrape lost, no pass late =="
bench/serve_under_attack.sh --short build

if [ -x scripts/test-wine.sh ]; then
    echo "== Windows link under Wine =="
    scripts/test-wine.sh
fi

if [ -x scripts/test-package.sh ]; then
    echo "== packages: made, installed, started, removed =="
    KORVANTHINE_PACKAGE_NATIVE_BUILD=build KORVANTHINE_PACKAGE_CROSS_BUILD=build-win32/main scripts/test-package.sh
fi
