#!/bin/sh
# The main job: lists the formats and converts every bundled sample with zarnconv.
set -eu
bin=${1:-build/bin}
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/run-output"
mkdir -p "$out"

"$bin/zarnconv" --list-formats
echo
"$bin/zarnconv" --type 1 "$top"/samples/*.bmp "$out/"
echo "Converted samples are in $out:"
ls -l "$out"
