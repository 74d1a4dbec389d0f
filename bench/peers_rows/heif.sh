# HEIF rows of bench/peers_table.sh: decoding a 16-megapixel HEIC that heif-enc
# makes once at quality 50. Sourced by peers_table.sh.
#
# Both sides decode through libheif and its libde265 plugin, which starts one
# worker thread for the coded picture whatever the caller asks; libheif's own
# tile threads (ours set from ZARN_THREADS=1, heif-convert's its default) only
# matter for a grid picture, and heif-enc writes a picture this size as one
# image. Each side so runs one decoding thread. heif-convert writes y4m (the
# decoded planes as they are, no colour conversion: the least it can do after
# decoding) or PNG (converted to RGB, then compressed); the faster one counts.
# shellcheck disable=SC2154  # zarnconv comes from peers_table.sh
if have heif-enc && have heif-convert; then
    convert in.ppm -depth 8 png24:heif-source.png
    heif-enc -q 50 heif-source.png -o in.heic >/dev/null 2>&1
    rm -f heif-source.png
    job "HEIC decode" 1.0 "$zarnconv in.heic out.bmp" \
        heif-convert "heif-convert --quiet in.heic peer.y4m" \
        heif-convert-png "heif-convert --quiet in.heic peer.png"
    rm -f in.heic out.bmp peer.y4m peer.png
else
    echo "heif-enc or heif-convert missing: the HEIF rows are left out"
fi
