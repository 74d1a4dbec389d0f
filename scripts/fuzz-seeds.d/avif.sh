# AVIF seeds for the avif target: 8, 10 and 12 bits, each chroma layout, grey,
# alpha, a rotation and mirror, and a two-frame sequence, all at avifenc's
# fastest speed. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out, scratch, rgb and grey come from make-fuzz-seeds.sh
mkdir -p "$out/avif"
# avif_seed NAME [AVIFENC OPTIONS AND SOURCES]: avifenc writes only to a named file.
avif_seed() {
  name=$1
  shift
  seed "$out/avif/$name.avif" "avifenc -s 10 $* $scratch/seed.avif >/dev/null && cat $scratch/seed.avif"
  rm -f "$scratch/seed.avif"
}
if have avifenc && have convert && [ -s "$rgb" ] && [ -s "$grey" ]; then
  convert "$rgb" "png24:$scratch/avif-rgb.png" 2>/dev/null
  convert "$grey" -type TrueColor "png24:$scratch/avif-grey.png" 2>/dev/null
  convert "$rgb" -alpha set -channel A -fx i/w +channel "png32:$scratch/avif-alpha.png" 2>/dev/null
  avif_seed yuv420 -y 420 "$scratch/avif-rgb.png"
  avif_seed yuv444-10bit -d 10 -y 444 "$scratch/avif-rgb.png"
  avif_seed yuv422-12bit -d 12 -y 422 "$scratch/avif-rgb.png"
  avif_seed grey -y 400 "$scratch/avif-grey.png"
  avif_seed alpha "$scratch/avif-alpha.png"
  avif_seed turned --irot 1 --imir 1 "$scratch/avif-rgb.png"
  avif_seed sequence --duration 3 "$scratch/avif-rgb.png" --duration 5 "$scratch/avif-grey.png"
  rm -f "$scratch"/avif-*.png
fi
