#!/bin/sh
# Filling the shared thumbnail cache for a folder of 16-megapixel photos
# through _Pic_Thumbnail on every core, cold cache then warm, with
# build/bin/thumbnail_fill_bench; then one photo's thumbnail by zarnconv
# against gdk-pixbuf-thumbnailer, timed by hyperfine.
#
#   bench/thumbnail_fill.sh [build folder] [work folder]
#
# FILES (default 500) names of one 4896x3264 photo (grain over gradients),
# made once in the work folder: hard links, so the folder costs the space
# of one file, each name still its own thumbnail. CAMERA=1 gives the photo
# a letterboxed 160x120 Exif thumbnail, as cameras file one (needs exiftool).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(ls -d "$here"/../build* 2>/dev/null | head -n 1)}
work=${2:-${TMPDIR:-/tmp}/zarn-thumbnail-bench}
files=${FILES:-500}
runs=${RUNS:-10}
bin=$(cd "$build" && pwd)/bin
for tool in convert hyperfine gdk-pixbuf-thumbnailer; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x "$bin/thumbnail_fill_bench" ] || { echo "missing: $bin/thumbnail_fill_bench (build it first)" >&2; exit 1; }

kind=plain
[ "${CAMERA:-0}" = 1 ] && kind=camera
mkdir -p "$work/$kind"
cd "$work"
if [ ! -s photo_plain.jpg ]; then
  convert -size 4896x3264 gradient:red-blue \( -size 3264x4896 gradient:green-yellow -rotate 90 \) \
    -compose Multiply -composite -attenuate 0.4 +noise Gaussian -quality 85 photo_plain.jpg
fi
if [ "$kind" = camera ] && [ ! -s photo_camera.jpg ]; then
  cp photo_plain.jpg photo_camera.jpg
  convert photo_plain.jpg -resize 160x120 -background black -gravity center -extent 160x120 camera_thumb.jpg
  exiftool -q -overwrite_original "-ThumbnailImage<=camera_thumb.jpg" photo_camera.jpg
fi
photo=$work/photo_$kind.jpg
i=$(ls "$kind" | wc -l)
while [ "$i" -lt "$files" ]; do
  i=$((i + 1))
  ln -f "$photo" "$kind/photo$i.jpg"
done

echo "$files names of a 4896x3264 JPEG ($kind), all cores:"
"$bin/thumbnail_fill_bench" "$kind" 128
echo
echo "one thumbnail, 128 pixels, median of $runs runs:"
hyperfine -N --style none --warmup 1 --runs "$runs" --export-csv one.csv \
  -n zarnconv "$bin/zarnconv --thumbnail 128 $photo out.png" \
  -n gdk-pixbuf-thumbnailer "gdk-pixbuf-thumbnailer -s 128 $photo peer.png" >/dev/null 2>&1
awk -F, 'NR == 2 { ours = $4 } NR == 3 { peer = $4 }
  END { printf "zarnconv %.4fs  gdk-pixbuf-thumbnailer %.4fs  ratio %.2f (target <= 0.5)\n", ours, peer, ours / peer }' one.csv
