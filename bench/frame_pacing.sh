#!/usr/bin/env bash
# Frame pacing of the player on real photos: a show of 12 slides (5 s each, a one-second
# cross-fade into each, pan and zoom on every photo) plays in a 1280x720 window on a 1920x1080
# Xvfb screen for SECONDS (default 60), once with 24-megapixel photos and once with the same
# photos at 1920x1080. The player's own statistics ("-stats") give drawn, late and skipped
# frames, the worst lateness, the present intervals, the first picture and the peak memory; the
# per-frame records (ZEM_FRAME_DUMP) give the late frames around slide changes.
#
# usage: bench/frame_pacing.sh [SECONDS] [24mp|1080p|both]
#   ZEM_BUILD: the build folder (default: build next to this script's folder)
# The photos are made once from the test media (ImageMagick) and kept in
# $ZEM_BUILD/bench/frame_pacing. A timed command, not a test: compare runs of the same call.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${ZEM_BUILD:-$root/build}
seconds=${1:-60}
which=${2:-both}
player=$build/apps/zemviewer/zemviewer
[ -x "$player" ] || { echo "no player at $player (build the zemviewer target)"; exit 1; }
for tool in xvfb-run xdotool convert; do
  command -v $tool >/dev/null || { echo "$tool is missing"; exit 1; }
done
if [ -z "${ZEM_PACING_DISPLAY_READY:-}" ]; then
  export ZEM_PACING_DISPLAY_READY=1
  exec xvfb-run -a -n $((300 + RANDOM % 500)) -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" \
    bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy

work=$build/bench/frame_pacing
mkdir -p "$work"
src=$root/tests/data/images/jpeg/exif-orientation
i=0
for f in "$src"/Landscape_[0-4].jpg "$src"/Portrait_1.jpg; do
  i=$((i + 1))
  # Light noise, so the photos compress like camera pictures.
  [ -f "$work/p24_$i.jpg" ] || convert "$f" -auto-orient -strip -resize 6000x4000^ -gravity center \
    -extent 6000x4000 -attenuate 0.4 +noise Gaussian -quality 90 "$work/p24_$i.jpg"
  [ -f "$work/p2_$i.jpg" ] || convert "$f" -auto-orient -strip -resize 1920x1080^ -gravity center \
    -extent 1920x1080 -quality 90 "$work/p2_$i.jpg"
done

# The show: every slide names its own file (links), so no two slides share a decoded picture.
make_show() {
  local kind=$1 dir=$work/show_$1 slides=12
  rm -rf "$dir"
  mkdir -p "$dir"
  {
    printf '[Main]\nZemVersion=1\nopt_scr_width=1280\nopt_scr_height=720\nopt_scr_full=0\n'
    printf 'opt_withoutborder=1\nopt_slidescount=%d\nopt_repeat=repeat\nopt_pausewheninactive=0\n' $slides
    printf 'opt_fx_enable=1\nopt_fx_time=1000\n'
    for s in $(seq $slides); do printf 'opt_synchpos%d=%d\n' "$s" $((s * 5000)); done
    for s in $(seq $slides); do
      ln -sf "$work/${kind}_$(((s - 1) % 6 + 1)).jpg" "$dir/pic$s.jpg"
      local dx=8 dy=4
      [ $((s % 2)) = 0 ] && dx=-8 dy=-4
      printf '[Slide%d]\nPers_Effect=1\nEffect_Class=2\nEffect_Type=1\nEffectTime=1000\n' "$s"
      printf 'object image: Photo\n  ImageName=pic%d.jpg\n' "$s"
      printf '  object keypoint:\n    Time=0\n    ScaleX=100\n    ScaleY=100\n    Position=%d,%d\n  end\n' $dx $dy
      printf '  object keypoint:\n    Origin=SlideEnd\n    Time=0\n    ScaleX=125\n    ScaleY=125\n'
      printf '    Position=%d,%d\n  end\nend\n' $((-dx)) $((-dy))
    done
  } >"$dir/Project.zem"
  echo "$dir/Project.zem"
}

run() {
  local kind=$1 label=$2 show out
  show=$(make_show "$kind")
  out=$work/$label
  ZEM_FRAME_DUMP=$out.frames "$player" -filename "$show" -stats -log >"$out.stats" 2>"$out.log" &
  local pid=$! win=
  for _ in $(seq 500); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
  done
  [ -n "$win" ] || { echo "$label: no window"; kill "$pid" 2>/dev/null; return 1; }
  xdotool windowfocus "$win" 2>/dev/null || true
  sleep "$seconds"
  xdotool key --window "$win" Escape
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$pid" 2>/dev/null && { kill "$pid"; echo "$label: the player did not end on Escape"; }
  wait "$pid" 2>/dev/null || true
  sed "s/^/$label: /" "$out.stats"
  # Slide changes: frames from 250 ms before a slide's start to 250 ms after its cross-fade.
  [ -f "$out.frames" ] && awk -v label="$label" '{
      p = $1 % 5000; if (p < 1250 || p >= 4750) { n++; if ($3 > 1000 / 60) late++; if ($3 > max) max = $3 } }
    END { printf "%s: at slide changes: %d frames, %d late by more than one refresh, worst %.1f ms\n",
          label, n, late, max }' "$out.frames"
}

echo "frame pacing, ${seconds} s per show, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
case $which in
  24mp) run p24 24mp ;;
  1080p) run p2 1080p ;;
  *) run p24 24mp; run p2 1080p ;;
esac
