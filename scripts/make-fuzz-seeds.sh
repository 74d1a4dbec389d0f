#!/bin/sh
# Writes seed files into DIR/<target>/ for the fuzz targets: one of each kind
# a reader takes beyond the plain sample bitmaps. Files come from the peer
# tools where they are installed, and are written byte by byte where no
# common tool writes that kind; a missing tool only leaves its seeds out.
set -u
out=${1:?usage: make-fuzz-seeds.sh DIR}
mkdir -p "$out/pbmplus" "$out/targa" "$out/pcx" "$out/jpeg" "$out/iff" "$out/tiff"

have() { command -v "$1" >/dev/null 2>&1; }
# Writes each decimal argument as one byte.
bytes() { for b in "$@"; do printf "\\$(printf %03o "$b")"; done; }
be16() { bytes $(($1 >> 8 & 255)) $(($1 & 255)); }
be32() { be16 $(($1 >> 16 & 65535)); be16 $(($1 & 65535)); }
# Runs a shell pipeline into FILE, keeping FILE only when it worked.
seed() { sh -c "$2" >"$1" 2>/dev/null || rm -f "$1"; }

if have pbmmake && have pamdepth && have ppmpat; then
  seed "$out/pbmplus/narrow.pbm" "pbmmake -gray 70 9"                      # width no multiple of 8
  seed "$out/pbmplus/max15.pgm" "pgmramp -lr 40 3 | pamdepth 15"
  seed "$out/pbmplus/max4095.ppm" "ppmpat -poles 20 10 | pamdepth 4095"
  seed "$out/pbmplus/max4095-plain.ppm" "ppmpat -poles 20 10 | pamdepth 4095 | pnmtoplainpnm"
fi
if have pamtotga && have pgmramp; then
  seed "$out/targa/map222.tga" "pgmramp -lr 222 3 | ppmtoppm | pamtotga -cmap"
fi
if have convert && have ppmpat; then
  seed "$out/targa/map5.tga" "ppmpat -poles 20 10 | convert - -colors 5 -type Palette tga:-"
  seed "$out/jpeg/ycck.jpg" "ppmpat -poles 40 24 | convert - -colorspace CMYK jpg:-"
fi
# True colour of depth 15: three 5-5-5 pixels.
{ bytes 0 0 2 0 0 0 0 0 0 0 0 0 3 0 1 0 15 32; bytes 255 127 31 0 33 132; } >"$out/targa/depth15.tga"
if have ppmtopcx && have ppmpat && have pnmquant && have pbmmake; then
  seed "$out/pcx/planes16.pcx" "ppmpat -poles 33 9 | pnmquant 16 | ppmtopcx"   # four planes of 1 bit
  seed "$out/pcx/mono.pcx" "pbmmake -gray 19 7 | ppmtopcx"                      # one plane of 1 bit
fi
# Extra-half-brite ILBM: 16 x 1, six planes, a 32-colour map.
{
  printf 'FORM'; be32 168; printf 'ILBM'
  printf 'BMHD'; be32 20; be16 16; be16 1; be32 0; bytes 6 0 0 0 0 0 10 11; be16 16; be16 1
  printf 'CAMG'; be32 4; be32 128
  printf 'CMAP'; be32 96; i=0; while [ $i -lt 96 ]; do bytes $((255 - i * 2)); i=$((i + 1)); done
  printf 'BODY'; be32 12; bytes 85 85 51 51 15 15 255 0 0 255 170 85
} >"$out/iff/ehb.iff"
# Bilevel TIFF 24 x 2 in tiles 12 wide: the second tile starts inside a byte.
bytes 73 73 42 0 16 0 0 0 165 48 15 240 207 0 241 0 9 0 0 1 3 0 1 0 0 0 24 0 0 0 1 1 3 0 1 0 0 0 2 0 0 0 2 1 3 0 \
      1 0 0 0 1 0 0 0 3 1 3 0 1 0 0 0 1 0 0 0 6 1 3 0 1 0 0 0 1 0 0 0 66 1 3 0 1 0 0 0 12 0 0 0 67 1 3 0 1 0 0 0 \
      2 0 0 0 68 1 3 0 2 0 0 0 8 0 12 0 69 1 3 0 2 0 0 0 4 0 4 0 0 0 0 0 >"$out/tiff/tiles12.tif"
exit 0
