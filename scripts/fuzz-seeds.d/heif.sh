# HEIF seeds for the heif target: lossy and lossless HEIC, an odd size (a
# one-tile grid), grey, alpha, 10 bits, and an AVIF. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out, scratch, rgb and grey come from make-fuzz-seeds.sh
mkdir -p "$out/heif"
# heif_seed NAME SOURCE [HEIF-ENC OPTIONS]: heif-enc reads only PNG or JPEG
# and writes only to a named file.
heif_seed() {
  name=$1 source=$2
  shift 2
  [ -s "$source" ] && seed "$out/heif/$name" "heif-enc $source -o $scratch/seed.${name##*.} $* >/dev/null && cat $scratch/seed.${name##*.}"
  rm -f "$scratch/seed.heic" "$scratch/seed.avif"
}
if have heif-enc && have convert && [ -s "$rgb" ]; then
  convert "$rgb" -depth 8 "png24:$scratch/rgb.png" 2>/dev/null
  convert "$grey" -colorspace gray -depth 8 "png:$scratch/grey.png" 2>/dev/null
  convert "$rgb" -alpha set -channel A -fx i/w +channel "png32:$scratch/alpha.png" 2>/dev/null
  convert "$rgb" -depth 16 "png48:$scratch/deep.png" 2>/dev/null
  convert "$rgb" -crop 23x15+0+0 +repage -depth 8 "png24:$scratch/odd.png" 2>/dev/null
  heif_seed lossy.heic "$scratch/rgb.png" -q 50
  heif_seed lossless.heic "$scratch/rgb.png" -L -p chroma=444 --matrix_coefficients=0
  heif_seed odd.heic "$scratch/odd.png"
  heif_seed grey.heic "$scratch/grey.png"
  heif_seed alpha.heic "$scratch/alpha.png"
  heif_seed deep.heic "$scratch/deep.png" -b 10
  heif_seed picture.avif "$scratch/rgb.png" -A
  rm -f "$scratch/rgb.png" "$scratch/grey.png" "$scratch/alpha.png" "$scratch/deep.png" "$scratch/odd.png"
fi
