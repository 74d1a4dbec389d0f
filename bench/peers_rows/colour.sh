# Colour-profile rows of bench/peers_table.sh: a JPEG of in.ppm tagged with an
# Adobe RGB (1998) profile converted to an sRGB JPEG at quality 75, against
# jpgicc (lcms2's own tool, perceptual, the embedded profile in) and vips; and
# the same picture untagged, which must not get slower for the profile code.
# The profile comes from the system's colour folder (Ghostscript ships one);
# without one the rows are left out. Sourced by peers_table.sh whether or not
# any module was built: the conversion is the library's own.
# shellcheck disable=SC2154  # zarnconv comes from peers_table.sh
adobe_icc=""
for candidate in /usr/share/color/icc/ghostscript/a98.icc /usr/share/color/icc/*/AdobeRGB1998.icc \
    /usr/share/color/icc/*/ClayRGB1998.icc; do
    [[ -s $candidate ]] && { adobe_icc=$candidate; break; }
done
if [[ -n $adobe_icc ]] && have exiftool; then
    convert in.ppm -quality 90 -sampling-factor 2x2 untagged.jpg
    cp untagged.jpg adobe.jpg
    exiftool -q -overwrite_original "-icc_profile<=$adobe_icc" adobe.jpg
    set -f  # vips' "peer.jpg[Q=75]" is an argument, not a pattern
    job "Adobe RGB JPEG to sRGB JPEG" 1.0 "$zarnconv adobe.jpg out.jpg" \
        jpgicc "jpgicc -t0 -q75 adobe.jpg peer.jpg" vips "vips icc_transform adobe.jpg peer.jpg[Q=75] srgb --embedded"
    job "untagged JPEG decode" 1.0 "$zarnconv untagged.jpg out.bmp" djpeg "djpeg -bmp -outfile peer.bmp untagged.jpg"
    set +f
    rm -f adobe.jpg untagged.jpg out.jpg out.bmp peer.jpg peer.bmp
else
    echo "no Adobe RGB profile in /usr/share/color/icc or no exiftool: the colour-profile rows are left out"
fi
