#!/bin/bash
# zemtool pack / list / cat / extract / verify from the command line, and a published show
# started as a program. Usage: zemtool_cli_test.sh ZEMTOOL ZEMVIEWER
set -u
ZEMTOOL=$1
VIEWER=$2
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export SDL_VIDEODRIVER=offscreen
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$W/proj/Pics/sub" "$W/proj/music"
printf '[Main]\r\nZemVersion=5.6\r\nopt_slidescount=2\r\nopt_scr_full=0\r\nopt_scr_width=64\r\nopt_scr_height=48\r\n' > "$W/proj/show.zem"
head -c 50000 /dev/urandom > "$W/proj/Pics/photo[1].jpg"
yes "slide text" | head -c 40000 > "$W/proj/Pics/sub/notes.txt"
head -c 3333 /dev/urandom > "$W/proj/music/song.mp3"

for opts in "" "--store" "--scramble" "--store --scramble --allow-modify"; do
  for player in no yes; do
    out="$W/out"
    rm -rf "$out" "$W/x"
    if [ $player = yes ]; then
      "$ZEMTOOL" pack "$W/proj/show.zem" "$out" --player "$VIEWER" $opts > /dev/null || fail "pack $opts"
      [ -x "$out" ] || fail "published show not executable"
      # A frame drawn off screen proves the copy opened the package in its own file.
      "$out" -snapshot "$W/frame.png" -at 0 || fail "published show ($opts) did not open its package"
      [ -s "$W/frame.png" ] || fail "published show ($opts) drew no frame"
    else
      "$ZEMTOOL" pack "$W/proj/show.zem" "$out" $opts > /dev/null || fail "pack $opts"
    fi
    "$ZEMTOOL" verify "$out" > /dev/null || fail "verify $opts"
    "$ZEMTOOL" list "$out" | grep -q '^zemversion=5.6$' || fail "list shows no version"
    "$ZEMTOOL" list "$out" | grep -q "^Pics\\\\sub\\\\notes.txt	" || fail "list shows no member"
    "$ZEMTOOL" extract "$out" "$W/x" > /dev/null || fail "extract $opts"
    for f in "Pics/photo[1].jpg" "Pics/sub/notes.txt" "music/song.mp3"; do
      cmp -s "$W/proj/$f" "$W/x/$f" || fail "$f differs after pack $opts / extract"
    done
    "$ZEMTOOL" cat "$out" 'pics\PHOTO[1].JPG' | cmp -s - "$W/proj/Pics/photo[1].jpg" || fail "cat $opts"
    grep -q "opt_exefn=out" "$W/x/Project.zem" || fail "script got no opt_exefn"
    [ "$("$ZEMTOOL" script "$out" Main ZemVersion)" = "5.6" ] || fail "script of a package $opts"
  done
done
"$ZEMTOOL" list "$W/out" | grep -q '^allowmodify=1$' || fail "allowmodify not written"
"$ZEMTOOL" list "$W/out" | grep -q 'scrambled' || fail "no scrambled member"

# A damaged copy: verify names the problem and fails.
"$ZEMTOOL" pack "$W/proj/show.zem" "$W/p2" --store --player "$VIEWER" > /dev/null
{ printf 'XXXX'; cat "$W/p2"; } > "$W/moved"
"$ZEMTOOL" verify "$W/moved" | grep -q "Slide-show File Modified" || fail "moved package not reported"
"$ZEMTOOL" verify "$W/moved" > /dev/null && fail "verify passed a moved package"
"$ZEMTOOL" verify "$W/proj/show.zem" > /dev/null && fail "verify passed a script"
# A plain player copy cannot load a show.
cp "$VIEWER" "$W/plain"
err=$("$W/plain" 2>&1) && fail "plain copy succeeded"
echo "$err" | grep -q "Can\`t Load Show" || fail "plain copy message: $err"
echo "zemtool CLI: all checks passed"
