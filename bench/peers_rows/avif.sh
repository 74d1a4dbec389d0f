# AVIF rows of bench/peers_table.sh: decoding an avifenc file at quantizer 8,
# which keeps the grain (quantizer 25 wipes it out and leaves the decoder
# little to do), and encoding at our default quality 60. Quality 60 is quantizer 25 for both the smallest and
# the largest quantizer, 4:2:0, full range, speed 6, so avifenc --min 25 --max
# 25 -y 420 -s 6 does the same work on the same YUV and writes a file of the
# same size (the sizes are printed below). avifenc reads the PNG and avifdec
# writes an uncompressed PNG, the nearest to our BMP both ways. Sourced by
# peers_table.sh; avifenc and avifdec run on one thread (-j 1).
# shellcheck disable=SC2154  # zarnconv comes from peers_table.sh
if have avifenc && have avifdec; then
    avifenc -j 1 -s 8 -y 420 --min 8 --max 8 in.png in.avif >/dev/null
    job "AVIF decode" 1.0 "$zarnconv in.avif out.bmp" \
        avifdec "avifdec -j 1 --depth 8 --png-compress 0 in.avif peer.png"
    job "AVIF encode (quality 60)" 1.0 "$zarnconv --quality 60 in.bmp out.avif" \
        avifenc "avifenc -j 1 -s 6 -y 420 --min 25 --max 25 in.png peer.avif"
    printf '%-26s sizes: ours %s, avifenc %s bytes (target: within 1%%)\n' "" \
        "$(stat -c %s out.avif 2>/dev/null || echo -)" "$(stat -c %s peer.avif 2>/dev/null || echo -)"
    rm -f in.avif out.avif peer.avif peer.png
else
    echo "avifenc or avifdec missing: the AVIF rows are left out"
fi
