#!/bin/sh
# Writes seed files into DIR/<target>/ for the fuzz targets: small pictures of
# each kind a reader takes, and every saved crasher of that reader. Files come
# from the peer tools where they are installed, and are written byte by byte
# where no common tool writes that kind; a missing tool only leaves its seeds
# out. The operations target gets the seeds of every reader it reads through.
set -u
out=${1:?usage: make-fuzz-seeds.sh DIR}
top=$(cd "$(dirname "$0")/.." && pwd)
for name in bmp gif pbmplus jpeg png tiff pcx targa photocd iff texture operations; do mkdir -p "$out/$name"; done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

have() { command -v "$1" >/dev/null 2>&1; }
# Writes each decimal argument as one byte.
bytes() { for b in "$@"; do printf "\\$(printf %03o "$b")"; done; }
be16() { bytes $(($1 >> 8 & 255)) $(($1 & 255)); }
be32() { be16 $(($1 >> 16 & 65535)); be16 $(($1 & 65535)); }
# Runs a shell pipeline into FILE, keeping FILE only when it worked and wrote something.
seed() { sh -c "$2" >"$1" 2>/dev/null && [ -s "$1" ] || rm -f "$1"; }
# Source pictures for the tools below, as files (tiffcp wants files).
rgb="$scratch/rgb.ppm"; grey="$scratch/grey.pgm"; mono="$scratch/mono.pbm"; pal="$scratch/pal.ppm"
seed "$rgb" "ppmpat -poles 24 16"
seed "$grey" "pgmramp -lr 24 16"
seed "$mono" "pbmmake -gray 21 9"
seed "$pal" "ppmpat -poles 24 16 | pnmquant 16"

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

# BMP: each depth, RLE, the older OS/2 header.
if have ppmtobmp && [ -s "$rgb" ]; then
  seed "$out/bmp/bpp1.bmp" "ppmtobmp -bpp 1 $mono"
  seed "$out/bmp/bpp4.bmp" "ppmtobmp -bpp 4 $pal"
  seed "$out/bmp/bpp8.bmp" "ppmtobmp -bpp 8 $grey"
  seed "$out/bmp/bpp24.bmp" "ppmtobmp -bpp 24 $rgb"
  seed "$out/bmp/os2.bmp" "ppmtobmp -os2 -bpp 8 $pal"
fi
if have convert && [ -s "$pal" ]; then
  seed "$out/bmp/rle8.bmp" "convert $pal -type Palette -compress RLE bmp3:-"
  seed "$out/bmp/rle4.bmp" "convert $pal -colors 8 -type Palette -depth 4 -compress RLE bmp3:-"
  seed "$out/bmp/bitfields.bmp" "convert $rgb -define bmp:subtype=RGB565 bmp:-"
  seed "$out/bmp/rgb555.bmp" "convert $rgb -define bmp:subtype=RGB555 bmp:-"
  seed "$out/bmp/argb32.bmp" "convert $rgb -alpha set -channel A -evaluate set 50% bmp:-"
  seed "$out/bmp/os2-v1.bmp" "convert $pal -type Palette bmp2:-"
fi

# GIF: 87a from netpbm, 89a and interlaced from ImageMagick, 1 to 8 bits.
if have ppmtogif && have pnmquant && [ -s "$rgb" ]; then
  for colours in 2 4 8 16 32 64 128 256; do
    seed "$out/gif/colours$colours.gif" "pnmquant $colours $rgb | ppmtogif"
  done
  seed "$out/gif/interlaced87.gif" "pnmquant 16 $rgb | ppmtogif -interlace"
  seed "$out/gif/mono.gif" "ppmtogif $mono"
fi
if have convert && [ -s "$rgb" ]; then
  seed "$out/gif/interlaced89.gif" "convert $rgb -colors 32 -interlace GIF -comment fuzz gif:-"
  seed "$out/gif/transparent.gif" "convert $rgb -colors 16 -transparent black gif:-"
  seed "$out/gif/animated.gif" "convert -delay 10 $rgb $pal -loop 0 gif:-"
fi
# GIF through giflib's own encoder: rebuilt from its text dump, gamma applied
# to the map, interlaced, and with a control block (delay, disposal).
if have gifbuild && have giftool && have gifclrmp && [ -s "$out/gif/colours16.gif" ]; then
  seed "$out/gif/giflib.gif" "gifbuild -d $out/gif/colours16.gif | gifbuild"
  seed "$out/gif/giflib-gamma.gif" "gifclrmp -g 1.8 $out/gif/colours16.gif"
  seed "$out/gif/giflib-interlaced.gif" "giftool -i 1 <$out/gif/colours64.gif"
  seed "$out/gif/giflib-control.gif" "giftool -d 20 -x 2 <$out/gif/colours4.gif"
fi
# GIF89a, 1 x 1, no global table: a control block, a looping block and an
# image with its own 4-colour table (LZW codes: clear, 0, end).
{
  printf 'GIF89a'; bytes 1 0 1 0 0 0 0
  bytes 33 249 4 1 10 0 0 0
  bytes 33 255 11; printf 'NETSCAPE2.0'; bytes 3 1 0 0 0
  bytes 44 0 0 0 0 1 0 1 0 129 255 0 0 0 255 0 0 0 255 255 255 255
  bytes 2 2 68 1 0 59
} >"$out/gif/local-table.gif"

# PBMPlus: plain and raw of each kind.
if have pnmtoplainpnm && [ -s "$rgb" ]; then
  seed "$out/pbmplus/p1.pbm" "pnmtoplainpnm $mono"
  seed "$out/pbmplus/p2.pgm" "pnmtoplainpnm $grey"
  seed "$out/pbmplus/p3.ppm" "pnmtoplainpnm $rgb"
  cp "$mono" "$out/pbmplus/p4.pbm"; cp "$grey" "$out/pbmplus/p5.pgm"; cp "$rgb" "$out/pbmplus/p6.ppm"
fi
printf 'P2\n# a comment\n3 2 # another\n7\n0 1 2\n3 4 7\n' >"$out/pbmplus/comments.pgm"
printf 'P1\n5 2\n10101\n01010\n' >"$out/pbmplus/plain-packed.pbm"

# JPEG: baseline, progressive, grey, restart markers, arithmetic, odd sampling.
if have cjpeg && [ -s "$rgb" ]; then
  seed "$out/jpeg/baseline.jpg" "cjpeg -quality 60 $rgb"
  seed "$out/jpeg/progressive.jpg" "cjpeg -progressive $rgb"
  seed "$out/jpeg/grey.jpg" "cjpeg -grayscale $rgb"
  seed "$out/jpeg/grey-source.jpg" "cjpeg $grey"
  seed "$out/jpeg/restart.jpg" "cjpeg -restart 1 $rgb"
  seed "$out/jpeg/optimised.jpg" "cjpeg -optimize -sample 1x1 $rgb"
  seed "$out/jpeg/sample22.jpg" "cjpeg -sample 2x2,1x1,1x1 $rgb"
  seed "$out/jpeg/arithmetic.jpg" "cjpeg -arithmetic $rgb"
  seed "$out/jpeg/restart-blocks.jpg" "cjpeg -restart 3B $rgb"
  seed "$out/jpeg/sample21.jpg" "cjpeg -sample 2x1 -quality 20 $rgb"
  seed "$out/jpeg/sample12.jpg" "cjpeg -sample 1x2 -dct float $rgb"
fi
# The same pictures rewritten losslessly: scans split, markers added, turned.
if have jpegtran && [ -s "$out/jpeg/baseline.jpg" ]; then
  base="$out/jpeg/baseline.jpg"
  seed "$out/jpeg/jpegtran-progressive.jpg" "jpegtran -progressive $base"
  seed "$out/jpeg/jpegtran-restart.jpg" "jpegtran -restart 1 -optimize $base"
  seed "$out/jpeg/jpegtran-grey.jpg" "jpegtran -grayscale $base"
  seed "$out/jpeg/jpegtran-rotated.jpg" "jpegtran -rotate 90 $base"
  seed "$out/jpeg/jpegtran-arithmetic-progressive.jpg" "jpegtran -arithmetic -progressive $base"
fi
# Exif: an APP1 block with only an orientation, in either byte order, spliced
# in after the start marker.
if [ -s "$out/jpeg/baseline.jpg" ]; then
  for orientation in 3 6 8; do
    {
      bytes 255 216 255 225 0 34; printf 'Exif'; bytes 0 0 73 73 42 0 8 0 0 0
      bytes 1 0 18 1 3 0 1 0 0 0 "$orientation" 0 0 0 0 0 0 0
      tail -c +3 "$out/jpeg/baseline.jpg"
    } >"$out/jpeg/exif-$orientation.jpg"
  done
  {
    bytes 255 216 255 225 0 34; printf 'Exif'; bytes 0 0 77 77 0 42 0 0 0 8
    bytes 0 1 1 18 0 3 0 0 0 1 0 5 0 0 0 0 0 0
    tail -c +3 "$out/jpeg/baseline.jpg"
  } >"$out/jpeg/exif-big-endian.jpg"
fi
# CMYK: the four-channel scans of the YCCK seed, marked as plain CMYK.
if [ -s "$out/jpeg/ycck.jpg" ]; then
  cp "$out/jpeg/ycck.jpg" "$out/jpeg/cmyk.jpg"
  bytes 0 | dd of="$out/jpeg/cmyk.jpg" bs=1 seek=17 conv=notrunc 2>/dev/null
fi

# PNG: grey, palette, colour, alpha, 16 bits, interlaced, 1 bit.
if have pnmtopng && [ -s "$rgb" ]; then
  seed "$out/png/rgb.png" "pnmtopng $rgb"
  seed "$out/png/grey.png" "pnmtopng $grey"
  seed "$out/png/mono.png" "pnmtopng $mono"
  seed "$out/png/palette.png" "pnmtopng $pal"
  seed "$out/png/interlaced.png" "pnmtopng -interlace $rgb"
  seed "$out/png/transparent.png" "pnmtopng -transparent black $pal"
  seed "$out/png/text.png" "pnmtopng -gamma 0.45 -time 2000-01-01T00:00:00 $grey"
  seed "$out/png/grey2.png" "pamdepth 3 $grey | pnmtopng"
  seed "$out/png/grey4.png" "pamdepth 15 $grey | pnmtopng"
  seed "$out/png/grey16.png" "pamdepth 65535 $grey | pnmtopng"
  seed "$out/png/palette4.png" "pnmquant 4 $rgb | pnmtopng"
  seed "$out/png/palette-interlaced.png" "pnmtopng -interlace $pal"
  seed "$out/png/rgb16-interlaced.png" "pamdepth 65535 $rgb | pnmtopng -interlace"
  seed "$out/png/grey-transparent.png" "pnmtopng -transparent =gray50 $grey"
fi
if have convert && [ -s "$rgb" ]; then
  seed "$out/png/rgb16.png" "convert $rgb -depth 16 png48:-"
  seed "$out/png/alpha.png" "convert $rgb -alpha set -channel A -evaluate set 50% png32:-"
  seed "$out/png/grey-alpha.png" "convert $grey -alpha set -channel A -evaluate set 40% -define png:color-type=4 png:-"
  seed "$out/png/alpha16.png" "convert $rgb -depth 16 -alpha set -channel A -evaluate set 30% png64:-"
  seed "$out/png/palette-alpha.png" "convert $pal -alpha set -channel A -fx 'i<8?0:1' png8:-"
fi

# TIFF: strips and tiles, each compression, both byte orders.
if have pnmtotiff && have tiffcp && [ -s "$rgb" ]; then
  pnmtotiff "$rgb" >"$scratch/rgb.tif" 2>/dev/null
  pnmtotiff "$grey" >"$scratch/grey.tif" 2>/dev/null
  pnmtotiff "$mono" >"$scratch/mono.tif" 2>/dev/null
  pnmtotiff "$pal" >"$scratch/pal.tif" 2>/dev/null
  pnmtotiff -truecolor "$rgb" >"$scratch/truecolour.tif" 2>/dev/null
  pamdepth 65535 "$rgb" | pnmtotiff -truecolor >"$scratch/rgb16.tif" 2>/dev/null
  # Copies SOURCE to NAME.tif with the rest as tiffcp options.
  tcp() {
    name=$1 source=$2; shift 2
    tiffcp "$@" "$source" "$out/tiff/$name.tif" 2>/dev/null || rm -f "$out/tiff/$name.tif"
  }
  # Strips in each compression (JPEG strips are whole 16-row blocks, and grey
  # ones 8), then tiles, then both byte orders.
  for c in none lzw packbits zip jpeg; do
    tcp "rgb-$c" "$scratch/truecolour.tif" -c $c -r 16
    tcp "rgb-$c-tiles" "$scratch/truecolour.tif" -c $c -t -w 16 -l 16
    tcp "grey-$c" "$scratch/grey.tif" -c $c -r 8
  done
  tcp rgb-lzw-big-endian "$scratch/truecolour.tif" -B -c lzw -r 4
  tcp rgb-none-big-endian "$scratch/truecolour.tif" -B -c none
  tcp rgb-separate "$scratch/truecolour.tif" -p separate -c packbits
  tcp rgb-zip-predictor "$scratch/truecolour.tif" -c zip:2 -r 5
  tcp rgb16 "$scratch/rgb16.tif" -c none
  tcp rgb16-lzw-big-endian "$scratch/rgb16.tif" -B -c lzw:2
  tcp grey-predictor "$scratch/grey.tif" -c lzw:2
  tcp grey-big-endian "$scratch/grey.tif" -B
  tcp palette "$scratch/pal.tif" -c none
  tcp pal-tiles "$scratch/pal.tif" -t -w 16 -l 16 -c lzw
  tcp tiles "$scratch/rgb.tif" -t -w 16 -l 16
  # One bit: every CCITT coding and the plain ones, strips and tiles.
  for c in g3 g3:2d g3:fill g4 none packbits lzw; do
    tcp "mono-$(echo $c | tr : -)" "$scratch/mono.tif" -c $c
  done
  tcp mono-g4-tiles "$scratch/mono.tif" -c g4 -t -w 16 -l 16
  tcp mono-g3-big-endian "$scratch/mono.tif" -B -c g3 -r 2
fi
if have convert && [ -s "$rgb" ]; then
  seed "$out/tiff/cmyk.tif" "convert $rgb -colorspace CMYK -compress LZW tif:-"
  seed "$out/tiff/rgba.tif" "convert $rgb -alpha set -channel A -evaluate set 50% -compress Zip tif:-"
  seed "$out/tiff/miniswhite.tif" "convert $mono -compress None -define tiff:photometric=min-is-white tif:-"
fi

# PCX: 24 bits and 256 colours besides the planes above.
if have ppmtopcx && [ -s "$rgb" ]; then
  seed "$out/pcx/rgb24.pcx" "ppmtopcx -24bit $rgb"
  seed "$out/pcx/colours256.pcx" "ppmtopcx -8bit $pal"
  seed "$out/pcx/grey.pcx" "ppmtopcx -8bit $grey"
fi
if have convert && [ -s "$rgb" ]; then
  seed "$out/pcx/rgba32.pcx" "convert $rgb -alpha set -channel A -fx i/w pcx:-"   # four planes of 8 bits
  seed "$out/pcx/palette-im.pcx" "convert $pal -type Palette pcx:-"
  seed "$out/pcx/mono-im.pcx" "convert $mono -type Bilevel pcx:-"
fi
if have ppmtopcx && [ -s "$pal" ]; then
  seed "$out/pcx/packed4.pcx" "pnmquant 16 $rgb | ppmtopcx -packed"
  seed "$out/pcx/planes2.pcx" "pnmquant 4 $rgb | ppmtopcx -planes 2"
fi

# Targa: colour-mapped, true colour and grey, packed and not.
if have pamtotga && [ -s "$rgb" ]; then
  seed "$out/targa/rgb.tga" "pamtotga -rgb -norle $rgb"
  seed "$out/targa/rgb-rle.tga" "pamtotga -rgb $rgb"
  seed "$out/targa/grey.tga" "pamtotga -mono $grey"
  seed "$out/targa/map-rle.tga" "pamtotga -cmap $pal"
fi
if have convert && [ -s "$rgb" ]; then
  seed "$out/targa/bottom-up-rle.tga" "convert $rgb -compress RLE tga:-"
  seed "$out/targa/rgba32.tga" "convert $rgb -alpha set -channel A -evaluate set 50% tga:-"
  seed "$out/targa/grey-rle.tga" "convert $grey -compress RLE tga:-"
fi

# IFF: ILBM packed and plain, hold-and-modify, 24 planes; a chunky PBM by hand.
if have ppmtoilbm && [ -s "$rgb" ]; then
  seed "$out/iff/packed.iff" "ppmtoilbm $pal"
  seed "$out/iff/plain.iff" "ppmtoilbm -nocompress $pal"
  seed "$out/iff/ham.iff" "ppmtoilbm -hamforce $rgb"
  seed "$out/iff/deep24.iff" "ppmtoilbm -24force $rgb"
  seed "$out/iff/mono.iff" "ppmtoilbm $mono"
fi
{
  printf 'FORM'; be32 66; printf 'PBM '
  printf 'BMHD'; be32 20; be16 4; be16 2; be32 0; bytes 8 0 0 0 0 0 10 11; be16 4; be16 2
  printf 'CMAP'; be32 12; bytes 0 0 0 255 0 0 0 255 0 0 0 255
  printf 'BODY'; be32 8; bytes 0 1 2 3 3 2 1 0
} >"$out/iff/chunky.iff"

# Texture: 256 x 256 palette indices, the only size there is.
if have pgmramp; then
  seed "$out/texture/ramp.r8" "pgmramp -diagonal 256 256 | tail -c 65536"
fi

# PhotoCD: no tool writes it, so image packs are laid out here. The first byte
# picks the resolution for the fuzz target, the byte at 0xE02 the orientation;
# the YCC data is a varied pattern, cut short as the reader allows. The largest
# resolution runs the same code over four times the pixels: it is left to the
# tests, as its 200 KB inputs would slow every execution.
pcd_seed() {
  yes "$(bytes 16 128 235 64 200 32 90)" | head -c "$4" >"$1"
  bytes "$2" | dd of="$1" bs=1 seek=0 conv=notrunc 2>/dev/null
  bytes "$3" | dd of="$1" bs=1 seek=3586 conv=notrunc 2>/dev/null
}
for orientation in 0 1 2 3; do pcd_seed "$out/photocd/base16-$orientation.pcd" 1 "$orientation" 12288; done
pcd_seed "$out/photocd/base4.pcd" 2 1 49152

# The newer formats' seeds, one file each in fuzz-seeds.d/ (webp.sh makes
# DIR/webp/ and so on), with the helpers above.
for extra in "$top"/scripts/fuzz-seeds.d/*.sh; do
  [ -f "$extra" ] && . "$extra"
done

# The eighth-size JPEG reader takes the JPEG seeds.
mkdir -p "$out/jpeg_eighth" && cp "$out/jpeg"/* "$out/jpeg_eighth"/ 2>/dev/null

# Every saved crasher goes with its reader's seeds.
for folder in "$top"/tests/data/crashers/*/; do
  name=$(basename "$folder")
  [ -d "$out/$name" ] && cp "$folder"* "$out/$name"/ 2>/dev/null
done

# The operations target reads every format its signature shows.
for name in bmp gif pbmplus jpeg pcx targa iff; do
  for f in "$out/$name"/*; do [ -f "$f" ] && cp "$f" "$out/operations/$name-$(basename "$f")"; done
done
exit 0
