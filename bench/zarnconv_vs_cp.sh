#!/usr/bin/env bash
# Times a 16-megapixel BMP to BMP run of zarnconv against cp of the same file,
# and measures zarnconv's peak memory against the file's size.
# Usage: bench/zarnconv_vs_cp.sh [BUILD_BIN_FOLDER]   (default build/bin)
set -euo pipefail

bin=${1:-build/bin}
[[ -x $bin/zarnconv ]] || bin=$bin/bin  # a build folder works too
zarnconv=$(cd "$bin" && pwd)/zarnconv
if [[ ! -x $zarnconv ]]; then
    echo "zarnconv_vs_cp.sh: no zarnconv in ${1:-build/bin}" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zarnconv_vs_cp.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A 4096x4096 24-bit BMP: the 54-byte header by hand, then random rows
# (12288 bytes each, already a multiple of four). 50331648 bytes of pixels.
side=4096
pixel_bytes=$((side * side * 3))
# Little-endian words: the inner printf writes octal escapes, the outer one the bytes.
le32() { printf "$(printf '\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
le16() { printf "$(printf '\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
{
    printf 'BM'
    le32 $((54 + pixel_bytes)); le32 0; le32 54
    le32 40; le32 $side; le32 $side; le16 1; le16 24
    le32 0; le32 $pixel_bytes; le32 2835; le32 2835; le32 0; le32 0
    head -c $pixel_bytes /dev/urandom
} > in.bmp
file_bytes=$(stat -c %s in.bmp)

# Mean wall time in seconds of a command, run several times after a warm-up.
if command -v hyperfine > /dev/null; then
    hyperfine --warmup 2 --runs 10 --export-csv times.csv \
        --command-name zarnconv "$zarnconv -q in.bmp out.bmp" \
        --command-name cp "cp in.bmp out2.bmp"
    zarnconv_seconds=$(awk -F, '$1 == "zarnconv" { print $2 }' times.csv)
    cp_seconds=$(awk -F, '$1 == "cp" { print $2 }' times.csv)
else
    mean_seconds() {
        "$@"  # warm-up
        local start end runs=10
        start=$(date +%s%N)
        for ((i = 0; i < runs; i++)); do "$@"; done
        end=$(date +%s%N)
        awk -v ns=$((end - start)) -v runs=$runs 'BEGIN { printf "%.6f", ns / runs / 1e9 }'
    }
    zarnconv_seconds=$(mean_seconds "$zarnconv" -q in.bmp out.bmp)
    cp_seconds=$(mean_seconds cp in.bmp out2.bmp)
fi

cmp -s <(tail -c +55 in.bmp) <(tail -c +55 out.bmp) || { echo "zarnconv changed the pixels" >&2; exit 1; }

peak_kib=$(/usr/bin/time -v "$zarnconv" -q in.bmp out.bmp 2>&1 >/dev/null |
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
file_kib=$((file_bytes / 1024))

awk -v z="$zarnconv_seconds" -v c="$cp_seconds" -v peak="$peak_kib" -v file="$file_kib" 'BEGIN {
    printf "\nzarnconv in.bmp out.bmp  %8.1f ms\n", z * 1000
    printf "cp in.bmp out2.bmp       %8.1f ms\n", c * 1000
    printf "ratio zarnconv / cp      %8.2f   (target: at most 2)\n", z / c
    printf "file size                %8d KiB\n", file
    printf "zarnconv peak memory     %8d KiB  (%+d KiB over the file: program, libraries, buffers)\n", peak, peak - file
}'
