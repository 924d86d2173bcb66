#!/usr/bin/env bash
# The Windows wizard and its installer under Wine with a virtual display: the portable zip holds
# the two programs; the installer installs silently (files, Start-menu entry, uninstall entry);
# the installed wizard is driven through a whole export by wizard_driver.exe (window messages
# only); its .pst is verified and compared with the Linux export of the same book, its log with
# the command-line tool's; the uninstaller removes everything again.
#
# usage: gui-check.sh WINDOWS_BUILD LINUX_BUILD WINE_LOADER
# WINEPREFIX names a prepared (fresh) prefix with the fonts in, DISPLAY an X server, and no wine
# server may be kept running (the script waits for it to end after registry edits). Prints one
# line per check; exits 1 on any failure.
set -uo pipefail
build=$(cd "$1" && pwd) linux=$(cd "$2" && pwd) loader=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}" "${DISPLAY:?DISPLAY must name an X server}"
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelle-gui-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
pass=0 fail=0
ok() { echo "ok: $*"; pass=$((pass + 1)); }
bad() { echo "FAIL: $*"; fail=$((fail + 1)); }
wine() { "$loader" "$@"; }
wineserver_wait() { /usr/lib/wine/wineserver -w; }
c=$WINEPREFIX/drive_c
# Wine reads command lines and file names in the locale's character set.
export LC_ALL=C.UTF-8

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup=$build/Tarvelle-Setup-$version-x64.exe
portable=$build/Tarvelle-$version-x64-portable.zip

if [ "$(unzip -Z1 "$portable" 2>/dev/null | sort | tr '\n' ' ')" = "tarvelle-export.exe tarvelle.exe " ]; then
  ok "$(basename "$portable") holds the wizard and the command-line tool"
else
  bad "$(basename "$portable"): $(unzip -Z1 "$portable" 2>&1 | tr '\n' ' ')"
fi

# -- install, silently, per user -----------------------------------------------------------------
wine "$setup" /S >"$work/setup.log" 2>&1
status=$?
wineserver_wait
user_dir=$(ls -d "$c/users/"* | grep -v '/Public$' | head -1)
user=$(basename "$user_dir")
installed=$user_dir/AppData/Local/Programs/Tarvelle
installed_win="C:\\users\\$user\\AppData\\Local\\Programs\\Tarvelle"
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tarvelle.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvelle'
if [ $status -eq 0 ] && [ -f "$installed/tarvelle.exe" ] && [ -f "$installed/tarvelle-export.exe" ] &&
  [ -f "$installed/uninstall.exe" ] && [ -f "$shortcut" ]; then
  ok "$(basename "$setup") /S installs both programs, the uninstaller and the Start-menu entry"
else
  bad "install: exit $status; $(ls "$installed" 2>&1 | tr '\n' ' ')"
fi
wine reg query "$uninstall_key" >"$work/key.txt" 2>&1
wineserver_wait
if grep -q 'UninstallString.*uninstall\.exe' "$work/key.txt" && grep -q "DisplayVersion.*$version" "$work/key.txt"; then
  ok "the uninstall entry is in the user's list of apps"
else
  bad "no uninstall entry: $(tr -d '\r' <"$work/key.txt" | head -5)"
fi

# -- the installed wizard, driven through an export -----------------------------------------------
# The book and the output folder under names outside every ANSI code page: the wizard shows and
# picks them.
unicode=Ελληνικά
mkdir -p "$c/BOOKS/$unicode" "$c/EUDORA/GUI" "$c/OUT/$unicode"
cp "$root/examples/NNdbase.txt" "$c/BOOKS/NNdbase.txt"
cp "$root/examples/NNdbase.txt" "$c/BOOKS/$unicode/NNdbase.txt"
cp "$root/examples/NNdbase.txt" "$c/EUDORA/GUI/NNDBASE.TXT"
printf 'Dear diary,\r\nnothing to see here.\r\n' >"$c/BOOKS/notes.txt"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Qualcomm\\Eudora\\CommandLine]\r\n"Current"="C:\\\\EUDORA\\\\EUDORA.EXE C:\\\\EUDORA\\\\GUI C:\\\\EUDORA\\\\GUI\\\\EUDORA.INI"\r\n' >"$work/eudora.reg"
(cd "$work" && wine regedit /S eudora.reg) >/dev/null 2>&1
wineserver_wait

# The wizard first, so that the desktop belongs to a program with windows.
wine "$installed_win\\tarvelle.exe" >"$work/wizard.log" 2>&1 &
wizard=$!
timeout 300 "$loader" "$build/wizard_driver.exe" 'C:\EUDORA\GUI' 'C:\BOOKS\notes.txt' \
  "C:\\BOOKS\\$unicode\\NNdbase.txt" "C:\\OUT\\$unicode" 'C:\OUT\gui-log.txt' \
  >"$work/driver.out" 2>&1
status=$?
sed 's/^/    /' "$work/driver.out"
if [ $status -eq 0 ]; then
  ok "the wizard driven end to end: $(grep -c '^ok: ' "$work/driver.out") checks"
else
  bad "the wizard's driver exited $status"
  kill "$wizard" 2>/dev/null
fi
wait "$wizard" 2>/dev/null

psts=("$c/OUT/$unicode"/*.pst)
if [ ${#psts[@]} -eq 1 ] && [ -f "${psts[0]}" ]; then
  pst=${psts[0]}
  summary=$("$linux/tarvelle-verify" "$pst" 2>&1 | tail -1)
  if [[ "$summary" == *" 0 errors, 0 warnings" ]]; then ok "tarvelle-verify: ${summary##*: }"; else bad "tarvelle-verify: $summary"; fi
  mkdir -p "$work/linux"
  "$linux/tarvelle-export" --file "$root/examples/NNdbase.txt" --out-dir "$work/linux" >/dev/null 2>&1
  "$linux/tarvelle-verify" --dump "$pst" >"$work/wizard.json" 2>/dev/null
  "$linux/tarvelle-verify" --dump "$work/linux"/*.pst >"$work/linux.json" 2>/dev/null
  if python3 "$here/compare_dumps.py" "$work/wizard.json" "$work/linux.json"; then
    ok "the wizard's .pst holds what the Linux export of the same book holds"
  else
    bad "the wizard's .pst differs from the Linux export"
  fi
else
  bad "the wizard wrote ${#psts[@]} .pst files"
fi

# The log shown after the export, line for line the command-line tool's for the same book, after
# the page's own two first lines.
(cd "$work" && wine "$build/tarvelle-export.exe" --file 'C:\BOOKS\NNdbase.txt' --out-dir 'C:\OUT\cli') \
  >"$work/cli.log" 2>/dev/null
tail -n +3 "$c/OUT/gui-log.txt" 2>/dev/null | tr -d '\r' >"$work/wizard-log.txt"
tr -d '\r' <"$work/cli.log" >"$work/cli-log.txt"
if [ -s "$work/cli-log.txt" ] && diff -q "$work/wizard-log.txt" "$work/cli-log.txt" >/dev/null; then
  ok "the wizard's log equals the command-line tool's ($(wc -l <"$work/cli-log.txt") lines)"
else
  bad "the logs differ:"
  diff "$work/wizard-log.txt" "$work/cli-log.txt" | head -20
fi
wineserver_wait

# -- uninstall ------------------------------------------------------------------------------------
wine "$installed_win\\uninstall.exe" /S >/dev/null 2>&1
wineserver_wait
wine reg query "$uninstall_key" >"$work/key.txt" 2>&1
key_status=$?
wineserver_wait
if [ ! -e "$installed" ] && [ ! -e "$shortcut" ] && [ $key_status -ne 0 ]; then
  ok "the uninstaller removes the programs, the Start-menu entry and the uninstall entry"
else
  bad "after uninstalling: $(ls -A "$installed" 2>&1 | tr '\n' ' ') shortcut $([ -e "$shortcut" ] && echo kept || echo gone), reg query exit $key_status"
fi

echo "wizard and installer checks: $pass passed, $fail failed"
[ $fail -eq 0 ]
