#!/usr/bin/env bash
# Builds the source package dist/quillframe_<version>.dsc (scripts/package.sh),
# or the .dsc given,
# the way a distribution's build machine does: in a fresh Debian 12 chroot
# with only build-essential, the Build-Depends the .dsc declares (apt-get
# build-dep), as an ordinary user, tests included unless DEB_BUILD_OPTIONS
# says nocheck. The base chroot is made once with debootstrap in
# $QF_BUILD_CHROOT (default /var/tmp/qf-build-chroot) and copied for each
# build, so every build starts clean; the downloaded packages are kept in
# $QF_BUILD_CHROOT.apt for the next time. Writes dist/chroot-build.log and
# copies the .deb it built to dist/chroot/. Needs root and debootstrap.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
base="${QF_BUILD_CHROOT:-/var/tmp/qf-build-chroot}"
# The mirror this machine's apt already uses, unless QF_MIRROR names another.
mirror="$(bash "$root/scripts/debian-mirror.sh")"
out="$root/dist"
log="$out/chroot-build.log"
mkdir -p "$out"

dscs=("$out"/quillframe_*.dsc)
dsc="${1:-${dscs[-1]}}"
[ -f "$dsc" ] || { echo "error: no dist/quillframe_*.dsc: run scripts/package.sh" >&2; exit 1; }
if [ ! -x "$base/usr/bin/apt-get" ]; then
  echo "Making a Debian 12 chroot in $base..."
  debootstrap --variant=buildd bookworm "$base" "$mirror"
fi

work="$(mktemp -d "${base}.build.XXXXXX")"
mkdir -p "$base.apt"
cleanup() {
  for m in var/cache/apt/archives dev/pts dev proc; do
    if mountpoint -q "$work/chroot/$m"; then umount "$work/chroot/$m" || umount -l "$work/chroot/$m"; fi
  done
  # Never delete through a mount that is still there (/dev, the apt cache).
  if grep -q " $work/" /proc/mounts; then
    echo "warning: $work still has mounts; left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
cp -a "$base" "$work/chroot"
c="$work/chroot"
mount --bind /proc "$c/proc"
mount --bind /dev "$c/dev"
mount --bind /dev/pts "$c/dev/pts"
mount --bind "$base.apt" "$c/var/cache/apt/archives"
in_chroot() {
  chroot "$c" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

mkdir -p "$c/build"
cp "$dsc" "$c/build/"
# The tarballs the .dsc lists beside it.
for f in $(awk '/^Files:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $3 }' "$dsc"); do
  cp "$(dirname "$dsc")/$f" "$c/build/"
done
name="$(basename "$dsc")"
profiles=""
case " ${DEB_BUILD_OPTIONS:-} " in *" nocheck "*) profiles="-Pnocheck" ;; esac
{
  echo "== $(date -u '+%F %T') UTC: build-dep of $name in a fresh Debian 12 chroot"
  in_chroot apt-get update -q
  in_chroot apt-get build-dep -y -q --no-install-recommends $profiles "/build/$name"
  in_chroot useradd --create-home builder
  in_chroot chown -R builder: /build
  echo "== $(date -u '+%F %T') UTC: dpkg-buildpackage as builder"
  in_chroot su builder -c "cd /build && dpkg-source -x $name src && cd src \
    && DEB_BUILD_OPTIONS='${DEB_BUILD_OPTIONS:-noautodbgsym parallel=$(nproc)}' \
       dpkg-buildpackage -us -uc -b $profiles"
  echo "== $(date -u '+%F %T') UTC: done"
} > "$log" 2>&1 || { tail -n 40 "$log" >&2; echo "error: the chroot build failed (see $log)" >&2; exit 1; }

mkdir -p "$out/chroot"
rm -f "$out"/chroot/*.deb
cp "$c"/build/quillframe_*.deb "$out/chroot/"
tail -n 12 "$log"
for deb in "$out"/chroot/*.deb; do
  echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, sha256 $(sha256sum "$deb" | cut -d' ' -f1)"
  # The same source built on this machine by scripts/package.sh, in another
  # folder: the same bytes unless this machine's compiler or libraries are
  # older or newer than the mirror's.
  if [ -f "$out/$(basename "$deb")" ]; then
    if cmp -s "$deb" "$out/$(basename "$deb")"; then
      echo "  the same bytes as dist/$(basename "$deb")"
    else
      echo "  differs from dist/$(basename "$deb"): compare the .buildinfo files' Installed-Build-Depends"
    fi
  fi
done

# The autopkgtest of what was built, in another fresh copy of the chroot.
if command -v autopkgtest > /dev/null; then
  for m in var/cache/apt/archives dev/pts dev proc; do umount "$c/$m"; done
  rm -rf "$c"
  cp -a "$base" "$c"
  mount --bind /proc "$c/proc"
  mount --bind /dev "$c/dev"
  mount --bind /dev/pts "$c/dev/pts"
  mount --bind "$base.apt" "$c/var/cache/apt/archives"
  status=0
  autopkgtest "$dsc" "$out"/chroot/quillframe_*.deb -- chroot "$c" > "$out/autopkgtest.log" 2>&1 || status=$?
  sed -n '/test smoke: \[/,/@@@@ summary/p' "$out/autopkgtest.log"
  tail -n 2 "$out/autopkgtest.log" | grep -v '^Get:\|^Fetched\|^Reading' || true
  [ "$status" -eq 0 ] || { echo "error: autopkgtest ended with $status (see $out/autopkgtest.log)" >&2; exit 1; }
fi
