#!/bin/sh
# Checks that every translation in translations/ is complete: lupdate run
# over the window's sources on a copy of each .ts file finds no new text,
# drops no vanished one and changes nothing, and no translation is left
# unfinished. English, the texts' own language, carries only the plural
# forms of counted texts. Usage: check-translations.sh [LUPDATE]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
lupdate="${1:-/usr/lib/qt6/bin/lupdate}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$root"/translations/quillframe_*.ts; do
  name="$(basename "$ts")"
  cp "$ts" "$work/$name"
  only=""
  [ "$name" = quillframe_en.ts ] && only="-pluralonly"
  "$lupdate" -silent -no-obsolete -locations none $only "$root/src/shell" -ts "$work/$name" 2> /dev/null
  if ! cmp -s "$ts" "$work/$name"; then
    echo "FAILED: $name is out of date with the sources (run lupdate and translate):" >&2
    diff -u "$ts" "$work/$name" | grep '^[-+] *<source>' >&2 || true
    status=1
  fi
  if grep -q 'type="unfinished"\|type="vanished"\|type="obsolete"' "$ts"; then
    echo "FAILED: $name has unfinished or vanished translations" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "Every translation is complete."
exit "$status"
