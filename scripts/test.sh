#!/usr/bin/env bash
# Builds everything and runs every test headless through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
korvanthine_install "${KORVANTHINE_BUILD_PACKAGES[@]}" "${KORVANTHINE_BROWSER_TEST_PACKAGES[@]}" \
    "${KORVANTHINE_MONITORING_PACKAGES[@]}" "${KORVANTHINE_WIN32_LIBS_PACKAGES[@]}" clang libclang-rt-14-dev dpkg-dev
. scripts/package-builds.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build and test =="
# With the Debian package's flags: the package is made from this build at the end.
korvanthine_deb_build_args
cmake -S . -B build -G Ninja "${KORVANTHINE_DEB_BUILD_ARGS[@]}" >/dev/null
cmake --build build -j "$jobs"

# The Windows build's libraries (OpenSSL, yaml-cpp, libxcrypt) are built at
# the lowest priority while the tests below wait on lines, timers and
# browsers; the Wine leg takes them from the cache (the script's lock has
# it wait for this run). Their packages are installed above, so that this
# run installs nothing beside the others.
libs_pid=
if [ -x scripts/win32-libs.sh ]; then
    # A session of its own, so that the make under it can be ended with it.
    # The kernel weighs each session as a group (autogroup): the group gets
    # the lowest priority too, else nice would count only inside it.
    setsid bash -c 'echo 19 >/proc/self/autogroup 2>/dev/null; exec nice -n 19 scripts/win32-libs.sh' \
        >build/win32-libs.log 2>&1 &
    libs_pid=$!
fi
# The soak samples once a second and waits on the line most of its two
# minutes: it runs beside the sanitizer build, its report after it.
soak_pid=
# A failed step ends the script: what runs beside it goes with it.
trap '[ -z "$soak_pid" ] || kill "$soak_pid" 2>/dev/null; [ -z "$libs_pid" ] || kill -- "-$libs_pid" 2>/dev/null; true' EXIT

ctest --test-dir build --output-on-failure -j "$jobs"
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

if [ -n "$libs_pid" ]; then
    libs_status=0
    wait "$libs_pid" || libs_status=$?
    libs_pid=
    echo "== the Windows libraries, built beside the tests =="
    cat build/win32-libs.log
    [ "$libs_status" -eq 0 ] || echo "(failed with status $libs_status: the Wine leg tries again)"
fi

if [ -x scripts/test-wine.sh ]; then
    echo "== Windows link under Wine =="
    scripts/test-wine.sh
fi

if [ -x scripts/test-package.sh ]; then
    echo "== packages: made, installed, started, removed =="
    KORVANTHINE_PACKAGE_NATIVE_BUILD=build KORVANTHINE_PACKAGE_CROSS_BUILD=build-win32/main scripts/test-package.sh
fi
