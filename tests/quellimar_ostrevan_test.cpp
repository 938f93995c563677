#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "helpers.hpp"

namespace {

using testing_helpers::check;
using testing_helpers::Outcome;
using testing_helpers::run;
using testing_helpers::ScratchDir;
using testing_helpers::shell_output;

std::string quellimar_says(const std::string& tot, const std::string& avg, const std::string& fi) {
  return "tot " + tot + "\navg " + avg + "\nFI " + fi + "\n";
}

TEST(Quellimar, PrintsTotalAverageAndFairness) {
  // clang-format off
  check("quellimar", {
      {"equal shares", {{"s", "1\n1\n1\n1\n"}}, {"@/s"}, 0, quellimar_says("4.000000000", "1.000000000", "1.000000000"), ""},
      {"one flow holds all", {{"s", "1\n0\n0\n0\n"}}, {"@/s"}, 0, quellimar_says("1.000000000", "0.250000000", "0.250000000"), ""},
      {"two and four", {{"s", "2.0\n4.0\n"}}, {"@/s"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"a negative sample", {{"s", "-1\n2\n"}}, {"@/s"}, 0, quellimar_says("1.000000000", "0.500000000", "0.100000000"), ""},
      {"large values", {{"s", "1e10 3e10"}}, {"@/s"}, 0, quellimar_says("40000000000.000000000", "20000000000.000000000", "0.800000000"), ""},
      {"a byte order mark first", {{"s", "\ufeff2.0\n4.0\n"}}, {"@/s"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"a byte order mark before a header", {{"s", "\ufefft rate\n1 2.0\n2 4.0\n"}}, {"-H", "-f", "2", "@/s"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"field 2 of a rate trace", {{"s", "flow1 2.0 x\nflow2 4.0 y\n"}}, {"-f", "2", "@/s"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"real forms in the chosen field", {{"s", "a 0x1p1 b\nc 4e0\n"}}, {"-f", "2", "@/s"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"a file named -x, after --", {{"-x", "2.0\n4.0\n"}}, {"--", "-x"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"a file named -x, as ./-x", {{"-x", "2.0\n4.0\n"}}, {"./-x"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"a file named -x, after options and --", {{"-x", "h\n2.0\n4.0\n"}}, {"-H", "--", "-x"}, 0, quellimar_says("6.000000000", "3.000000000", "0.900000000"), ""},
      {"standard input after options", {{"s", ""}}, {"-H", "-"}, 1, "", "quellimar: standard input: no number in the file\n"},
  });
  // clang-format on
}

TEST(Quellimar, AllZeroSamplesPrintNotANumber) {
  ScratchDir dir;
  const Outcome o = run("quellimar", {dir.write("s", "0\n0\n0\n")});
  EXPECT_EQ(o.status, 0);
  // 0/0 as the C library prints it; the sign of that NaN is the machine's.
  EXPECT_TRUE(o.out == quellimar_says("0.000000000", "0.000000000", "-nan") ||
              o.out == quellimar_says("0.000000000", "0.000000000", "nan"))
      << o.out;
}

std::string ostrevan_says(const std::string& tx, const std::string& rx, const std::string& plr) {
  return "TX " + tx + "\nRX " + rx + "\nPLR " + plr + "\n";
}

TEST(Ostrevan, PrintsCountsAndLossRate) {
  // clang-format off
  check("ostrevan", {
      {"five percent lost", {{"s", "1000\n950\n"}}, {"@/s"}, 0, ostrevan_says("1000", "950", "5.000000"), ""},
      {"the middle count is ignored", {{"s", "1000\n900\n950\n"}}, {"@/s"}, 0, ostrevan_says("1000", "950", "5.000000"), ""},
      {"a third lost", {{"s", "3\n2"}}, {"@/s"}, 0, ostrevan_says("3", "2", "33.333333"), ""},
      {"more received than sent", {{"s", "100\n110\n"}}, {"@/s"}, 0, ostrevan_says("100", "110", "-10.000000"), ""},
      {"nothing sent", {{"s", "0\n5\n"}}, {"@/s"}, 0, ostrevan_says("0", "5", "-inf"), ""},
      // TX - RX would wrap to 1 in 32 bits and print -0.000000.
      {"difference past 32 bits", {{"s", "-2147483648\n2147483647\n"}}, {"@/s"}, 0, ostrevan_says("-2147483648", "2147483647", "200.000000"), ""},
      {"counts past 32 bits", {{"s", "5000000000\n4750000000\n"}}, {"@/s"}, 0, ostrevan_says("5000000000", "4750000000", "5.000000"), ""},
      {"counts past 2^53", {{"s", "9007199254740993\n9007199254740992\n"}}, {"@/s"}, 0, ostrevan_says("9007199254740993", "9007199254740992", "0.000000"), ""},
      // TX - RX past the 64-bit range, formed exactly: in 64 bits it would wrap to -2^63 and print -100.
      {"difference past 64 bits", {{"s", "9223372036854775807\n-1\n"}}, {"@/s"}, 0, ostrevan_says("9223372036854775807", "-1", "100.000000"), ""},
      {"the largest difference", {{"s", "-9223372036854775808\n9223372036854775807\n"}}, {"@/s"}, 0, ostrevan_says("-9223372036854775808", "9223372036854775807", "200.000000"), ""},
      {"counts written as reals", {{"s", "1.000000000000000000e+03\n950.0\n"}}, {"@/s"}, 0, ostrevan_says("1000", "950", "5.000000"), ""},
      {"a byte order mark first", {{"s", "\ufeff1000\n950\n"}}, {"@/s"}, 0, ostrevan_says("1000", "950", "5.000000"), ""},
      // With -f, TX is field N of the first line and RX field N of the last.
      {"TX and RX from field 3", {{"s", "seq sent received\n1 1000 990\n2 1200 960\n3 1500 950\n"}}, {"-H", "-f", "3", "@/s"}, 0, ostrevan_says("990", "950", "4.040404"), ""},
      {"TX and RX from field 2", {{"s", "seq sent received\n1 1000 990\n2 1200 960\n3 1500 950\n"}}, {"-H", "-f", "2", "@/s"}, 0, ostrevan_says("1000", "1500", "-50.000000"), ""},
      {"TX and RX from field 1 of a pair", {{"s", "1000 tx\n950 rx\n"}}, {"-f", "1", "@/s"}, 0, ostrevan_says("1000", "950", "5.000000"), ""},
      {"one line of two counts, read whole", {{"s", "1000 950\n"}}, {"@/s"}, 0, ostrevan_says("1000", "950", "5.000000"), ""},
  });
  // clang-format on
}

TEST(QuellimarAndOstrevan, FailLoudly) {
  const std::vector<std::pair<std::string, std::string>> files{
      {"empty", " \n"},
      {"bad", "1000\n95O\n"},
      {"big", "1000\n9223372036854775808\n"},
      {"one", "1000\n"},
      {"t.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10)},
      {"t 1.zst", "\x28\xb5\x2f\xfd\x24\x05\x29\x00"},
      {"t\n1.zst", "\x28\xb5\x2f\xfd\x24\x05\x29\x00"},
      {"back\\slash", "x\n"},
      {"comma", "1000\n0,5\n"},
      {"commas", "1,000,000\n"},
      {"mark inside", "1000\n\ufeff950\n"},
      {"look-alikes", "1000\n0.5\u00a0\n\u22120.5\n"},
      {"d\u00e9lais", "x\n"},
      {"-t.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10)},
      {"fields", "1 0.5\n2 0.5x\n3 0.5\n"},
      {"comma field", "1 0.5\n2 0,5\n"},
      {"counts", "1 1000 tx\n2 95O rx\n3 1e3\n"},
      {"two counts", "1 1000\n"}};
  // clang-format off
  check("quellimar", {
      {"empty file", files, {"@/empty"}, 1, "", "quellimar: @/empty: no number in the file\n"},
      {"malformed line", files, {"@/bad"}, 1, "", "quellimar: @/bad:2: not a number: '95O'\n"},
      {"missing file", files, {"@/none"}, 1, "", "quellimar: @/none: No such file or directory\n"},
      {"gzip-compressed", files, {"@/t.gz"}, 1, "", "quellimar: @/t.gz: looks gzip-compressed; decompress it first: zcat @/t.gz | quellimar -\n"},
      {"empty standard input", files, {"-"}, 1, "", "quellimar: standard input: no number in the file\n"},
      {"control character in a file name", files, {"@/a\nb"}, 1, "", "quellimar: @/a\\x0ab: No such file or directory\n"},
      {"backslash in a file name and a token", files, {"@/back\\slash"}, 1, "", "quellimar: @/back\\\\slash:1: not a number: 'x'\n"},
      {"UTF-8 in a file name shows as it is", files, {"@/d\u00e9lais"}, 1, "", "quellimar: @/d\u00e9lais:1: not a number: 'x'\n"},
      {"no-break space after a number", files, {"@/look-alikes"}, 1, "", "quellimar: @/look-alikes:2: not a number: '0.5\\xc2\\xa0'\n"},
      {"byte order mark inside", files, {"@/mark inside"}, 1, "", "quellimar: @/mark inside:2: not a number: '\\xef\\xbb\\xbf950'\n"},
      {"decimal comma", files, {"@/comma"}, 1, "", "quellimar: @/comma:2: not a number: '0,5' (a decimal point is needed)\n"},
      {"thousands separators, no hint", files, {"@/commas"}, 1, "", "quellimar: @/commas:1: not a number: '1,000,000'\n"},
      {"gzip-compressed, the options kept in the command", files, {"--field=1", "@/t.gz"}, 1, "", "quellimar: @/t.gz: looks gzip-compressed; decompress it first: zcat @/t.gz | quellimar --field=1 -\n"},
      {"gzip-compressed, named -t.gz", files, {"--", "-t.gz"}, 1, "", "quellimar: -t.gz: looks gzip-compressed; decompress it first: zcat ./-t.gz | quellimar -- -\n"},
      {"a malformed chosen field", files, {"-f", "2", "@/fields"}, 1, "", "quellimar: @/fields:2: not a number: '0.5x'\n"},
      {"field 1 of the same file", files, {"-f", "1", "@/fields"}, 0, quellimar_says("6.000000000", "2.000000000", "0.857142857"), ""},
      {"a decimal comma in the chosen field", files, {"-f", "2", "@/comma field"}, 1, "", "quellimar: @/comma field:2: not a number: '0,5' (a decimal point is needed)\n"},
      {"a file named -x is an option", files, {"-x"}, 2, "", "quellimar: unknown option '-x' (a file named -x is ./-x)\n"},
      {"no argument", files, {}, 2, "", "usage: quellimar [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
      {"two arguments", files, {"@/one", "@/one"}, 2, "", "usage: quellimar [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
      {"options but no file", files, {"-H", "-f", "2"}, 2, "", "usage: quellimar [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
      {"-- but no file", files, {"--"}, 2, "", "usage: quellimar [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
      {"-f at the end", files, {"-f"}, 2, "", "quellimar: option -f needs a field number\n"},
      {"--field at the end", files, {"-H", "--field"}, 2, "", "quellimar: option --field needs a field number\n"},
      {"an option after the file", files, {"@/one", "-H"}, 2, "", "quellimar: option '-H' after the files; options come first (a file named -H is ./-H)\n"},
      {"an option after the file and more", files, {"@/one", "x", "--field=1"}, 2, "", "quellimar: option '--field=1' after the files; options come first (a file named --field=1 is ./--field=1)\n"},
      {"an option of another program", files, {"@/one", "-u"}, 2, "", "usage: quellimar [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
  });
  check("ostrevan", {
      {"one count", files, {"@/one"}, 1, "", "ostrevan: @/one: two counts are needed (TX, then RX), found 1\n"},
      {"empty file", files, {"@/empty"}, 1, "", "ostrevan: @/empty: no number in the file\n"},
      {"malformed line", files, {"@/bad"}, 1, "", "ostrevan: @/bad:2: not an integer: '95O'\n"},
      {"count past 64 bits", files, {"@/big"}, 1, "", "ostrevan: @/big:2: integer out of the 64-bit range: '9223372036854775808'\n"},
      // A point would not make it an integer either: no hint.
      {"decimal comma", files, {"@/comma"}, 1, "", "ostrevan: @/comma:2: not an integer: '0,5'\n"},
      {"byte order mark inside", files, {"@/mark inside"}, 1, "", "ostrevan: @/mark inside:2: not an integer: '\\xef\\xbb\\xbf950'\n"},
      {"zstd-compressed, a name to quote", files, {"@/t 1.zst"}, 1, "", "ostrevan: @/t 1.zst: looks zstd-compressed; decompress it first: zstdcat '@/t 1.zst' | ostrevan -\n"},
      {"zstd-compressed, a name no shell word shows", files, {"@/t\n1.zst"}, 1, "", "ostrevan: @/t\\x0a1.zst: looks zstd-compressed; decompress it first with zstdcat\n"},
      {"a malformed chosen field", files, {"-f", "2", "@/counts"}, 1, "", "ostrevan: @/counts:2: not an integer: '95O'\n"},
      {"one count in the chosen field", files, {"-f", "2", "@/two counts"}, 1, "", "ostrevan: @/two counts: two counts are needed (TX, then RX), found 1\n"},
      {"a line short of the chosen field", files, {"-f", "4", "@/counts"}, 1, "", "ostrevan: @/counts:1: line has 3 fields, no field 4: 'tx'\n"},
      {"no argument", files, {}, 2, "", "usage: ostrevan [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
      {"two arguments", files, {"@/one", "@/one"}, 2, "", "usage: ostrevan [-f N] [-H] [-d C] [-C] SAMPLE_FILE\n"},
  });
  // clang-format on
}

// The command a compressed file's message gives runs as it stands in sh,
// whatever the file's name holds.
TEST(QuellimarAndOstrevan, TheDecompressionHintRuns) {
  const std::string gzipped(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x33\xe4\x32\xe6\x02\x00"
      "\x20\x49\xfa\x70\x04\x00\x00\x00",
      24);  // "1\n3\n"
  // The header line, 1, skipped: -H goes into the command too.
  const std::string figures = quellimar_says("3.000000000", "3.000000000", "1.000000000");
  for (const std::string name :
       {"a b'c.gz", "back\\slash.gz", "$HOME \"q\".gz", "t`x`.gz", "-x.gz", "''\\\\.gz"}) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    dir.write(name, gzipped);
    testing_helpers::Redirect here;
    here.directory = dir.root();
    const Outcome o = run("quellimar", {"-H", "--", name}, here);
    ASSERT_EQ(o.status, 1);
    const std::string told = "decompress it first: ";
    const std::size_t at = o.err.find(told);
    ASSERT_NE(at, std::string::npos) << o.err;
    const std::string hint = o.err.substr(at + told.size(), o.err.size() - at - told.size() - 1);
    const std::string programs = testing_helpers::program_path("quellimar");
    EXPECT_EQ(shell_output("cd " + dir.root() + " && PATH=" +
                           programs.substr(0, programs.rfind('/')) + ":$PATH && " + hint),
              figures);
  }
}

// awk sums doubles in file order and prints through the C library: an
// independent computation of the same figures.
TEST(QuellimarAndOstrevan, AgreeWithAwkOnRandomFiles) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> rate(0.0, 2e6);
  std::uniform_int_distribution<int> count(-5000, 2000000000);
  const char* const gaps[] = {"\n", " ", "\t", "\n\n", "  \t ", "\n   "};
  ScratchDir dir;
  for (int round = 0; round < 3; ++round) {
    std::string reals = "  ";
    std::string integers = "\n";
    for (int i = 0; i < 3000; ++i) {
      char token[64];
      std::snprintf(token, sizeof token, i % 2 ? "%.17g" : "%.3f", rate(random));
      reals += token + std::string(gaps[random() % 6]);
      integers += std::to_string(count(random)) + gaps[random() % 6];
    }
    const std::string real_file = dir.write("reals", reals);
    const std::string integer_file = dir.write("integers", integers);

    const Outcome fairness = run("quellimar", {real_file});
    EXPECT_EQ(fairness.status, 0);
    EXPECT_EQ(fairness.out,
              shell_output("awk '{ for (i = 1; i <= NF; i++) { s += $i; q += $i * $i; n++ } } "
                           "END { printf \"tot %2.9f\\navg %2.9f\\nFI %2.9f\\n\", s, s / n, "
                           "(s * s) / (q * n) }' " +
                           real_file));

    const Outcome loss = run("ostrevan", {integer_file});
    EXPECT_EQ(loss.status, 0);
    EXPECT_EQ(loss.out,
              shell_output("awk '{ for (i = 1; i <= NF; i++) { if (n++ == 0) tx = $i; else rx = "
                           "$i } } END { printf \"TX %d\\nRX %d\\nPLR %f\\n\", tx, rx, "
                           "(tx - rx) / tx * 100.0 }' " +
                           integer_file));
  }
}

}  // namespace
