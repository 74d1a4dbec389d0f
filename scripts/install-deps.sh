#!/bin/sh
# Installs the Debian packages that building, testing and the benchmarks
# need; does nothing when all of them are present. The benchmarks' peer
# viewers (feh to imv) are only ever started by bench/first_paint_vs_peers.sh.
set -eu

packages="
  build-essential cmake make pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libsane-dev
  libwebp-dev libavif-dev libheif-dev libjxl-dev libraw-dev
  liblcms2-dev liblcms2-utils libexiv2-dev libimage-exiftool-perl libturbojpeg0-dev
  libgdk-pixbuf2.0-bin x11-utils
  webp libavif-bin libheif-examples libjxl-tools libraw-bin
  imagemagick netpbm libjpeg-turbo-progs giflib-tools libtiff-tools pngcheck xclip poppler-utils
  hyperfine time libvips-tools graphicsmagick
  qt6-base-dev qt6-svg-dev xvfb xauth desktop-file-utils xdg-utils shared-mime-info
  fonts-dejavu-core adwaita-icon-theme openbox
  weston qt6-wayland
  libx11-dev libxext-dev libxtst-dev
  feh gpicview nsxiv eog gthumb geeqie ristretto imv
"

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
