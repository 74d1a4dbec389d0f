# Thumbnail rows of bench/peers_table.sh, which write through the PNG module:
# a 128-pixel thumbnail of the 16-megapixel JPEG, as a file manager's
# thumbnailer makes it, against gdk-pixbuf-thumbnailer; then the same photo
# as a camera files it, with a letterboxed 160x120 Exif thumbnail, which ours
# uses and the peer does not. Sourced by peers_table.sh.
# shellcheck disable=SC2154  # zarnconv comes from peers_table.sh
if have gdk-pixbuf-thumbnailer; then
    job "JPEG thumbnail 128" 0.5 "$zarnconv --thumbnail 128 in.jpg out.png" \
        gdk-pixbuf "gdk-pixbuf-thumbnailer -s 128 in.jpg peer.png"
    if have exiftool; then
        cp in.jpg camera.jpg
        convert in.jpg -resize 160x120 -background black -gravity center -extent 160x120 camera_thumb.jpg
        exiftool -q -overwrite_original "-ThumbnailImage<=camera_thumb.jpg" camera.jpg
        job "camera JPEG thumbnail 128" 0.5 "$zarnconv --thumbnail 128 camera.jpg out.png" \
            gdk-pixbuf "gdk-pixbuf-thumbnailer -s 128 camera.jpg peer.png"
        rm -f camera.jpg camera_thumb.jpg
    fi
    rm -f out.png peer.png
else
    echo "gdk-pixbuf-thumbnailer missing: the thumbnail rows are left out"
fi
