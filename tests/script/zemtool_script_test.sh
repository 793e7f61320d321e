#!/bin/bash
# Runs "zemtool script" on small scripts and compares its output and exit status.
set -u
ZEMTOOL="$1"
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
FAILED=0

check() {  # check NAME EXPECTED_STATUS EXPECTED_STDOUT -- ARGS...
  local name="$1" want_status="$2" want_out="$3"
  shift 4
  local out status
  out=$("$ZEMTOOL" script "$@" 2>"$DIR/err")
  status=$?
  if [ "$status" != "$want_status" ] || [ "$out" != "$want_out" ]; then
    echo "FAIL $name: status $status (want $want_status)"
    echo "  got:  $(printf '%q' "$out")"
    echo "  want: $(printf '%q' "$want_out")"
    FAILED=1
  fi
  if [ "$want_status" = 2 ] && [ "$(wc -l <"$DIR/err")" != 1 ]; then
    echo "FAIL $name: error output is not one line: $(cat "$DIR/err")"
    FAILED=1
  fi
}

printf '\xEF\xBB\xBF; show\r\n[Main]\r\ntitle = My Show  \r\nflag=$1\r\ncolour=300,-5,128\r\nargb=1,2,3,4\r\n' >"$DIR/a.zem"
printf 'speed=1.5\r\nbad=x\r\n[Slide 1]\r\nobject Pic: a.jpg\r\n  x=1\r\n  object Sub: s\r\n    y=2\r\n  end\r\nend\r\nz=3\r\n' >>"$DIR/a.zem"
printf '[Caf\xE9]\r\nk=v\r\n' >"$DIR/ansi.zem"
printf '\xEF\xBB\xBFk=\xFF\r\n' >"$DIR/broken.zem"

check sections 0 $'Main\nSlide 1' -- "$DIR/a.zem"
check keys 0 $'title=My Show\nflag=$1\ncolour=300,-5,128\nargb=1,2,3,4\nspeed=1.5\nbad=x' -- "$DIR/a.zem" main
check objects 0 $'object Pic: a.jpg\n  x=1\n  object Sub: s\n    y=2\nz=3' -- "$DIR/a.zem" "slide 1"
check value 0 'My Show' -- "$DIR/a.zem" Main TITLE
check int 0 '1' -- "$DIR/a.zem" Main flag --as int
check bool 0 '1' -- "$DIR/a.zem" Main flag --as bool
check float 0 '1.5' -- "$DIR/a.zem" Main speed --as float
check rgb 0 '255,0,128' -- "$DIR/a.zem" Main colour --as rgb
check rgba 0 '0x04010203' -- "$DIR/a.zem" Main argb --as rgba
check unparsable 0 '(default)' -- "$DIR/a.zem" Main bad --as int
check rgb-count 0 '(default)' -- "$DIR/a.zem" Main argb --as rgb
check missing-key 0 '(default)' -- "$DIR/a.zem" Main nothing
check ansi 0 $'Caf\xC3\xA9' -- "$DIR/ansi.zem"
check missing-section 2 '' -- "$DIR/a.zem" Nowhere
check missing-file 2 '' -- "$DIR/none.zem"
check broken-file 2 '' -- "$DIR/broken.zem"
check bad-type 2 '' -- "$DIR/a.zem" Main flag --as colour
exit $FAILED
