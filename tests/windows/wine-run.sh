#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine without a display: wine-run.sh LOADER PROGRAM
# [ARGS...]. It never touches ~/.wine: the caller names the prefix in WINEPREFIX.
: "${WINEPREFIX:?wine-run.sh: WINEPREFIX must name the prefix to use, not the one in the home directory}"
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec "$@"
