# Camera RAW rows of bench/peers_table.sh: demosaicing a 16-megapixel DNG made
# from in.ppm (an RGGB mosaic of its pixels with a half-size JPEG preview)
# against dcraw_emu with the camera's white balance, LibRaw's own tool, on one
# thread; and the embedded preview read against the whole demosaic, which is
# what the viewer's first paint of a RAW saves. Sourced by peers_table.sh.
# shellcheck disable=SC2154  # bin and zarnconv come from peers_table.sh
if [[ -x $bin/raw_preview_bench ]] && "$bin/raw_preview_bench" make in.ppm in.dng; then
    if have dcraw_emu; then
        job "RAW decode" 1.0 "$zarnconv in.dng out.bmp" dcraw_emu "dcraw_emu -w -Z peer.ppm in.dng"
    else
        echo "dcraw_emu missing: the RAW decode row is left out"
    fi
    "$bin/raw_preview_bench" time in.dng 3
    rm -f in.dng out.bmp peer.ppm
else
    echo "no raw_preview_bench: the RAW rows are left out"
fi
