#!/usr/bin/env bash
# Checks the install of an existing build (default build/, as scripts/test.sh
# leaves it): installs it into a staging prefix, moves that tree elsewhere
# (an install must run from wherever its prefix is), then runs the installed
# programs, converts the demo animation with the installed quillframe-cli and
# validates the menu entry, the metainfo, the icons, the manual pages, the
# translations and the bash completion.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_BUILD_DIR:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/staged" > /dev/null
mv "$work/staged" "$work/moved"
prefix="$work/moved"
id=example.morvane.Quillframe
cli="$prefix/bin/quillframe-cli"
window="$prefix/bin/quillframe"

for f in bin/quillframe bin/quillframe-cli share/quillframe/Skin.qss \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/quillframe.svg \
         share/man/man1/quillframe.1 share/man/man1/quillframe-cli.1 \
         share/bash-completion/completions/quillframe-cli \
         share/zsh/vendor-completions/_quillframe-cli \
         share/fish/vendor_completions.d/quillframe-cli.fish \
         share/doc/quillframe/copyright; do
  [ -s "$prefix/$f" ] || fail "the install lacks $f"
done
compgen -G "$prefix/lib*/quillframe/quillframe-video.so" > /dev/null || fail "the install lacks its clip module"

for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/quillframe.png"
  [ "$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')" = "${size}x${size}" ] \
    || fail "$png is not ${size}x${size}"
done

# SingleMainWindow (desktop entry 1.5) is newer than Debian 12's validator,
# which reports it as unknown; every other complaint fails the check.
if ! desktop-file-validate "$prefix/share/applications/$id.desktop" > "$work/desktop.log" 2>&1; then
  grep -v 'key "SingleMainWindow"' "$work/desktop.log" | grep . && fail "the desktop entry does not validate"
fi
grep -qx "SingleMainWindow=true" "$prefix/share/applications/$id.desktop" || fail "SingleMainWindow missing"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml" > "$work/appstream.log" \
  || { cat "$work/appstream.log"; fail "the metainfo does not validate"; }
grep -qx "Exec=quillframe %f" "$prefix/share/applications/$id.desktop" || fail "Exec= changed"
for lang in de fr es pt_BR ja zh_CN; do
  [ -s "$prefix/share/quillframe/translations/quillframe_$lang.qm" ] || fail "the install lacks the $lang translation"
done
grep -q '^GenericName\[de\]=' "$prefix/share/applications/$id.desktop" || fail "the menu entry is not translated"

# Every section of both manual pages, and no line past 80 columns.
for page in quillframe quillframe-cli; do
  file="$prefix/share/man/man1/$page.1"
  for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS '"EXIT STATUS"' ENVIRONMENT FILES EXAMPLES '"SEE ALSO"'; do
    grep -qx "\.SH $section" "$file" || fail "$page(1) lacks the section $section"
  done
  grep -q "Line sketch" "$file" || fail "$page(1) lacks the effects"
  text="$(MANWIDTH=80 man -l "$file" 2> /dev/null)" || fail "man cannot show $page(1)"
  wide="$(awk 'length > 80' <<< "$text" | wc -l)"
  [ "$wide" -eq 0 ] || fail "$page(1) has $wide lines past 80 columns"
done

# The bash completion offers the commands, the flags, the variants by name
# and number, and only the files the commands read.
complete_words() {
  (
    cd "$work/files"
    # shellcheck disable=SC1090
    source "$prefix/share/bash-completion/completions/quillframe-cli"
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _quillframe_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
  )
}
mkdir -p "$work/files/out"
touch "$work/files/a.gif" "$work/files/b.WEBP" "$work/files/c.png"
expect() { [ "$1" = "$2" ] || fail "completing '$3' gave '$1', not '$2'"; }
expect "$(complete_words quillframe-cli s)" "snapshots " "quillframe-cli s"
expect "$(complete_words quillframe-cli convert --v)" "--variant " "convert --v"
expect "$(complete_words quillframe-cli convert --variant pe)" "pencil-on-paper " "--variant pe"
expect "$(complete_words quillframe-cli convert -v 1)" "1 10 11 12 13 14 15 16 " "-v 1"
expect "$(complete_words quillframe-cli convert --no-)" "--no-adjust --no-audio --no-mix-color " "convert --no-"
expect "$(complete_words quillframe-cli info '')" "a.gif b.WEBP c.png out " "info <files>"
expect "$(complete_words quillframe-cli convert --out-dir '')" "out " "--out-dir <folders>"

# Both programs answer --version and --help without a display.
"$cli" --version | grep -qx "quillframe-cli (Quillframe) [0-9.]*" || fail "quillframe-cli --version"
env -u DISPLAY -u WAYLAND_DISPLAY "$window" --version | grep -qx "quillframe (Quillframe) [0-9.]*" \
  || fail "quillframe --version"
env -u DISPLAY -u WAYLAND_DISPLAY "$window" --help | grep -q "^Usage: quillframe" || fail "quillframe --help"

# The installed command line converts the demo animation.
"$build/tools/make_demo_gif" "$work/demo.gif"
"$cli" convert "$work/demo.gif" "$work/sketch.gif" --variant 6 --quiet
# Same size, frame count, delays and loop count as the source.
timing() { "$cli" info "$1" | grep -E '^(size|frames|delays|loop):'; }
want="$(timing "$work/demo.gif")"
[ "$(wc -l <<< "$want")" -eq 4 ] && [ "$(timing "$work/sketch.gif")" = "$want" ] \
  || fail "the converted demo differs from its source in size, frames, delays or loop"

# It loads its clip module from the moved tree: a clip is read and one written.
"$cli" convert "$root/tests/data/clips/ten.webm" "$work/clip.mp4" --variant 6 --quiet \
  || fail "the installed quillframe-cli cannot convert a clip"
"$cli" info "$work/clip.mp4" | grep -q '^frames:' || fail "the installed quillframe-cli cannot read the clip it wrote"

# The installed window starts under Xvfb and stays up until it is stopped
# (its own runtime folder keeps it clear of a window the user has open).
mkdir -p "$work/home" && mkdir -m 0700 "$work/runtime"
set +e
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" timeout 10 xvfb-run -a "$window" > "$work/window.log" 2>&1
status=$?
set -e
[ "$status" -eq 124 ] || { cat "$work/window.log"; fail "the installed quillframe ended with $status"; }
echo "The install checks passed."
