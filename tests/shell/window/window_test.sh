#!/usr/bin/env bash
# Window tests of the player: a published show runs in a real X window (Xvfb, one 1280x1024
# screen, no window manager) and is driven with xdotool; screenshots are read with ImageMagick.
#
# usage: window_test.sh CASE PLAYER ZEMTOOL [CURSOR_PROBE]
# Exit status 77 marks a skipped test (no Xvfb, xdotool or ImageMagick).
set -uo pipefail

case_name=$1
player=$2
zemtool=$3
probe=${4:-}

# twenty_starts: the player starts 20 times, each under a fresh xvfb-run without -noreset (a
# server that resets when its last client leaves): every start shows its window.
if [ "$case_name" = twenty_starts ]; then
  if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
    echo "SKIP: xvfb-run or xdotool is missing"
    exit 77
  fi
  windows=0
  for i in $(seq 20); do
    if ZEM_WINDOW_DISPLAY_READY=1 xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x1024x24 -nolisten tcp" \
         bash "$0" one_start "$player" "$zemtool" >"/tmp/zem-start-$$.txt" 2>&1; then
      windows=$((windows + 1))
    else
      echo "start $i:"
      tail -5 "/tmp/zem-start-$$.txt"
    fi
  done
  rm -f "/tmp/zem-start-$$.txt"
  echo "$windows windows in 20 starts"
  [ "$windows" = 20 ] || { echo "FAIL: twenty_starts"; exit 1; }
  echo "PASS: twenty_starts"
  exit 0
fi

# Without a display made for the suite (scripts/test.sh runs it under xvfb-run), each case runs
# under its own Xvfb, from a random display number up, away from other servers on the machine.
# -noreset: a server that resets when its last client leaves refuses the next player meanwhile.
if [ -z "${ZEM_WINDOW_DISPLAY_READY:-}" ]; then
  if ! command -v xvfb-run >/dev/null; then
    echo "SKIP: xvfb-run is missing (install xvfb); window tests need an X server"
    exit 77
  fi
  export ZEM_WINDOW_DISPLAY_READY=1
  exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" bash "$0" "$@"
fi
for tool in xdotool convert compare import; do
  if ! command -v $tool >/dev/null; then
    echo "SKIP: $tool is missing"
    exit 77
  fi
done

export SDL_VIDEODRIVER=x11
export SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Standard error, so that a failure inside a helper whose output is discarded still shows.
fail() {
  {
    echo "FAIL: $*"
    echo "display $DISPLAY: $(xdpyinfo 2>&1 | head -1)"
    if [ -f "$work/log.txt" ]; then
      echo "--- player log (last lines)"
      grep -v "FDirectSound\|DirectSoundBuffer" "$work/log.txt" | tail -40
    fi
  } >&2
  exit 1
}

# A 320x240 windowed show of three slides: red with a blue box in the middle, green, yellow.
# Arguments: slide length in ms, then extra lines for the main section.
make_show() {
  local len=$1
  shift
  mkdir -p "$work/proj"
  {
    printf '[Main]\r\nZemVersion=5.6\r\nopt_exefn=testshow\r\nopt_scr_full=0\r\n'
    printf 'opt_scr_width=320\r\nopt_scr_height=240\r\nopt_slidescount=3\r\n'
    printf 'opt_synchpos1=%d\r\nopt_synchpos2=%d\r\nopt_synchpos3=%d\r\n' "$len" $((len * 2)) $((len * 3))
    for line in "$@"; do printf '%s\r\n' "$line"; done
    printf '[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=255\r\n'
    for line in "${slide1_extra[@]}"; do printf '%s\r\n' "$line"; done
    printf 'object box: Middle\r\n  Size=1,1\r\n  FillMode=Solid\r\n  Color1=0,0,255\r\n'
    printf '  object keypoint:\r\n    Time=0\r\n  end\r\nend\r\n'
    printf '[Slide2]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=65280\r\n'
    printf '[Slide3]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=65535\r\n'
    for line in "${extra_sections[@]}"; do printf '%s\r\n' "$line"; done
  } >"$work/proj/show.zem"
  "$zemtool" pack "$work/proj/show.zem" "$work/testshow" --player "$player" >/dev/null || fail "zemtool pack failed"
}

# Lines for the first slide's section and whole sections after the slides (set before make_show).
slide1_extra=()
extra_sections=()

# A one-slide show of `count` small boxes, each moving for a minute, so every frame is slow.
make_box_show() {
  local count=$1
  mkdir -p "$work/proj"
  awk -v n="$count" -f "$(dirname "${BASH_SOURCE[0]}")/box_show.awk" >"$work/proj/show.zem"
  "$zemtool" pack "$work/proj/show.zem" "$work/testshow" --player "$player" >/dev/null || fail "zemtool pack failed"
}

# Waits up to `limit` s for the window to show and then `settle` s more.
wait_window() {
  local limit=$1 settle=$2
  start_ms=$(now_ms)
  win=
  for _ in $(seq $((limit * 10))); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the player ended before showing its window"
    sleep 0.1
  done
  [ -n "$win" ] || fail "no visible window within $limit s"
  echo "window after $(($(now_ms) - start_ms)) ms"
  sleep "$settle"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# GTK for the dialog cases: a home of its own, the file printer only (no CUPS, no D-Bus), no
# accessibility bus, settings in memory.
gtk_env() {
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
  export XDG_CACHE_HOME="$work/home/.cache" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
  mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
  printf '[Settings]\ngtk-print-backends=file\n' >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
}

# Waits (up to 10 s) for a visible window whose name matches, other than the windows given;
# prints its id.
wait_named_window() {
  local name=$1 w
  shift
  for _ in $(seq 100); do
    for w in $(xdotool search --onlyvisible --name "$name" 2>/dev/null); do
      [[ " $* " == *" $w "* ]] || { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# Clicks at a point of a window given in pixels of its 96-dpi layout (scaled by the window's
# width against the layout's width).
click_layout() {
  local w=$1 layout_width=$2 x=$3 y=$4
  eval "$(xdotool getwindowgeometry --shell "$w")"
  xdotool mousemove $((X + x * WIDTH / layout_width)) $((Y + y * WIDTH / layout_width)) click 1
}

# The colour of a window's pixel as "R,G,B".
colour_at() {
  import -window "$1" "$work/pixel.png" 2>/dev/null || return 1
  convert "$work/pixel.png" -format "%[fx:int(255*p{$2,$3}.r+0.5)],%[fx:int(255*p{$2,$3}.g+0.5)],%[fx:int(255*p{$2,$3}.b+0.5)]" info: 2>/dev/null
}

# Types a file name into GTK's save chooser and confirms it.
save_as() {
  local chooser
  chooser=$(wait_named_window '^Save$') || fail "no save chooser"
  xdotool windowfocus --sync "$chooser" 2>/dev/null || xdotool windowfocus "$chooser"
  xdotool key --window "$chooser" ctrl+a
  xdotool type --window "$chooser" "$1"
  xdotool key --window "$chooser" Return
}

# Starts the published show with the log on standard error; sets pid and win (the visible window).
start_player() {
  start_ms=$(now_ms)
  "$work/testshow" -log "$@" 2>"$work/log.txt" >"$work/out.txt" &
  pid=$!
  win=
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the player ended before showing its window"
    sleep 0.1
  done
  [ -n "$win" ] || fail "no visible window within 10 s"
  # Xvfb has no window manager: the window gets the focus only when asked.
  xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
}

# Starts any command line of the player the same way (from the folder given first).
start_player_in() {
  local folder=$1
  shift
  start_ms=$(now_ms)
  (cd "$folder" && exec "$@" -log 2>"$work/log.txt") &
  pid=$!
  win=
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the player ($*) ended before showing its window"
    sleep 0.1
  done
  [ -n "$win" ] || fail "no visible window within 10 s ($*)"
  xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
}

shot() { import -window "$win" "$1" 2>/dev/null; }

# Waits until the window shows a picture that is not one colour; prints the milliseconds since start.
wait_first_frame() {
  for _ in $(seq 100); do
    if shot "$work/first.png"; then
      local sd
      sd=$(convert "$work/first.png" -format '%[fx:standard_deviation]' info: 2>/dev/null)
      if [ -n "$sd" ] && awk "BEGIN{exit !($sd > 0.01)}"; then
        echo $(($(now_ms) - start_ms))
        return 0
      fi
    fi
    sleep 0.1
  done
  fail "the window stayed uniform for 10 s"
}

# The colour of the window's centre as "R,G,B".
centre() {
  shot "$work/centre.png" || return 1
  convert "$work/centre.png" -format '%[fx:int(255*p{160,120}.r+0.5)],%[fx:int(255*p{160,120}.g+0.5)],%[fx:int(255*p{160,120}.b+0.5)]' info: 2>/dev/null
}

# Waits (up to 5 s) for the centre to show a colour.
expect_centre() {
  local want=$1 what=$2 got=
  for _ in $(seq 50); do
    got=$(centre)
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  fail "$what: centre is $got, expected $want"
}

key() { xdotool key --window "$win" "$@"; }

# Waits for the player to end; fails unless its status is the expected one.
expect_exit() {
  local want=$1 limit=$2 status
  for _ in $(seq $((limit * 10))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the player still runs after $limit s"
  wait "$pid"
  status=$?
  pid=
  [ "$status" = "$want" ] || fail "exit status $status, expected $want"
}

# Waits (up to 3 s) for the input focus to be on a window.
expect_focus() {
  local want=$1 what=$2 got=
  for _ in $(seq 30); do
    got=$(xdotool getwindowfocus -f 2>/dev/null)
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  fail "$what: the focus is on window ${got:-none}, expected $want"
}

seeks() { grep -o 'TZemShowViewer.Seek: -\?[0-9]*' "$work/log.txt" | awk '{print $2}'; }

BLUE=0,0,255
GREEN=0,255,0
YELLOW=255,255,0

case "$case_name" in
  first_frame_and_escape)
    make_show 20000
    start_player
    ms=$(wait_first_frame)
    echo "first frame after $ms ms"
    expect_centre $BLUE "first slide"
    # A run that opens no dialog never loads the dialog toolkit.
    grep -q libgtk-3 "/proc/$pid/maps" && fail "GTK was loaded without a dialog"
    key Escape
    expect_exit 0 5
    grep -q "Program stoped" "$work/log.txt" || fail "no log footer"
    ;;
  slide_keys)
    make_show 20000
    start_player
    wait_first_frame >/dev/null
    expect_centre $BLUE "first slide"
    key Right
    expect_centre $GREEN "Right from the first slide"
    key Right
    expect_centre $YELLOW "Right from the second slide"
    key Left
    expect_centre $GREEN "Left from the third slide"
    key Left
    expect_centre $BLUE "Left from the second slide"
    [ "$(seeks | wc -l)" -ge 4 ] || fail "expected four seeks in the log"
    key Escape
    expect_exit 0 5
    ;;
  space_pauses)
    make_show 1000 "opt_repeat=repeat"
    start_player
    wait_first_frame >/dev/null
    key space
    for _ in $(seq 50); do grep -q "TZemShowViewer.SetPaused: True" "$work/log.txt" && break; sleep 0.1; done
    grep -q "TZemShowViewer.SetPaused: True" "$work/log.txt" || fail "Space did not pause"
    sleep 0.3
    shot "$work/a.png"
    sleep 1.5
    shot "$work/b.png"
    diff=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1)
    [ "$diff" = 0 ] || fail "the picture changed while paused ($diff pixels)"
    key space
    changed=
    for _ in $(seq 40); do
      shot "$work/c.png"
      diff=$(compare -metric AE "$work/b.png" "$work/c.png" null: 2>&1)
      [ "$diff" != 0 ] && changed=1 && break
      sleep 0.1
    done
    [ -n "$changed" ] || fail "the show did not go on after the second Space"
    key Escape
    expect_exit 0 5
    ;;
  wheel_seeks)
    make_show 20000
    start_player
    wait_first_frame >/dev/null
    key space
    eval "$(xdotool getwindowgeometry --shell "$win")"
    xdotool mousemove $((X + 160)) $((Y + 120))
    sleep 0.3
    xdotool click 5
    sleep 0.3
    xdotool click 5
    sleep 0.3
    xdotool click 4
    for _ in $(seq 30); do [ "$(seeks | wc -l)" -ge 3 ] && break; sleep 0.1; done
    mapfile -t s < <(seeks)
    [ "${#s[@]}" -ge 3 ] || fail "expected three wheel seeks, log has ${#s[@]}"
    [ $((s[1] - s[0])) = 700 ] || fail "wheel down: ${s[0]} then ${s[1]}, expected 700 ms forward"
    [ "${s[2]}" = "${s[0]}" ] || fail "wheel up: ${s[2]}, expected ${s[0]}"
    # With Ctrl the wheel steps a whole slide.
    xdotool keydown ctrl click 5 keyup ctrl
    expect_centre $GREEN "Ctrl+wheel down"
    key Escape
    expect_exit 0 5
    ;;
  display_two_uses_primary)
    make_show 20000
    start_player -display 2
    wait_first_frame >/dev/null
    eval "$(xdotool getwindowgeometry --shell "$win")"
    [ "$X,$Y,$WIDTH,$HEIGHT" = "480,392,320,240" ] || fail "window at $X,$Y size ${WIDTH}x$HEIGHT, expected 480,392 320x240"
    key Escape
    expect_exit 0 5
    ;;
  hide_cursor)
    [ -x "$probe" ] || { echo "SKIP: no cursor probe (libxfixes-dev missing at build time)"; exit 77; }
    for value in 0 1; do
      make_show 20000 "opt_hidecursor=$value" "opt_leftmouse=Next slide"
      start_player
      wait_first_frame >/dev/null
      eval "$(xdotool getwindowgeometry --shell "$win")"
      xdotool mousemove $((X + 100)) $((Y + 100))
      sleep 0.3
      xdotool mousemove $((X + 160)) $((Y + 120))
      sleep 0.5
      pixels=$("$probe") || fail "cursor probe failed"
      if [ "$value" = 1 ]; then
        [ "$pixels" = 0 ] || fail "opt_hidecursor=1: the pointer shows $pixels pixels"
        # With the pointer hidden a click runs the mapped action at once ("opt_leftmouse").
        sleep 0.5
        xdotool click 1
        expect_centre $GREEN "left click mapped to the next slide"
      else
        [ "$pixels" -gt 0 ] || fail "opt_hidecursor=0: the pointer is invisible"
      fi
      key Escape
      expect_exit 0 5
    done
    ;;
  frame_statistics)
    # A picture that pans for the whole slide: "-stats" prints at exit how many frames were
    # drawn, late and skipped, and when the first one with the picture came.
    mkdir -p "$work/proj"
    convert -size 640x480 gradient:red-blue "$work/proj/pic.png" || fail "convert failed"
    {
      printf '[Main]\r\nZemVersion=5.6\r\nopt_exefn=testshow\r\nopt_scr_full=0\r\nopt_scr_width=320\r\n'
      printf 'opt_scr_height=240\r\nopt_slidescount=1\r\nopt_synchpos1=20000\r\n[Slide1]\r\n'
      printf 'object image: Pic\r\n  ImageName=pic.png\r\n  object keypoint:\r\n    Time=0\r\n  end\r\n'
      printf '  object keypoint:\r\n    Origin=SlideEnd\r\n    Time=0\r\n    Position=60,40\r\n  end\r\nend\r\n'
    } >"$work/proj/show.zem"
    "$zemtool" pack "$work/proj/show.zem" "$work/testshow" --player "$player" >/dev/null || fail "zemtool pack failed"
    start_player -stats
    wait_first_frame >/dev/null
    sleep 2
    key Escape
    expect_exit 0 5
    stats=$(grep '^frames: ' "$work/out.txt") || fail "no statistics on standard output: $(cat "$work/out.txt")"
    echo "$stats"
    read -r drawn late skipped first < <(echo "$stats" |
      sed -n 's/^frames: \([0-9]*\) drawn, \([0-9]*\) late, \([0-9]*\) skipped; first picture after \([0-9]*\) ms$/\1 \2 \3 \4/p')
    [ -n "$first" ] || fail "no first picture in: $stats"
    # The slide moves all the time: at least a few frames a second even on a busy machine.
    [ "$drawn" -ge 10 ] || fail "only $drawn frames in more than 2 s"
    [ "$late" -le "$drawn" ] || fail "more late frames than drawn ones"
    [ "$first" -gt 0 ] && [ "$first" -lt 10000 ] || fail "first picture after $first ms"
    grep -q '^peak memory: [0-9]* MiB$' "$work/out.txt" || fail "no peak memory line"
    grep -q "TZemEngine: first picture, ms since the program started: " "$work/log.txt" || fail "no first picture in the log"
    ;;
  startup_child)
    # The start-up window runs in a child copy of the player; Enter there confirms the show.
    extra_sections=("[dialog_startup]" "Pers_Fon=1" "bstyle=1" "bname=16711935")
    for answer in Return Escape; do
      make_show 20000 "stw_show=1" "opt_startupwidth=200" "opt_startupheight=150"
      start_ms=$(now_ms)
      "$work/testshow" -log 2>"$work/log.txt" &
      pid=$!
      child=
      for _ in $(seq 100); do
        child=$(pgrep -P "$pid" | head -1)
        [ -n "$child" ] && win=$(xdotool search --onlyvisible --pid "$child" 2>/dev/null | head -1) && [ -n "$win" ] && break
        sleep 0.1
      done
      [ -n "$child" ] && [ -n "$win" ] || fail "no start-up child window"
      tr '\0' ' ' <"/proc/$child/cmdline" | grep -q -- "-exename $work/testshow -startup -ownerwnd" ||
        fail "child command line: $(tr '\0' ' ' <"/proc/$child/cmdline")"
      xdotool windowfocus "$win"
      # The child shows the start-up dialog alone, in a window of the start-up size.
      eval "$(xdotool getwindowgeometry --shell "$win")"
      [ "$WIDTH,$HEIGHT" = "200,150" ] || fail "start-up window ${WIDTH}x$HEIGHT, expected 200x150"
      got=
      for _ in $(seq 50); do
        got=$(colour_at "$win" 100 75)
        [ "$got" = 255,0,255 ] && break
        sleep 0.1
      done
      [ "$got" = 255,0,255 ] || fail "start-up window shows $got, expected the dialog's 255,0,255"
      key "$answer"
      if [ "$answer" = Return ]; then
        # Confirmed: the parent plays the show in its own window.
        for _ in $(seq 50); do kill -0 "$child" 2>/dev/null || break; sleep 0.1; done
        grep -q "start-up window ended with 1" "$work/log.txt" || fail "the child did not confirm"
        win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
        [ -n "$win" ] || fail "the parent shows no window"
        xdotool windowfocus "$win"
        expect_centre $BLUE "the confirmed show"
        key Escape
        expect_exit 0 5
      else
        # Not confirmed: the show is not played and the parent ends.
        expect_exit 1 10
        grep -q "start-up window ended with 0" "$work/log.txt" || fail "the child's answer was not 0"
      fi
    done
    ;;
  startup_child_foreground)
    # While the parent waits, its window hands the foreground on to the child's; the child hands
    # it back to the window named by -ownerwnd when it ends.
    make_show 20000 "stw_show=1"
    start_ms=$(now_ms)
    "$work/testshow" -log 2>"$work/log.txt" &
    pid=$!
    child=
    win=
    for _ in $(seq 100); do
      child=$(pgrep -P "$pid" | head -1)
      [ -n "$child" ] && win=$(xdotool search --onlyvisible --pid "$child" 2>/dev/null | head -1) && [ -n "$win" ] && break
      sleep 0.1
    done
    [ -n "$child" ] && [ -n "$win" ] || fail "no start-up child window"
    owner=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$owner" ] || fail "the waiting parent shows no window"
    wait_first_frame >/dev/null
    for round in 1 2; do
      xdotool windowfocus "$owner"
      expect_focus "$win" "round $round: the parent's window got the focus"
    done
    key Return
    for _ in $(seq 50); do kill -0 "$child" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$child" 2>/dev/null && fail "the child still runs"
    grep -q "start-up window ended with 1" "$work/log.txt" || fail "the child did not confirm"
    expect_focus "$owner" "after the child ended"
    win=$owner
    key Escape
    expect_exit 0 5
    ;;
  show_paths)
    # The show named as a plain argument: a published show, a package, a project script and a
    # project folder, absolute and relative to the current folder.
    make_show 20000
    "$zemtool" pack "$work/proj/show.zem" "$work/show.zmshow" >/dev/null || fail "zemtool pack (package) failed"
    "$zemtool" extract "$work/show.zmshow" "$work/unpacked" >/dev/null || fail "zemtool extract failed"
    [ -f "$work/unpacked/Project.zem" ] || fail "the extracted project has no Project.zem"
    for args in "/ $player $work/testshow" "$work $player show.zmshow" "/ $player $work/unpacked/Project.zem" \
                "$work $player unpacked" "/ $player -slide 2 $work/show.zmshow"; do
      read -r -a words <<<"$args"
      start_player_in "${words[@]}"
      # Slide 2 is one colour; the first slide has its blue box.
      if [ "${words[2]}" = -slide ]; then
        expect_centre $GREEN "$args"
      else
        wait_first_frame >/dev/null
        expect_centre $BLUE "$args"
      fi
      key Escape
      expect_exit 0 5
    done
    # Without -log a run that goes well writes nothing to standard error.
    start_ms=$(now_ms)
    env -u XDG_RUNTIME_DIR -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$player" "$work/show.zmshow" 2>"$work/quiet.txt" &
    pid=$!
    for _ in $(seq 100); do
      win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
      [ -n "$win" ] && break
      sleep 0.1
    done
    [ -n "$win" ] || fail "no window for the quiet run"
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    wait_first_frame >/dev/null
    key Escape
    expect_exit 0 5
    [ ! -s "$work/quiet.txt" ] || fail "standard error of a good run: $(head -3 "$work/quiet.txt")"
    ;;
  password)
    # The show plays after the right password only; a wrong one or Cancel ends the process.
    gtk_env
    make_show 20000 "opt_usepass=1" "opt_pass=Secret"
    for answer in right wrong cancel; do
      start_ms=$(now_ms)
      "$work/testshow" -log 2>"$work/log.txt" &
      pid=$!
      dialog=$(wait_named_window '^Password required$') || fail "no password dialog"
      xdotool windowfocus --sync "$dialog" 2>/dev/null || xdotool windowfocus "$dialog"
      case $answer in
        right) xdotool type --window "$dialog" Secret; xdotool key --window "$dialog" Return ;;
        wrong) xdotool type --window "$dialog" secret; xdotool key --window "$dialog" Return ;;
        cancel) click_layout "$dialog" 260 170 74 ;;
      esac
      if [ $answer = right ]; then
        win=$(wait_named_window '^ZemViewer') || fail "no show window after the right password"
        xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
        expect_centre $BLUE "the show after its password"
        key Escape
        expect_exit 0 5
      else
        expect_exit 1 10
        grep -q "the show password was not given" "$work/log.txt" || fail "$answer: no refusal in the log"
        grep -q "first frame" "$work/log.txt" && fail "$answer: the show was played"
      fi
    done
    ;;
  print_save)
    # The print dialog's "Save": the captured picture as a BMP file; with "Only Main Image" the
    # slide's JPEG member byte for byte. Ctrl+Shift+P prints.
    gtk_env
    photo="$(dirname "$0")/../../data/images/jpeg/libjpeg-turbo/testorig.jpg"
    [ -f "$photo" ] || fail "missing $photo"
    slide1_extra=("picture=photo.JPG")
    make_show 20000 "CanRestore=1"
    cp "$photo" "$work/proj/photo.JPG"
    "$zemtool" pack "$work/proj/show.zem" "$work/testshow" --player "$player" >/dev/null || fail "zemtool pack failed"
    mkdir -p "$work/out"
    start_player
    wait_first_frame >/dev/null
    for round in capture main; do
      xdotool windowfocus --sync "$win" 2>/dev/null
      key ctrl+shift+p
      dialog=$(wait_named_window '^Print$') || fail "$round: no print dialog"
      grep -q "TZemShowViewer.SetPaused: True" "$work/log.txt" || fail "the show was not paused for the dialog"
      [ $round = main ] && click_layout "$dialog" 282 155 61  # "Only Main Image"
      click_layout "$dialog" 282 207 24                      # "Save"
      if [ $round = capture ]; then save_as "$work/out/shot.bmp"; else save_as "$work/out/main.JPG"; fi
      for _ in $(seq 50); do grep -q "print dialog ended" "$work/log.txt" && break; sleep 0.1; done
      sed -i 's/print dialog ended/print dialog done/' "$work/log.txt"
    done
    [ -f "$work/out/shot.bmp" ] || fail "no BMP file saved"
    got=$(convert "$work/out/shot.bmp" -format '%w %h %[fx:int(255*p{160,120}.b+0.5)] %[fx:int(255*p{5,5}.r+0.5)]' info:)
    [ "$got" = "320 240 255 255" ] || fail "saved capture: $got, expected 320x240, blue middle, red edge"
    cmp -s "$photo" "$work/out/main.JPG" || fail "the saved main picture differs from the member"
    key Escape
    expect_exit 0 5
    ;;
  print_pdf)
    # "Print" through GTK's print dialog to its file printer: a landscape PDF page showing the
    # captured picture (read back with pdftoppm).
    command -v pdftoppm >/dev/null || { echo "SKIP: pdftoppm is missing (poppler-utils)"; exit 77; }
    gtk_env
    make_show 20000
    # GTK's file printer writes output.pdf into the current folder.
    start_player_in "$work" "$work/testshow"
    wait_first_frame >/dev/null
    key ctrl+shift+p
    dialog=$(wait_named_window '^Print$') || fail "no print dialog"
    click_layout "$dialog" 282 74 24  # "Print"
    gtkprint=$(wait_named_window '^Print$' "$dialog") || fail "no GTK print dialog"
    xdotool windowfocus --sync "$gtkprint" 2>/dev/null || xdotool windowfocus "$gtkprint"
    xdotool key --window "$gtkprint" Down
    sleep 0.3
    xdotool key --window "$gtkprint" Return
    pdf=
    for _ in $(seq 100); do
      [ -s "$work/output.pdf" ] && grep -q "print dialog ended" "$work/log.txt" && pdf="$work/output.pdf" && break
      sleep 0.1
    done
    [ -n "$pdf" ] || fail "no PDF printed"
    pdftoppm -png -r 30 -singlefile "$pdf" "$work/page" || fail "pdftoppm failed"
    got=$(convert "$work/page.png" -format '%[fx:w>h] %[fx:int(255*p{w/2,h/2}.b+0.5)] %[fx:int(255*p{w/2,h/2}.r+0.5)]' info:)
    [ "$got" = "1 255 0" ] || fail "printed page: $got, expected landscape with the blue middle"
    xdotool windowfocus --sync "$win" 2>/dev/null
    key Escape
    expect_exit 0 5
    ;;
  one_start)
    make_show 20000
    start_player
    key Escape
    expect_exit 0 5
    ;;
  big_show_closes_at_once)
    # Frames of 100,000 boxes take seconds; Esc and SIGTERM end the player within 2 s anyway.
    make_box_show 100000
    "$work/testshow" -log 2>"$work/log.txt" &
    pid=$!
    wait_window 60 2
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    key Escape
    ms=$(now_ms)
    expect_exit 0 2
    echo "Esc: ended within $(($(now_ms) - ms)) ms"
    "$work/testshow" -log 2>"$work/log.txt" &
    pid=$!
    wait_window 60 2
    # Twice at once, as `timeout` signals the process and its group: one request to close.
    kill -TERM "$pid"
    kill -TERM "$pid"
    ms=$(now_ms)
    expect_exit 0 2
    echo "SIGTERM: ended within $(($(now_ms) - ms)) ms"
    grep -q "closing on signal 15" "$work/log.txt" || fail "the log does not name the signal"
    grep -q "2 slides are kept built" "$work/log.txt" || fail "the large show keeps three slides built"
    grep -q "Program stoped" "$work/log.txt" || fail "no log footer"
    ;;
  show_end_closes)
    # The window never gets the focus here, so the show must not wait for it.
    make_show 500 "opt_repeat=close" "opt_pausewheninactive=0"
    "$work/testshow" -log 2>"$work/log.txt" &
    pid=$!
    expect_exit 0 15
    ;;
  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
exit 0
