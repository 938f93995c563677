#!/usr/bin/env bash
# Runs every program on its example file and shows what it prints.
# Usage: examples/run.sh PROGRAM_DIR PROGRAM... (from the top of the source tree)
set -eu
bin=${1#"$PWD"/}  # shown relative to the source tree where it lies inside it
shift
out=$bin/examples
mkdir -p "$out"

show() {
  echo "\$ $*"
  "$@"
}

for program in "$@"; do
  case $program in
  varnoth)
    show "$bin/varnoth" examples/delays.txt "$out/delays.cdf"
    echo "(wrote $out/delays.cdf: $(wc -l <"$out/delays.cdf") lines; every 100th follows)"
    awk 'NR % 100 == 0' "$out/delays.cdf"
    ;;
  quellimar) show "$bin/quellimar" examples/throughputs.txt ;;
  ostrevan) show "$bin/ostrevan" examples/packets.txt ;;
  bruntel)
    echo "# bits per 1 ms TTI over 1 s, on a 20 MHz cell: bit/s/Hz"
    show "$bin/bruntel" examples/tti_bits.txt 1 20e6
    ;;
  tessarn)
    echo "# bytes received in a 2 s interval: bit/s"
    show "$bin/tessarn" examples/packet_bytes.txt 2
    ;;
  *)
    echo "examples/run.sh: no example for $program" >&2
    exit 1
    ;;
  esac
  echo
done
