# shellcheck shell=bash
# How the Debian package's programs are configured, and whether an existing
# build folder was configured the same way. Sourced by package.sh, and by
# test.sh, which configures build/ like this so that package.sh can make the
# package from the build the tests ran on instead of compiling it again.
# Call from the source root: the flags name it (-ffile-prefix-map).

# Debian's own compiler and linker flags (hardening included), as a Debian
# build would pass them. RelWithDebInfo adds what they already say (-O2 -g)
# and NDEBUG: the package gets Debian's optimisation level, and the tests
# keep debug info and the optimisation they have always run at. cpack strips
# the programs.
korvanthine_deb_build_args() {
    local cxxflags cppflags ldflags
    cxxflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)
    cppflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)
    ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
    # shellcheck disable=SC2034 # for the scripts that source this file
    KORVANTHINE_DEB_BUILD_ARGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
                                "-DCMAKE_CXX_FLAGS=$cxxflags $cppflags"
                                "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
                                -DKORVANTHINE_BUILD_PANEL=ON -DKORVANTHINE_SANITIZE=OFF)
}

# The value build folder $1 holds for cache entry $2 (any type).
korvanthine_cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" | head -n1
}

# Succeeds when build folder $1 was configured from this source tree with
# each of the -DNAME=VALUE arguments that follow; otherwise says what differs.
korvanthine_configured_with() {
    local dir=$1 arg name want have
    shift
    [ -f "$dir/CMakeCache.txt" ] || { echo "$dir is not a configured build folder"; return 1; }
    have=$(korvanthine_cache_value "$dir" CMAKE_HOME_DIRECTORY)
    [ "$have" -ef . ] || { echo "$dir was configured from $have"; return 1; }
    for arg in "$@"; do
        arg=${arg#-D}
        name=${arg%%=*}
        name=${name%%:*}
        want=${arg#*=}
        have=$(korvanthine_cache_value "$dir" "$name")
        [ "$have" = "$want" ] || { echo "$dir has $name=$have, not $want"; return 1; }
    done
}
