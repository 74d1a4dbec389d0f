# WebP rows of bench/peers_table.sh: decoding a cwebp file, and encoding at
# quality 75. Our quality 75 is libwebp's own configuration at quality 75 with
# every other setting at its default, as cwebp -q 75 uses it, so the two files
# come out the same size (byte for byte the same). Sourced by peers_table.sh;
# dwebp and cwebp run on one thread unless told otherwise.
# shellcheck disable=SC2154  # zarnconv comes from peers_table.sh
if have cwebp && have dwebp; then
    cwebp -quiet -q 75 in.ppm -o in.webp
    job "WebP decode" 1.0 "$zarnconv in.webp out.bmp" dwebp "dwebp -quiet in.webp -ppm -o peer.ppm"
    job "WebP encode (quality 75)" 1.0 "$zarnconv --quality 75 in.bmp out.webp" \
        cwebp "cwebp -quiet -q 75 in.ppm -o peer.webp"
    printf '%-26s sizes: ours %s, cwebp %s bytes (target: within 1%%)\n' "" \
        "$(stat -c %s out.webp 2>/dev/null || echo -)" "$(stat -c %s peer.webp 2>/dev/null || echo -)"
    rm -f in.webp out.webp peer.webp peer.ppm
else
    echo "cwebp or dwebp missing: the WebP rows are left out"
fi
