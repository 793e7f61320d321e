#!/usr/bin/env bash
# Snapshot timing of the player: a show of six 1920x1080 photos (5 s slides, one-second
# cross-fades, pan and zoom) drawn headless at 1280x720:
#   - one frame per call (process start to PNG written), median of RUNS calls;
#   - 30 frames in one call (every 200 ms from 1 s on, "-at 1000,1200,..." with a %d pattern).
# usage: bench/snapshot_timing.sh [RUNS]   (ZEM_BUILD: build folder; ZEMVIEWER: another player,
# for a baseline; one that takes a single -at is timed per frame instead: SINGLE_AT=1)
# A timed command, not a test: compare players in the same call.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${ZEM_BUILD:-$root/build}
player=${ZEMVIEWER:-$build/apps/zemviewer/zemviewer}
runs=${1:-5}
[ -x "$player" ] || { echo "no player at $player"; exit 1; }
command -v convert >/dev/null || { echo "convert (ImageMagick) is missing"; exit 1; }
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

work=$build/bench/snapshot_timing
mkdir -p "$work/show" "$work/out"
src=$root/tests/data/images/jpeg/exif-orientation
i=0
for f in "$src"/Landscape_[0-4].jpg "$src"/Portrait_1.jpg; do
  i=$((i + 1))
  [ -f "$work/show/p$i.jpg" ] || convert "$f" -auto-orient -strip -resize 1920x1080^ -gravity center \
    -extent 1920x1080 -quality 90 "$work/show/p$i.jpg"
done
{
  printf '[Main]\nopt_scr_width=1280\nopt_scr_height=720\nopt_scr_full=0\nopt_slidescount=6\nopt_fx_enable=1\n'
  for s in $(seq 6); do printf 'opt_synchpos%d=%d\n' "$s" $((s * 5000)); done
  for s in $(seq 6); do
    printf '[Slide%d]\nPers_Effect=1\nEffect_Class=2\nEffect_Type=1\nEffectTime=1000\n' "$s"
    printf 'object image: Photo\n  ImageName=p%d.jpg\n' "$s"
    printf '  object keypoint:\n    Time=0\n    ScaleX=100\n    ScaleY=100\n    Position=8,4\n  end\n'
    printf '  object keypoint:\n    Origin=SlideEnd\n    Time=0\n    ScaleX=125\n    ScaleY=125\n    Position=-8,-4\n  end\nend\n'
  done
} >"$work/show/Project.zem"
show=$work/show/Project.zem

ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

echo "snapshot timing with $player ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
one=$(for r in $(seq "$runs"); do
  t0=$(ms)
  "$player" -filename "$show" -snapshot "$work/out/one.png" -at 2500 >/dev/null 2>&1 || echo "failed" >&2
  echo $(($(ms) - t0))
done | median)
echo "one 1280x720 frame: median $one ms over $runs calls ($(stat -c %s "$work/out/one.png") bytes)"

times=$(seq 1000 200 6800 | paste -sd,)
t0=$(ms)
if [ -n "${SINGLE_AT:-}" ]; then
  for t in ${times//,/ }; do "$player" -filename "$show" -snapshot "$work/out/f$t.png" -at "$t" >/dev/null 2>&1; done
else
  "$player" -filename "$show" -snapshot "$work/out/f%02d.png" -at "$times" >/dev/null 2>&1 || echo "failed" >&2
fi
echo "30 frames: $(($(ms) - t0)) ms ($(ls "$work/out"/f*.png | wc -l) files)"
rm -f "$work/out"/f*.png
