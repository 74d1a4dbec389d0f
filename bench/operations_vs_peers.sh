#!/usr/bin/env bash
# Times the library's pixel operations, file to file on a 16-megapixel picture,
# against ImageMagick and netpbm doing the same job, and prints the ratios.
# Usage: bench/operations_vs_peers.sh [BUILD_BIN_FOLDER]   (default build/bin)
# Each tool reads and writes its own native format (ours and ImageMagick's
# BMP, netpbm's PPM), so every side pays for one read and one write.
set -euo pipefail

bin=${1:-build/bin}
[[ -x $bin/zarnops ]] || bin=$bin/bin
zarnops=$(cd "$bin" && pwd)/zarnops
if [[ ! -x $zarnops ]]; then
    echo "operations_vs_peers.sh: no zarnops in ${1:-build/bin}" >&2
    exit 1
fi
for tool in convert pnmquant ppmtopgm ppmdither pamflip pamscale; do
    command -v "$tool" >/dev/null || { echo "operations_vs_peers.sh: $tool missing" >&2; exit 1; }
done
runs=${RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/operations_vs_peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A 4096x4096 photograph-like picture: smooth gradients with grain, so the
# colour reducers see tens of thousands of colours, as with a real photo.
convert -size 4096x4096 gradient:red-blue \( -size 4096x4096 gradient:green-yellow -rotate 90 \) \
    -compose Multiply -composite -attenuate 0.4 +noise Gaussian -depth 8 -type TrueColor in.bmp
convert in.bmp -depth 8 in.ppm
# vips, when installed, works on its own format, like the others.
have_vips=0
if command -v vips >/dev/null; then
    have_vips=1
    vips copy in.ppm in.v
fi

# measure COMMAND: the best of $runs runs as "wall cpu" seconds, cpu being
# user plus system time. The machine may be shared, so cpu is the steadier
# figure; wall includes waiting for the disk and for other processes.
measure() {
    local best_wall=1e9 best_cpu=1e9
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f '%e %U %S' -o timing bash -c "$1" >/dev/null 2>&1
        read -r wall user system <timing
        best_wall=$(awk -v a="$best_wall" -v b="$wall" 'BEGIN { print (b < a ? b : a) }')
        best_cpu=$(awk -v a="$best_cpu" -v b="$user" -v c="$system" 'BEGIN { print (b + c < a ? b + c : a) }')
    done
    echo "$best_wall $best_cpu"
}

report() {  # name, our command, then pairs of peer name and command
    local name=$1 ours_wall ours_cpu
    read -r ours_wall ours_cpu <<<"$(measure "$2")"
    shift 2
    printf '%-15s zarngfx %6.2fs cpu %5.2fs' "$name" "$ours_wall" "$ours_cpu"
    while (($#)); do
        local wall cpu
        read -r wall cpu <<<"$(measure "$2")"
        printf ' | %-11s %6.2fs x%-5.1f cpu %5.2fs x%.1f' "$1" "$wall" \
            "$(awk -v p="$wall" -v o="$ours_wall" 'BEGIN { print p / o }')" "$cpu" \
            "$(awk -v p="$cpu" -v o="$ours_cpu" 'BEGIN { print p / (o > 0 ? o : 0.01) }')"
        shift 2
    done
    printf '\n'
}

vips_grey=() vips_rotate=() vips_resize=()
if ((have_vips)); then
    vips_grey=(vips "vips colourspace in.v out.v b-w")
    vips_rotate=(vips "vips rot in.v out.v d90")
    vips_resize=(vips "vips resize in.v out.v 0.732421875 --kernel nearest")
fi

echo "best of $runs runs; xN = peer time / zarngfx time (wall, then user+system)"
report "reduce 256" "'$zarnops' reduce in.bmp out.bmp" \
    ImageMagick "convert in.bmp -dither FloydSteinberg -colors 256 out_im.bmp" \
    pnmquant "pnmquant 256 in.ppm > out.ppm"
report "greyscale" "'$zarnops' grey in.bmp out.bmp" \
    ImageMagick "convert in.bmp -colorspace Gray out_im.bmp" \
    ppmtopgm "ppmtopgm in.ppm > out.pgm" \
    "${vips_grey[@]}"
report "ordered dither" "'$zarnops' dither in.bmp out.bmp" \
    ImageMagick "convert in.bmp -ordered-dither o8x8,6 out_im.bmp" \
    ppmdither "ppmdither in.ppm > out.ppm"
report "quarter turn" "'$zarnops' rotate in.bmp out.bmp" \
    ImageMagick "convert in.bmp -rotate 90 out_im.bmp" \
    pamflip "pamflip -cw in.ppm > out.ppm" \
    "${vips_rotate[@]}"
report "nearest resize" "'$zarnops' resize 3000x3000 in.bmp out.bmp" \
    ImageMagick "convert in.bmp -sample 3000x3000! out_im.bmp" \
    pamscale "pamscale -nomix -width 3000 -height 3000 in.ppm > out.ppm" \
    "${vips_resize[@]}"
