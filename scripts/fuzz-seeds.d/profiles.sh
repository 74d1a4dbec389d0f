# PNG, TIFF and WebP seeds with a stated colour space for their targets: a
# wide-gamut RGB profile, a grey profile, CMYK inks with theirs, and cHRM with
# gAMA. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out, scratch, rgb and grey come from make-fuzz-seeds.sh
icc_folder=/usr/share/color/icc/ghostscript
if have convert && [ -s "$rgb" ] && [ -s "$icc_folder/a98.icc" ]; then
  seed "$out/png/icc-wide.png" "convert $rgb -profile $icc_folder/a98.icc png:-"
  seed "$out/png/chrm.png" "convert $rgb -define png:exclude-chunk=sRGB,iCCP png:-"
  seed "$out/tiff/icc-wide.tif" "convert $rgb -profile $icc_folder/a98.icc tiff:-"
  [ -s "$icc_folder/sgray.icc" ] && [ -s "$grey" ] &&
    seed "$out/png/icc-grey.png" "convert $grey -profile $icc_folder/sgray.icc png:-"
  [ -s "$icc_folder/ps_cmyk.icc" ] &&
    seed "$out/tiff/icc-cmyk.tif" \
      "convert $rgb -profile $icc_folder/srgb.icc -profile $icc_folder/ps_cmyk.icc -compress lzw tiff:-"
  if have cwebp && [ -s "$out/png/icc-wide.png" ]; then
    mkdir -p "$out/webp"
    seed "$out/webp/icc.webp" "cwebp -quiet -lossless -metadata icc $out/png/icc-wide.png -o -"
  fi
fi
