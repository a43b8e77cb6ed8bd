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
cross=build-win32/package
cmake -S . -B "$cross" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DKORVANTHINE_BUILD_PANEL=ON \
      -DKORVANTHINE_BUILD_TESTS=OFF -DKORVANTHINE_BUILD_BENCH=OFF >/dev/null
cmake --build "$cross" -j "$jobs"
rm -f "$cross"/korvanthine-*-win64.*
(cd "$cross" && cpack >/dev/null)
cp "$cross"/korvanthine-*-win64.zip "$out/"
cp "$cross"/korvanthine-*-win64.exe "$out/" 2>/dev/null || echo "(makensis not found: no installer)"

echo "== out/ =="
ls -l "$out"
