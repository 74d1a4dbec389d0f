#!/usr/bin/env bash
# Stepping through a folder: from the Right key to the next picture on the screen, in Show, for twenty
# photograph-like 16-megapixel JPEGs, each shown for a second.
# Usage: bench/stepping_bench.sh [BUILD_BIN_FOLDER]   (default build/bin; a build folder works too)
#
# screen_watch (bench/screen_watch.cpp) starts Show on the first picture
# under an Xvfb of its own, waits for its first paint, then presses Right
# once a second and times each step by the rule of
# bench/first_paint_vs_peers.sh, from the key to the first screen that shows
# the next picture. RUNS passes (default 1) through the folder, each with
# fresh settings; prints every step, the median and the worst.
set -euo pipefail

bin=${1:-build/bin}
[[ -x $bin/screen_watch ]] || bin=$bin/bin
bin=$(cd "$bin" && pwd)
for tool in Show screen_watch; do
    [[ -x $bin/$tool ]] || { echo "stepping_bench.sh: no $tool in ${1:-build/bin}" >&2; exit 1; }
done
for tool in convert Xvfb; do
    command -v "$tool" >/dev/null || { echo "stepping_bench.sh: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done
runs=${RUNS:-1}
count=20

work=$(mktemp -d "${TMPDIR:-/tmp}/stepping.XXXXXX")
xvfb=""
cleanup() {
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The pictures: bench/first_paint_vs_peers.sh's 16-megapixel one, each
# turned to another hue so that every step changes the whole picture.
width=4608 height=3456
convert -size ${width}x$height gradient:red-blue \( -size ${height}x$width gradient:green-yellow -rotate 90 \) \
    -compose Blend -define compose:args=50 -composite -attenuate 0.4 +noise Gaussian -depth 8 base.ppm
mkdir folder
for n in $(seq $count); do
    convert base.ppm -modulate 100,100,$((n * 190 / count)) -quality 75 -sampling-factor 2x2 \
        "folder/$(printf %02d "$n").jpg"
done
rm base.ppm

exec 3>display
Xvfb -displayfd 3 -screen 0 1920x1080x24 -br -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 200); do [[ -s display ]] && break; sleep 0.05; done
[[ -s display ]] || { echo "stepping_bench.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(cat display)
export DISPLAY
export QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled:
unset ZARN_REPORT_FIRST_PAINT WAYLAND_DISPLAY

for _ in $(seq "$runs"); do
    home=$work/home
    rm -rf "$home" && mkdir -p "$home/config" "$home/data" "$home/tmp"
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data TMPDIR=$home/tmp \
        "$bin/screen_watch" --steps $((count - 1)) --interval 1000 -- "$bin/Show" "$work/folder/01.jpg" >>steps ||
        echo "stepping_bench.sh: Show showed nothing" >&2
    sleep 0.3
done

echo "Show, Right through $count 16-megapixel JPEGs (Xvfb 1920x1080, no window manager), $runs pass(es):"
echo "first paint: $(awk '/^first/ { printf "%s%.0f", s, $2; s = " " }' steps) ms"
echo "steps (ms, -1: no change within the second): $(awk '/^step/ { printf "%s%.0f", s, $2; s = " " }' steps)"
awk '/^step/ { if ($2 < 0) missed++; else v[++n] = $2 }
    END {
        if (!n) { print "no step was shown"; exit }
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        median = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        printf "median %.1f ms, worst %.1f ms%s (target: median <= 30 ms: %s)\n", median, v[n],
            missed ? sprintf(", %d steps showed nothing", missed) : "", median <= 30 ? "ok" : "OVER"
    }' steps
