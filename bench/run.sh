#!/usr/bin/env bash
# Times every program against its plain fscanf build (the same computation,
# fscanf per number), the bare read-and-parse loop over the project's reader
# ("parse"), and a read-and-parse loop over std::from_chars ("from_chars", the
# yardstick of a correct general parser), in one run; prints the ratios and
# the peak memory. The outputs of each program and its fscanf build are
# compared.
#
#   bench/run.sh PROGRAM_DIR BENCH_TOOL_DIR
#   (or: cmake --build build --target bench)
#
# SIZES (default "1000000 10000000") sets the sample counts, RUNS (default 5)
# the rounds each time is the median of, BENCH_DATA where generated files are
# kept, ONLY a regular expression that picks rows by "program data" (say
# ONLY='quellimar|int8'). The commands of a row take turns round by round, so
# that a burst of load on the machine does not land on one of them only.
set -euo pipefail
programs=$1
tools=$2
sizes=${SIZES:-"1000000 10000000"}
runs=${RUNS:-5}
data=${BENCH_DATA:-$tools/data}
only=${ONLY:-.}
mkdir -p "$data"

samples() {  # KIND N: a generated file, made once and kept
  local file="$data/$1-$2.txt"
  [ -s "$file" ] || "$tools/gen_samples" "$1" "$2" 1 >"$file"
  echo "$file"
}

# The times come one a word with a blank after the last: the empty line that
# makes must not count, or the "median" is the value below it.
median() { sort -g | awk 'NF { v[++n] = $1 } END { print v[int((n + 1) / 2)] }'; }

# row NAME KIND N ARG...: ARG... follow the program name; the first is the sample file.
row() {
  local name=$1 kind=$2 n=$3
  shift 3
  grep -Eq -- "$only" <<<"$name $kind" || return 0
  local parse_kind=real fast="" plain="" parse="" yard="" peak=0 t m
  [[ $kind == int* ]] && parse_kind=int
  for ((run = 0; run < runs; run++)); do
    read -r t m < <("$tools/measure" 1 "$programs/$name" "$@")
    fast+="$t "
    ((m > peak)) && peak=$m
    read -r t _ < <("$tools/measure" 1 "$tools/${name}_fscanf" "$@")
    plain+="$t "
    read -r t _ < <("$tools/measure" 1 "$tools/parse_only" "$parse_kind" "$1")
    parse+="$t "
    read -r t _ < <("$tools/measure" 1 "$tools/from_chars_loop" "$parse_kind" "$1")
    yard+="$t "
  done
  fast=$(tr ' ' '\n' <<<"$fast" | median)
  plain=$(tr ' ' '\n' <<<"$plain" | median)
  parse=$(tr ' ' '\n' <<<"$parse" | median)
  yard=$(tr ' ' '\n' <<<"$yard" | median)
  local same=yes
  [ "$("$programs/$name" "$@")" = "$("$tools/${name}_fscanf" "$@")" ] || same=NO
  awk -v name="$name" -v kind="$kind" -v n="$n" -v fast="$fast" -v plain="$plain" \
    -v parse="$parse" -v yard="$yard" -v peak="$peak" -v same="$same" 'BEGIN {
      printf "%-10s %-6s %9d %8.3f %8.3f %7.1fx %8.3f %6.2f %8.3f %6.2f %8d %5s\n",
        name, kind, n, fast, plain, plain / fast, parse, fast / parse, yard, fast / yard,
        peak, same }'
}

printf '%-10s %-6s %9s %8s %8s %8s %8s %6s %8s %6s %8s %5s\n' program data samples seconds \
  fscanf faster parse "/parse" from_ch "/fc" "peak KiB" same
for n in $sizes; do
  for kind in real real9 e g repr g17 e18 mixed; do
    reals=$(samples "$kind" "$n")
    row quellimar "$kind" "$n" "$reals"
    row varnoth "$kind" "$n" "$reals" "$data/out.cdf"
    if grep -Eq -- "$only" <<<"varnoth $kind"; then
      "$programs/varnoth" "$reals" "$data/fast.cdf" >/dev/null
      "$tools/varnoth_fscanf" "$reals" "$data/plain.cdf" >/dev/null
      cmp -s "$data/fast.cdf" "$data/plain.cdf" || echo "varnoth: the distribution files DIFFER"
    fi
  done
  row ostrevan int "$n" "$(samples int "$n")"
  for kind in int int7 int8 int10 int9; do
    integers=$(samples "$kind" "$n")
    row bruntel "$kind" "$n" "$integers" 1 20e6
    row tessarn "$kind" "$n" "$integers" 2
  done
done
# The customary loss file holds two lines: start-up is all there is to time.
printf '1000\n950\n' >"$data/pair.txt"
row ostrevan int 2 "$data/pair.txt"
