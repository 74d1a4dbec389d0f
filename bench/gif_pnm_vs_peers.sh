#!/bin/sh
# GIF and PBMPlus decode and encode with zarnconv against ImageMagick and netpbm,
# whole commands on a 16-megapixel picture, timed by hyperfine.
#
#   bench/gif_pnm_vs_peers.sh [build folder] [work folder]
#
# The picture (4096 x 4096, 256 colours) is made once in the work folder.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(ls -d "$here"/../build-* 2>/dev/null | head -n 1)}
work=${2:-${TMPDIR:-/tmp}/zarn-gif-pnm-bench}
zarnconv=$build/bin/zarnconv
runs=${RUNS:-5}

for tool in hyperfine convert giftopnm pamtogif ppmpat ppmtobmp bmptopnm pnmtopnm; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x "$zarnconv" ] || { echo "missing: $zarnconv (build zarnconv first)" >&2; exit 1; }

mkdir -p "$work"
cd "$work"
if [ ! -s pic.gif ]; then
  ppmpat -randomseed=9 -camo 4096 4096 > camo.ppm
  convert camo.ppm -blur 0x3 +dither -colors 256 pic.gif
fi
[ -s pic.ppm ] || giftopnm pic.gif > pic.ppm          # 24-bit, 256 distinct colours
[ -s pic.bmp ] || "$zarnconv" -q pic.gif pic.bmp      # 8-bit palette BMP
[ -s rgb.bmp ] || ppmtobmp pic.ppm > rgb.bmp 2>/dev/null

bench() {
  name=$1
  shift
  hyperfine --warmup 1 --runs "$runs" --export-markdown "$name.md" "$@" | sed -n '/Summary/,$p'
}

echo "== GIF decode (16 MP, 256 colours)"
bench gif_decode \
  -n zarnconv "$zarnconv -q pic.gif out.bmp" \
  -n giftopnm "giftopnm pic.gif > out.ppm" \
  -n convert "convert pic.gif out.ppm"

echo "== GIF encode (16 MP, 256 colours)"
bench gif_encode \
  -n zarnconv "$zarnconv -q pic.bmp out.gif" \
  -n pamtogif "pamtogif < pic.ppm > out_netpbm.gif" \
  -n convert "convert pic.bmp out_magick.gif"

echo "== PPM decode (16 MP, 24-bit)"
bench ppm_decode \
  -n zarnconv "$zarnconv -q pic.ppm out.bmp" \
  -n ppmtobmp "ppmtobmp pic.ppm > out_netpbm.bmp 2>/dev/null" \
  -n convert "convert pic.ppm out_magick.bmp"

echo "== PPM encode (16 MP, 24-bit)"
bench ppm_encode \
  -n zarnconv "$zarnconv -q rgb.bmp out.ppm" \
  -n bmptopnm "bmptopnm rgb.bmp > out_netpbm.ppm 2>/dev/null" \
  -n convert "convert rgb.bmp out_magick.ppm"
