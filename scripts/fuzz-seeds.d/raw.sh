# Camera RAW seeds for the raw target: a DNG of a 24 x 24 RGGB mosaic (LibRaw
# takes nothing narrower than 22) with a 2 x 2 uncompressed preview, as stored
# and turned by its orientation tag. No common tool writes DNG, so the bytes
# are written here. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out comes from make-fuzz-seeds.sh
mkdir -p "$out/raw"
# raw_dng ORIENTATION: the TIFF header, both IFDs and the preview, then the
# mosaic's 16-bit samples, a diagonal ramp.
raw_dng() {
  bytes 73 73 42 0 8 0 0 0 20 0 254 0 4 0 1 0 0 0 1 0 0 0 0 1 4 0 1 0 0 0 2 0 0 0 1 1 4 0 1 0 0 0 2 0 0 0 2 \
        1 3 0 3 0 0 0 254 0 0 0 3 1 3 0 1 0 0 0 1 0 0 0 6 1 3 0 1 0 0 0 2 0 0 0 15 1 2 0 2 0 0 0 90 0 0 0 16 \
        1 2 0 2 0 0 0 84 0 0 0 17 1 4 0 1 0 0 0 100 1 0 0 18 1 3 0 1 0 0 0 "$1" 0 0 0 21 1 3 0 1 0 0 0 3 0 0 \
        0 22 1 4 0 1 0 0 0 2 0 0 0 23 1 4 0 1 0 0 0 12 0 0 0 28 1 3 0 1 0 0 0 1 0 0 0 74 1 4 0 1 0 0 0 112 1 \
        0 0 18 198 1 0 4 0 0 0 1 4 0 0 20 198 2 0 4 0 0 0 90 32 84 0 33 198 10 0 9 0 0 0 4 1 0 0 40 198 5 0 \
        3 0 0 0 76 1 0 0 90 198 3 0 1 0 0 0 21 0 0 0 0 0 0 0 8 0 8 0 8 0 150 126 0 0 16 39 0 0 244 195 255 \
        255 16 39 0 0 134 236 255 255 16 39 0 0 39 218 255 255 16 39 0 0 70 73 0 0 16 39 0 0 159 1 0 0 16 39 \
        0 0 45 2 0 0 16 39 0 0 8 248 255 255 16 39 0 0 74 41 0 0 16 39 0 0 16 39 0 0 16 39 0 0 16 39 0 0 16 \
        39 0 0 16 39 0 0 16 39 0 0 128 128 128 128 128 128 128 128 128 128 128 128 14 0 254 0 4 0 1 0 0 0 0 \
        0 0 0 0 1 4 0 1 0 0 0 24 0 0 0 1 1 4 0 1 0 0 0 24 0 0 0 2 1 3 0 1 0 0 0 16 0 0 0 3 1 3 0 1 0 0 0 1 0 \
        0 0 6 1 3 0 1 0 0 0 35 128 0 0 17 1 4 0 1 0 0 0 30 2 0 0 21 1 3 0 1 0 0 0 1 0 0 0 22 1 4 0 1 0 0 0 \
        24 0 0 0 23 1 4 0 1 0 0 0 128 4 0 0 28 1 3 0 1 0 0 0 1 0 0 0 141 130 3 0 2 0 0 0 2 0 2 0 142 130 1 0 \
        4 0 0 0 0 1 1 2 29 198 4 0 1 0 0 0 255 255 0 0 0 0 0 0
  y=0
  while [ $y -lt 24 ]; do
    x=0
    while [ $x -lt 24 ]; do
      v=$(((x + y) * 1000))
      bytes $((v & 255)) $((v >> 8))
      x=$((x + 1))
    done
    y=$((y + 1))
  done
}
raw_dng 1 >"$out/raw/tiny.dng"
raw_dng 6 >"$out/raw/turned.dng"
