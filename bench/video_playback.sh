#!/usr/bin/env bash
# Timed playback: a one-slide show of the 1080p25 clip of the test data, played by the player on
# a 1280x720 Xvfb screen for SECONDS; the player's log tells how many frames of the clip were
# drawn and how many of them did not show the frame wanted for their show time ("video frames:").
# usage: video_playback.sh ZEMVIEWER ZEMTOOL [SECONDS] [RUNS]
set -uo pipefail
viewer=$(realpath "$1")
tool=$(realpath "$2")
secs=${3:-9}
runs=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
clip=$here/../tests/data/video/moviepy_smpte-2997.mp4
if [ -z "${ZEM_MEASURE_DISPLAY_READY:-}" ]; then
  export ZEM_MEASURE_DISPLAY_READY=1
  exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x720x24 -nolisten tcp -noreset" bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$clip" "$dir/clip.mp4"
cat > "$dir/Project.zem" <<'ZEM'
[Main]
opt_scr_width=1280
opt_scr_height=720
opt_slidescount=1
opt_synchpos1=11000
opt_fx_enable=0
opt_usemusic=0
[Slide1]
object video: Clip
  FileName=clip.mp4
  Duration=10040
  object keypoint:
    Time=0
  end
end
ZEM
"$tool" pack "$dir/Project.zem" "$dir/show" --player "$viewer" >/dev/null || { echo "pack failed"; exit 1; }
for run in $(seq "$runs"); do
  "$dir/show" -log 2>"$dir/log" &
  pid=$!
  win=
  for _ in $(seq 300); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.02
  done
  [ -n "$win" ] || { echo "no window"; kill "$pid"; exit 1; }
  xdotool windowfocus "$win"
  sleep "$secs"
  xdotool key --window "$win" Escape
  wait "$pid"
  line=$(grep -o 'video frames: .*' "$dir/log" | tail -1)
  echo "run $run: ${line:-no clip frames logged}"
done
