#!/usr/bin/env bash
# Builds the Debian source and binary packages from debian/ with
# dpkg-buildpackage, in a copy of the tree (build-package/, so the worktree
# stays clean), and copies them to dist/: quillframe_<version>.orig.tar.xz
# (the tree without debian/), .debian.tar.xz, .dsc and _amd64.deb. The tests
# run during the build unless DEB_BUILD_OPTIONS has nocheck. SOURCE_DATE_EPOCH
# is the time of debian/changelog's last entry, as dpkg-buildpackage takes it
# when building the .dsc anywhere else, so two builds of one source give the
# same bytes whatever folder they run in. Then lintian checks both packages,
# and the package's size is written into the README.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_PACKAGE_BUILD_DIR:-$root/build-package}"
out="${QF_PACKAGE_DIR:-$root/dist}"

"$root/scripts/install-deps.sh"
SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$root/debian/changelog" -S Timestamp)"
export SOURCE_DATE_EPOCH
# No compiler cache: ccache with a base_dir above the build folder hands the
# compiler relative source paths (../../../src/cli/main.cpp) where a build
# elsewhere has ./src/cli/main.cpp, and those names in the debug information
# change the programs' build ids, which stay in the stripped programs.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

# The tracked files only: nothing from earlier builds reaches the package.
rm -rf "$build"
mkdir -p "$build/src"
if git -C "$root" rev-parse --git-dir > /dev/null 2>&1; then
  git -C "$root" ls-files -z --cached --others --exclude-standard \
    | (cd "$root" && xargs -0 cp --parents -t "$build/src" 2>/dev/null || true)
else
  cp -a "$root/." "$build/src/"
fi

# The upstream tarball: the tree without debian/, its bytes fixed by that
# time, sorted names and no owners.
version="$(dpkg-parsechangelog -l "$build/src/debian/changelog" -S Version)"
upstream="${version%-*}"
tar -C "$build/src" --exclude=./debian --sort=name --mtime="@$SOURCE_DATE_EPOCH" \
  --owner=0 --group=0 --numeric-owner --transform "s,^\.,quillframe-$upstream," -cf - . \
  | xz -6 -T1 > "$build/quillframe_$upstream.orig.tar.xz"
(cd "$build/src" && DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-noautodbgsym parallel=$(nproc)}" \
  dpkg-buildpackage -us -uc)

debs=("$build"/quillframe_*_amd64.deb)
deb="${debs[0]}"
[ -f "$deb" ] || { echo "error: dpkg-buildpackage wrote no quillframe_*_amd64.deb" >&2; exit 1; }
# A package without its manual pages, completions or window means a tool was missing.
for wanted in ./usr/bin/quillframe ./usr/bin/quillframe-cli \
              ./usr/share/man/man1/quillframe.1.gz ./usr/share/man/man1/quillframe-cli.1.gz \
              ./usr/share/bash-completion/completions/quillframe-cli \
              ./usr/share/zsh/vendor-completions/_quillframe-cli \
              ./usr/share/fish/vendor_completions.d/quillframe-cli.fish \
              ./usr/share/quillframe/translations/quillframe_de.qm \
              "./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/quillframe/quillframe-video.so"; do
  dpkg-deb --contents "$deb" | awk '{print $6}' | grep -qx "$wanted" \
    || { echo "error: $(basename "$deb") lacks $wanted" >&2; exit 1; }
done
mkdir -p "$out"
rm -f "$out"/quillframe_*
cp "$deb" "$build"/quillframe_"$upstream".orig.tar.xz "$build"/quillframe_"$version".debian.tar.xz \
  "$build"/quillframe_"$version".dsc "$out/"
echo
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends
bytes="$(stat -c %s "$deb")"
echo "Package: $out/$(basename "$deb") ($bytes bytes), sha256 $(sha256sum "$deb" | cut -d' ' -f1)"

# The README's figure, to the nearest 10 KB: the README travels in the
# package, so a finer figure would change the size it states.
kb=$(( (bytes + 5120) / 10240 * 10 ))
sed -i -E "s/(give packages \(about )[0-9,]+( KB\))/\1$kb\2/" "$root/README.md"
grep -q "give packages (about $kb KB)" "$root/README.md" \
  || { echo "error: README.md has no \"give packages (about N KB)\" to update" >&2; exit 1; }
git -C "$root" diff --quiet -- README.md 2>/dev/null || echo "README.md: the package size is now about $kb KB"

# lintian on the source and the binary package: any tag at all fails.
if command -v lintian > /dev/null; then
  changes=("$build"/quillframe_"$version"_*.changes)
  tags="$(lintian --pedantic -I -E "${changes[0]}" 2>&1 | grep -v '^running with root privileges' || true)"
  if [ -n "$tags" ]; then
    echo "$tags"
    echo "error: lintian found the above" >&2
    exit 1
  fi
  echo "lintian --pedantic -I -E: nothing on quillframe_$version.dsc and $(basename "$deb")"
fi
