#!/bin/sh
# Runs every fuzz target in BIN for SECONDS each, seeded with the samples, the
# files make-fuzz-seeds.sh writes for its reader (saved crashers included) and
# its dictionary BIN/<target>_fuzz.dict (which the fuzz build writes from
# fuzz/*.dict). With CORPUS (a folder outside the repository) the run is a
# campaign: each target starts from CORPUS/<target> as well, what it finds is
# merged back there, and a crash is minimised and kept while the other targets
# still run; a target stops early at FUZZ_RUNS executions (5,000,000 unless
# given). Any crash fails the run; crashing inputs are kept in
# BIN/../crashes/<target>/. Prints executions, executions a second and
# coverage per target.
set -eu
bin=${1:-build-fuzz/bin}
seconds=${2:-30}
corpus_root=${3:-}
top=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$bin" && pwd)
crashes=$(dirname "$bin")/crashes
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each target sets a small pixel-block ceiling of its own (4 MiB, less for
# readers that work on every pixel a header declares), which keeps every input
# fast while still reaching each size check; ZARN_MAX_IMAGE_BYTES overrides it.

sh "$top/scripts/make-fuzz-seeds.sh" "$work/seeds"

# The last status line of a libFuzzer log as "executions exec/s cov ft".
figures() {
  grep -E '^#[0-9]+' "$1" | tail -n 1 |
    sed -E 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+).*exec\/s: ([0-9]+).*/\1 \4 \2 \3/;t;d'
}

found=0
failed=""
summary="$work/summary"
printf '%-11s %12s %8s %6s %7s %7s\n' target executions exec/s cov ft corpus >"$summary"
for target in "$bin"/*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target" _fuzz)
  seeds="$work/$name-seeds"
  mkdir -p "$seeds"
  cp "$top"/samples/*.bmp "$seeds"/ 2>/dev/null || true
  cp "$work/seeds/$name"/* "$seeds"/ 2>/dev/null || true
  dict=""
  [ -s "$target.dict" ] && dict="-dict=$target.dict"
  new="$work/$name-new"
  mkdir -p "$new" "$crashes/$name"
  dirs="$new $seeds"
  if [ -n "$corpus_root" ]; then
    mkdir -p "$corpus_root/$name"
    dirs="$new $corpus_root/$name $seeds"
  fi
  # A campaign stops a target at FUZZ_RUNS executions (five million unless
  # given), which the fast ones reach well before the time is up.
  runs=""
  [ -n "$corpus_root" ] && runs="-runs=${FUZZ_RUNS:-5000000}"
  echo "== fuzzing $name for ${seconds}s"
  status=0
  # shellcheck disable=SC2086
  "$target" -max_total_time="$seconds" $runs -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
            $dict -artifact_prefix="$crashes/$name/" $dirs >"$work/$name.log" 2>&1 || status=$?
  # shellcheck disable=SC2046 # the four figures are meant to split
  set -- $(figures "$work/$name.log") "" "" "" ""
  size="-"
  if [ -n "$corpus_root" ]; then
    # shellcheck disable=SC2086
    "$target" -merge=1 $dict "$corpus_root/$name" "$new" "$seeds" >"$work/$name-merge.log" 2>&1 || true
    size=$(ls "$corpus_root/$name" | wc -l)
  fi
  printf '%-11s %12s %8s %6s %7s %7s\n' "$name" "${1:--}" "${2:--}" "${3:--}" "${4:--}" "$size" >>"$summary"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$work/$name.log"
    echo "fuzz target $name failed; crashing input kept as:"
    for crash in "$crashes/$name"/crash-* "$crashes/$name"/leak-* "$crashes/$name"/timeout-* "$crashes/$name"/oom-*; do
      [ -f "$crash" ] || continue
      case "$crash" in *.min) continue ;; esac
      "$target" -minimize_crash=1 -max_total_time=60 -exact_artifact_path="$crash.min" "$crash" >/dev/null 2>&1 || true
      echo "  $crash"
      [ -f "$crash.min" ] && echo "  $crash.min (minimised)"
    done
    failed="$failed $name"
    [ -n "$corpus_root" ] || { cat "$summary"; exit 1; }
  fi
done
[ "$found" -eq 1 ] || echo "no fuzz targets in $bin"
cat "$summary"
[ -z "$failed" ] ||
  { echo "crashed:$failed (replay them, then save them minimised in tests/data/crashers/<format>/)"; exit 1; }
