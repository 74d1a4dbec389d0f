#!/usr/bin/env bash
# From the process started to the picture on the screen: Show against every installed peer viewer, on the same
# photograph-like JPEGs of 1, 16 and 24 megapixels, under one Xvfb, taking turns.
# Usage: bench/first_paint_vs_peers.sh [BUILD_BIN_FOLDER]   (default build/bin; a build folder works too)
#
# Each run is timed by screen_watch (built from bench/screen_watch.cpp), which
# starts the viewer, samples the root window about once a millisecond and
# prints when the viewer's final picture first covers the screen, by the same
# rule for every viewer; it also reads the viewer's peak resident memory
# before killing it. Every viewer gets fresh, empty settings, cache and data
# folders for every run, so it starts from its defaults, and each picture
# sits alone in its folder, so a viewer that browses finds nothing else to
# read. One round warms the disk cache and is not counted; then RUNS rounds
# (default 5), each viewer in turn on each size. Prints medians in
# milliseconds, the median peak memory at 16 megapixels, and Show's time as a
# share of the fastest peer's at 16 megapixels. Peers that are not installed
# are left out with a note.
set -euo pipefail

bin=${1:-build/bin}
[[ -x $bin/screen_watch ]] || bin=$bin/bin
bin=$(cd "$bin" && pwd)
for tool in Show screen_watch; do
    [[ -x $bin/$tool ]] || { echo "first_paint_vs_peers.sh: no $tool in ${1:-build/bin}" >&2; exit 1; }
done
for tool in convert Xvfb; do
    command -v "$tool" >/dev/null || { echo "first_paint_vs_peers.sh: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done
runs=${RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/first_paint.XXXXXX")
xvfb=""
cleanup() {
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The viewers and how each is started: every one on its own defaults, which
# fit a picture larger than the window into it, except feh, which needs
# --scale-down to do so. Debian installs imv's X11 build as imv-x11.
names=(Show) commands=("$bin/Show")
missing=()
peer() {
    local name=$1 command=$2
    if command -v "${command%% *}" >/dev/null; then
        names+=("$name") commands+=("$command")
    else
        missing+=("$name")
    fi
}
peer feh "feh --scale-down"
peer gpicview gpicview
peer nsxiv nsxiv
peer eog eog
peer gthumb gthumb
peer geeqie geeqie
peer ristretto ristretto
if command -v imv-x11 >/dev/null; then peer imv imv-x11; else peer imv imv; fi

# The pictures: smooth gradients with grain, as a photograph has (the
# recipe of bench/peers_table.sh, the gradients blended rather than
# multiplied so that no part of the picture is near the black of an empty
# screen or of a viewer's background).
sizes=(1 16 24)
picture() {
    local megapixels=$1 width=$2 height=$3
    mkdir -p "$megapixels"
    convert -size "${width}x$height" gradient:red-blue \( -size "${height}x$width" gradient:green-yellow -rotate 90 \) \
        -compose Blend -define compose:args=50 -composite -attenuate 0.4 +noise Gaussian -depth 8 \
        -quality 75 -sampling-factor 2x2 "$megapixels/photo.jpg"
}
picture 1 1152 864
picture 16 4608 3456
picture 24 5664 4248

# One X server for every run, with a black root and no window manager.
exec 3>display
Xvfb -displayfd 3 -screen 0 1920x1080x24 -br -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 200); do [[ -s display ]] && break; sleep 0.05; done
[[ -s display ]] || { echo "first_paint_vs_peers.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(cat display)
export DISPLAY
export QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1
unset ZARN_REPORT_FIRST_PAINT WAYLAND_DISPLAY

# one INDEX SIZE ROUND: a run of viewer INDEX on the picture of SIZE
# megapixels; appends "ms kib" to its results (round 0 only warms up).
one() {
    local index=$1 size=$2 round=$3 home=$work/home out
    rm -rf "$home" && mkdir -p "$home/config" "$home/cache" "$home/data" "$home/tmp"
    # shellcheck disable=SC2086  # the command is split into words on purpose
    if out=$(HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_DATA_HOME=$home/data \
        TMPDIR=$home/tmp "$bin/screen_watch" -- ${commands[index]} "$work/$size/photo.jpg" 2>/dev/null); then
        ((round == 0)) || awk '/^first/ { t = $2 } /^rss/ { r = $2 } END { print t, r }' <<<"$out" >>"r$index.$size"
    else
        ((round == 0)) || echo "failed" >>"r$index.$size"
    fi
    sleep 0.3  # the closed window's area is repainted before the next start
}

for round in $(seq 0 "$runs"); do
    for size in "${sizes[@]}"; do
        for index in "${!names[@]}"; do one "$index" "$size" "$round"; done
    done
done

# median FILE COLUMN: the median of a column of the runs that succeeded, or "-".
median() {
    [[ -f $1 ]] || { echo -; return; }
    grep -v failed "$1" | awk -v c="$2" '{ print $c }' | sort -g |
        awk '{ v[NR] = $1 } END { if (!NR) print "-"; else printf "%.0f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%s\n' "from the process started to the picture on the screen (Xvfb 1920x1080, no window manager)," \
    "median of $runs runs in ms; peak RSS in MiB, median, at 16 megapixels."
((${#missing[@]})) && echo "not installed, left out: ${missing[*]}"
printf '\n%-10s %8s %8s %8s %12s\n' viewer "1 MP" "16 MP" "24 MP" "RSS 16 MP"
best="" best_ms=0
for index in "${!names[@]}"; do
    row=()
    for size in "${sizes[@]}"; do row+=("$(median "r$index.$size" 1)"); done
    rss=$(median "r$index.16" 2)
    [[ $rss != - ]] && rss=$((rss / 1024))
    failures=$(cat r"$index".* 2>/dev/null | grep -c failed || true)
    printf '%-10s %8s %8s %8s %12s%s\n' "${names[index]}" "${row[@]}" "$rss" \
        "$( ((failures)) && echo "  ($failures runs showed nothing)")"
    if ((index > 0)) && [[ ${row[1]} != - ]] && { [[ -z $best ]] || ((row[1] < best_ms)); }; then
        best=${names[index]} best_ms=${row[1]}
    fi
done
show_ms=$(median r0.16 1) show_rss=$(median r0.16 2)
if [[ -n $best && $show_ms != - ]]; then
    awk -v s="$show_ms" -v p="$best_ms" -v name="$best" -v k="$show_rss" 'BEGIN {
        r = s / p; m = k / 1024
        printf "\nShow / fastest peer (%s) at 16 MP: %.2f (target <= 0.60: %s); Show peak RSS %.0f MiB", name, r,
            r <= 0.6 ? "ok" : "OVER", m
        printf " (target <= 87: %s)\n", m <= 87 ? "ok" : "OVER" }'
fi
