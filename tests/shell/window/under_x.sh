#!/usr/bin/env bash
# Runs a test program on the X11 video driver under Xvfb (or on the suite's display when
# scripts/test.sh made one). Exit status 77 marks a skipped test (no Xvfb).
#
# usage: under_x.sh PROGRAM [ARGS...]
set -uo pipefail
if [ -z "${ZEM_WINDOW_DISPLAY_READY:-}" ]; then
  if ! command -v xvfb-run >/dev/null; then
    echo "SKIP: xvfb-run is missing (install xvfb)"
    exit 77
  fi
  export ZEM_WINDOW_DISPLAY_READY=1
  exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11
exec "$@"
