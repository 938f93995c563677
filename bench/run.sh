#!/usr/bin/env bash
# Times every program against its plain fscanf build (the same computation,
# fscanf per number), the bare read-and-parse loop over the project's reader
# ("parse"), and a tight read-and-parse loop that hands std::from_chars the
# rest of the buffer and lets it find each number's end ("from_chars", the
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
# ONLY='quellimar|int8'; only the files of rows picked are generated). The
# commands of a row take turns round by round, so that a burst of load on the
# machine does not land on one of them only.
#
# A second table times the field options on a rising time and a delay: PROG
# -f 2 on two blank-separated columns, and PROG -d , -H -f delay on the same
# as a CSV under a header (csv) and with every field quoted (csvq), each
# against a base (the goal: at most 1.5 times as long as PROG on the same
# delays one a line; for csvq at most 1.3 times as long as on csv), and
# against the field picked by mawk in a pipe, such as mawk -F, 'NR > 1
# { print $2 }' FILE | PROG - (the goal: at most 0.1 times as long; where
# mawk is missing, its columns show "-" and a note says so). Its rows are
# "PROG columns", "PROG csv" and "PROG csvq" for quellimar and varnoth:
# ONLY='columns|csv' runs it alone.
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

# wanted ROW...: whether ONLY picks any of the rows ("program data").
wanted() {
  local r
  for r; do grep -Eq -- "$only" <<<"$r" && return 0; done
  return 1
}

# row NAME KIND N ARG...: ARG... follow the program name; the first is the sample file.
row() {
  local name=$1 kind=$2 n=$3
  shift 3
  wanted "$name $kind" || return 0
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
    wanted "quellimar $kind" "varnoth $kind" || continue
    reals=$(samples "$kind" "$n")
    row quellimar "$kind" "$n" "$reals"
    row varnoth "$kind" "$n" "$reals" "$data/out.cdf"
    if wanted "varnoth $kind"; then
      "$programs/varnoth" "$reals" "$data/fast.cdf" >/dev/null
      "$tools/varnoth_fscanf" "$reals" "$data/plain.cdf" >/dev/null
      cmp -s "$data/fast.cdf" "$data/plain.cdf" || echo "varnoth: the distribution files DIFFER"
    fi
  done
  if wanted "ostrevan int"; then row ostrevan int "$n" "$(samples int "$n")"; fi
  # Byte counters: cumulative, so ostrevan's; their total would not fit the
  # 64 bits bruntel and tessarn sum in.
  if wanted "ostrevan int13"; then row ostrevan int13 "$n" "$(samples int13 "$n")"; fi
  for kind in int int7 int8 int10 int9; do
    wanted "bruntel $kind" "tessarn $kind" || continue
    integers=$(samples "$kind" "$n")
    row bruntel "$kind" "$n" "$integers" 1 20e6
    row tessarn "$kind" "$n" "$integers" 2
  done
done
# The customary loss file holds two lines: start-up is all there is to time.
printf '1000\n950\n' >"$data/pair.txt"
row ostrevan int 2 "$data/pair.txt"

# field_row NAME N KIND [DISTRIBUTION]: NAME with the options of KIND on its
# file, NAME on its base (the delays one a line, or for csvq the csv file
# read the same way), and mawk's field in a pipe into NAME; with
# DISTRIBUTION, each writes a distribution file of its own after the
# samples, and those must be the same too.
mawk=$(command -v mawk || true)
declare -A options=([columns]="-f 2" [csv]="-d , -H -f delay" [csvq]="-d , -H -f delay")
declare -A base=([columns]=delay [csv]=delay [csvq]=csv)
declare -A base_options=([columns]="" [csv]="" [csvq]="-d , -H -f delay")
declare -A separator=([columns]=" " [csv]="," [csvq]=",")
declare -A picks=([columns]='{ print $2 }' [csv]='NR > 1 { print $2 }'
  [csvq]='NR > 1 { gsub(/"/, "", $2); print $2 }')
field_row() {
  local name=$1 n=$2 kind=$3 dist=${4:-}
  wanted "$name $kind" || return 0
  local file base_file field="" one="" piped="" t
  file=$(samples "$kind" "$n")
  base_file=$(samples "${base[$kind]}" "$n")
  local to_field=() to_one=() to_piped=()
  if [ -n "$dist" ]; then
    to_field=("$data/field.cdf")
    to_one=("$data/one.cdf")
    to_piped=("$data/piped.cdf")
  fi
  # shellcheck disable=SC2206 # the options split into words
  local with=(${options[$kind]}) base_with=(${base_options[$kind]})
  # The pipe in one command for measure: FILE SEPARATOR PICK PROGRAM [DISTRIBUTION].
  local pipe='f=$1 s=$2 pick=$3 p=$4; shift 4; mawk -F "$s" "$pick" "$f" | "$p" - "$@"'
  local piping=("$file" "${separator[$kind]}" "${picks[$kind]}" "$programs/$name")
  for ((run = 0; run < runs; run++)); do
    read -r t _ < <("$tools/measure" 1 "$programs/$name" "${with[@]}" "$file" "${to_field[@]}")
    field+="$t "
    read -r t _ < <("$tools/measure" 1 "$programs/$name" "${base_with[@]}" "$base_file" \
      "${to_one[@]}")
    one+="$t "
    if [ -n "$mawk" ]; then
      read -r t _ < <("$tools/measure" 1 sh -c "$pipe" sh "${piping[@]}" "${to_piped[@]}")
      piped+="$t "
    fi
  done
  field=$(tr ' ' '\n' <<<"$field" | median)
  one=$(tr ' ' '\n' <<<"$one" | median)
  local same=yes want
  want=$("$programs/$name" "${base_with[@]}" "$base_file" "${to_one[@]}")
  [ "$("$programs/$name" "${with[@]}" "$file" "${to_field[@]}")" = "$want" ] || same=NO
  [ -z "$dist" ] || cmp -s "${to_field[0]}" "${to_one[0]}" || same=NO
  if [ -n "$mawk" ]; then
    piped=$(tr ' ' '\n' <<<"$piped" | median)
    [ "$(sh -c "$pipe" sh "${piping[@]}" "${to_piped[@]}")" = "$want" ] || same=NO
    [ -z "$dist" ] || cmp -s "${to_piped[0]}" "${to_one[0]}" || same=NO
  fi
  awk -v name="$name" -v kind="$kind" -v n="$n" -v field="$field" -v one="$one" \
    -v base="${base[$kind]}" -v piped="$piped" -v same="$same" 'BEGIN {
      if (piped == "") piped_text = sprintf("%8s %7s", "-", "-")
      else piped_text = sprintf("%8.3f %7.3f", piped, field / piped)
      printf "%-10s %-7s %9d %8.3f %-6s %8.3f %7.2f %s %5s\n",
        name, kind, n, field, base, one, field / one, piped_text, same }'
}

if wanted "quellimar columns" "varnoth columns" "quellimar csv" "varnoth csv"; then
  echo
  echo "A field of a time and a delay: -f 2 of two columns, -d , -H -f delay of a CSV (csv)"
  echo "and of one with every field quoted (csvq), against the base (/base: goal <= 1.5"
  echo "against the delays one a line, <= 1.3 for csvq against csv) and against mawk"
  echo "picking the field into PROG - (/mawk: goal <= 0.1)"
  [ -n "$mawk" ] || echo "mawk not found: its columns show -, the pipe is not timed"
  printf '%-10s %-7s %9s %8s %-6s %8s %7s %8s %7s %5s\n' program data samples field base \
    seconds "/base" mawk "/mawk" same
  for n in $sizes; do
    for kind in columns csv csvq; do
      field_row quellimar "$n" "$kind"
      field_row varnoth "$n" "$kind" distribution
    done
  done
fi
