#!/bin/sh
# Runs every program on its example file and shows what it prints.
# Usage: examples/run.sh PROGRAM_DIR (from the top of the source tree)
set -eu
bin=$1
out=$bin/examples
mkdir -p "$out"

show() {
  echo "\$ $*"
  "$@"
}

show "$bin/varnoth" examples/delays.txt "$out/delays.cdf"
echo "(wrote $out/delays.cdf: $(wc -l <"$out/delays.cdf") lines; every 100th follows)"
awk 'NR % 100 == 0' "$out/delays.cdf"
echo
show "$bin/quellimar" examples/throughputs.txt
echo
show "$bin/ostrevan" examples/packets.txt
