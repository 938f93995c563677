#!/usr/bin/env bash
# Fuzzes the real and the integer reader for SECONDS each (default 60) from
# the seed corpus, with the targets of `cmake --workflow --preset fuzz`.
# New inputs go to a scratch corpus; a disagreement or crash stops the run,
# saves the input beside the corpus and exits non-zero. For a longer run:
#   tests/fuzz/run.sh 3600
# and replay a saved input with: build/fuzz/tests/fuzz_real_reader FILE
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for kind in real integer; do
  mkdir -p "$work/$kind"
  echo "fuzzing the $kind reader for ${seconds}s"
  if ! build/fuzz/tests/fuzz_${kind}_reader -max_total_time="$seconds" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$work/" "$work/$kind" "tests/fuzz/seeds/$kind" \
      >"$work/$kind.log" 2>&1; then
    tail -n 40 "$work/$kind.log"
    for crash in "$work"/crash-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$crash" ] && od -c "$crash" | head -n 20
    done
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$work/$kind.log"
done
