#!/usr/bin/env bash
# Cross-builds the link, the panel (korvanthine.exe) and their tests for Windows with MinGW-w64 and runs them
# under Wine against the native simulated controller; then korvanthine-ctl.exe serve as a Windows service,
# and serve.exe with a web configuration checked from Linux as a Linux serve is (TLS, users, limits,
# programs, Prometheus, the page's form in Chromium).
#
# The Windows build's OpenSSL, yaml-cpp and libxcrypt come from
# scripts/win32-libs.sh, built once per Debian version into its cache.
#
# The Wine prefix and the cross-built GoogleTest are cached under
# ${XDG_CACHE_HOME:-~/.cache}/korvanthine-wine, so only the first run pays for
# booting the prefix. The native korvanthine-sim comes from build/ when the
# main build has been configured there (scripts/test.sh does it just before),
# else it is built in build-wine-native/. KORVANTHINE_NATIVE_BUILD names
# another native build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)
. scripts/deps.sh
korvanthine_install g++ cmake ninja-build googletest g++-mingw-w64-x86-64-posix wine wine64 libcli11-dev nlohmann-json3-dev \
                    libboost-dev libjs-dygraphs curl python3 \
                    "${KORVANTHINE_BUILD_PACKAGES[@]}" "${KORVANTHINE_BROWSER_TEST_PACKAGES[@]}" \
                    "${KORVANTHINE_MONITORING_PACKAGES[@]}"

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

cache=${XDG_CACHE_HOME:-$HOME/.cache}/korvanthine-wine
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cross_build=$root/build-win32/main

korvanthine_find_wine

export WINEPREFIX=$cache/prefix
export WINEDEBUG=-all
export WINEARCH=win64
# No downloads of Mono or Gecko, no screen: the tests need neither (the
# panel's windows go to the null display driver, set in the prefix).
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

echo "-- native simulator, and korvanthine-ctl as another machine's client"
native=${KORVANTHINE_NATIVE_BUILD:-build}
if [ ! -f "$native/build.ninja" ]; then
    native=build-wine-native
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANTHINE_BUILD_PANEL=OFF \
          -DKORVANTHINE_BUILD_TESTS=OFF -DKORVANTHINE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$native" -j "$jobs" --target korvanthine-sim korvanthine-ctl >/dev/null
KORVANTHINE_SIM=$(cd "$native" && pwd)/sim/korvanthine-sim
export KORVANTHINE_SIM
native_ctl=$(cd "$native" && pwd)/ctl/korvanthine-ctl

echo "-- OpenSSL, yaml-cpp and libxcrypt for Windows"
libs_started=$(date +%s)
libs=$(scripts/win32-libs.sh)
echo "$libs"
win32_libs=$(korvanthine_win32_libs_folders "$libs")
echo "-- libraries ready in $(( $(date +%s) - libs_started )) s"

echo "-- GoogleTest for Windows"
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gtest=$cache/gtest-$gtest_version
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
    rm -rf "$cache"/gtest-* "$cache/gtest-build"
    cmake -S /usr/src/googletest -B "$cache/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
          -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
          -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
    cmake --build "$cache/gtest-build" -j "$jobs" >/dev/null
    cmake --install "$cache/gtest-build" >/dev/null
    rm -rf "$cache/gtest-build"
fi

echo "-- Wine prefix"
# Wine rewrites the prefix's dosdevices/comN links at every start, from the
# serial devices it finds and from HKLM\Software\Wine\Ports. So the ports
# are mapped in the registry, once, to fixed links in the prefix, and the
# simulator points those links at its pseudo-terminal.
ports=$WINEPREFIX/korvanthine-ports
prefix_stamp=$WINEPREFIX/.korvanthine-ready
prefix_version="wine $(dpkg-query -W -f='${Version}' wine64), ports COM1-COM20 in $ports, null display"
boot_prefix() {
    timeout 10 "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 180 "$wine" wineboot --init >/dev/null 2>&1 || return 1
    local reg=$WINEPREFIX/korvanthine-ports.reg n
    { printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
      for n in $(seq 1 20); do printf '"COM%d"="%s/com%d"\r\n' "$n" "$ports" "$n"; done
    } >"$reg"
    timeout 60 "$wine" regedit /S "$reg" >/dev/null 2>&1 || return 1
    # The panel's windows without a screen: Wine's null display driver.
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || return 1
    # The registry reaches the disk when the server ends.
    timeout 60 "$wineserver" -w
}
if [ "$(cat "$prefix_stamp" 2>/dev/null)" != "$prefix_version" ]; then
    # A boot that hangs or fails (a half-written prefix) gets one more try.
    boot_prefix || boot_prefix
    echo "$prefix_version" >"$prefix_stamp"
fi
mkdir -p "$ports"
find "$ports" -mindepth 1 -delete
export KORVANTHINE_WINE_PORTS=$ports

# The simulators' folders. A test program that dies cannot stop its
# simulators; the ones it left running are ended here at the close.
export KORVANTHINE_WINE_TMP=$root/build-win32/tmp
rm -rf "$KORVANTHINE_WINE_TMP"
mkdir -p "$KORVANTHINE_WINE_TMP"

# One wineserver for the whole run: without it every test program would pay
# for starting Wine's services again. It goes when the run ends, whatever happens.
stop_wine() {
    local pidfile
    for pidfile in "$KORVANTHINE_WINE_TMP"/*/sim.pid; do
        [ -f "$pidfile" ] && [ ! -f "$(dirname "$pidfile")/sim.exit" ] || continue
        kill -TERM -- "-$(cat "$pidfile")" 2>/dev/null || true
    done
    timeout 20 "$wineserver" -k >/dev/null 2>&1 || true
}
trap stop_wine EXIT
# Its own output is dropped: a server that opened a pseudo-terminal gets a
# hang-up signal when the simulator closes it, and lists its objects then.
"$wineserver" -p >/dev/null 2>&1 || true   # one may be running already
# The first program starts Wine's services, which takes seconds; after it,
# a test program (and GoogleTest's listing at build time) starts in a blink.
# Its output goes nowhere: the services keep what they inherit, and a pipe
# kept open by them would hold up whoever reads it.
timeout 120 "$wine" cmd /c exit >/dev/null 2>&1

echo "-- cross build"
cmake -S . -B "$cross_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKORVANTHINE_BUILD_BENCH=OFF -DKORVANTHINE_WIN32_LIBS="$win32_libs" \
      -DGTest_DIR="$gtest/lib/cmake/GTest" >/dev/null
cmake --build "$cross_build" -j "$jobs"

# The screen's scale of the prefix, in dots per inch (LogPixels), with Wine's
# services started again so that nothing keeps the old one.
set_dpi() {
    timeout 60 "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    timeout 20 "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -p >/dev/null 2>&1 || true
    timeout 120 "$wine" cmd /c exit >/dev/null 2>&1
}

# One at a time: the prefix's COM names are shared by every test program.
# A test whose program was never started (no GoogleTest output at all, seen
# once on a fresh machine: failed in 0.00 s) says nothing about the code, so
# such tests, and only they, run once more, named in the log. A test that
# failed while running fails the leg.
wine_ctest() {
    local report=$cross_build/Testing/wine-junit.xml again
    ctest --test-dir "$cross_build" --output-on-failure --timeout 120 --output-junit "$report" "$@" && return 0
    again=$(python3 scripts/wine-unstarted.py "$report") || return 1
    [ -n "$again" ] || return 1
    echo "-- never started, run once more: $again"
    ctest --test-dir "$cross_build" --output-on-failure --timeout 120 -R "$again"
}

echo "-- tests under Wine"
# A run cut short at another scale left it in the prefix.
set_dpi 96
wine_ctest

# The panel's scale tests again on screens at 150 and 200 per cent; the
# prefix goes back to 96 whatever they give.
scale_failed=0
for dpi in 144 192; do
    echo "-- the panel at $dpi dots per inch"
    set_dpi "$dpi"
    KORVANTHINE_WINE_DPI=$dpi wine_ctest -R '^PanelAtScale' || scale_failed=1
done
set_dpi 96
[ "$scale_failed" -eq 0 ]

echo "-- korvanthine-ctl.exe serve as a Windows service"
scripts/test-wine-service.sh "$wine" "$cross_build/ctl/korvanthine-ctl.exe"

echo "-- korvanthine-ctl.exe serve with a web configuration, checked from Linux"
timeout 900 /usr/bin/python3 tests/web/serve_web_in_use.py "$native_ctl" "$KORVANTHINE_SIM" \
        --wine "$wine" "$cross_build/ctl/korvanthine-ctl.exe"

echo "-- Wine leg took $(( $(date +%s) - started )) s"
