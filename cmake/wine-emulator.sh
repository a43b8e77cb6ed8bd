#!/bin/sh
# Runs a Windows program of the cross build under Wine: the test programs,
# and GoogleTest's listing of them at build time. Without a WINEPREFIX of
# the caller's it takes the project's own (scripts/test-wine.sh makes it),
# never ~/.wine.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/korvanthine-wine/prefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
if [ -x /usr/lib/wine/wine64 ]; then
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine64 "$@"
