#!/usr/bin/env bash
# Builds the Debian package dist/quillframe_<version>_amd64.deb: installs the
# build dependencies, builds both programs and their manual pages in
# build-package/ (Release, for /usr) and runs CPack, whose DEB generator takes
# the library dependencies from dpkg-shlibdeps.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_PACKAGE_BUILD_DIR:-$root/build-package}"
out="${QF_PACKAGE_DIR:-$root/dist}"

"$root/scripts/install-deps.sh"
# Debian's usual hardening (none of it touches the arithmetic).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQF_BUILD_SHELL=ON -DQF_BUILD_TESTS=OFF -DQF_BUILD_BENCH=OFF -DQF_FUZZ=OFF -DQF_SANITIZE=OFF \
  "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  "-DCMAKE_C_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro,-z,now"
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack")

debs=("$build"/cpack/quillframe_*_amd64.deb)
deb="${debs[0]}"
[ -f "$deb" ] || { echo "error: CPack wrote no quillframe_*_amd64.deb" >&2; exit 1; }
# A package without its manual pages or window means a tool was missing.
for wanted in ./usr/bin/quillframe ./usr/bin/quillframe-cli \
              ./usr/share/man/man1/quillframe.1.gz ./usr/share/man/man1/quillframe-cli.1.gz; do
  dpkg-deb --contents "$deb" | awk '{print $6}' | grep -qx "$wanted" \
    || { echo "error: $(basename "$deb") lacks $wanted" >&2; exit 1; }
done
mkdir -p "$out"
cp "$deb" "$out/"
echo
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends
echo "Package: $out/$(basename "$deb") ($(du -h "$deb" | cut -f1))"
