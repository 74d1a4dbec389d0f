# WebP seeds for the webp target: lossy and lossless, alpha both ways, an EXIF
# orientation, and a two-frame animation. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out, scratch, rgb and grey come from make-fuzz-seeds.sh
mkdir -p "$out/webp"
# webp_seed NAME SOURCE [CWEBP OPTIONS]
webp_seed() {
  name=$1 source=$2
  shift 2
  [ -s "$source" ] && seed "$out/webp/$name.webp" "cwebp -quiet $* $source -o -"
}
if have cwebp; then
  webp_seed lossy "$rgb" -q 60
  webp_seed lossless "$rgb" -lossless
  webp_seed grey "$grey" -q 80
  if have convert && [ -s "$rgb" ]; then
    convert "$rgb" -alpha set -channel A -fx i/w +channel "png32:$scratch/alpha.png" 2>/dev/null
    webp_seed alpha-lossy "$scratch/alpha.png" -q 50
    webp_seed alpha-lossless "$scratch/alpha.png" -lossless -exact
  fi
  if have webpmux && [ -s "$out/webp/lossless.webp" ]; then
    # A little-endian TIFF header with one entry: orientation 6.
    bytes 73 73 42 0 8 0 0 0 1 0 18 1 3 0 1 0 0 0 6 0 0 0 0 0 0 0 >"$scratch/orientation.exif"
    seed "$out/webp/exif.webp" "webpmux -set exif $scratch/orientation.exif $out/webp/lossless.webp -o -"
  fi
  if have img2webp && [ -s "$rgb" ] && [ -s "$grey" ]; then
    seed "$out/webp/animated.webp" "img2webp -d 80 $rgb -lossy -q 50 -d 120 $grey -o -"
  fi
fi
