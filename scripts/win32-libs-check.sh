#!/usr/bin/env bash
# Checks the libraries of scripts/win32-libs.sh in one statically linked
# Windows program under Wine (tests/win32/libs): a TLS handshake between its
# own OpenSSL server and client over 127.0.0.1, yaml-cpp reading a web
# configuration, and libxcrypt's crypt_r verifying bcrypt hashes made on
# Linux (by htpasswd, and by korvanthine-ctl hash-password when a Linux build
# has one: build/ctl, or KORVANTHINE_CTL).
#
# The program runs in a Wine prefix of its own under a temporary folder,
# whose wineserver is stopped by its pid at the end; the project's prefix
# is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/deps.sh
korvanthine_install g++-mingw-w64-x86-64-posix cmake ninja-build wine wine64 openssl apache2-utils

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

libs=$(scripts/win32-libs.sh)
echo "$libs"
folders=$(korvanthine_win32_libs_folders "$libs")

build=$root/build-win32/libs-check
timeout 300 cmake -S tests/win32/libs -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release "-DKORVANTHINE_WIN32_LIBS=$folders" >/dev/null
timeout 900 cmake --build "$build" -j "$jobs"
program=$build/win32_libs_check.exe
echo "-- $(stat -c %s "$program") bytes: $program"

tmp=$(mktemp -d)
wineserver_pid=
finish() {
    if [ -n "$wineserver_pid" ]; then
        kill "$wineserver_pid" 2>/dev/null || true
        wait "$wineserver_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap finish EXIT

timeout 60 openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>/dev/null

# A password of the check's own, never shown; its hashes go to a file.
# ASCII: the environment reaches the program in the Windows code page.
password="check-$RANDOM-$RANDOM-password"
htpasswd -niB -C 10 check <<<"$password" | sed -n 's/^check://p' >"$tmp/hashes"
ctl=${KORVANTHINE_CTL:-$root/build/ctl/korvanthine-ctl}
if [ -x "$ctl" ]; then
    timeout 60 "$ctl" hash-password check <<<"$password" | sed -n 's/^check: *//p' >>"$tmp/hashes"
else
    echo "-- no korvanthine-ctl at $ctl: the htpasswd hash only"
fi

korvanthine_find_wine
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
# The prefix's server in the foreground of a child of this script, so that
# its pid is known; wine finds it by its socket, which is waited for (a
# program started before it would start a server of its own). The first
# program creates the prefix.
"$wineserver" -f -p >/dev/null 2>&1 &
wineserver_pid=$!
# The server works in its own folder, where it makes the socket.
socket=/proc/$wineserver_pid/cwd/socket
for _ in $(seq 1 300); do
    [ -S "$socket" ] && break
    kill -0 "$wineserver_pid" 2>/dev/null || { echo "wineserver ended at its start"; exit 1; }
    sleep 0.1
done
[ -S "$socket" ] || { echo "wineserver made no socket within 30 s"; exit 1; }
started=$(date +%s)
KORVANTHINE_CHECK_PASSWORD=$password timeout 600 "$wine" "$program" "Z:$tmp/cert.pem" "Z:$tmp/key.pem" "Z:$tmp/hashes"
echo "-- under Wine in $(( $(date +%s) - started )) s, with the prefix's creation"
