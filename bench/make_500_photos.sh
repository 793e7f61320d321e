#!/usr/bin/env bash
# Timed command: zemtool make over 500 photos (copies of the test photos, 125 MB), with the
# pictures referenced (--link: headers only) and copied (the default), against reading every
# byte of the photos once (cat) in the same run. Medians of 5 runs, wall clock.
#
# usage: bench/make_500_photos.sh build/apps/zemtool/zemtool [tests/data]
set -euo pipefail
zemtool=$1
data=${2:-$(dirname "$0")/../tests/data}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"
sources=("$data"/images/jpeg/exif-orientation/*.jpg "$data"/images/png/other/pillow_hopper.png \
         "$data"/images/gif/pillow/chi.gif)
for i in $(seq 1 500); do
  src=${sources[$((i % ${#sources[@]}))]}
  cp "$src" "$work/photos/photo$i.${src##*.}"
done
echo "500 photos, $(du -sm "$work/photos" | cut -f1) MB"

now() { date +%s%N; }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
run() {  # label, command...
  local label=$1
  shift
  for _ in 1 2 3 4 5; do
    rm -rf "$work/out"
    local t0 t1
    t0=$(now)
    "$@" >/dev/null 2>&1
    t1=$(now)
    echo $(((t1 - t0) / 1000000))
  done | median >"$work/$label"
  echo "$label: $(cat "$work/$label") ms (median of 5)"
}
run cat_all_bytes sh -c "cat '$work'/photos/* >/dev/null"
run make_link "$zemtool" make "$work/photos" -o "$work/out" --link
run make_copy "$zemtool" make "$work/photos" -o "$work/out"
run make_link_captions "$zemtool" make "$work/photos" -o "$work/out" --link --caption name --title "500 photos"
awk -v l="$(cat "$work/make_link")" -v c="$(cat "$work/cat_all_bytes")" \
  'BEGIN {printf "make --link / cat of every byte: %.2f\n", l / (c > 0 ? c : 1)}'
