#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: wine-run.sh LOADER PROGRAM [ARGS...].
# It never touches ~/.wine: the caller names the prefix in WINEPREFIX (a fresh temporary one).
set -euo pipefail
loader=$1
shift
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; refusing to use the home directory's prefix" >&2
  exit 2
fi
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec "$loader" "$@"
