#!/usr/bin/env bash
# Installs everything Quillframe needs to build, test and run on Debian 12.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake pkg-config
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # imaging: GIF reading and writing, colour quantisation, PNG export
  libgif-dev libimagequant-dev libspng-dev
  # animated WebP, and resizing frames before the effect
  libwebp-dev libstb-dev
  # video clips in: MP4, MOV, WebM, MKV, AVI, APNG; out: MP4 and WebM with
  # their sound cut and retimed (libavfilter's atempo)
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libavfilter-dev libswresample-dev
  # frame pipeline
  libtbb-dev
  # command line
  libcli11-dev
  # desktop window, and a virtual display for trying it headless
  qt6-base-dev xvfb xauth fonts-dejavu-core
  # the screen test: a window manager, keys through XTEST, screenshots
  openbox xdotool x11-utils wmctrl imagemagick
  # the window's translations: lrelease builds the .qm files, lupdate checks
  # that every text is translated; Qt's own translations of its dialogs
  qt6-l10n-tools qt6-translations-l10n
  # installing: manual pages and completions (written by Python scripts),
  # checks of the menu entry, the metainfo and the pages' width
  python3 desktop-file-utils appstream man-db
  # the Debian package (debian/): debhelper, dh_bash-completion, lintian
  dpkg-dev debhelper bash-completion lintian
  # spreading a batch over several machines (README): parallel copies the
  # files to and from them with rsync, which every machine needs
  parallel rsync
  # the style check (scripts/check-style.sh): layout and static analysis
  clang-format clang-tidy
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "All build dependencies are installed."
fi
