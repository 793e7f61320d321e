#!/bin/bash
# zemtool timeline against a time line worked out by hand from the timing rules
# (data/timeline_show.expected): overlong transitions, the wrap-around of a repeating show
# and end actions; a show whose synchronisation points go backwards; and the filter names of
# the transitions' test show.
set -u
zemtool="$1"
data="$(dirname "$0")/data"
status=0

actual="$("$zemtool" timeline "$data/timeline_show.zem" --positions 6)" || { echo "zemtool timeline failed"; exit 1; }
if ! diff -u "$data/timeline_show.expected" <(printf '%s\n' "$actual"); then
  echo "time line differs from the hand computation"
  status=1
fi

# The same show twice gives the same text (random draws use the fixed seed).
again="$("$zemtool" timeline "$data/timeline_show.zem" --positions 6)"
[ "$again" = "$actual" ] || { echo "output is not repeatable"; status=1; }

err="$("$zemtool" timeline "$data/timeline_backwards.zem" 2>&1 >/dev/null)"
code=$?
if [ $code -ne 2 ] || [[ "$err" != *"Incorrect time"* ]]; then
  echo "backwards time line: exit $code, message '$err'"
  status=1
fi

"$zemtool" timeline "$data/no_such_show.zem" >/dev/null 2>&1 && { echo "a missing show was accepted"; status=1; }

# The test show of the clock, broom, page roll, flip and swap names each of their filters.
solid="$(dirname "$0")/../transitions/data/solid_show/Project.zem"
lines="$("$zemtool" timeline "$solid")" || { echo "zemtool timeline failed on the test show"; status=1; }
for filter in TClockEffect:2 TBroomEffect:16 TRollEffect2:16 TOverturnEffect:8 TTwoSlidesEffect:4; do
  n="$(printf '%s\n' "$lines" | grep -c " ${filter%%:*}\$")"
  [ "$n" = "${filter##*:}" ] || { echo "${filter%%:*}: $n slides named"; status=1; }
done
exit $status
