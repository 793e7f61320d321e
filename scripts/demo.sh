#!/usr/bin/env bash
# Plays the demo show. scripts/setup.sh builds it: zemdemogen generates its pictures and music
# into build/demo/media and zemtool packs demo/Project.zem with them onto the player, giving the
# published show build/demo/Demo (one program file). This checks that file, prints its time
# line and plays it in its window; without a display it says so and writes frames of a few
# show times and the whole show as an MP4 video into out/demo/ instead. ZEM_BUILD_DIR names
# another build folder than build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${ZEM_BUILD_DIR:-build}
tool=$build/apps/zemtool/zemtool
viewer=$build/apps/zemviewer/zemviewer
show=$root/$build/demo/Demo
case "$build" in /*) show=$build/demo/Demo ;; esac
out=out/demo

for f in "$tool" "$viewer" "$show"; do
  if [ ! -x "$f" ]; then
    echo "demo: $f is missing; run scripts/setup.sh first" >&2
    exit 1
  fi
done

echo "published show: $show ($(stat -c %s "$show") bytes)"
"$tool" verify "$show"
echo
echo "time line:"
"$tool" timeline "$show"
echo

# True when an X or Wayland display is set and answers.
display_usable() {
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    local sock=$WAYLAND_DISPLAY
    [ "${sock#/}" = "$sock" ] && sock=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$sock
    [ -S "$sock" ] && return 0
  fi
  if [ -n "${DISPLAY:-}" ]; then
    if command -v xdpyinfo >/dev/null 2>&1; then
      timeout 5 xdpyinfo >/dev/null 2>&1 && return 0
    else
      # Local displays (":N" or ":N.S") have a socket; remote ones are taken on trust.
      case "$DISPLAY" in
        :*) local n=${DISPLAY#:}; n=${n%%.*}; [ -S "/tmp/.X11-unix/X$n" ] && return 0 ;;
        *) return 0 ;;
      esac
    fi
  fi
  return 1
}

if display_usable; then
  echo "playing $show in its window (Esc ends it)"
  status=0
  "$show" || status=$?
  echo "the show ended with status $status"
  exit "$status"
fi

echo "demo: no display here (neither DISPLAY nor WAYLAND_DISPLAY names a usable one), so the show"
echo "cannot play in a window. Frames of it at a few show times instead, into $out/:"
mkdir -p "$out"
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
# The middle of every slide, and two moments inside transitions (a push, a soft diamond wipe).
for t in 3000 7500 10500 12500 17500 22500 25600 27500 32500 37500; do
  if "$viewer" -exename "$show" -snapshot "$out/frame-$t.png" -at "$t" -outsize 640x360 2>"$out/snapshot.err"; then
    echo "frame at $t ms: $out/frame-$t.png"
  else
    echo "frame at $t ms: not written ($(head -1 "$out/snapshot.err"))"
  fi
done
# And the whole show as a video that any player takes.
if "$show" -export "$out/demo.mp4" -outsize 1280x720 2>"$out/export.err"; then
  echo "the whole show as a video: $out/demo.mp4"
else
  echo "video: not written ($(tail -1 "$out/export.err"))"
fi
