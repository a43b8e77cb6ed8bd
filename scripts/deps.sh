#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the panel need, if
# any are missing. Sourced by run.sh and test.sh.
set -euo pipefail

korvanthine_install() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

KORVANTHINE_BUILD_PACKAGES=(g++ cmake ninja-build libgtest-dev qt6-base-dev libgl-dev fonts-dejavu-core libcli11-dev
                           nlohmann-json3-dev libboost-dev libjs-dygraphs
                           libyaml-cpp-dev libssl-dev libcrypt-dev)

# What the bench page's test needs: headless Chromium driven through WebDriver.
KORVANTHINE_BROWSER_TEST_PACKAGES=(chromium chromium-driver python3-selenium)

# What scripts/package.sh and its check need beyond the build: the Debian
# package tools and checkers, and the MinGW cross compiler and NSIS for the
# Windows download.
KORVANTHINE_PACKAGE_DEB_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream)
KORVANTHINE_PACKAGE_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix nsis)
KORVANTHINE_PACKAGE_PACKAGES=("${KORVANTHINE_PACKAGE_DEB_PACKAGES[@]}" "${KORVANTHINE_PACKAGE_WINDOWS_PACKAGES[@]}")

# What scripts/win32-libs.sh needs to fetch Debian's sources of OpenSSL,
# yaml-cpp and libxcrypt, check their signatures and build them with MinGW-w64.
KORVANTHINE_WIN32_LIBS_PACKAGES=(g++-mingw-w64-x86-64-posix cmake ninja-build make perl dpkg-dev patch xz-utils
                                 debian-archive-keyring debian-keyring gpgv gnupg
                                 autoconf automake libtool pkg-config)

# Wine's programs: sets wine_dir, wine (wine64 where there is one) and
# wineserver.
korvanthine_find_wine() {
    wine_dir=/usr/lib/wine
    [ -x "$wine_dir/wine64" ] || wine_dir=$(dirname "$(command -v wine64 || command -v wine)")
    wine=$wine_dir/wine64
    [ -x "$wine" ] || wine=$wine_dir/wine
    wineserver=$wine_dir/wineserver
    [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
}

# The install folders in scripts/win32-libs.sh's output (the last field of
# each library's line), ;-separated as the cross build's
# -DKORVANTHINE_WIN32_LIBS takes them.
korvanthine_win32_libs_folders() {   # the script's output
    awk '$3 == "built" || $3 == "cached" { print $NF }' <<<"$1" | paste -sd ';'
}

# What the monitoring checks need (scripts/test-monitoring.sh,
# bench/lab_scale.sh): Prometheus with promtool, Alertmanager with amtool,
# systemd-analyze for the service unit, and the tools the scripts query
# Prometheus with and receive its notifications with.
KORVANTHINE_MONITORING_PACKAGES=(prometheus prometheus-alertmanager systemd curl jq python3
                                 # serve's web configuration test: its certificates and bcrypt hashes
                                 openssl apache2-utils)
