#!/usr/bin/env bash
# A show made by zemtool make, published onto the player, plays in a real X window (Xvfb) with
# its music and closes by itself at its end.
#
# usage: make_window_test.sh ZEMTOOL ZEMVIEWER DATA_DIR
# Exit status 77 marks a skipped test (no Xvfb, xdotool or ImageMagick).
set -uo pipefail
zemtool=$1
viewer=$2
data=$3
if [ -z "${ZEM_WINDOW_DISPLAY_READY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "SKIP: xvfb-run is missing"; exit 77; }
  export ZEM_WINDOW_DISPLAY_READY=1
  exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" bash "$0" "$@"
fi
for tool in xdotool convert import; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/log.txt" ] && tail -20 "$work/log.txt"
  exit 1
}

mkdir "$work/photos"
cp "$data/images/jpeg/exif-orientation/Landscape_6.jpg" "$data/images/jpeg/exif-orientation/Portrait_1.jpg" \
  "$data/images/png/other/pillow_hopper.png" "$work/photos/"
"$zemtool" make "$work/photos" --publish "$work/MyShow" --player "$viewer" --music "$data/audio/raylib_country.mp3" \
  --window --size 320x240 --slide-seconds 1.5 --transition-seconds 0.5 --end close --title "Zem" >/dev/null ||
  fail "zemtool make --publish"
"$zemtool" verify "$work/MyShow" >/dev/null || fail "the published show does not verify"

start=$(date +%s)
"$work/MyShow" -log 2>"$work/log.txt" &
pid=$!
win=
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the player ended before showing its window"
  sleep 0.1
done
[ -n "$win" ] || fail "no visible window within 10 s"
geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
[ "$geometry" = 320x240 ] || fail "window of $geometry, not 320x240"
# A photo on screen: the frame is not one colour.
shown=
for _ in $(seq 60); do
  if import -window "$win" "$work/shot.png" 2>/dev/null; then
    sd=$(convert "$work/shot.png" -format '%[fx:standard_deviation]' info: 2>/dev/null)
    [ -n "$sd" ] && awk "BEGIN{exit !($sd > 0.05)}" && { shown=1; break; }
  fi
  sleep 0.1
done
[ -n "$shown" ] || fail "no photo shown within 6 s"
# Four slides of 1.5 s: the show closes by itself.
for _ in $(seq 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the show did not close at its end"
wait "$pid"
code=$?
pid=
[ $code = 0 ] || fail "the player ended with status $code"
[ $(($(date +%s) - start)) -ge 5 ] || fail "the show ended before its 6 s"
grep -q "Channel Create ERROR" "$work/log.txt" && fail "the music could not be opened"
exit 0
