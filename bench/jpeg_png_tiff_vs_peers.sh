#!/bin/sh
# JPEG, PNG and TIFF (LZW) decode and encode with zarnconv against djpeg/cjpeg,
# ImageMagick, netpbm and libtiff's tools: whole commands on a 16-megapixel
# picture, timed by hyperfine, each reported as zarnconv's time over the
# fastest peer's.
#
#   bench/jpeg_png_tiff_vs_peers.sh [build folder] [work folder]
#
# The picture (4096 x 4096, 24-bit, photo-like) is made once in the work folder.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(ls -d "$here"/../build-* 2>/dev/null | head -n 1)}
work=${2:-${TMPDIR:-/tmp}/zarn-jpeg-png-tiff-bench}
zarnconv=$build/bin/zarnconv
runs=${RUNS:-5}

for tool in hyperfine convert djpeg cjpeg pngtopnm pnmtopng tifftopnm pnmtotiff tiffcp ppmpat ppmtobmp; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x "$zarnconv" ] || { echo "missing: $zarnconv (build zarnconv first)" >&2; exit 1; }

mkdir -p "$work"
cd "$work"
if [ ! -s pic.ppm ]; then
  ppmpat -randomseed=7 -camo 4096 4096 > camo.ppm
  convert camo.ppm -blur 0x2 -attenuate 0.3 +noise Gaussian -depth 8 pic.ppm
fi
[ -s pic.bmp ] || ppmtobmp pic.ppm > pic.bmp 2>/dev/null
[ -s pic.jpg ] || cjpeg -quality 90 pic.ppm > pic.jpg
[ -s pic.png ] || pnmtopng pic.ppm > pic.png 2>/dev/null
[ -s pic_none.tif ] || tiffcp -c none "$(pnmtotiff -none pic.ppm > pic_raw.tif 2>/dev/null && echo pic_raw.tif)" pic_none.tif
[ -s pic_lzw.tif ] || tiffcp -c lzw pic_none.tif pic_lzw.tif

# bench NAME COMMAND-PAIRS...: the first command is zarnconv's.
bench() {
  name=$1
  shift
  hyperfine --warmup 1 --runs "$runs" --export-csv "$name.csv" "$@" >/dev/null 2>&1
  awk -F, -v name="$name" '
    NR == 1 { next }
    NR == 2 { ours = $2; next }
    { if (best == "" || $2 < best) { best = $2; peer = $1 } }
    END { printf "%-12s zarnconv %.3fs  fastest peer %-10s %.3fs  ratio %.2f\n", name, ours, peer, best, ours / best }
  ' "$name.csv"
}

bench jpeg_decode \
  -n zarnconv "$zarnconv -q pic.jpg out.bmp" \
  -n djpeg "djpeg -bmp -outfile out_djpeg.bmp pic.jpg"

bench jpeg_encode \
  -n zarnconv "$zarnconv -q --quality 80 pic.bmp out.jpg" \
  -n cjpeg "cjpeg -quality 80 -outfile out_cjpeg.jpg pic.bmp"

bench png_decode \
  -n zarnconv "$zarnconv -q pic.png out.bmp" \
  -n pngtopnm "pngtopnm pic.png > out.ppm" \
  -n convert "convert pic.png out_magick.bmp"

bench png_encode \
  -n zarnconv "$zarnconv -q pic.bmp out.png" \
  -n pnmtopng "pnmtopng pic.ppm > out_netpbm.png" \
  -n convert "convert pic.bmp out_magick.png"

bench tiff_decode \
  -n zarnconv "$zarnconv -q pic_lzw.tif out.bmp" \
  -n tifftopnm "tifftopnm pic_lzw.tif > out.ppm" \
  -n tiffcp "tiffcp -c none pic_lzw.tif out_none.tif" \
  -n convert "convert pic_lzw.tif out_magick.bmp"

bench tiff_encode \
  -n zarnconv "$zarnconv -q --type 5 pic.bmp out.tif" \
  -n pnmtotiff "pnmtotiff -lzw pic.ppm > out_netpbm.tif" \
  -n tiffcp "tiffcp -c lzw pic_none.tif out_tiffcp.tif" \
  -n convert "convert pic.bmp -compress lzw out_magick.tif"
