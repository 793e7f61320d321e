#!/usr/bin/env bash
# A show of COUNT small boxes on one slide, each moving for a minute (the window test's
# `big_show_closes_at_once` show, 100,000 boxes by default), published with the player and run
# RUNS times under one Xvfb. Each run starts the show twice: once closed with Esc, once with
# SIGTERM, after it played for PLAY seconds. Measured per start:
#   open   ms from the start of the process to the first frame (the player's own log line)
#   peak   the player's peak resident memory, MiB (its "-stats" line at close)
#   cpu    processor time (user + system) of the player up to the close, ms
#   esc    ms from the Esc key to the end of the process (status 0 required)
#   term   ms from SIGTERM to the end of the process (status 0 required)
# and printed as medians and the worst case.
#
# usage: bench/big_show.sh [RUNS] [COUNT] [PLAY]      (defaults 5, 100000, 3)
#   ZEM_BUILD     the build folder (default: build next to this script's folder)
#   ZEM_BASELINE  a folder holding another zemviewer and zemtool: its starts alternate with this
#                 build's in the same command and the ratios are printed
# A timed command, not a test: the machine's load changes the figures; compare runs of one call.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${ZEM_BUILD:-$root/build}
runs=${1:-5}
count=${2:-100000}
play=${3:-3}
for tool in xvfb-run xdotool awk; do
  command -v $tool >/dev/null || { echo "$tool is missing"; exit 1; }
done
if [ -z "${ZEM_BIG_DISPLAY_READY:-}" ]; then
  export ZEM_BIG_DISPLAY_READY=1
  exec xvfb-run -a -n $((300 + RANDOM % 500)) -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
    bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy

labels=(this)
players=("$build/apps/zemviewer/zemviewer")
tools=("$build/apps/zemtool/zemtool")
if [ -n "${ZEM_BASELINE:-}" ]; then
  labels=(base this)
  players=("$ZEM_BASELINE/zemviewer" "${players[0]}")
  tools=("$ZEM_BASELINE/zemtool" "${tools[0]}")
fi
for p in "${players[@]}" "${tools[@]}"; do
  [ -x "$p" ] || { echo "missing $p (build the zemviewer and zemtool targets)"; exit 1; }
done

work=$build/bench/big_show
rm -rf "$work"
mkdir -p "$work/proj"
awk -v n="$count" -f "$root/tests/shell/window/box_show.awk" >"$work/proj/show.zem"
for i in "${!labels[@]}"; do
  "${tools[$i]}" pack "$work/proj/show.zem" "$work/show_${labels[$i]}" --player "${players[$i]}" >/dev/null ||
    { echo "zemtool pack failed"; exit 1; }
done

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# One start: LABEL INDEX HOW (esc or term). Appends "open peak cpu close" to $work/LABEL.HOW.
one_start() {
  local label=$1 idx=$2 how=$3 out=$work/run_$1_$3
  local show=$work/show_$label pid win= t0 ms open peak cpu status
  "$show" -log -stats >"$out.stats" 2>"$out.log" &
  pid=$!
  for _ in $(seq 1200); do
    grep -q "first frame, ms since the program started" "$out.log" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  for _ in $(seq 200); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.05
  done
  if [ -z "$win" ]; then
    echo "$label $how: no window"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 1
  fi
  sleep "$play"
  cpu=$(awk '{ print int(($14 + $15) * 1000 / '"$(getconf CLK_TCK)"') }' "/proc/$pid/stat")
  if [ "$how" = esc ]; then
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    t0=$(now_ms)
    xdotool key --window "$win" Escape
  else
    t0=$(now_ms)
    kill -TERM "$pid"
  fi
  wait "$pid"
  status=$?
  ms=$(($(now_ms) - t0))
  [ "$status" = 0 ] || echo "$label $how: exit status $status"
  open=$(sed -n 's/.*first frame, ms since the program started: *\([0-9]*\).*/\1/p' "$out.log" | head -1)
  peak=$(sed -n 's/^peak memory: *\([0-9]*\) MiB.*/\1/p' "$out.stats" | head -1)
  echo "${open:-NA} ${peak:-NA} $cpu $ms" >>"$work/${label}.${how}"
  printf '%-5s %-4s open %6s ms  peak %5s MiB  cpu %6s ms  close %5s ms\n' "$label" "$how" "${open:-NA}" \
    "${peak:-NA}" "$cpu" "$ms"
}

echo "$count boxes, $runs runs, $play s of play before each close; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq "$runs"); do
  for how in esc term; do
    for i in "${!labels[@]}"; do one_start "${labels[$i]}" "$i" "$how"; done
  done
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

# Median and worst (largest) of column COL in the given files.
stat_of() {
  local col=$1
  shift
  cat "$@" 2>/dev/null | awk -v c="$col" '$c != "NA" { print $c }' | sort -n |
    awk '{ v[NR] = $1 } END { if (NR == 0) { print "NA NA"; exit }
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[NR] }'
}
echo
printf '%-5s %18s %18s %18s %18s %18s\n' "" "open ms" "peak MiB" "cpu ms" "esc ms" "term ms"
printf '%-5s %18s %18s %18s %18s %18s\n' "" "median worst" "median worst" "median worst" "median worst" \
  "median worst"
for label in "${labels[@]}"; do
  read -r om ow < <(stat_of 1 "$work/$label.esc" "$work/$label.term")
  read -r pm pw < <(stat_of 2 "$work/$label.esc" "$work/$label.term")
  read -r cm cw < <(stat_of 3 "$work/$label.esc" "$work/$label.term")
  read -r em ew < <(stat_of 4 "$work/$label.esc")
  read -r tm tw < <(stat_of 4 "$work/$label.term")
  printf '%-5s %9s %8s %9s %8s %9s %8s %9s %8s %9s %8s\n' "$label" "$om" "$ow" "$pm" "$pw" "$cm" "$cw" "$em" "$ew" \
    "$tm" "$tw"
done
