#!/usr/bin/env bash
# The Windows tarvelle-export under Wine, end to end: Eudora's command line in the (Wine)
# registry names a data folder; `tarvelle-export.exe --out-dir` finds the book there and writes
# a .pst, which tarvelle-verify and the independent readers then read on the Linux side and
# compare with the Linux build's export of the same book.
#
# usage: export-check.sh WINDOWS_EXE LINUX_EXE WINE_LOADER
# (LINUX_EXE's folder also holds the Linux tarvelle-verify.)
# WINEPREFIX names a prepared (fresh) prefix. Prints one line per check; exits 1 on any failure.
set -uo pipefail
win_exe=$1 linux_exe=$2 loader=$3
verify=$(dirname "$linux_exe")/tarvelle-verify
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelle-export-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
pass=0 fail=0

ok() { echo "ok: $*"; pass=$((pass + 1)); }
bad() { echo "FAIL: $*"; fail=$((fail + 1)); }
wine_run() { "$here/wine-run.sh" "$loader" "$@"; }
import_reg() { (cd "$work" && wine_run regedit /S "$(basename "$1")") >/dev/null 2>&1; }

# Eudora's entry: "<program> <data folder> <ini file>", 8.3-free paths without spaces.
set_command_line() {
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Qualcomm\\Eudora\\CommandLine]\r\n"Current"="%s"\r\n' \
    "$(printf '%s' "$1" | sed 's/\\/\\\\/g')" >"$work/eudora.reg"
  import_reg "$work/eudora.reg"
}

books=("$root/examples/NNdbase.txt" "$root"/tests/data/books/*/NNdbase.txt)

n=0
for book in "${books[@]}"; do
  n=$((n + 1))
  name=$(basename "$(dirname "$book")")
  # Real books are named NNDBASE.TXT as often as NNdbase.txt; Windows finds either.
  data="$WINEPREFIX/drive_c/EUDORA/DATA$n"
  mkdir -p "$data"
  # The whole folder: a data folder's extra books (Nickname/) come along.
  cp -r "$(dirname "$book")"/. "$data/"
  mv "$data/$(basename "$book")" "$data/NNDBASE.TXT"
  set_command_line "C:\\EUDORA\\EUDORA.EXE C:\\EUDORA\\DATA$n C:\\EUDORA\\DATA$n\\EUDORA.INI"

  out_dir="$WINEPREFIX/drive_c/OUT/$n"
  (cd "$work" && wine_run "$win_exe" --out-dir "C:\\OUT\\$n") >"$work/win$n.out" 2>"$work/win$n.err"
  status=$?
  psts=("$out_dir"/*.pst)
  if [ $status -ne 0 ] || [ ${#psts[@]} -ne 1 ] || [ ! -f "${psts[0]}" ]; then
    bad "$name: tarvelle-export.exe exited $status with ${#psts[@]} .pst file(s)"
    sed 's/^/    /' "$work/win$n.err" | head -20
    continue
  fi
  win_pst=${psts[0]}
  if grep -q '^Finished\.\.\.' "$work/win$n.out" && grep -q '^Creating Contact : 1 - ' "$work/win$n.out"; then
    ok "$name: exported through the registry's data folder into $(basename "$win_pst")"
  else
    bad "$name: the progress lines are missing from the output"
  fi

  check=$("$verify" "$win_pst" 2>&1 | tail -1)
  if [[ "$check" == *" 0 errors, 0 warnings" ]]; then
    ok "$name: tarvelle-verify: ${check##*: }"
  else
    bad "$name: tarvelle-verify: $check"
  fi

  mkdir -p "$work/lin$n"
  if ! "$linux_exe" --file "$book" --out-dir "$work/lin$n" >/dev/null 2>"$work/lin$n.err"; then
    bad "$name: the Linux build could not export the book"
    continue
  fi
  lin_pst=$(ls "$work/lin$n"/*.pst)

  # The same items, names, addresses and members, by pypff...
  /usr/bin/python3 "$here/pst_contents.py" "$win_pst" >"$work/win$n.contents" 2>&1
  /usr/bin/python3 "$here/pst_contents.py" "$lin_pst" >"$work/lin$n.contents" 2>&1
  items=$(grep -c '^  item ' "$work/win$n.contents")
  if [ "$items" -gt 0 ] && diff -q "$work/win$n.contents" "$work/lin$n.contents" >/dev/null; then
    ok "$name: pypff reads the same $items items as from the Linux export"
  else
    bad "$name: pypff contents differ from the Linux export"
    diff "$work/win$n.contents" "$work/lin$n.contents" | head -20
  fi
  # ... by readpst (contacts as vCards) ...
  mkdir -p "$work/rw$n" "$work/rl$n"
  readpst -q -r -cv -o "$work/rw$n" "$win_pst" >/dev/null 2>&1
  readpst -q -r -cv -o "$work/rl$n" "$lin_pst" >/dev/null 2>&1
  cards_w=$(cat "$work/rw$n"/*/Contacts/contacts 2>/dev/null)
  cards_l=$(cat "$work/rl$n"/*/Contacts/contacts 2>/dev/null)
  cards=$(grep -c '^BEGIN:VCARD' <<<"$cards_w")
  if [ "$cards" -gt 0 ] && [ "$cards_w" == "$cards_l" ]; then
    ok "$name: readpst reads the same $cards contacts"
  else
    bad "$name: readpst contacts differ ($cards from the Windows export)"
  fi
  # ... and by pffexport (every item exported, as many as from the Linux file).
  pffexport -q -t "$work/pw$n" "$win_pst" >/dev/null 2>&1; pw=$?
  pffexport -q -t "$work/pl$n" "$lin_pst" >/dev/null 2>&1
  count_w=$(find "$work/pw$n.export" -name 'Contact*.txt' -o -name 'DistributionList*.txt' 2>/dev/null | wc -l)
  count_l=$(find "$work/pl$n.export" -name 'Contact*.txt' -o -name 'DistributionList*.txt' 2>/dev/null | wc -l)
  if [ $pw -eq 0 ] && [ "$count_w" -eq "$count_l" ] && [ "$count_w" -gt 0 ]; then
    ok "$name: pffexport exports $count_w contacts and lists, as from the Linux export"
  else
    bad "$name: pffexport exited $pw with $count_w items (Linux export: $count_l)"
  fi
done

# Without Eudora's key the lookup says so and nothing is written.
printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Qualcomm]\r\n' >"$work/remove.reg"
import_reg "$work/remove.reg"
(cd "$work" && wine_run "$win_exe" --out-dir "C:\\OUT\\none") >"$work/none.out" 2>"$work/none.err"
status=$?
written=$(ls -A "$WINEPREFIX/drive_c/OUT/none" 2>/dev/null)
if [ $status -eq 1 ] && grep -q 'Unable to Locate Eudora Installation\.' "$work/none.err" &&
  [ -z "$written" ]; then
  ok "no Eudora key: exit 1 with the installation message, no file"
else
  bad "no Eudora key: exit $status; stderr: $(head -c 300 "$work/none.err")"
fi

echo "export checks: $pass passed, $fail failed"
[ $fail -eq 0 ]
