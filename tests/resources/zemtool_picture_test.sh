#!/bin/bash
# zemtool picture over a project on disk: decoded pictures equal ImageMagick's reading of the
# same files, missing and broken files give the placeholder, and the status is 0 whenever a
# picture was written.
set -u
ZEMTOOL=$1
IMAGES=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail=0
mkdir -p "$WORK/Pics"
printf '[Main]\r\nopt_exefn=show.exe\r\n' > "$WORK/Project.zem"
cp "$IMAGES/png/pngsuite/basn6a08.png" "$IMAGES/png/pngsuite/basi3p02.png" "$IMAGES/bmp/good/rgb16-565.bmp" \
   "$IMAGES/gif/giflib/porsche.gif" "$IMAGES/jpeg/pillow/hopper.jpg" "$WORK/Pics/"
cp "$IMAGES/png/pngsuite/basn2c08.png" "$WORK/Pics/pngdata.bmp"
head -c 3000 "$IMAGES/jpeg/pillow/hopper.jpg" | head -c 300 > "$WORK/Pics/broken.jpg"

same() {  # same picture as ImageMagick reads it (alpha included; 5- and 6-bit channels may round apart by one)
  local diff
  diff=$(compare -metric AE -fuzz 0.6% "$1" "$2" null: 2>&1) || true
  [ "$diff" = "0" ]
}

for f in basn6a08.png basi3p02.png rgb16-565.bmp porsche.gif pngdata.bmp; do
  out="$WORK/out-$f.png"
  if ! "$ZEMTOOL" picture "$WORK/Project.zem" "pics\\${f^^}" "$out" > "$WORK/log" 2>&1; then
    echo "FAIL: status for $f"; cat "$WORK/log"; fail=1; continue
  fi
  if ! same "$out" "$WORK/Pics/$f"; then echo "FAIL: pixels of $f"; fail=1; fi
done

# JPEG: compared with libjpeg's own decoder.
"$ZEMTOOL" picture "$WORK/Project.zem" 'Pics\hopper.jpg' "$WORK/hopper.png" > /dev/null || { echo "FAIL: jpeg status"; fail=1; }
djpeg -ppm "$WORK/Pics/hopper.jpg" > "$WORK/hopper.ppm"
same "$WORK/hopper.png" "$WORK/hopper.ppm" || { echo "FAIL: jpeg pixels"; fail=1; }

# Animated GIF: the strip and the frame list.
cp "$IMAGES/gif/pillow/dispose_bgnd.gif" "$WORK/Pics/anim.gif"
"$ZEMTOOL" picture "$WORK/Project.zem" 'Pics\anim.gif' "$WORK/anim.png" > "$WORK/frames" || { echo "FAIL: gif status"; fail=1; }
grep -q "^frames 5, cell 100x100" "$WORK/frames" || { echo "FAIL: frame list"; cat "$WORK/frames"; fail=1; }
[ "$(identify -format '%wx%h' "$WORK/anim.png")" = "500x100" ] || { echo "FAIL: strip size"; fail=1; }

# Placeholders: missing and broken files, status 0, a blue picture with yellow text.
for n in 'a\b\missing.jpg' 'Pics\broken.jpg'; do
  out="$WORK/ph.png"
  rm -f "$out"
  line=$("$ZEMTOOL" picture "$WORK/Project.zem" "$n" "$out") || { echo "FAIL: status for $n"; fail=1; }
  echo "$line" | grep -q placeholder || { echo "FAIL: $n is no placeholder: $line"; fail=1; }
  colors=$(convert "$out" -format '%[pixel:p{1,1}]' info:)
  [ "$colors" = "srgba(0,0,255,1)" ] || [ "$colors" = "blue" ] || { echo "FAIL: placeholder background $colors"; fail=1; }
  yellow=$(convert "$out" -fill black +opaque yellow -format '%[fx:mean*w*h]' info:)
  awk "BEGIN{exit !($yellow > 20)}" || { echo "FAIL: no yellow text in placeholder"; fail=1; }
done

# The same show packed (a package file, and a published program with the package appended), with
# a FileMap entry and an orientation entry: the picture comes out as the player loads it.
cp "$IMAGES/jpeg/libjpeg-turbo/testorig.jpg" "$WORK/Pics/turned.jpg"
printf '[FileMap]\r\n"alias.png"="Pics\\basn6a08.png"\r\n[RotationState]\r\n;"PICS\\TURNED.JPG"=6\r\n' >> "$WORK/Project.zem"
"$ZEMTOOL" pack "$WORK/Project.zem" "$WORK/show.ZmShow" > /dev/null || { echo "FAIL: pack"; fail=1; }
"$ZEMTOOL" pack "$WORK/Project.zem" "$WORK/show.bin" --player "$ZEMTOOL" > /dev/null || { echo "FAIL: pack --player"; fail=1; }
for show in "$WORK/Project.zem" "$WORK/show.ZmShow" "$WORK/show.bin"; do
  "$ZEMTOOL" picture "$show" alias.png "$WORK/alias.png" > /dev/null || { echo "FAIL: alias in $show"; fail=1; }
  same "$WORK/alias.png" "$WORK/Pics/basn6a08.png" || { echo "FAIL: alias pixels in $show"; fail=1; }
  "$ZEMTOOL" picture "$show" 'pics\turned.jpg' "$WORK/turned.png" > /dev/null || { echo "FAIL: turned in $show"; fail=1; }
  djpeg -ppm "$WORK/Pics/turned.jpg" | convert - -rotate 90 "$WORK/turned-ref.png"
  same "$WORK/turned.png" "$WORK/turned-ref.png" || { echo "FAIL: orientation in $show"; fail=1; }
done

# Not a show: status 2.
"$ZEMTOOL" picture "$WORK/none.zem" x.jpg "$WORK/x.png" 2> /dev/null && { echo "FAIL: missing show accepted"; fail=1; }
exit $fail
