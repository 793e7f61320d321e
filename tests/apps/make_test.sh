#!/usr/bin/env bash
# zemtool make over a folder of test photos (the EXIF orientation set, PNGs, a GIF, dated JPEGs
# and a broken file): what zemtool timeline and tree read from the made show matches what the
# options asked; the show packs and verifies.
#
# usage: make_test.sh ZEMTOOL DATA_DIR
set -uo pipefail
zemtool=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

# Silent 16-bit stereo PCM of $2 ms at 44100 Hz.
wav() {
  local bytes=$(($2 * 441 / 10 * 4))
  le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
  { printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
    printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00data'; le32 $bytes
    head -c $bytes /dev/zero; } >"$1"
}

# The picture name of each slide's photo (the object with the slide's main image), in order.
pictures_in_order() {
  local show=$1 count
  count=$("$zemtool" timeline "$show" | sed -n 's/^slides: //p')
  for i in $(seq 1 "$count"); do
    "$zemtool" tree "$show" "Slide$i" | grep -v ' background"' | grep -o 'picture="[^"]*"' | head -1
  done | sed 's/picture="photos\\//; s/"$//' | tr '\n' ' '
}

photos=$work/photos
mkdir -p "$photos/png"
for f in Landscape_1 Landscape_6 Portrait_1 Portrait_5; do cp "$data/images/jpeg/exif-orientation/$f.jpg" "$photos/"; done
cp "$data/images/jpeg/pillow/flower.jpg" "$data/images/jpeg/pillow/iptc.jpg" "$photos/"  # EXIF 2003, 2006
cp "$data/images/png/other/ljt_testorig.png" "$data/images/png/other/pillow_hopper.png" "$photos/png/"
cp "$data/images/gif/pillow/chi.gif" "$photos/"
echo "not a picture" >"$photos/broken.jpg"
# File times stand in for dates where EXIF has none.
touch -d 2004-05-01 "$photos/Landscape_1.jpg"
touch -d 2005-05-01 "$photos/Portrait_5.jpg"
touch -d 2007-05-01 "$photos/Landscape_6.jpg" "$photos/png/ljt_testorig.png"
touch -d 2008-05-01 "$photos/chi.gif" "$photos/png/pillow_hopper.png" "$photos/Portrait_1.jpg"

# --- errors: nothing to show, unreadable music, an existing output
mkdir "$work/empty"
err=$("$zemtool" make "$work/empty" -o "$work/none" 2>&1)
[ $? = 2 ] && [[ $err == *"no pictures"* ]] || fail "empty folder: '$err'"
[ -e "$work/none" ] && fail "an output was written for an empty folder"
echo "noise" >"$work/noise.mp3"
err=$("$zemtool" make "$photos" -o "$work/none" --music "$work/noise.mp3" 2>&1)
[ $? = 2 ] && [[ $err == *"noise.mp3"* ]] || fail "unreadable music: '$err'"

# --- the default show: date order, title, captions from the EXIF date
show=$work/show
err=$("$zemtool" make "$photos" -o "$show" --title "Holiday" --caption date 2>&1 >/dev/null) || fail "make: $err"
[[ $err == *"warning: skipped $photos/broken.jpg"* ]] || fail "the broken picture is not named: '$err'"
err=$("$zemtool" make "$photos" -o "$show" 2>&1)
[ $? = 2 ] && [[ $err == *"exists"* ]] || fail "existing output without --force: '$err'"
line=$("$zemtool" timeline "$show/Project.zem")
[[ $line == *"slides: 10"* && $line == *"duration: 50000"* && $line == *"repeat: repeat"* ]] || fail "timeline: $line"
[ "$(grep -c ' 2 1 1200 TAlphaFilter$' <<<"$line")" = 10 ] || fail "not every slide fades in 1.2 s: $line"
order=$(pictures_in_order "$show/Project.zem")
want="flower.jpg Landscape_1.jpg Portrait_5.jpg iptc.jpg Landscape_6.jpg ljt_testorig.png chi.gif pillow_hopper.png Portrait_1.jpg "
[ "$order" = "$want" ] || fail "date order: '$order'"
"$zemtool" tree "$show/Project.zem" Slide1 | grep -q 'text=\["Holiday"\]' || fail "no title slide"
"$zemtool" tree "$show/Project.zem" Slide2 --at 3000 | grep -q 'text=\["2003:12:14"\]' || fail "no date caption"
"$zemtool" tree "$show/Project.zem" Slide3 | grep -q '"Caption"' && fail "a caption for a photo without EXIF date"
# Upright: the quarter-turned landscape is wide, the portraits tall over their blurred selves.
"$zemtool" tree "$show/Project.zem" Slide6 | grep -q 'picture="photos\\Landscape_6.jpg" size=1800x1200' ||
  fail "Landscape_6 is not turned upright"
portrait=$("$zemtool" tree "$show/Project.zem" Slide4)
[ "$(grep -c 'size=1200x1800' <<<"$portrait")" = 2 ] && grep -q ' background".*blur=40' <<<"$portrait" &&
  grep -q 'angleY=180' <<<"$portrait" || fail "Portrait_5 (mirrored quarter turn): $portrait"
"$zemtool" make "$photos" -o "$show" --force >/dev/null 2>&1 || fail "--force did not replace the show"

# --- natural name order; the same seed makes the same show, another seed another
mkdir "$work/names"
for n in img10 img2 img1; do cp "$data/images/png/other/pillow_hopper.png" "$work/names/$n.png"; done
"$zemtool" make "$work/names" -o "$work/n1" --order name >/dev/null 2>&1
[ "$(pictures_in_order "$work/n1/Project.zem")" = "img1.png img2.png img10.png " ] || fail "name order"
"$zemtool" make "$photos" -o "$work/r1" --order random --seed 5 >/dev/null 2>&1
"$zemtool" make "$photos" -o "$work/r2" --order random --seed 5 >/dev/null 2>&1
"$zemtool" make "$photos" -o "$work/r3" --order random --seed 6 >/dev/null 2>&1
cmp -s "$work/r1/Project.zem" "$work/r2/Project.zem" || fail "the same seed made different shows"
cmp -s "$work/r1/Project.zem" "$work/r3/Project.zem" && fail "another seed made the same show"

# --- transitions, timing, window and end options
"$zemtool" make "$photos" -o "$work/t" --transitions push,wipe --slide-seconds 3 --transition-seconds 0.8 \
  --end close --window --size 1280x720 >/dev/null 2>&1
line=$("$zemtool" timeline "$work/t/Project.zem")
[[ $line == *"repeat: close"* && $line == *"duration: 27000"* ]] || fail "timeline of --end close: $line"
filters=$(sed -n '/^#/,$p' <<<"$line" | awk 'NR > 1 {print $10 ":" $12 ":" $13}' | sort -u | tr '\n' ' ')
for f in $filters; do
  [[ $f =~ ^(12:800:TPushFilter|9:800:T[HV]Lines)$ ]] || fail "transition outside push and wipe: $f"
done
[[ $filters == *Push* && $filters == *Lines* ]] || fail "both names should be drawn: $filters"
[ "$("$zemtool" script "$work/t/Project.zem" Main opt_scr_full)" = 0 ] || fail "--window"
[ "$("$zemtool" script "$work/t/Project.zem" Main opt_scr_width)" = 1280 ] || fail "--size"

# --- still photos
"$zemtool" make "$photos" -o "$work/still" --no-motion >/dev/null 2>&1
for s in 2 3; do
  a=$("$zemtool" tree "$work/still/Project.zem" Slide$s --at 0 | grep -o 'TZemImage.*scale=([^)]*)')
  b=$("$zemtool" tree "$work/still/Project.zem" Slide$s --at 4000 | grep -o 'TZemImage.*scale=([^)]*)')
  [ "$a" = "$b" ] || fail "--no-motion still moves: $a / $b"
done

# --- music: --fit-music ends the show with the music (within one frame); a fade at the end
wav "$work/song.wav" 9300
"$zemtool" make "$photos" -o "$work/m" --music "$work/song.wav" --fit-music >/dev/null 2>&1 || fail "make --fit-music"
d=$("$zemtool" timeline "$work/m/Project.zem" | sed -n 's/^duration: //p')
awk "BEGIN{d = $d - 9300; exit !(d <= 17 && d >= -17)}" || fail "--fit-music: show $d ms, music 9300 ms"
[ -f "$work/m/music/song.wav" ] || fail "the music was not copied"
"$zemtool" script "$work/m/Project.zem" Main | grep -q 'FadeOut=3000' || fail "no fade at the end of the music"

# --- references instead of copies; a package; a published program
"$zemtool" make "$photos" -o "$work/l" --link >/dev/null 2>&1
[ -e "$work/l/photos" ] && fail "--link copied the pictures"
"$zemtool" tree "$work/l/Project.zem" Slide3 | grep -q 'size=1200x1800' || fail "--link: the picture is not found"
"$zemtool" make "$photos" --pack "$work/show.zmshow" --music "$work/song.wav" >/dev/null 2>&1 || fail "make --pack"
"$zemtool" verify "$work/show.zmshow" >/dev/null || fail "the package does not verify"
"$zemtool" list "$work/show.zmshow" | grep -q 'music\\song.wav' || fail "the package lacks the music"
"$zemtool" tree "$work/show.zmshow" Slide5 | grep -q 'Landscape_6.jpg" size=1800x1200' || fail "package: Slide5"
err=$("$zemtool" make "$photos" --pack "$work/show.zmshow" 2>&1)
[ $? = 2 ] && [[ $err == *"exists"* ]] || fail "existing package without --force: '$err'"
ls "$work"/*.part* >/dev/null 2>&1 && fail "a partial package was left behind"
exit $status
