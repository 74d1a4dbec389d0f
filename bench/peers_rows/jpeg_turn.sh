# The lossless JPEG quarter turn of peers_table.sh's 16-megapixel in.jpg (4608x3456, whole
# 16x16 blocks): zarnturn turns a copy in place, every marker kept, against jpegtran writing
# a new file with every marker copied. Sourced by peers_table.sh.
# shellcheck disable=SC2154  # bin comes from peers_table.sh
if [[ -x $bin/zarnturn ]]; then
    cp in.jpg turn.jpg
    job "JPEG lossless quarter turn" 1.0 "$bin/zarnturn right turn.jpg" \
        jpegtran "jpegtran -rotate 90 -copy all -outfile peer_turn.jpg in.jpg"
    rm -f turn.jpg peer_turn.jpg
else
    echo "zarnturn missing: the JPEG turn row is left out"
fi
