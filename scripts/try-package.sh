#!/usr/bin/env bash
# Tries dist/quillframe_*_amd64.deb (scripts/package.sh) on a fresh Debian 12:
# a debootstrap chroot, made once in $QF_CHROOT (default /var/tmp/qf-chroot).
# There it installs the package with apt, converts the demo animation with the
# installed quillframe-cli, starts quillframe under Xvfb, checks the menu
# entry, the icon and the manual pages, then purges the package and checks
# that it left nothing behind. Needs root and debootstrap; the chroot keeps
# the window's test tools (xvfb) but never the package.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
chroot="${QF_CHROOT:-/var/tmp/qf-chroot}"
# The mirror this machine's apt already uses, unless QF_MIRROR names another.
mirror="$(bash "$root/scripts/debian-mirror.sh")"
build="${QF_PACKAGE_BUILD_DIR:-$root/build-package}/src/_build"

debs=("$root"/dist/quillframe_*_amd64.deb)
deb="${debs[-1]}"
[ -f "$deb" ] || { echo "error: no dist/quillframe_*_amd64.deb: run scripts/package.sh" >&2; exit 1; }
if [ ! -x "$chroot/usr/bin/apt-get" ]; then
  echo "Making a Debian 12 chroot in $chroot..."
  debootstrap --variant=minbase bookworm "$chroot" "$mirror"
fi

mount --bind /proc "$chroot/proc"
mount --bind /dev "$chroot/dev"
mount --bind /dev/pts "$chroot/dev/pts"
trap 'umount "$chroot/dev/pts" "$chroot/dev" "$chroot/proc"' EXIT
in_chroot() {
  chroot "$chroot" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
fail() { echo "FAILED: $*" >&2; exit 1; }

cp "$deb" "$chroot/tmp/"
"$build/tools/make_demo_gif" "$chroot/tmp/demo.gif"
in_chroot apt-get update -qq
# What a desktop brings that a bare system lacks: the display for the try, and
# the menu's tools whose triggers index the entry.
in_chroot apt-get install -y -qq --no-install-recommends xvfb xauth desktop-file-utils >/dev/null

echo "== apt install ./$(basename "$deb")"
in_chroot apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" | tail -n 3
in_chroot dpkg -L quillframe | sort > "$chroot/tmp/quillframe.files"
echo "== installed"
in_chroot dpkg-query -W -f='${Package} ${Version}, ${Installed-Size} KiB installed\nDepends: ${Depends}\n' quillframe
in_chroot quillframe-cli --version | head -n 1
in_chroot quillframe --version | head -n 1
in_chroot quillframe-cli convert /tmp/demo.gif /tmp/demo-sketch.gif --variant 2 --quiet
in_chroot quillframe-cli info /tmp/demo-sketch.gif | head -n 2
set +e
in_chroot timeout 15 xvfb-run -a quillframe 2> "$chroot/tmp/window.err"
status=$?
set -e
# Still running when the timeout ends it: the window came up and stayed.
[ "$status" -eq 124 ] || { cat "$chroot/tmp/window.err" >&2; fail "quillframe under Xvfb ended with $status"; }
echo "quillframe ran under Xvfb for 15 s"
grep -q "example.morvane.Quillframe.desktop" "$chroot/usr/share/applications/mimeinfo.cache" \
  || fail "the menu entry is not offered for image/gif"
echo "menu entry: $(grep '^image/gif=' "$chroot/usr/share/applications/mimeinfo.cache")"
for f in /usr/share/icons/hicolor/scalable/apps/quillframe.svg /usr/share/icons/hicolor/48x48/apps/quillframe.png \
         /usr/share/man/man1/quillframe.1.gz /usr/share/man/man1/quillframe-cli.1.gz \
         /usr/share/quillframe/Skin.qss; do
  [ -s "$chroot$f" ] || fail "$f is missing"
done
echo "icon, manual pages and skin are in place"

echo "== apt purge quillframe"
in_chroot apt-get purge -y -qq quillframe >/dev/null
left=0
while read -r path; do
  # Shared folders such as /usr/share/man stay; everything of ours goes.
  if [ -e "$chroot$path" ] && ! { [ -d "$chroot$path" ] && [ -n "$(ls -A "$chroot$path")" ]; }; then
    echo "left behind: $path" >&2
    left=1
  fi
done < "$chroot/tmp/quillframe.files"
for path in /usr/share/quillframe /usr/share/doc/quillframe; do
  [ ! -e "$chroot$path" ] || { echo "left behind: $path" >&2; left=1; }
done
if grep -q "Quillframe" "$chroot/usr/share/applications/mimeinfo.cache" 2>/dev/null; then
  echo "left behind: the menu entry in mimeinfo.cache" >&2
  left=1
fi
[ "$left" -eq 0 ] || fail "the purge left files behind"
echo "the purge left nothing behind"
rm -f "$chroot/tmp/$(basename "$deb")" "$chroot/tmp/quillframe.files" "$chroot"/tmp/demo*.gif \
  "$chroot/tmp/window.err"
