# Animated GIF seeds for the gif_frames target: each disposal method, a
# transparent frame at an offset, local tables and interlace, made by
# ImageMagick. Sourced by make-fuzz-seeds.sh.
# shellcheck disable=SC2154  # out and rgb come from make-fuzz-seeds.sh
mkdir -p "$out/gif_frames"
if have convert && [ -s "$rgb" ]; then
  frames="-delay 10 -dispose None $rgb -dispose Background ( -size 10x6 xc:lime -repage 24x16+3+2 )"
  frames="$frames -dispose Previous ( -size 8x4 xc:blue -size 8x4 xc:none -append -repage 24x16+12+6 )"
  frames="$frames -delay 0 -dispose None ( -size 4x4 xc:yellow -repage 24x16+0+0 )"
  seed "$out/gif_frames/disposals.gif" "convert $(echo "$frames" | sed 's/[()]/\\&/g') gif:-"
  seed "$out/gif_frames/interlaced.gif" "convert $(echo "$frames" | sed 's/[()]/\\&/g') -interlace GIF gif:-"
  seed "$out/gif_frames/local_tables.gif" "convert -delay 5 $rgb \\( $rgb -negate \\) gif:-"
fi
