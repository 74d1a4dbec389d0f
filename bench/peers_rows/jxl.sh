# JPEG XL rows of bench/peers_table.sh: decoding a cjxl file; encoding at
# quality 90 (distance 1) and effort 7, the reference encoder's defaults and
# ours; and lossless at effort 3, our lossless effort. Sourced by
# peers_table.sh; djxl and cjxl run on one thread.
# shellcheck disable=SC2154  # zarnconv comes from peers_table.sh
if have cjxl && have djxl; then
    cjxl in.ppm in.jxl -q 90 --num_threads 1 --quiet 2>/dev/null
    job "JPEG XL decode" 1.0 "$zarnconv in.jxl out.bmp" djxl "djxl in.jxl peer.ppm --num_threads 1 --quiet"
    job "JPEG XL encode (q 90)" 1.0 "$zarnconv --quality 90 in.bmp out.jxl" \
        cjxl "cjxl in.ppm peer.jxl -q 90 -e 7 --num_threads 1 --quiet"
    printf '%-26s sizes: ours %s, cjxl %s bytes (target: within 1%%)\n' "" \
        "$(stat -c %s out.jxl 2>/dev/null || echo -)" "$(stat -c %s peer.jxl 2>/dev/null || echo -)"
    job "JPEG XL lossless encode" 1.0 "$zarnconv --lossless in.bmp out.jxl" \
        cjxl "cjxl in.ppm peer.jxl -d 0 -e 3 --num_threads 1 --quiet"
    printf '%-26s sizes: ours %s, cjxl %s bytes (target: within 1%%)\n' "" \
        "$(stat -c %s out.jxl 2>/dev/null || echo -)" "$(stat -c %s peer.jxl 2>/dev/null || echo -)"
    rm -f in.jxl out.jxl peer.jxl peer.ppm
else
    echo "cjxl or djxl missing: the JPEG XL rows are left out"
fi
