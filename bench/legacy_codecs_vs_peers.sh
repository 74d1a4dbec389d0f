#!/bin/sh
# PCX, Targa and Amiga IFF decoding with zarnconv against netpbm and ImageMagick,
# whole commands on a 16-megapixel picture, timed by hyperfine.
#
#   bench/legacy_codecs_vs_peers.sh [build folder] [work folder]
#
# The pictures (4096 x 4096, 24-bit and 256 colours) are made once in the
# work folder. ImageMagick reads no IFF, so IFF is timed against netpbm only.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(ls -d "$here"/../build-* 2>/dev/null | head -n 1)}
work=${2:-${TMPDIR:-/tmp}/zarn-legacy-bench}
build=$(cd "$build" && pwd)
zarnconv=$build/bin/zarnconv
runs=${RUNS:-5}

for tool in hyperfine convert ppmpat pnmquant ppmtopcx pcxtoppm pamtotga tgatoppm ppmtoilbm ilbmtoppm; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x "$zarnconv" ] || { echo "missing: $zarnconv (build zarnconv first)" >&2; exit 1; }

mkdir -p "$work"
cd "$work"
if [ ! -s rgb.ppm ]; then
  ppmpat -randomseed=9 -camo 4096 4096 > camo.ppm
  convert camo.ppm -blur 0x3 rgb.ppm
fi
[ -s few.ppm ] || pnmquant 256 rgb.ppm > few.ppm 2>/dev/null
[ -s rgb.pcx ] || ppmtopcx -24bit rgb.ppm > rgb.pcx 2>/dev/null
[ -s few.pcx ] || ppmtopcx -8bit few.ppm > few.pcx 2>/dev/null
[ -s rgb.tga ] || pamtotga -rgb -norle rgb.ppm > rgb.tga
[ -s rle.tga ] || pamtotga -rgb rgb.ppm > rle.tga
[ -s few.iff ] || ppmtoilbm -compress few.ppm > few.iff 2>/dev/null
[ -s rgb.iff ] || ppmtoilbm -24force -compress rgb.ppm > rgb.iff 2>/dev/null

bench() {
  name=$1
  shift
  hyperfine --warmup 1 --runs "$runs" --export-markdown "$name.md" "$@" | sed -n '/Summary/,$p'
}

for pcx in rgb few; do
  echo "== PCX decode (16 MP, $pcx)"
  bench "pcx_$pcx" \
    -n zarnconv "$zarnconv -q $pcx.pcx out.bmp" \
    -n pcxtoppm "pcxtoppm $pcx.pcx > out.ppm" \
    -n convert "convert $pcx.pcx out_magick.ppm"
done

for tga in rgb rle; do
  echo "== Targa decode (16 MP, 24-bit, $tga)"
  bench "tga_$tga" \
    -n zarnconv "$zarnconv -q $tga.tga out.bmp" \
    -n tgatoppm "tgatoppm $tga.tga > out.ppm" \
    -n convert "convert $tga.tga out_magick.ppm"
done

for iff in few rgb; do
  echo "== IFF decode (16 MP, ByteRun1, $iff)"
  bench "iff_$iff" \
    -n zarnconv "$zarnconv -q $iff.iff out.bmp" \
    -n ilbmtoppm "ilbmtoppm $iff.iff > out.ppm 2>/dev/null"
done
