#!/bin/sh
# The main job: the viewer on a bundled sample when there is a display; without
# one, the converter lists the formats and converts every bundled sample.
set -eu
bin=${1:-build/bin}
top=$(cd "$(dirname "$0")/.." && pwd)

if [ -x "$bin/Show" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    echo "Starting the viewer on samples/colour-wheel.bmp (close its window, or press Esc, to end)"
    exec "$bin/Show" "$top/samples/colour-wheel.bmp"
fi
if [ -x "$bin/Show" ]; then
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the converter job instead of the viewer."
else
    echo "The viewer was not built (Qt 6 missing?): running the converter job."
fi

out="$top/build/run-output"
mkdir -p "$out"
"$bin/zarnconv" --list-formats
echo
"$bin/zarnconv" --type 1 "$top"/samples/*.bmp "$out/"
echo "Converted samples are in $out:"
ls -l "$out"
