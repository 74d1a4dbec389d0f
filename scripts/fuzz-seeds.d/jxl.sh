# JPEG XL seeds for the jxl target: lossy and lossless, grey, alpha, 16 bits,
# the container, and a two-frame animation. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out, scratch, rgb and grey come from make-fuzz-seeds.sh
mkdir -p "$out/jxl"
# jxl_seed NAME SOURCE [CJXL OPTIONS]: cjxl writes only to a named file.
jxl_seed() {
  name=$1 source=$2
  shift 2
  [ -s "$source" ] && seed "$out/jxl/$name.jxl" "cjxl $source $scratch/seed.jxl --quiet $* && cat $scratch/seed.jxl"
  rm -f "$scratch/seed.jxl"
}
if have cjxl; then
  jxl_seed lossy "$rgb"
  jxl_seed lossless "$rgb" -d 0
  jxl_seed modular-lossy "$rgb" -m 1 -d 2
  jxl_seed container "$rgb" --container=1
  jxl_seed fast "$rgb" -e 1 -q 40
  jxl_seed grey "$grey"
  jxl_seed grey-lossless "$grey" -d 0
  if have convert && [ -s "$rgb" ]; then
    convert "$rgb" -alpha set -channel A -fx i/w +channel "png32:$scratch/alpha.png" 2>/dev/null
    convert "$rgb" -depth 16 "png48:$scratch/deep.png" 2>/dev/null
    convert -delay 10 "$rgb" -delay 20 "$grey" -loop 0 "$scratch/anim.gif" 2>/dev/null
    jxl_seed alpha "$scratch/alpha.png"
    jxl_seed deep-lossless "$scratch/deep.png" -d 0
    jxl_seed animated "$scratch/anim.gif"
  fi
fi
