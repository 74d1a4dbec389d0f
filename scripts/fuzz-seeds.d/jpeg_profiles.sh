# JPEG seeds with embedded colour profiles for the jpeg target: wide-gamut RGB,
# grey and CMYK pictures made for their profiles, a profile split over two
# segments, and one cut short. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out and scratch come from make-fuzz-seeds.sh
icc_folder=/usr/share/color/icc/ghostscript
base="$out/jpeg/baseline.jpg"
# icc_segment FILE NUMBER COUNT: an APP2 segment carrying FILE as part NUMBER of COUNT.
icc_segment() {
  size=$(wc -c <"$1")
  bytes 255 226; be16 $((size + 16)); printf 'ICC_PROFILE'; bytes 0 "$2" "$3"; cat "$1"
}
if have jpgicc && [ -s "$base" ]; then
  for profile in a98:wide ps_gray:grey ps_cmyk:cmyk; do
    [ -s "$icc_folder/${profile%%:*}.icc" ] &&
      seed "$out/jpeg/icc-${profile##*:}.jpg" \
        "jpgicc -e -q60 -o $icc_folder/${profile%%:*}.icc $base $scratch/icc.jpg >/dev/null && cat $scratch/icc.jpg"
  done
fi
if [ -s "$base" ] && [ -s "$icc_folder/a98.icc" ]; then
  head -c 300 "$icc_folder/a98.icc" >"$scratch/first.icc"
  tail -c +301 "$icc_folder/a98.icc" >"$scratch/second.icc"
  { bytes 255 216; icc_segment "$scratch/first.icc" 1 2; icc_segment "$scratch/second.icc" 2 2
    tail -c +3 "$base"; } >"$out/jpeg/icc-split.jpg"
  { bytes 255 216; icc_segment "$scratch/first.icc" 1 1; tail -c +3 "$base"; } >"$out/jpeg/icc-cut.jpg"
fi
