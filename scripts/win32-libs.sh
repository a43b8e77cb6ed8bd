#!/usr/bin/env bash
# Builds the libraries the Windows build's web side needs (OpenSSL, yaml-cpp,
# libxcrypt's bcrypt) as static MinGW-w64 libraries, from Debian's own
# source packages, into a cache outside the clone:
#
#   ${XDG_CACHE_HOME:-~/.cache}/korvanthine-win32-libs/<name>-<Debian version>/{include,lib}
#
# The sources come through apt with a private list of deb-src lines for this
# machine's Debian release (the system's apt configuration is not touched):
# apt checks the archive's signed InRelease and, against it, the Sources
# index and every file of the source package; dpkg-source then checks the
# .dsc's own signature against the Debian keyring and the files against the
# .dsc; where the package ships its upstream's signing key, the upstream
# tarball's signature is checked too.
#
# Each library is built once per Debian version: a run that finds the
# version in the cache prints where it is and builds nothing. The source
# lists are fetched again when they are a day old (KORVANTHINE_WIN32_LIBS_REFRESH=1
# forces it), so a security update is picked up within a day.
#
# Prints one line per library: name, version, built or cached, seconds, folder.
# The last line names the cache, the folder to give the cross build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/deps.sh
korvanthine_install "${KORVANTHINE_WIN32_LIBS_PACKAGES[@]}"

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
triple=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cache=${XDG_CACHE_HOME:-$HOME/.cache}/korvanthine-win32-libs
apt_dir=$cache/apt
work=$cache/work
logs=$cache/logs
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$logs"

# Two runs at once would build into the same folders.
exec 9>"$cache/.lock"
flock -w 3600 9 || { echo "win32-libs: another run holds $cache/.lock" >&2; exit 1; }

fail() {   # library, why
    echo "win32-libs: $1: $2" >&2
    exit 1
}

# Runs a step with a time limit, its output into the library's log; on
# failure the log's tail says why.
step() {   # library, log, seconds, what, command...
    local name=$1 log=$2 limit=$3 what=$4
    shift 4
    echo "== $what: $*" >>"$log"
    local status=0
    timeout "$limit" "$@" >>"$log" 2>&1 || status=$?
    [ "$status" -eq 0 ] && return 0
    tail -n 25 "$log" >&2
    [ "$status" -eq 124 ] && fail "$name" "$what took more than $limit s (log: $log)"
    fail "$name" "$what failed with status $status (log: $log)"
}

# --- the source lists ---------------------------------------------------------

. /etc/os-release
codename=${VERSION_CODENAME:?this is no Debian release with a code name}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
sources=$apt_dir/sources.list
{
    echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename main"
    echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename-updates main"
    echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian-security $codename-security main"
} >"$sources.new"
cmp -s "$sources.new" "$sources" || { mv "$sources.new" "$sources"; rm -f "$apt_dir/updated"; }
rm -f "$sources.new"
apt_opts=(-o "Dir::Etc::sourcelist=$sources" -o Dir::Etc::sourceparts=- -o "Dir::State::Lists=$apt_dir/lists"
          -o "Dir::Cache=$apt_dir" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o Debug::NoLocking=1)

# Versions that the archive lists but does not serve (a 404), one
# "name version" a line; forgotten with every new list.
unavailable=$apt_dir/unavailable
if [ "${KORVANTHINE_WIN32_LIBS_REFRESH:-0}" = 1 ] || [ -z "$(find "$apt_dir/updated" -mmin -1440 2>/dev/null)" ]; then
    step lists "$logs/apt-update.log" 300 "apt-get update of the source lists" \
         apt-get "${apt_opts[@]}" update
    : >"$unavailable"
    touch "$apt_dir/updated"
fi
touch "$unavailable"

# The versions of a source package in the lists, newest first.
source_versions() {   # source package
    local -a found=() sorted=()
    local v i
    mapfile -t found < <(apt-cache "${apt_opts[@]}" showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u)
    for v in "${found[@]}"; do
        for ((i = ${#sorted[@]}; i > 0; i--)); do
            dpkg --compare-versions "${sorted[i - 1]}" ge "$v" && break
            sorted[i]=${sorted[i - 1]}
        done
        sorted[i]=$v
    done
    printf '%s\n' "${sorted[@]}"
}

# --- fetching and checking -------------------------------------------------------

# Downloads NAME=VERSION into $work; status 2 when the archive answers 404
# (listed but not served), 1 on any other failure.
fetch() {   # source package, version, log
    local name=$1 version=$2 log=$3 status=0
    rm -rf "$work"
    mkdir -p "$work"
    # apt downloads as its own user when it runs as root.
    [ "$(id -u)" -ne 0 ] || ! id _apt >/dev/null 2>&1 || chown _apt "$work"
    echo "== apt-get source $name=$version" >>"$log"
    (cd "$work" && timeout 600 apt-get "${apt_opts[@]}" source --download-only "$name=$version") >>"$log" 2>&1 ||
        status=$?
    [ "$status" -eq 0 ] && return 0
    grep -q '404 *Not Found' "$log" && return 2
    tail -n 15 "$log" >&2
    return 1
}

# Unpacks the downloaded package into $work/src, refusing it unless its .dsc
# is signed by a key of the Debian keyring and every file matches it.
unpack() {   # source package, version, log
    local name=$1 version=$2 log=$3
    local dsc=$work/${name}_${version#*:}.dsc
    [ -f "$dsc" ] || fail "$name" "no ${dsc##*/} among the downloaded files"
    step "$name" "$log" 300 "dpkg-source -x (signature and checksums)" \
         dpkg-source --require-valid-signature --require-strong-checksums -x "$dsc" "$work/src"
    local key=$work/src/debian/upstream/signing-key.asc asc
    [ -f "$key" ] || return 0
    for asc in "$work"/*.orig.tar.*.asc; do
        [ -f "$asc" ] || continue
        export GNUPGHOME=$work/gnupg
        mkdir -p -m 700 "$GNUPGHOME"
        gpg --batch --quiet --dearmor <"$key" >"$GNUPGHOME/upstream.gpg"
        step "$name" "$log" 60 "upstream signature of ${asc##*/}" \
             gpgv --keyring "$GNUPGHOME/upstream.gpg" "$asc" "${asc%.asc}"
        unset GNUPGHOME
    done
}

# --- building ---------------------------------------------------------------------

build_openssl() {   # source, prefix, log
    local src=$1 prefix=$2 log=$3
    (
        cd "$src"
        step openssl "$log" 300 "Configure" ./Configure mingw64 "--cross-compile-prefix=$triple-" CC=gcc-posix \
             no-shared no-tests "--prefix=$prefix" --libdir=lib
        step openssl "$log" 2400 "make build_libs" make -j "$jobs" build_libs
        step openssl "$log" 300 "make install_dev" make install_dev
    )
}

build_yaml_cpp() {
    local src=$1 prefix=$2 log=$3
    step yaml-cpp "$log" 300 "cmake configure" \
         cmake -S "$src" -B "$work/build" -G Ninja "-DCMAKE_TOOLCHAIN_FILE=$toolchain" -DCMAKE_BUILD_TYPE=Release \
               -DYAML_BUILD_SHARED_LIBS=OFF -DYAML_CPP_BUILD_TESTS=OFF -DYAML_CPP_BUILD_TOOLS=OFF \
               "-DCMAKE_INSTALL_PREFIX=$prefix"
    step yaml-cpp "$log" 1200 "build" cmake --build "$work/build" -j "$jobs"
    step yaml-cpp "$log" 300 "install" cmake --install "$work/build"
}

# Only the bcrypt hashes serve takes ($2b$ and $2y$); no compatibility
# symbols, which need ELF symbol versions. crypt_gensalt without random
# bytes of the caller's has no source of them on Windows.
build_libxcrypt() {
    local src=$1 prefix=$2 log=$3
    (
        cd "$src"
        step libxcrypt "$log" 300 "autoreconf" autoreconf -fi
        mkdir -p "$work/build"
        cd "$work/build"
        step libxcrypt "$log" 600 "configure" "$src/configure" "--host=$triple" "CC=$triple-gcc-posix" \
             "--prefix=$prefix" --disable-shared --enable-static --disable-werror \
             --enable-hashes=bcrypt,bcrypt_y --enable-obsolete-api=no --disable-xcrypt-compat-files
        step libxcrypt "$log" 1200 "make" make -j "$jobs"
        step libxcrypt "$log" 300 "make install" make install
    )
}

# --- one library -------------------------------------------------------------------

folder_of() {   # name, version: the epoch left out, as Debian's file names do
    echo "$cache/$1-${2#*:}"
}

library() {   # source package, build function
    local name=$1 build=$2 started version folder log status
    started=$(date +%s)
    local -a versions
    mapfile -t versions < <(source_versions "$name")
    [ ${#versions[@]} -gt 0 ] && [ -n "${versions[0]}" ] ||
        fail "$name" "no source package in the lists ($sources)"
    for version in "${versions[@]}"; do
        folder=$(folder_of "$name" "$version")
        if grep -qxF "$name $version" "$unavailable"; then
            [ -f "$folder/.complete" ] || continue
        fi
        if [ -f "$folder/.complete" ]; then
            printf '%-10s %-22s cached %5d s  %s\n' "$name" "$version" $(( $(date +%s) - started )) "$folder"
            return 0
        fi
        log=$logs/$name-${version#*:}.log
        : >"$log"
        status=0
        fetch "$name" "$version" "$log" || status=$?
        if [ "$status" -eq 2 ]; then
            echo "win32-libs: $name $version is listed but not served (404); taking the next version" >&2
            echo "$name $version" >>"$unavailable"
            continue
        fi
        [ "$status" -eq 0 ] || fail "$name" "download of $version failed (log: $log)"
        unpack "$name" "$version" "$log"
        rm -rf "$folder.new"
        "$build" "$work/src" "$folder.new" "$log"
        [ -d "$folder.new/include" ] && [ -d "$folder.new/lib" ] || fail "$name" "the install has no include/ or lib/"
        echo "$name $version" >"$folder.new/.complete"
        # The cache holds one version of each library: older builds go.
        local old
        for old in "$cache/$name"-[0-9]*; do
            [ "$old" = "$folder.new" ] || rm -rf "$old"
        done
        mv "$folder.new" "$folder"
        rm -rf "$work"
        printf '%-10s %-22s built  %5d s  %s\n' "$name" "$version" $(( $(date +%s) - started )) "$folder"
        return 0
    done
    fail "$name" "none of the listed versions (${versions[*]}) could be downloaded"
}

library openssl build_openssl
library yaml-cpp build_yaml_cpp
library libxcrypt build_libxcrypt
echo "win32-libs: $cache"
