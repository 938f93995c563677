#!/usr/bin/env bash
# What a user installs and reads: the install tree, the Debian package, the
# man pages and the plot script of the examples.
#   packaging_test.sh CHECK SOURCE_DIR BUILD_DIR PROGRAM...
set -euo pipefail
check=$1
source=$2
build=$3
shift 3
programs=("$@")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

case $check in
install)
  cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
  for p in "${programs[@]}"; do
    [ -x "$scratch/prefix/bin/$p" ] || fail "bin/$p not installed"
    ls "$scratch/prefix/share/man/man1/$p.1"* >/dev/null 2>&1 || fail "man1/$p.1 not installed"
  done
  share=$scratch/prefix/share/netfigures
  for f in plot-cdf.gp delays.txt throughputs.txt packets.txt tti_bits.txt packet_bytes.txt; do
    [ -s "$share/$f" ] || fail "share/netfigures/$f not installed"
  done
  [ -s "$scratch/prefix/share/doc/netfigures/copyright" ] || fail "no copyright file installed"
  # The bundled delays are in seconds: no warning about samples on no line.
  err=$("$scratch/prefix/bin/varnoth" "$share/delays.txt" "$scratch/delays.cdf" 2>&1 >/dev/null)
  [ -z "$err" ] || fail "varnoth on the bundled delays says: $err"
  ;;
deb)
  command -v dpkg-deb >/dev/null || exit 77
  command -v dpkg-shlibdeps >/dev/null || exit 77  # the package's dependencies come from it
  (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >/dev/null)
  deb=$(ls "$scratch"/*.deb)
  dpkg-deb -x "$deb" "$scratch/root"
  # The package installs only where its programs start: the C library version
  # it declares is at least the newest that the programs' symbols ask for.
  depends=$(dpkg-deb -f "$deb" Depends)
  declared=$(printf '%s\n' "$depends" | tr ',' '\n' | sed -n 's/^ *libc6 (>= \([^)]*\)).*/\1/p')
  [ -n "$declared" ] || fail "the package declares no version of libc6: Depends: $depends"
  needed=$(for p in "${programs[@]}"; do objdump -T "$scratch/root/usr/bin/$p"; done |
    grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/^GLIBC_//' | sort -uV | tail -n 1)
  [ -n "$needed" ] || fail "objdump -T found no GLIBC_ symbol version in the programs"
  dpkg --compare-versions "$declared" ge "$needed" ||
    fail "the package declares libc6 (>= $declared), the programs need $needed"
  [ -s "$scratch/root/usr/share/man/man1/varnoth.1.gz" ] || fail "the package holds no man page"
  got=$("$scratch/root/usr/bin/ostrevan" "$scratch/root/usr/share/netfigures/packets.txt")
  [ "$got" = $'TX 48213\nRX 46990\nPLR 2.536660' ] || fail "packaged ostrevan printed: $got"
  if command -v lintian >/dev/null; then
    # Errors and warnings fail the check; informational tags do not.
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -E '^[EW]: ' || true)
    [ -z "$report" ] || fail "lintian: $report"
  else
    echo "lintian not found: the package was not linted"
  fi
  ;;
no-gtest)
  # The first quick-start command on a machine without GoogleTest: it says
  # once why there are no tests, and a plain ctest then finds none to fail.
  cmake --preset examples -S "$source" -B "$scratch/build" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    >"$scratch/log" 2>&1 || fail "configure without GoogleTest: $(tail -n 5 "$scratch/log")"
  said=$(grep -c 'GoogleTest not found: the tests are not built; install libgtest-dev' "$scratch/log" || true)
  [ "$said" = 1 ] || fail "configure without GoogleTest said $said times why there are no tests"
  (cd "$source" && MAKEFLAGS=-j cmake --build "$scratch/build" --target examples) \
    >"$scratch/log" 2>&1 || fail "examples without GoogleTest: $(tail -n 5 "$scratch/log")"
  grep -q '^PLR 2.536660$' "$scratch/log" || fail "the examples did not run: $(tail -n 5 "$scratch/log")"
  (cd "$scratch/build" && ctest) >"$scratch/log" 2>&1 ||
    fail "ctest without GoogleTest: $(tail -n 5 "$scratch/log")"
  ;;
man)
  command -v groff >/dev/null || exit 77
  for p in "${programs[@]}"; do
    page="$source/man/$p.1"
    warnings=$(groff -ww -man -z "$page" 2>&1) || fail "groff failed on $p.1"
    [ -z "$warnings" ] || fail "groff warns on $p.1: $warnings"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS INPUT OUTPUT "EXIT STATUS" EXAMPLES; do
      grep -q "^\.SH \"\?$section\"\?\$" "$page" || fail "$p.1 has no $section section"
    done
  done
  ;;
plot)
  command -v gnuplot >/dev/null || exit 77
  "$build/varnoth" "$source/examples/delays.txt" "$scratch/delays.cdf" >/dev/null
  gnuplot -e "cdf='$scratch/delays.cdf'; png='$scratch/cdf.png'" "$source/examples/plot-cdf.gp"
  [ -s "$scratch/cdf.png" ] || fail "no PNG came out"
  [ "$(head -c 4 "$scratch/cdf.png" | tail -c 3)" = PNG ] || fail "the output is not a PNG"
  ;;
*)
  fail "unknown check $check"
  ;;
esac
