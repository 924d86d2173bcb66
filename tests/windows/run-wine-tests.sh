#!/usr/bin/env bash
# `make test-windows`: cross-builds Tarvelle for Windows (x86_64 and i686, Debian's mingw-w64):
# the command-line tool, the wizard, the installer and the portable zip, and runs the tests under
# Wine in a fresh temporary prefix: the core unit tests, the Windows-only tests (registry, code
# page, shell, files, manifest) and the end-to-end export through the Wine registry without a
# display; then, on one virtual display (Xvfb), the installer and the wizard driven end to end.
#
# Environment: SHARED (optional reference material for the cross-checks, default ../shared), JOBS, TARVELLE_WINDOWS_ARCHS
# (default "x86_64 i686"), TARVELLE_WINDOWS_BUILD (folder for the build trees, default the
# checkout: build-win64/, build-win32/, build-win-linux/).
# With TARVELLE_WINDOWS_SCREENSHOTS=DIR (`make screenshots-windows`) it builds the 64-bit wizard
# and takes its screenshots into DIR instead of testing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# The reference material is optional: the tests that compare with it skip themselves without it.
shared=${SHARED:-$root/../shared}
shared_flag=()
[ -d "$shared" ] && shared_flag=("-DTARVELLE_SHARED_DIR=$(cd "$shared" && pwd)")
jobs=${JOBS:-$(nproc)}
archs=${TARVELLE_WINDOWS_ARCHS:-x86_64 i686}
builds=${TARVELLE_WINDOWS_BUILD:-$root}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

prefixes=$(mktemp -d "${TMPDIR:-/tmp}/tarvelle-wine.XXXXXX")
stop_wine() {
  local prefix
  for prefix in "$prefixes"/*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  done
}
trap 'stop_wine; [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$prefixes"' EXIT

step() { echo; echo "== $*"; }
# -O2: GCC 12 reports false array-bounds and restrict warnings at -O3, and warnings are errors.
release_flags=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")

# The Linux tool, for comparing the two builds' exports of the same book.
step "Linux tarvelle-export (for comparison)"
linux=$builds/build-win-linux
cmake -S "$root" -B "$linux" -G Ninja "${release_flags[@]}" -DTARVELLE_BUILD_TESTS=OFF \
  -DTARVELLE_BUILD_APP=OFF -DTARVELLE_WERROR=ON "${shared_flag[@]}" >/dev/null
cmake --build "$linux" -j "$jobs" --target tarvelle-export tarvelle-verify

# One virtual display for every GUI check of the run.
xvfb_pid=
start_display() {
  [ -n "$xvfb_pid" ] && return 0
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$prefixes/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$prefixes/display" ] && break; sleep 0.1; done
  gui_display=:$(head -1 "$prefixes/display")
}

shots=${TARVELLE_WINDOWS_SCREENSHOTS:-}
[ -n "$shots" ] && archs=x86_64

summary=()
failed=0
for arch in $archs; do
  case $arch in
    x86_64) dir=build-win64 loader=/usr/lib/wine/wine64 winearch=win64 ;;
    i686) dir=build-win32 loader=/usr/lib/wine/wine winearch=win32 ;;
    *) echo "unknown architecture $arch" >&2; exit 2 ;;
  esac
  build=$builds/$dir
  toolchain=$root/cmake/toolchains/$arch-w64-mingw32.cmake

  # (GoogleTest is built from its sources with the tests: no Windows build of it is installed.)
  step "$arch: cross-build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${release_flags[@]}" \
    -DTARVELLE_WERROR=ON "${shared_flag[@]}" >/dev/null
  # The tool and one test program first: whether Wine runs them decides what else to build.
  cmake --build "$build" -j "$jobs" --target tarvelle-export windows_test tarvelle

  if [ -n "$shots" ]; then
    cmake --build "$build" -j "$jobs" --target tarvelle wizard_driver
    step "screenshots of the wizard"
    "$here/screenshots.sh" "$build" "$loader" "$shots"
    exit $?
  fi

  step "$arch: fresh Wine prefix"
  export WINEPREFIX=$prefixes/$arch WINEARCH=$winearch
  mkdir -p "$WINEPREFIX"
  # One persistent wine server for the whole run instead of one per test program.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  "$loader" wineboot --init >"$prefixes/$arch-wineboot.log" 2>&1 || true
  # Debian's Wine does not load the fonts it ships unless they are in the prefix.
  for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    cp /usr/share/wine/fonts/$font "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  done
  # A program that really ran lists its tests; a Wine that cannot run it may still exit 0.
  listing=$("$here/wine-run.sh" "$loader" "$build/windows_test.exe" --gtest_list_tests 2>&1 || true)
  if ! grep -q '^RegistryWinTest\.' <<<"$listing"; then
    reason="Wine cannot run $arch programs on this machine (for i686: a kernel without 32-bit support, or wine32:i386 missing)"
    if [ "$arch" = i686 ]; then
      echo "$reason: the $arch build is checked without running it"
      # (ctest would run every test program to list its tests, so the check runs directly.)
      python3 "$here/check_manifest.py" "$build/tarvelle-export.exe" x86 plain || failed=1
      python3 "$here/check_manifest.py" "$build/tarvelle.exe" x86 dpi-aware || failed=1
      cmake --build "$build" -j "$jobs" --target windows-installer || failed=1
      summary+=("$arch: wizard, installer and zip built; manifests checked; tests NOT run: $reason")
      continue
    fi
    echo "$reason"; echo "$listing" | head -20
    failed=1
    summary+=("$arch: tests could not run")
    continue
  fi
  cmake --build "$build" -j "$jobs"
  cmake --build "$build" -j "$jobs" --target windows-installer

  step "$arch: tests under Wine"
  if ctest --test-dir "$build" -j "$jobs" --output-on-failure; then
    summary+=("$arch: ctest passed")
  elif ctest --test-dir "$build" --rerun-failed --output-on-failure; then
    # Under load Wine now and then fails to start a program at all (no output, not even
    # gtest's first line); such a test runs once more, alone. A real failure fails twice.
    summary+=("$arch: ctest passed (tests that failed once passed when run again)")
  else
    failed=1
    summary+=("$arch: ctest FAILED")
  fi

  step "$arch: export through the Wine registry"
  if "$here/export-check.sh" "$build/tarvelle-export.exe" "$linux/tarvelle-export" "$loader"; then
    summary+=("$arch: export checks passed")
  else
    failed=1
    summary+=("$arch: export checks FAILED")
  fi
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

  step "$arch: installer and wizard on a virtual display"
  start_display
  # A wine server that ends when its programs do: the checks wait for it after registry edits.
  if DISPLAY=$gui_display "$here/gui-check.sh" "$build" "$linux" "$loader"; then
    summary+=("$arch: installer and wizard checks passed")
  else
    failed=1
    summary+=("$arch: installer and wizard checks FAILED")
  fi
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
done

step "Windows summary"
printf '%s\n' "${summary[@]}"
exit $failed
