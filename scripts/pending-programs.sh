#!/usr/bin/env bash
# Programs that the packages will carry but that this tree does not build
# yet. The packaging picks each up as soon as its target exists; until then
# the package checks skip it with a note instead of failing. Delete a name
# here once its program is in the tree.
#   korvanthine-ctl       the command-line program (ctl/)
#   korvanthine.exe       the panel as a Win32 program in the MinGW build
#   korvanthine-ctl.exe   the command-line program in the MinGW build
# Sourced by package.sh and test-package.sh.
KORVANTHINE_PENDING_PROGRAMS=(korvanthine-ctl korvanthine.exe korvanthine-ctl.exe)

korvanthine_pending() {
    local name
    for name in "${KORVANTHINE_PENDING_PROGRAMS[@]}"; do
        [ "$name" = "$1" ] && return 0
    done
    return 1
}
