#!/usr/bin/env bash
# Builds the Debian package dist/quillframe_<version>_amd64.deb from the
# source package in debian/ with dpkg-buildpackage, in a copy of the tree
# (build-package/, so the worktree stays clean). SOURCE_DATE_EPOCH is the
# time of the last commit, so two builds of one commit give the same bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_PACKAGE_BUILD_DIR:-$root/build-package}"
out="${QF_PACKAGE_DIR:-$root/dist}"

"$root/scripts/install-deps.sh"
SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || stat -c %Y "$root/debian/changelog")"
export SOURCE_DATE_EPOCH
# A compiler cache, where there is one, only saves time: the bytes are the same.
if command -v ccache > /dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

# The tracked files only: nothing from earlier builds reaches the package.
rm -rf "$build"
mkdir -p "$build/src"
if git -C "$root" rev-parse --git-dir > /dev/null 2>&1; then
  git -C "$root" ls-files -z --cached --others --exclude-standard \
    | (cd "$root" && xargs -0 cp --parents -t "$build/src" 2>/dev/null || true)
else
  cp -a "$root/." "$build/src/"
fi
(cd "$build/src" && DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-nocheck noautodbgsym parallel=$(nproc)}" \
  dpkg-buildpackage -us -uc -b)

debs=("$build"/quillframe_*_amd64.deb)
deb="${debs[0]}"
[ -f "$deb" ] || { echo "error: dpkg-buildpackage wrote no quillframe_*_amd64.deb" >&2; exit 1; }
# A package without its manual pages, completions or window means a tool was missing.
for wanted in ./usr/bin/quillframe ./usr/bin/quillframe-cli \
              ./usr/share/man/man1/quillframe.1.gz ./usr/share/man/man1/quillframe-cli.1.gz \
              ./usr/share/bash-completion/completions/quillframe-cli \
              ./usr/share/zsh/vendor-completions/_quillframe-cli \
              ./usr/share/fish/vendor_completions.d/quillframe-cli.fish \
              ./usr/share/quillframe/translations/quillframe_de.qm; do
  dpkg-deb --contents "$deb" | awk '{print $6}' | grep -qx "$wanted" \
    || { echo "error: $(basename "$deb") lacks $wanted" >&2; exit 1; }
done
mkdir -p "$out"
cp "$deb" "$out/"
echo
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends
echo "Package: $out/$(basename "$deb") ($(du -h "$deb" | cut -f1)), sha256 $(sha256sum "$deb" | cut -d' ' -f1)"
if command -v lintian > /dev/null; then
  lintian --pedantic -I "$deb" || true
fi
