#!/bin/sh
# Runs every fuzz target in BIN for SECONDS each, seeded with the samples, the
# files make-fuzz-seeds.sh writes for its reader and its saved crashers. Any
# crash fails the run.
set -eu
bin=${1:-build-fuzz/bin}
seconds=${2:-30}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Keep fuzzed headers from asking for gigabytes.
export ZARN_MAX_IMAGE_BYTES=${ZARN_MAX_IMAGE_BYTES:-67108864}

sh "$top/scripts/make-fuzz-seeds.sh" "$work/seeds"

found=0
for target in "$bin"/*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target" _fuzz)
  corpus="$work/$name"
  mkdir -p "$corpus"
  cp "$top"/samples/*.* "$corpus"/ 2>/dev/null || true
  cp "$work/seeds/$name"/* "$corpus"/ 2>/dev/null || true
  [ -d "$top/tests/data/crashers/$name" ] && cp "$top/tests/data/crashers/$name"/* "$corpus"/ 2>/dev/null || true
  echo "== fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
            -artifact_prefix="$work/$name-" "$corpus" 2>"$work/$name.log" || {
    tail -n 40 "$work/$name.log"
    echo "fuzz target $name failed; crashing input saved as:"
    ls "$work/$name-"* 2>/dev/null || true
    exit 1
  }
  grep -E '^(Done|#[0-9]+ +DONE)' "$work/$name.log" | tail -n 1 || true
done
[ "$found" -eq 1 ] || echo "no fuzz targets in $bin"
