#!/usr/bin/env bash
# Timed runs of a published show (normally build/demo/Demo) on a 1280x720 Xvfb screen, where a
# full-screen show plays at 1280x720:
#   - time from process start to the first frame (from the player's log);
#   - frames drawn per second over the first 4.5 s (the demo's first slide pans and zooms);
#   - processor use of the player while a still picture shows (the show paused).
# usage: measure_demo.sh SHOW [RUNS]
set -uo pipefail
show=$1
runs=${2:-3}
if [ -z "${ZEM_MEASURE_DISPLAY_READY:-}" ]; then
  export ZEM_MEASURE_DISPLAY_READY=1
  exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x720x24 -nolisten tcp -noreset" bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

start() {
  "$show" -log 2>"$log" &
  pid=$!
  win=
  for _ in $(seq 300); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.02
  done
  [ -n "$win" ] || { echo "no window"; exit 1; }
  xdotool windowfocus "$win"
}
stop() {
  xdotool key --window "$win" Escape
  wait "$pid"
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

for run in $(seq "$runs"); do
  start
  sleep 4.5
  stop
  first=$(grep -o 'first frame, ms since the program started: [0-9]*' "$log" | awk '{print $NF}')
  read -r frames ms < <(grep -o 'frames drawn [0-9]* in [0-9]*' "$log" | awk '{print $3, $5}')
  echo "run $run: first frame after ${first} ms; $frames frames in $ms ms = $(awk "BEGIN{printf \"%.1f\", $frames * 1000 / $ms}") frames/s"
done

start
sleep 2
xdotool key --window "$win" space
sleep 1
t0=$(ticks "$pid")
sleep 5
t1=$(ticks "$pid")
hz=$(getconf CLK_TCK)
echo "paused: $(awk "BEGIN{printf \"%.1f\", ($t1 - $t0) * 100 / ($hz * 5)}")% of one core over 5 s"
stop
