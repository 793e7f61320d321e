#!/usr/bin/env bash
# Plays the demo show. Until the player can play a show, this runs what exists and says plainly
# what is not there yet.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bin=build/apps
if [ -x "$bin/zemviewer/zemviewer" ] && [ -f build/demo/Demo ]; then
  exec build/demo/Demo "$@"
fi
echo "Zem: the player cannot play a show yet; these parts exist and run:"
echo
echo "\$ zemtool script demo/Project.zem"
"$bin/zemtool/zemtool" script demo/Project.zem
echo
echo "\$ zemtool script demo/Project.zem Main"
"$bin/zemtool/zemtool" script demo/Project.zem Main
