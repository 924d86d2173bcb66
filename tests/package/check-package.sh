#!/usr/bin/env bash
# Checks the Debian package as a user and Debian's tools see it: lintian, the desktop entry,
# the AppStream data and the manual pages; then runs the programs from the unpacked package.
# usage: check-package.sh PACKAGE.deb EXAMPLE_BOOK
set -euo pipefail
deb=$(realpath "$1")
book=$(realpath "$2")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== lintian"
lintian --fail-on error --no-tag-display-limit "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$root/pkg"
usr=$root/pkg/usr
echo "== desktop entry, AppStream data"
desktop-file-validate "$usr"/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml || fail "AppStream data"
for size in 48x48 scalable; do
  ls "$usr/share/icons/hicolor/$size/apps/"tarvelle.* >/dev/null || fail "no $size icon"
done

echo "== manual pages"
for program in tarvelle tarvelle-export tarvelle-verify; do
  [ -x "$usr/bin/$program" ] || fail "$program missing"
  page=$usr/share/man/man1/$program.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man $program"
  [ -z "$warnings" ] || fail "man $program: $warnings"
done
# Every option the command-line programs accept is documented in their manual page.
for program in tarvelle-export tarvelle-verify; do
  text=$(zcat "$usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
  for option in $("$usr/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "$program: $option is not in its manual page"
  done
done

echo "== the unpacked programs"
"$usr/bin/tarvelle-export" --file "$book" --out-dir "$root/out" >"$root/log" 2>"$root/err" \
  || { cat "$root/err"; fail "tarvelle-export"; }
pst=$(tail -n 1 "$root/err")
[ -f "$pst" ] || fail "no .pst at '$pst'"
"$usr/bin/tarvelle-verify" "$pst" || fail "tarvelle-verify"
# The wizard starts and keeps running until it is stopped (124 is timeout's "still running").
status=0
QT_QPA_PLATFORM=offscreen HOME="$root" timeout 5 "$usr/bin/tarvelle" >"$root/gui" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$root/gui"; fail "the wizard ended with status $status"; }
echo "package checks passed: $(basename "$deb")"
