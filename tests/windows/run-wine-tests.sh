#!/usr/bin/env bash
# `make test-windows`: cross-builds Tarvelle for Windows (x86_64 and i686, Debian's mingw-w64):
# the command-line tool, the wizard, the installer and the portable zip, and tests them under Wine
# in fresh temporary prefixes: ctest (unit tests, Windows-only tests, manifests); the export
# through Eudora's key in the Wine registry; then, on a virtual display (Xvfb), the installer and
# the wizard driven end to end by wizard_driver.exe. Every .pst is read with tarvelle-verify: no
# errors or warnings, and its --dump equal to the Linux build's export of the same book.
#
# Environment: SHARED (optional reference material, default ../shared), JOBS,
# TARVELLE_WINDOWS_ARCHS (default "x86_64 i686"), TARVELLE_WINDOWS_BUILD (folder for build-win64/,
# build-win32/ and build-win-linux/, default the checkout). With TARVELLE_WINDOWS_SCREENSHOTS=DIR
# (`make screenshots-windows`) it takes the 64-bit wizard's screenshots into DIR instead.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
shared=${SHARED:-$root/../shared}
shared_flag=()
[ -d "$shared" ] && shared_flag=("-DTARVELLE_SHARED_DIR=$(cd "$shared" && pwd)")
jobs=${JOBS:-$(nproc)}
archs=${TARVELLE_WINDOWS_ARCHS:-x86_64 i686}
builds=${TARVELLE_WINDOWS_BUILD:-$root}
shots=${TARVELLE_WINDOWS_SCREENSHOTS:-}
[ -n "$shots" ] && archs=x86_64 && mkdir -p "$shots" && shots=$(cd "$shots" && pwd)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# One temporary folder for the whole run: the prefixes, the display's number, every check's files.
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelle-wine.XXXXXX")
xvfb=
cleanup() {
  for prefix in "$work"/prefix-*; do WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1; done
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

step() { echo; echo "== $*"; }
ok() { echo "ok: $*"; }
bad() { echo "FAIL: $*"; failures=$((failures + 1)); }
configure() { cmake -S "$root" -B "$@" -G Ninja "${release_flags[@]}" -DTARVELLE_WERROR=ON \
  "${shared_flag[@]}" >/dev/null || exit 1; }
build() { cmake --build "$@" -j "$jobs" || exit 1; }
# -O2: GCC 12 reports false array-bounds and restrict warnings at -O3, and warnings are errors.
release_flags=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")

# A fresh prefix in $WINEPREFIX: Debian's Wine does not load the fonts it ships unless they are in it.
new_prefix() {
  export WINEPREFIX=$work/prefix-$1
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot --init >"$work/wineboot-$1.log" 2>&1
  cp /usr/share/wine/fonts/{tahoma,tahomabd,marlett}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  c=$WINEPREFIX/drive_c
}
# Runs a Windows program quietly and waits until Wine has saved what it changed; its exit status.
run() { "$loader" "$@" >/dev/null 2>&1; local status=$?; /usr/lib/wine/wineserver -w; return $status; }
# Imports registry keys (REGEDIT4 lines) with regedit.
import_reg() {
  printf 'REGEDIT4\n\n%s\n' "$1" | sed 's/$/\r/' >"$work/import.reg"
  (cd "$work" && run regedit /S import.reg)
}
# Eudora's command line in the registry: its data folder DIR (a Windows path without spaces).
eudora_key() {
  local dir=${1//\\/\\\\}
  import_reg "[HKEY_CURRENT_USER\\Software\\Qualcomm\\Eudora\\CommandLine]
\"Current\"=\"C:\\\\EUDORA\\\\EUDORA.EXE $dir $dir\\\\EUDORA.INI\""
}
# The wizard's files: Eudora's data folder C:\EUDORA\DATA, a book and a text that is no book in
# C:\BOOKS, and the book again in a folder whose name is outside every ANSI code page.
greek=Ελληνικά
wizard_files() {
  mkdir -p "$c/BOOKS/$greek" "$c/EUDORA/DATA" "$c/OUT/$greek"
  for book in BOOKS/NNdbase.txt "BOOKS/$greek/NNdbase.txt" EUDORA/DATA/NNDBASE.TXT; do cp "$root/examples/NNdbase.txt" "$c/$book"; done
  printf 'Dear diary,\r\nnothing to see here.\r\n' >"$c/BOOKS/notes.txt"
  eudora_key 'C:\EUDORA\DATA'
}
start_display() {
  [ -n "$xvfb" ] && return 0
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  display=:$(head -1 "$work/display")
}
# A .pst written under Wine: tarvelle-verify finds no errors or warnings, and its dump equals the
# dump of the Linux build's export of BOOK except what each run makes afresh.
check_pst() {
  local name=$1 pst=$2 book=$3 summary out
  summary=$("$linux/tarvelle-verify" "$pst" 2>&1 | tail -1)
  [[ "$summary" == *" 0 errors, 0 warnings" ]] && ok "$name: tarvelle-verify: ${summary##*: }" ||
    bad "$name: tarvelle-verify: $summary"
  out=$(mktemp -d "$work/linux.XXXX")
  "$linux/tarvelle-export" --file "$book" --out-dir "$out" >/dev/null 2>&1 &&
    "$linux/tarvelle-verify" --dump "$pst" >"$out/windows.json" 2>/dev/null &&
    "$linux/tarvelle-verify" --dump "$out"/*.pst >"$out/linux.json" 2>/dev/null &&
    python3 "$here/compare_dumps.py" "$out/windows.json" "$out/linux.json" &&
    ok "$name: the same contents as the Linux build's export" ||
    bad "$name: the contents differ from the Linux build's export"
}

# tarvelle-export.exe --out-dir finds each book through Eudora's key in the registry.
export_checks() (
  failures=0 n=0
  for book in "$root/examples/NNdbase.txt" "$root"/tests/data/books/*/NNdbase.txt; do
    n=$((n + 1)) name=$(basename "$(dirname "$book")")
    # The whole folder (a data folder's extra books come along), the book named NNDBASE.TXT as
    # real ones often are: Windows finds either spelling.
    mkdir -p "$c/EUDORA/DATA$n"
    cp -r "$(dirname "$book")"/. "$c/EUDORA/DATA$n/"
    mv "$c/EUDORA/DATA$n/NNdbase.txt" "$c/EUDORA/DATA$n/NNDBASE.TXT"
    eudora_key "C:\\EUDORA\\DATA$n"
    (cd "$work" && "$loader" "$build/tarvelle-export.exe" --out-dir "C:\\OUT\\$n") \
      >/dev/null 2>"$work/err"
    status=$? psts=("$c/OUT/$n"/*.pst)
    if [ $status -eq 0 ] && [ ${#psts[@]} -eq 1 ] && [ -f "${psts[0]}" ]; then check_pst "$name" "${psts[0]}" "$book"
    else bad "$name: tarvelle-export.exe exited $status with ${#psts[@]} .pst file(s)"; head -20 "$work/err"; fi
  done
  [ $failures -eq 0 ]
)

# The portable zip; the installer run silently; the installed wizard driven through an export of
# a book and into a folder whose names are outside every ANSI code page; the uninstaller.
gui_checks() (
  failures=0
  # Wine reads command lines and file names in the locale's character set.
  export LC_ALL=C.UTF-8 DISPLAY=$display
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  zip_list=$(unzip -Z1 "$build/Tarvelle-$version-$package-portable.zip" 2>&1 | sort | tr '\n' ' ')
  [ "$zip_list" = "tarvelle-export.exe tarvelle.exe " ] &&
    ok "the portable zip holds the wizard and the command-line tool" || bad "portable zip: $zip_list"

  run "$build/Tarvelle-Setup-$version-$package.exe" /S; status=$?
  user=$(find "$c/users" -mindepth 1 -maxdepth 1 ! -name Public -printf '%f\n' | head -1)
  installed=$c/users/$user/AppData/Local/Programs/Tarvelle
  installed_win="C:\\users\\$user\\AppData\\Local\\Programs\\Tarvelle"
  shortcut="$c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tarvelle.lnk"
  key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvelle'
  [ $status -eq 0 ] && [ -f "$installed/tarvelle.exe" ] && [ -f "$installed/uninstall.exe" ] &&
    [ -f "$installed/tarvelle-export.exe" ] && [ -f "$shortcut" ] &&
    ok "the installer /S installs both programs, the uninstaller and the Start-menu entry" ||
    bad "install: exit $status; $(ls "$installed" 2>&1 | tr '\n' ' ')"
  "$loader" reg query "$key" >"$work/key" 2>&1
  grep -q 'UninstallString.*uninstall\.exe' "$work/key" && grep -q "DisplayVersion.*$version" "$work/key" &&
    ok "the uninstall entry is in the user's list of apps" || bad "no uninstall entry: $(head -5 "$work/key")"

  wizard_files
  # The wizard first, so that the desktop belongs to a program with windows.
  "$loader" "$installed_win\\tarvelle.exe" >/dev/null 2>&1 & wizard=$!
  timeout 300 "$loader" "$build/wizard_driver.exe" 'C:\EUDORA\DATA' 'C:\BOOKS\notes.txt' \
    "C:\\BOOKS\\$greek\\NNdbase.txt" "C:\\OUT\\$greek" 'C:\OUT\gui-log.txt' >"$work/driver" 2>&1
  status=$?
  sed 's/^/    /' "$work/driver"
  [ $status -eq 0 ] && ok "the wizard driven end to end: $(grep -c '^ok: ' "$work/driver") checks" ||
    { bad "the wizard's driver exited $status"; kill "$wizard" 2>/dev/null; }
  wait "$wizard" 2>/dev/null
  psts=("$c/OUT/$greek"/*.pst)
  if [ ${#psts[@]} -eq 1 ] && [ -f "${psts[0]}" ]; then check_pst wizard "${psts[0]}" "$root/examples/NNdbase.txt"
  else bad "the wizard wrote ${#psts[@]} .pst files"; fi
  # The log shown after the export is the command-line tool's for the same book, after the page's
  # own two first lines.
  (cd "$work" && "$loader" "$build/tarvelle-export.exe" --file 'C:\BOOKS\NNdbase.txt' \
    --out-dir 'C:\OUT\cli') 2>/dev/null | tr -d '\r' >"$work/cli-log"
  tail -n +3 "$c/OUT/gui-log.txt" 2>/dev/null | tr -d '\r' >"$work/wizard-log"
  [ -s "$work/cli-log" ] && diff "$work/wizard-log" "$work/cli-log" &&
    ok "the wizard's log equals the command-line tool's ($(wc -l <"$work/cli-log") lines)" ||
    bad "the wizard's log differs from the command-line tool's"
  /usr/lib/wine/wineserver -w

  run "$installed_win\\uninstall.exe" /S
  run reg query "$key"; status=$?
  [ ! -e "$installed" ] && [ ! -e "$shortcut" ] && [ $status -ne 0 ] &&
    ok "the uninstaller removes the programs, the Start-menu entry and the uninstall entry" ||
    bad "after uninstalling: $(ls -A "$installed" 2>&1 | tr '\n' ' ') reg query exit $status"
  [ $failures -eq 0 ]
)

# Both pages, the About box and the progress page after an export, at 96 and 144 dots per inch,
# as windows-<name>-<dpi>dpi.png: the driver stops at each moment and says where the window is.
screenshots() {
  start_display
  export DISPLAY=$display WINEARCH=win64
  for dpi in 96 144; do
    new_prefix "shots-$dpi" && wizard_files
    # Every program in one virtual desktop filling the screen, where Wine draws the frames itself.
    import_reg "$(printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x' "$dpi")
[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
\"Desktop\"=\"Default\"
[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
\"Default\"=\"1024x768\""
    # A wine server of its own, so that none inherits the driver's pipe and holds it open.
    /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null
    "$loader" "$build/tarvelle.exe" >/dev/null 2>&1 </dev/null &
    coproc driver { TARVELLE_DRIVER_SHOTS=1 "$loader" "$build/wizard_driver.exe" 'C:\EUDORA\DATA' \
      'C:\BOOKS\notes.txt' 'C:\BOOKS\NNdbase.txt' 'C:\OUT' 'C:\OUT\log.txt' 2>&1; }; driver_pid=$!
    # The driver's last line ends the loop, and so does a driver quiet for two minutes.
    while IFS= read -r -t 120 line <&"${driver[0]}"; do
      line=${line%$'\r'}
      if [[ "$line" == shot\ * ]]; then
        read -r _ name x y w h <<<"$line"
        import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage \
          "$shots/windows-$name-${dpi}dpi.png" && echo "$shots/windows-$name-${dpi}dpi.png"
        echo >&"${driver[1]}"
      fi
      [[ "$line" == FAIL* ]] && echo "$line"
      [[ "$line" == "wizard checks:"* ]] && break
    done
    /usr/lib/wine/wineserver -k >/dev/null 2>&1
    wait "$driver_pid" || { echo "the driver failed at $dpi dpi" >&2; return 1; }
  done
}

# The Linux tool, for comparing the two builds' exports of the same book.
step "Linux tarvelle-export (for comparison)"
linux=$builds/build-win-linux
configure "$linux" -DTARVELLE_BUILD_TESTS=OFF -DTARVELLE_BUILD_APP=OFF
build "$linux" --target tarvelle-export tarvelle-verify

summary=() failed=0
result() { "${@:2}" && summary+=("$arch: $1 passed") || { failed=1; summary+=("$arch: $1 FAILED"); }; }
for arch in $archs; do
  case $arch in
    x86_64) dir=build-win64 loader=/usr/lib/wine/wine64 winearch=win64 package=x64 ;;
    i686) dir=build-win32 loader=/usr/lib/wine/wine winearch=win32 package=x86 ;;
    *) echo "unknown architecture $arch" >&2; exit 2 ;;
  esac
  build=$builds/$dir

  # (GoogleTest is built from its sources with the tests: no Windows build of it is installed.)
  step "$arch: cross-build"
  configure "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake"
  if [ -n "$shots" ]; then
    build "$build" --target tarvelle wizard_driver
    step "screenshots of the wizard" && screenshots
    exit $?
  fi
  # The tool and one test program first: whether Wine runs them decides what else to build.
  build "$build" --target tarvelle-export windows_test tarvelle

  step "$arch: fresh Wine prefix"
  export WINEARCH=$winearch && new_prefix "$arch"
  # One persistent wine server for ctest instead of one per test program.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null
  # A program that really ran lists its tests; a Wine that cannot run it may still exit 0.
  if ! "$here/wine-run.sh" "$loader" "$build/windows_test.exe" --gtest_list_tests 2>&1 |
    grep -q '^RegistryWinTest\.'; then
    reason="Wine cannot run $arch programs on this machine (for i686: a kernel without 32-bit support, or wine32:i386 missing)"
    echo "$reason"
    [ "$arch" = i686 ] || { failed=1; summary+=("$arch: tests could not run"); continue; }
    # (ctest would run every test program to list its tests, so the manifests are checked here.)
    python3 "$here/check_manifest.py" "$build/tarvelle-export.exe" x86 plain &&
      python3 "$here/check_manifest.py" "$build/tarvelle.exe" x86 dpi-aware &&
      cmake --build "$build" -j "$jobs" --target windows-installer || failed=1
    summary+=("$arch: wizard, installer and zip built; manifests checked; tests NOT run: $reason")
    continue
  fi
  build "$build" && build "$build" --target windows-installer

  step "$arch: tests under Wine"
  # Under load Wine now and then fails to start a program at all (no output, not even gtest's
  # first line); such a test runs once more, alone. A real failure fails twice.
  result ctest eval 'ctest --test-dir "$build" -j "$jobs" --output-on-failure ||
    ctest --test-dir "$build" --rerun-failed --output-on-failure'
  # From here on no persistent wine server: the checks wait for it to end after registry edits.
  /usr/lib/wine/wineserver -k >/dev/null 2>&1

  step "$arch: export through the Wine registry"
  result "export checks" export_checks

  step "$arch: installer and wizard on a virtual display" && start_display
  result "installer and wizard checks" gui_checks
  /usr/lib/wine/wineserver -k >/dev/null 2>&1
done

step "Windows summary"
printf '%s\n' "${summary[@]}"
exit $failed
