#!/usr/bin/env bash
# Times every program against its plain fscanf build (the same computation,
# fscanf per number) and against the bare read-and-parse loop, in one run, and
# prints the ratios and the peak memory. Outputs of each pair are compared.
#
#   bench/run.sh PROGRAM_DIR BENCH_TOOL_DIR
#   (or: cmake --build build --target bench)
#
# SIZES (default "1000000 10000000") sets the sample counts, RUNS (default 3)
# the runs each time is the best of, BENCH_DATA where generated files are kept.
set -euo pipefail
programs=$1
tools=$2
sizes=${SIZES:-"1000000 10000000"}
runs=${RUNS:-3}
data=${BENCH_DATA:-$tools/data}
mkdir -p "$data"

samples() {  # KIND N: a generated file, made once and kept
  local file="$data/$1-$2.txt"
  [ -s "$file" ] || "$tools/gen_samples" "$1" "$2" 1 >"$file"
  echo "$file"
}

# row NAME KIND N ARG...: ARG... follow the program name; the first is the sample file.
# The three commands take turns, so that a burst of load on the machine does
# not land on one of them only; each time is the best of its runs.
row() {
  local name=$1 kind=$2 n=$3
  shift 3
  local fast=1e9 plain=1e9 parse=1e9 peak=0 t m
  for ((run = 0; run < runs; run++)); do
    read -r t m < <("$tools/measure" 1 "$programs/$name" "$@")
    fast=$(awk -v a="$fast" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
    ((m > peak)) && peak=$m
    read -r t _ < <("$tools/measure" 1 "$tools/${name}_fscanf" "$@")
    plain=$(awk -v a="$plain" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
    read -r t _ < <("$tools/measure" 1 "$tools/parse_only" "$kind" "$1")
    parse=$(awk -v a="$parse" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
  done
  local same=yes
  [ "$("$programs/$name" "$@")" = "$("$tools/${name}_fscanf" "$@")" ] || same=NO
  awk -v name="$name" -v n="$n" -v fast="$fast" -v plain="$plain" -v parse="$parse" \
    -v peak="$peak" -v same="$same" 'BEGIN {
      printf "%-10s %9d %8.3f %8.3f %8.1fx %8.3f %7.2fx %8d %5s\n",
        name, n, fast, plain, plain / fast, parse, fast / parse, peak, same }'
}

printf '%-10s %9s %8s %8s %9s %8s %8s %8s %5s\n' program samples seconds fscanf faster \
  parse "vs parse" "peak KiB" same
for n in $sizes; do
  reals=$(samples real "$n")
  row varnoth real "$n" "$reals" "$data/out.cdf"
  "$programs/varnoth" "$reals" "$data/fast.cdf" >/dev/null
  "$tools/varnoth_fscanf" "$reals" "$data/plain.cdf" >/dev/null
  cmp -s "$data/fast.cdf" "$data/plain.cdf" || echo "varnoth: the distribution files DIFFER"
  row quellimar real "$n" "$reals"
  integers=$(samples int "$n")
  row ostrevan int "$n" "$integers"
  row bruntel int "$n" "$integers" 1 20e6
  row tessarn int "$n" "$integers" 2
done
# The customary loss file holds two lines: start-up is all there is to time.
printf '1000\n950\n' >"$data/pair.txt"
row ostrevan int 2 "$data/pair.txt"
