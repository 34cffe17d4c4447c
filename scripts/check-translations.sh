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

# The metainfo carries its translations inline (xml:lang): each text a
# software centre shows (summary, description, screenshot captions,
# keywords, release notes) has one in every language the window has.
languages="$(cd "$root/translations" && ls quillframe_*.ts | sed 's/quillframe_\(.*\)\.ts/\1/' | grep -vx en)"
python3 - "$root/data/example.morvane.Quillframe.metainfo.xml" $languages <<'PY' || status=1
import sys
import xml.etree.ElementTree as ET
lang = "{http://www.w3.org/XML/1998/namespace}lang"
root = ET.parse(sys.argv[1]).getroot()
missing = []
for tag in ("summary", "p", "li", "caption", "keyword"):
    english = [e for e in root.iter(tag) if e.get(lang) is None]
    for code in sys.argv[2:]:
        count = sum(1 for e in root.iter(tag) if e.get(lang) == code)
        if count != len(english):
            missing.append(f"{code}: {count} of {len(english)} <{tag}>")
for line in missing:
    print(f"FAILED: the metainfo's translations are incomplete: {line}", file=sys.stderr)
sys.exit(1 if missing else 0)
PY
[ "$status" -eq 0 ] && echo "Every translation is complete."
exit "$status"
