#!/usr/bin/env bash
# Screenshots of the Windows wizard under Wine for the documentation: both pages, the About box
# and the progress page after an export, at 96 and 144 dots per inch, into OUT_DIR as
# windows-<name>-<dpi>dpi.png. `make screenshots-windows` (run-wine-tests.sh) builds first.
#
# usage: screenshots.sh WINDOWS_BUILD WINE_LOADER OUT_DIR
set -euo pipefail
build=$(cd "$1" && pwd) loader=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelle-shots.XXXXXX")
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")

for dpi in 96 144; do
  export WINEPREFIX=$work/prefix
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot --init >/dev/null 2>&1 || true
  for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    cp /usr/share/wine/fonts/$font "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  c=$WINEPREFIX/drive_c
  mkdir -p "$c/BOOKS" "$c/EUDORA/DATA" "$c/OUT"
  cp "$root/examples/NNdbase.txt" "$c/BOOKS/NNdbase.txt"
  cp "$root/examples/NNdbase.txt" "$c/EUDORA/DATA/NNDBASE.TXT"
  printf 'Dear diary,\r\nnothing to see here.\r\n' >"$c/BOOKS/notes.txt"
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n\r\n[HKEY_CURRENT_USER\\Software\\Qualcomm\\Eudora\\CommandLine]\r\n"Current"="C:\\\\EUDORA\\\\EUDORA.EXE C:\\\\EUDORA\\\\DATA C:\\\\EUDORA\\\\DATA\\\\EUDORA.INI"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n' \
    "$dpi" >"$work/settings.reg"
  (cd "$work" && "$loader" regedit /S settings.reg) >/dev/null 2>&1
  /usr/lib/wine/wineserver -w

  # A wine server of its own, so that none inherits the driver's pipe and holds it open.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null
  # The wizard first. Every program runs in one virtual desktop filling the screen (the registry
  # above), where Wine draws the window frames itself.
  "$loader" "$build/tarvelle.exe" >/dev/null 2>&1 </dev/null &
  coproc driver { TARVELLE_DRIVER_SHOTS=1 "$loader" "$build/wizard_driver.exe" 'C:\EUDORA\DATA' \
    'C:\BOOKS\notes.txt' 'C:\BOOKS\NNdbase.txt' 'C:\OUT' 'C:\OUT\log.txt' 2>&1; }
  driver_pid=$driver_PID
  # Wine's service programs may hold the driver's pipe open after it ends: the driver's last line
  # ends the loop, and a driver that goes quiet for two minutes too.
  while IFS= read -r -t 120 line <&"${driver[0]}"; do
    line=${line%$'\r'}
    if [[ "$line" == shot\ * ]]; then
      read -r _ name x y w h <<<"$line"
      import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage \
        "$out/windows-$name-${dpi}dpi.png"
      echo "$out/windows-$name-${dpi}dpi.png"
      echo >&"${driver[1]}"
    elif [[ "$line" == FAIL* ]]; then
      echo "$line"
    elif [[ "$line" == "wizard checks:"* ]]; then
      break
    fi
  done
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  wait "$driver_pid" || { echo "the driver failed at $dpi dpi" >&2; exit 1; }
done
