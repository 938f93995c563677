#!/usr/bin/env bash
# Runs every program on its example file and shows what it prints.
# Usage: examples/run.sh PROGRAM_DIR (from the top of the source tree)
set -eu
bin=$(realpath --relative-to=. "$1")
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
echo
echo "# bits per 1 ms TTI over 1 s, on a 20 MHz cell: bit/s/Hz"
show "$bin/bruntel" examples/tti_bits.txt 1 20e6
echo
echo "# bytes received in a 2 s interval: bit/s"
show "$bin/tessarn" examples/packet_bytes.txt 2
