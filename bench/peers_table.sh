#!/usr/bin/env bash
# One table of whole-command timings, ours against every installed peer, on a 16-megapixel picture.
# Usage: bench/peers_table.sh [BUILD_BIN_FOLDER]   (default build/bin; a build folder works too)
#
# Each command is timed by hyperfine (-N, one warm-up, RUNS runs, default 5)
# and the median is kept; a command whose first run takes longer than
# SLOW_SECONDS (default 5) gets 3 runs and no warm-up. Every tool runs on one
# thread and on its own native input (vips on .v, netpbm on .ppm), made once
# before any timing. Inputs and outputs live in a folder under /dev/shm when
# it exists, so the disk is out of the picture. Peers that are not installed
# are left out with a note. Peak resident memory comes from one more run of
# each command under /usr/bin/time.
set -euo pipefail
set -f  # vips' "out.jpg[Q=75]" is an argument, not a pattern

bin=${1:-build/bin}
[[ -x $bin/zarnconv ]] || bin=$bin/bin
bin=$(cd "$bin" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for tool in zarnconv zarnops libzarnpng.so libzarntiff.so; do
    [[ -e $bin/$tool ]] || { echo "peers_table.sh: no $tool in ${1:-build/bin}" >&2; exit 1; }
done
for tool in hyperfine convert /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "peers_table.sh: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done
runs=${RUNS:-5}
slow=${SLOW_SECONDS:-5}
zarnconv="$bin/zarnconv -q"
zarnops=$bin/zarnops

# One thread everywhere: the peers would otherwise use every core.
export VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1 OMP_THREAD_LIMIT=1 MAGICK_THREAD_LIMIT=1 ZARN_THREADS=1
gm="gm convert -limit threads 1"

ram=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && ram=/dev/shm
work=$(mktemp -d "$ram/peers_table.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

missing=()
for tool in vips gm djpeg cjpeg ppmtopgm pnmtopng pngtopnm tifftopnm giftopnm pamflip pamcut pamscale \
    pamfunc pnmquant; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
have() { command -v "$1" >/dev/null; }

# The inputs, 4608x3456: smooth gradients with grain, as a photograph has.
width=4608 height=3456
convert -size ${width}x$height gradient:red-blue \( -size ${height}x$width gradient:green-yellow -rotate 90 \) \
    -compose Multiply -composite -attenuate 0.4 +noise Gaussian -depth 8 in.ppm
convert in.ppm -type TrueColor BMP3:in.bmp
convert in.ppm -resize 64x48! -quality 75 small.jpg
convert in.ppm -quality 75 -sampling-factor 2x2 in.jpg
convert in.ppm -quality 75 png:in.png
convert in.ppm -compress lzw in.tif
# The GIF's 256 colours come from our own reduction, the quickest way to one.
"$zarnops" reduce in.bmp reduced.bmp && $zarnconv reduced.bmp in.gif && rm reduced.bmp
if have vips; then vips copy in.ppm in.v; fi

# stats NAME: "median user+system" seconds from hyperfine's summary of NAME.
stats() {
    awk -F'[:,]' '/"median"/ { m = $2 } /"user"/ { u = $2 } /"system"/ { s = $2 }
        END { printf "%.4f %.4f\n", m, u + s }' "$1.json"
}

# measure NAME COMMAND: times COMMAND (its standard output goes to the file
# after a " > ", if any) into NAME.json and NAME.rss (KiB); false on failure.
measure() {
    local name=$1 command=${2%% > *} output=/dev/null
    [[ $2 == *" > "* ]] && output=./${2##* > }
    # shellcheck disable=SC2086  # the command is split into words on purpose
    /usr/bin/time -f '%M %e' -o "$name.rss" $command >"$output" 2>/dev/null || return 1
    local count=$runs warmup=1
    if awk -v s="$(cut -d' ' -f2 "$name.rss")" -v limit="$slow" 'BEGIN { exit !(s > limit) }'; then
        count=$((runs < 3 ? runs : 3)) warmup=0
    fi
    hyperfine -N --style none --warmup $warmup --runs "$count" --output "$output" \
        --export-json "$name.json" "$command" >/dev/null 2>&1
}

printf '%s\n' "median of $runs runs (3 for commands over ${slow}s), single-threaded; cpu = user+system;" \
    "ratio = ours / fastest peer (wall, then cpu); peak RSS in MiB of ours and of the fastest peer."
((${#missing[@]})) && echo "not installed, left out: ${missing[*]}"
printf '\n%-26s %16s  %-28s  %11s  %-4s %-6s %s\n' job "ours s (cpu)" "fastest peer s (cpu)" "ratio (cpu)" "" \
    target "RSS MiB ours / peer"

# job TITLE TARGET OURS [PEER-NAME PEER-COMMAND]...: one row of the table,
# then the other peers' times. A peer whose program is missing is skipped.
job() {
    local title=$1 target=$2 ours=$3 n=0
    shift 3
    if ! measure ours "$ours"; then
        printf '%-26s ours failed: %s\n' "$title" "$ours"
        return
    fi
    local ours_wall ours_cpu best="" best_wall=0 best_cpu=0 best_rss=0 others=""
    read -r ours_wall ours_cpu <<<"$(stats ours)"
    while (($#)); do
        local peer=$1 command=$2 wall cpu
        shift 2
        have "${command%% *}" || continue
        n=$((n + 1))
        if ! measure "peer$n" "$command"; then
            others+=" $peer failed;"
            continue
        fi
        read -r wall cpu <<<"$(stats "peer$n")"
        others+=" $peer $(printf %.3f "$wall");"
        if [[ -z $best ]] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
            best=$peer best_wall=$wall best_cpu=$cpu best_rss=$(cut -d' ' -f1 "peer$n.rss")
        fi
    done
    local ours_rss
    ours_rss=$(cut -d' ' -f1 ours.rss)
    if [[ -z $best ]]; then
        printf '%-26s %7.3f (%6.3f)  %-30s\n' "$title" "$ours_wall" "$ours_cpu" "no peer"
        return
    fi
    local ratio cpu_ratio verdict
    ratio=$(awk -v o="$ours_wall" -v p="$best_wall" 'BEGIN { printf "%.2f", o / p }')
    cpu_ratio=$(awk -v o="$ours_cpu" -v p="$best_cpu" 'BEGIN { printf "%.2f", (p > 0 ? o / p : 0) }')
    verdict=$(awk -v r="$ratio" -v t="$target" 'BEGIN { print (r <= t ? "ok" : "OVER") }')
    printf '%-26s %7.3f (%6.3f)  %-11s %7.3f (%6.3f)  %5s %5s  %-4s %-6s %6.0f / %.0f\n' "$title" "$ours_wall" \
        "$ours_cpu" "$best" "$best_wall" "$best_cpu" "$ratio" "$cpu_ratio" "$verdict" "<=$target" \
        "$(awk -v k="$ours_rss" 'BEGIN { print k / 1024 }')" "$(awk -v k="$best_rss" 'BEGIN { print k / 1024 }')"
    printf '%-26s peers:%s\n' "" "${others%;}"
}

# The centre quarter: half the width and half the height, in the middle.
cx=$((width / 4)) cy=$((height / 4)) cw=$((width / 2)) ch=$((height / 2))

job "64x48 JPEG to BMP" 1.0 "$zarnconv small.jpg out.bmp" \
    djpeg "djpeg -bmp -outfile peer.bmp small.jpg" vips "vips copy small.jpg peer.v" \
    gm "$gm small.jpg peer.bmp"
job "JPEG decode" 1.0 "$zarnconv in.jpg out.bmp" \
    djpeg "djpeg -bmp -outfile peer.bmp in.jpg" vips "vips copy in.jpg peer.v" gm "$gm in.jpg peer.ppm"
job "JPEG encode (quality 75)" 1.0 "$zarnconv in.bmp out.jpg" \
    cjpeg "cjpeg -quality 75 -outfile peer.jpg in.ppm" vips "vips copy in.v peer.jpg[Q=75]" \
    gm "$gm in.ppm -quality 75 peer.jpg"
job "24-bit to 8-bit grey" 1.0 "$zarnops grey in.bmp out.bmp" \
    ppmtopgm "ppmtopgm in.ppm > peer.pgm" vips "vips colourspace in.v peer.v b-w" \
    gm "$gm in.ppm -colorspace gray peer.pgm"
job "BMP to PNG" 0.7 "$zarnconv in.bmp out.png" \
    pnmtopng "pnmtopng in.ppm > peer_pnmtopng.png" vips "vips copy in.v peer_vips.png" \
    gm "$gm in.ppm peer_gm.png"
printf '%-26s sizes: ours %s' "" "$(stat -c %s out.png 2>/dev/null || echo -)"
for peer in pnmtopng vips gm; do
    [[ -f peer_$peer.png ]] && printf ', %s %s' "$peer" "$(stat -c %s "peer_$peer.png")"
done
printf ' bytes (target: no larger than the fastest peer)\n'
rm -f peer_*.png out.png
job "quarter turn" 0.9 "$zarnops rotate in.bmp out.bmp" \
    vips "vips rot in.v peer.v d90" pamflip "pamflip -cw in.ppm > peer.ppm" gm "$gm in.ppm -rotate 90 peer.ppm"
job "crop, centre quarter" 0.9 "$zarnconv --crop $cx,$cy,$cw,$ch in.bmp out.bmp" \
    pamcut "pamcut -left $cx -top $cy -width $cw -height $ch in.ppm > peer.ppm" \
    vips "vips extract_area in.v peer.v $cx $cy $cw $ch" gm "$gm in.ppm -crop ${cw}x$ch+$cx+$cy peer.ppm"
job "BMP to BMP, no operation" 1.6 "$zarnconv in.bmp out.bmp" cp "cp in.bmp peer.bmp"
job "PNG decode" 0.8 "$zarnconv in.png out.bmp" \
    vips "vips copy in.png peer.v" pngtopnm "pngtopnm in.png > peer.ppm" gm "$gm in.png peer.ppm"
job "TIFF LZW decode" 0.8 "$zarnconv in.tif out.bmp" \
    vips "vips copy in.tif peer.v" tifftopnm "tifftopnm in.tif > peer.ppm" gm "$gm in.tif peer.ppm"
job "GIF decode" 1.0 "$zarnconv in.gif out.bmp" \
    giftopnm "giftopnm in.gif > peer.ppm" vips "vips copy in.gif peer.v" gm "$gm in.gif peer.ppm" \
    ImageMagick "convert in.gif peer.ppm"
job "reduce to 256, diffused" 1.0 "$zarnops reduce in.bmp out.bmp" \
    pnmquant "pnmquant -floyd 256 in.ppm > peer.ppm" gm "$gm in.ppm -dither -colors 256 peer.ppm" \
    ImageMagick "convert in.ppm -dither FloydSteinberg -colors 256 peer.ppm"
job "double size, smoothed" 1.0 "$zarnops resize $((2 * width))x$((2 * height)) in.bmp out.bmp" \
    pamscale "pamscale 2 in.ppm > peer.ppm" vips "vips resize in.v peer.v 2 --kernel linear" \
    gm "$gm in.ppm -filter Triangle -resize 200% peer.ppm"
job "tone, 5% brighter" 1.0 "$zarnops code 8 in.bmp out.bmp" \
    pamfunc "pamfunc -multiplier=1.05 in.ppm > peer.ppm" vips "vips linear in.v peer.v 1.05 0 --uchar" \
    gm "$gm in.ppm -level 0,1.0,243 peer.ppm"

# The newer formats, each in a file of its own in peers_rows/, run when its
# module was built (colour.sh, the library's own, always): they use job,
# measure, have, $zarnconv and in.ppm.
set +f
for rows in "$here"/peers_rows/*.sh; do
    module=$(basename "$rows" .sh)
    if [[ $module == colour || -e $bin/libzarn$module.so ]]; then
        # shellcheck disable=SC1090  # one file per module
        source "$rows"
    else
        echo "no libzarn$module.so: its rows are left out"
    fi
done
