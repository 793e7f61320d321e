#!/usr/bin/env bash
# Frames of shows made by zemtool make, drawn by zemviewer -snapshot: no border shows at the
# start, middle and end of any slide's motion; photos stand upright whatever their EXIF
# orientation (mirrored ones included).
#
# usage: make_snapshot_test.sh ZEMTOOL ZEMVIEWER DATA_DIR
# Exit status 77 marks a skipped test (no ImageMagick).
set -uo pipefail
zemtool=$1
viewer=$2
data=$3
for tool in convert compare; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
orient=$data/images/jpeg/exif-orientation

# Frame of show $1 at $2 ms into $3 (W x H of the show itself).
snap() { "$viewer" "$1" -snapshot "$3" -at "$2" -outsize 320x180 2>/dev/null || fail "snapshot of $1 at $2 ms"; }
corners() { convert "$1" -format '%[pixel:p{0,0}] %[pixel:p{319,0}] %[pixel:p{0,179}] %[pixel:p{319,179}]' info:; }

# --- borders: every slide is alone on screen from its start to its next (cuts); at the first
# and last millisecond and in the middle, no corner shows the magenta background. Portrait
# photos are placed inside over the background: magenta there, the blurred photo with blur.
mkdir "$work/p"
cp "$orient/Landscape_1.jpg" "$orient/Landscape_2.jpg" "$orient/Landscape_6.jpg" "$orient/Portrait_1.jpg" \
  "$data/images/png/other/ljt_testorig.png" "$data/images/png/other/pillow_hopper.png" \
  "$data/images/gif/pillow/chi.gif" "$work/p/"
mkdir "$work/portraits"
cp "$orient/Portrait_1.jpg" "$orient/Portrait_5.jpg" "$work/portraits/"
# The names of the slides' photos, in slide order.
photo_names() { tr -d '\r' <"$1" | grep -o '^object image: [^ ]*$' | cut -d' ' -f3; }
for bg in '#FF00FF' blur; do
  folder=$work/p
  [ $bg = blur ] && folder=$work/portraits
  "$zemtool" make "$folder" -o "$work/b" --force --order name --transitions cut --slide-seconds 2 \
    --size 320x180 --background "$bg" >/dev/null 2>&1 || fail "make --background $bg"
  names=$(photo_names "$work/b/Project.zem")
  i=0
  for name in $names; do
    for t in $((i * 2000 + 1)) $((i * 2000 + 1000)) $((i * 2000 + 1999)); do
      snap "$work/b/Project.zem" $t "$work/f.png"
      c=$(corners "$work/f.png")
      magenta=$(grep -c 'srgba\?(2[3-5][0-9],[0-2]\?[0-9],2[3-5][0-9]' <<<"${c// /$'\n'}")
      if [[ $name == Portrait* && $bg != blur ]]; then
        [ "$magenta" = 4 ] || fail "$name at $t ms: the background colour should show beside it: $c"
      elif [[ $name == Portrait* ]]; then
        grep -q 'srgba\?(\([0-9]\|1[0-9]\),\([0-9]\|1[0-9]\),\([0-9]\|1[0-9]\),' <<<"${c// /$'\n'}" &&
          fail "$name at $t ms: a corner is black, not the blurred photo: $c"
      else
        [ "$magenta" = 0 ] || fail "$name at $t ms: the background shows at a corner: $c"
      fi
    done
    i=$((i + 1))
  done
  [ $i = $(ls "$folder" | wc -l) ] || fail "$(ls "$folder" | wc -l) photos expected in the show, found $i"
done

# --- upright: still frames of the orientation set, each like the one stored upright
mkdir "$work/o"
cp "$orient"/*.jpg "$work/o/"
"$zemtool" make "$work/o" -o "$work/u" --order name --no-motion --transitions cut --slide-seconds 1 \
  --size 160x90 >/dev/null 2>&1 || fail "make of the orientation set"
names=$(photo_names "$work/u/Project.zem")
i=0
for name in $names; do
  snap "$work/u/Project.zem" $((i * 1000 + 500)) "$work/$name.png"
  i=$((i + 1))
done
rmse() { compare -metric RMSE "$1" "$2" null: 2>&1 | sed 's/.*(\(.*\))/\1/'; }
for name in $names; do
  ref=$work/${name%_*}_1.png
  r=$(rmse "$work/$name.png" "$ref")
  awk "BEGIN{exit !($r < 0.06)}" || fail "$name is not upright (RMSE $r against ${name%_*}_1)"
done
# The measure tells a turned picture apart: the same show without its orientation table.
sed -i '/^\[RotationState\]/,/^\r\?$/d' "$work/u/Project.zem"
snap "$work/u/Project.zem" 3500 "$work/turned.png"  # Landscape_3: upside down without the table
r=$(rmse "$work/turned.png" "$work/Landscape_1.png")
awk "BEGIN{exit !($r > 0.15)}" || fail "an upside-down photo passes for upright (RMSE $r)"
exit $status
