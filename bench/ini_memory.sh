#!/bin/bash
# Compares the script storage of two builds on the 100,000-box script: runs each build's
# zem_ini_memory five times, interleaved, and prints the medians and the ratios new/base.
#   bench/ini_memory.sh BASE_BUILD_DIR NEW_BUILD_DIR [boxes] [runs] [sections]
set -euo pipefail
base=$1/bench/zem_ini_memory
new=$2/bench/zem_ini_memory
n=${3:-100000}
runs=${4:-5}
kind=${5:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for ((i = 0; i < runs; i++)); do
  "$base" "$n" $kind >> "$tmp/base"
  "$new" "$n" $kind >> "$tmp/new"
done
median() {  # FILE FIELD
  grep -o "$2=[-0-9.]*" "$1" | cut -d= -f2 | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}
printf '%-14s %10s %10s %8s\n' field base new ratio
for f in load_wall_ms load_cpu_ms heap_mb rss_mb; do
  b=$(median "$tmp/base" $f)
  w=$(median "$tmp/new" $f)
  printf '%-14s %10s %10s %8s\n' $f "$b" "$w" "$(awk -v b="$b" -v w="$w" 'BEGIN {printf "%.2f", w / b}')"
done
grep -h -o 'writeback=[a-zA-Z]*' "$tmp/base" "$tmp/new" | sort | uniq -c
