#!/usr/bin/env bash
# Makes the Debian package and the Windows download (ZIP and, with makensis,
# an installer) into out/, and checks them with lintian, desktop-file-validate
# and appstreamcli.
#
#   scripts/package.sh          both
#   scripts/package.sh --deb    the Debian package only (no cross build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
case "${1:-}" in
    "") windows=yes ;;
    --deb) windows="" ;;
    *) echo "usage: $0 [--deb]" >&2; exit 2 ;;
esac
. scripts/deps.sh
korvanthine_install "${KORVANTHINE_BUILD_PACKAGES[@]}" "${KORVANTHINE_PACKAGE_DEB_PACKAGES[@]}"
[ -z "$windows" ] || korvanthine_install "${KORVANTHINE_PACKAGE_WINDOWS_PACKAGES[@]}"

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
out=$root/out
mkdir -p "$out"

echo "== Debian package =="
. scripts/package-builds.sh
korvanthine_deb_build_args
# KORVANTHINE_PACKAGE_NATIVE_BUILD names a build folder to make the package
# from (test.sh names build/, whose tests have passed by then). It is taken
# when it was configured with the package's flags; otherwise the package
# gets a build of its own. Tests and benchmarks install nothing, so the
# package's files are the same either way.
native=build-package
if [ -n "${KORVANTHINE_PACKAGE_NATIVE_BUILD:-}" ]; then
    if why=$(korvanthine_configured_with "$KORVANTHINE_PACKAGE_NATIVE_BUILD" "${KORVANTHINE_DEB_BUILD_ARGS[@]}"); then
        native=$KORVANTHINE_PACKAGE_NATIVE_BUILD
    else
        echo "not made from $KORVANTHINE_PACKAGE_NATIVE_BUILD: $why"
    fi
fi
if [ "$native" = build-package ]; then
    cmake -S . -B "$native" -G Ninja "${KORVANTHINE_DEB_BUILD_ARGS[@]}" \
          -DKORVANTHINE_BUILD_TESTS=OFF -DKORVANTHINE_BUILD_BENCH=OFF >/dev/null
fi
echo "made from $native"
cmake --build "$native" -j "$jobs"
rm -f "$native"/korvanthine_*.deb
(cd "$native" && cpack -G DEB >/dev/null)
deb=$(ls "$native"/korvanthine_*.deb)
cp "$deb" "$out/"
deb=$out/$(basename "$deb")

echo "-- lintian"
# Errors and warnings fail; what lintian only mentions (I:, P:) is listed.
lintian --pedantic --info --fail-on error,warning "$deb"
echo "-- desktop entry and AppStream metadata"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked"/usr/share/applications/korvanthine.desktop
# No network here: the screenshot's address is not fetched.
appstreamcli validate --no-net --pedantic "$unpacked"/usr/share/metainfo/*.metainfo.xml

if [ -z "$windows" ]; then
    ls -l "$deb"
    exit 0
fi

echo "== Windows download =="
# What the download needs of a cross build. KORVANTHINE_PACKAGE_CROSS_BUILD
# names one to make it from (test.sh names the Wine tests' build-win32/main).
# It is taken when configured with these and optimised: Release, or
# RelWithDebInfo, whose debug information cpack strips (CPACK_STRIP_FILES,
# checked below). Otherwise the download gets a build of its own.
# With OpenSSL, yaml-cpp and libxcrypt for Windows (built once, cached):
# serve's web side, hash-password and make-certificate, and so the
# installer's exporter services.
libs=$(scripts/win32-libs.sh)
win32_libs=$(korvanthine_win32_libs_folders "$libs")
cross_args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DKORVANTHINE_BUILD_PANEL=ON
            -DKORVANTHINE_SANITIZE=OFF -DKORVANTHINE_WIN32_LIBS="$win32_libs")
cross=build-win32/package
if [ -n "${KORVANTHINE_PACKAGE_CROSS_BUILD:-}" ]; then
    if why=$(korvanthine_configured_with "$KORVANTHINE_PACKAGE_CROSS_BUILD" "${cross_args[@]}"); then
        build_type=$(korvanthine_cache_value "$KORVANTHINE_PACKAGE_CROSS_BUILD" CMAKE_BUILD_TYPE)
        case "$build_type" in
            Release | RelWithDebInfo) cross=$KORVANTHINE_PACKAGE_CROSS_BUILD ;;
            *) why="$KORVANTHINE_PACKAGE_CROSS_BUILD is a '$build_type' build" ;;
        esac
    fi
    [ "$cross" = "$KORVANTHINE_PACKAGE_CROSS_BUILD" ] || echo "not made from $KORVANTHINE_PACKAGE_CROSS_BUILD: $why"
fi
if [ "$cross" = build-win32/package ]; then
    cmake -S . -B "$cross" -G Ninja "${cross_args[@]}" -DCMAKE_BUILD_TYPE=Release \
          -DKORVANTHINE_BUILD_TESTS=OFF -DKORVANTHINE_BUILD_BENCH=OFF >/dev/null
fi
echo "made from $cross"
cmake --build "$cross" -j "$jobs"
rm -f "$cross"/korvanthine-*-win64.*
(cd "$cross" && cpack >/dev/null)
zip=$(ls "$(cd "$cross" && pwd)"/korvanthine-*-win64.zip)
echo "-- no debug information in the Windows programs"
mkdir "$unpacked/zip"
(cd "$unpacked/zip" && cmake -E tar xf "$zip")
programs=("$unpacked"/zip/*/*.exe)
[ -f "${programs[0]}" ] || { echo "no program in $(basename "$zip")" >&2; exit 1; }
for program in "${programs[@]}"; do
    sections=$(x86_64-w64-mingw32-objdump -h "$program")
    if grep -q ' \.debug' <<<"$sections"; then
        echo "$(basename "$program") in $(basename "$zip") carries debug information" >&2
        exit 1
    fi
done
cp "$zip" "$out/"
cp "$cross"/korvanthine-*-win64.exe "$out/" 2>/dev/null || echo "(makensis not found: no installer)"

echo "== out/ =="
ls -l "$out"
