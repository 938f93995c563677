#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers.hpp"

namespace {

using testing_helpers::check;
using testing_helpers::Outcome;
using testing_helpers::run;
using testing_helpers::ScratchDir;

// Totals that a 32-bit total would wrap: three times the largest count.
const std::string kPast32Bits = "2147483647\n2147483647\n2147483647\n";

TEST(Bruntel, DividesTheExactTotalByBothDivisors) {
  const std::vector<std::pair<std::string, std::string>> files{
      {"three", "100\n200\n300\n"},
      {"seven", "7\n"},
      {"minus", "-1\n"},
      {"big", kPast32Bits},
      {"mixed", "-5\n10\n-2147483648\n2147483647\n"},
      {"marked", "\ufeff100\n200\n300\n"},
      {"counters", "3000000000\n17179869184\n4294967296\n"},
      {"past 2^53", "9007199254740993\n-9007199254740992\n"},
      {"ends", "9223372036854775807\n-9223372036854775808\n"},
      {"numpy", "1.000000000000000000e+02\n2.000000000000000000e+02\n300.0\n"},
      {"over", "9223372036854775807\n1\n"},
      {"under", "-9223372036854775808\n-1\n"},
      {"-5", "100\n"},
      {"tti", "tti bits\n1 100\n2 200\n3 300\n"}};
  // clang-format off
  check("bruntel", {
      {"worked example", files, {"@/three", "10", "2"}, 0, "30.000000000\n", ""},
      {"a third", files, {"@/seven", "3", "1"}, 0, "2.333333333\n", ""},
      {"negative value lowers the total", files, {"@/minus", "1", "1"}, 0, "-1.000000000\n", ""},
      {"total past 32 bits", files, {"@/big", "1", "1"}, 0, "6442450941.000000000\n", ""},
      {"signs mixed", files, {"@/mixed", "1", "1"}, 0, "4.000000000\n", ""},
      {"a byte order mark first", files, {"@/marked", "10", "2"}, 0, "30.000000000\n", ""},
      {"counts past 32 bits", files, {"@/counters", "1", "1"}, 0, "24474836480.000000000\n", ""},
      // Summed as integers: in doubles, 2^53 + 1 would be 2^53, and the total 0.
      {"counts past 2^53", files, {"@/past 2^53", "1", "1"}, 0, "1.000000000\n", ""},
      {"both ends of 64 bits", files, {"@/ends", "1", "1"}, 0, "-1.000000000\n", ""},
      {"integers written as reals", files, {"@/numpy", "10", "2"}, 0, "30.000000000\n", ""},
      {"a total past 2^63 - 1", files, {"@/over", "1", "1"}, 1, "", "bruntel: @/over: the total does not fit in 64 bits\n"},
      {"a total below -2^63", files, {"@/under", "1", "1"}, 1, "", "bruntel: @/under: the total does not fit in 64 bits\n"},
      {"trailing text ignored", files, {"@/three", "2abc", "1"}, 0, "300.000000000\n", ""},
      {"leading blanks skipped", files, {"@/three", "  10", "2"}, 0, "30.000000000\n", ""},
      {"hexadecimal divisor", files, {"@/three", "0x10", "1"}, 0, "37.500000000\n", ""},
      {"infinite divisor", files, {"@/three", "1", "inf"}, 0, "0.000000000\n", ""},
      {"zero divisor", files, {"@/three", "0", "2"}, 0, "inf\n", ""},
      {"first divisor not a number", files, {"@/three", "abc", "2"}, 2, "", "bruntel: first divisor is not a number: 'abc'\n"},
      {"second divisor empty", files, {"@/three", "10", ""}, 2, "", "bruntel: second divisor is not a number: ''\n"},
      {"decimal comma", files, {"@/three", "1,5", "2"}, 2, "", "bruntel: first divisor is not a number: '1,5' (a decimal point is needed)\n"},
      {"divisors checked before the file", files, {"@/none", "x", "1"}, 2, "", "bruntel: first divisor is not a number: 'x'\n"},
      // Options end at the file: a negative divisor after it stays a divisor.
      {"a negative divisor", files, {"@/three", "-5", "2"}, 0, "-60.000000000\n", ""},
      {"two negative divisors", files, {"@/three", "-5", "-2"}, 0, "60.000000000\n", ""},
      {"options, then a negative divisor", files, {"-H", "-f", "2", "@/tti", "-5", "2"}, 0, "-60.000000000\n", ""},
      {"a divisor that looks like an option", files, {"@/three", "-f", "2"}, 2, "", "bruntel: option '-f' after the files; options come first (a file named -f is ./-f)\n"},
      {"a divisor that looks like no option", files, {"@/three", "-x", "2"}, 2, "", "bruntel: first divisor is not a number: '-x'\n"},
      {"a divisor before the file is an option", files, {"-5", "@/three", "2"}, 2, "", "bruntel: unknown option '-5' (a file named -5 is ./-5)\n"},
      {"a file named -5, after --", files, {"--", "-5", "-5", "2"}, 0, "-10.000000000\n", ""},
      {"one divisor", files, {"@/three", "10"}, 2, "", "usage: bruntel [-f N] [-H] [-d C] [-C] SAMPLE_FILE FIRST_DIVISOR SECOND_DIVISOR\n"},
      {"extra argument", files, {"@/three", "10", "2", "3"}, 2, "", "usage: bruntel [-f N] [-H] [-d C] [-C] SAMPLE_FILE FIRST_DIVISOR SECOND_DIVISOR\n"},
      {"options and one divisor", files, {"-f", "2", "@/three", "10"}, 2, "", "usage: bruntel [-f N] [-H] [-d C] [-C] SAMPLE_FILE FIRST_DIVISOR SECOND_DIVISOR\n"},
  });
  // clang-format on
}

TEST(Tessarn, DividesEightTimesTheExactTotalByTheInterval) {
  const std::vector<std::pair<std::string, std::string>> files{
      {"two", "125\n125\n"},
      {"one", "1\n"},
      {"half_gib", "536870912\n"},
      {"big", kPast32Bits},
      {"minus", "-1\n"},
      {"packets", "seq bytes\n1 125\n2 125\n"},
      {"three_gb", "3000000000\n"},
      {"pandas", "125.0\n1.25e2\n"},
      {"exbibyte", "1152921504606846975\n"},
      {"past_bits", "1152921504606846976\n"},
      {"over", "9223372036854775807\n1\n"}};
  // clang-format off
  check("tessarn", {
      {"worked example", files, {"@/two", "2"}, 0, "1000.000000000\n", ""},
      {"a third", files, {"@/one", "3"}, 0, "2.666666667\n", ""},
      // 2^29 bytes are 2^32 bits, which a 32-bit total wraps to 0.
      {"bits past 32 bits", files, {"@/half_gib", "1"}, 0, "4294967296.000000000\n", ""},
      {"bytes past 32 bits", files, {"@/big", "8"}, 0, "6442450941.000000000\n", ""},
      {"negative value", files, {"@/minus", "1"}, 0, "-8.000000000\n", ""},
      {"a count past 32 bits", files, {"@/three_gb", "1"}, 0, "24000000000.000000000\n", ""},
      {"integers written as reals", files, {"@/pandas", "2"}, 0, "1000.000000000\n", ""},
      {"bits just within 64 bits", files, {"@/exbibyte", "1"}, 0, "9223372036854775808.000000000\n", ""},
      {"bits past 64 bits", files, {"@/past_bits", "1"}, 1, "", "tessarn: @/past_bits: the total in bits does not fit in 64 bits\n"},
      {"a total past 2^63 - 1", files, {"@/over", "1"}, 1, "", "tessarn: @/over: the total does not fit in 64 bits\n"},
      {"units after the interval", files, {"@/two", "10s"}, 0, "200.000000000\n", ""},
      {"zero interval", files, {"@/two", "0"}, 0, "inf\n", ""},
      {"interval not a number", files, {"@/two", "abc"}, 2, "", "tessarn: interval is not a number: 'abc'\n"},
      {"decimal comma", files, {"@/two", "0,25"}, 2, "", "tessarn: interval is not a number: '0,25' (a decimal point is needed)\n"},
      {"field 2 past a header", files, {"-H", "-f", "2", "@/packets", "2"}, 0, "1000.000000000\n", ""},
      {"a negative interval", files, {"@/two", "-2"}, 0, "-1000.000000000\n", ""},
      {"no interval", files, {"@/two"}, 2, "", "usage: tessarn [-f N] [-H] [-d C] [-C] SAMPLE_FILE INTERVAL\n"},
      {"extra argument", files, {"@/two", "1", "2"}, 2, "", "usage: tessarn [-f N] [-H] [-d C] [-C] SAMPLE_FILE INTERVAL\n"},
      {"options but no interval", files, {"-H", "@/two"}, 2, "", "usage: tessarn [-f N] [-H] [-d C] [-C] SAMPLE_FILE INTERVAL\n"},
  });
  // clang-format on
}

TEST(BruntelAndTessarn, ZeroOverZeroIsNotANumber) {
  ScratchDir dir;
  const std::string zeros = dir.write("zeros", "0\n0\n");
  for (const Outcome& o : {run("bruntel", {zeros, "0", "1"}), run("tessarn", {zeros, "0"})}) {
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out == "nan\n" || o.out == "-nan\n") << o.out;  // the sign is the machine's
  }
}

TEST(BruntelAndTessarn, FailOnBadSampleFiles) {
  const std::vector<std::pair<std::string, std::string>> files{
      {"point", "10\n12.5\n"},
      {"big", "10\n9223372036854775808\n"},
      {"fraction", "10\n1448.5\n"},
      {"huge real", "10\n1e30\n"},
      {"empty", ""},
      {"minus sign", "10\n\u221212\n"},
      {"columns", "1 10 x\n2 12.5 y\n"},
      {"wide", "1 10\n2 9223372036854775808\n"}};
  for (const std::string program : {"bruntel", "tessarn"}) {
    const std::vector<std::string> divisors =
        program == "bruntel" ? std::vector<std::string>{"1", "1"} : std::vector<std::string>{"1"};
    const auto args = [&](const std::string& file) {
      std::vector<std::string> all{file};
      all.insert(all.end(), divisors.begin(), divisors.end());
      return all;
    };
    const auto with = [](const std::string& option, std::vector<std::string> all) {
      all.insert(all.begin(), option);
      return all;
    };
    // clang-format off
    check(program, {
        {"a point in an integer", files, args("@/point"), 1, "", program + ": @/point:2: not an integer: '12.5'\n"},
        {"past 64 bits", files, args("@/big"), 1, "", program + ": @/big:2: integer out of the 64-bit range: '9223372036854775808'\n"},
        {"a real with a fraction", files, args("@/fraction"), 1, "", program + ": @/fraction:2: not an integer: '1448.5'\n"},
        {"a whole real past 64 bits", files, args("@/huge real"), 1, "", program + ": @/huge real:2: not an integer: '1e30'\n"},
        {"empty file", files, args("@/empty"), 1, "", program + ": @/empty: no number in the file\n"},
        {"missing file", files, args("@/none"), 1, "", program + ": @/none: No such file or directory\n"},
        {"a minus sign's look-alike", files, args("@/minus sign"), 1, "", program + ": @/minus sign:2: not an integer: '\\xe2\\x88\\x9212'\n"},
        {"a point in the chosen field", files, with("-f2", args("@/columns")), 1, "", program + ": @/columns:2: not an integer: '12.5'\n"},
        {"past 64 bits in the chosen field", files, with("-f2", args("@/wide")), 1, "", program + ": @/wide:2: integer out of the 64-bit range: '9223372036854775808'\n"},
        {"a line short of the chosen field", files, with("-f3", args("@/wide")), 1, "", program + ": @/wide:1: line has 2 fields, no field 3: '10'\n"},
        {"-H keeps the line numbers", files, with("-H", args("@/big")), 1, "", program + ": @/big:2: integer out of the 64-bit range: '9223372036854775808'\n"},
    });
    // clang-format on
  }
}

}  // namespace
