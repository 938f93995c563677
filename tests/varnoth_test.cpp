#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "helpers.hpp"

namespace {

using testing_helpers::lines_of;
using testing_helpers::Outcome;
using testing_helpers::read_file;
using testing_helpers::Redirect;
using testing_helpers::run;
using testing_helpers::ScratchDir;

const char* const kUsage = "usage: varnoth SAMPLE_FILE DISTRIBUTION_FILE\n";

std::string format(const char* pattern, double a, double b = 0) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

struct DistributionCase {
  std::string samples;
  std::string mean;
  std::map<int, std::string> lines;  // line index -> the whole line
};

TEST(Varnoth, WritesMeanAndDistribution) {
  const std::vector<DistributionCase> cases{
      {"0.1\n0.2\n0.2\n0.9\n",
       "0.350000000\n",
       {{0, "0.000000 0.000000"},
        {99, "0.099000 0.000000"},
        {100, "0.100000 0.250000"},
        {199, "0.199000 0.250000"},
        {200, "0.200000 0.750000"},
        {899, "0.899000 0.750000"},
        {900, "0.900000 1.000000"},
        {999, "0.999000 1.000000"}}},
      {"0.25\n", "0.250000000\n", {{249, "0.249000 0.000000"}, {250, "0.250000 1.000000"}}},
      {"0.0005\n", "0.000500000\n", {{0, "0.000000 0.000000"}, {1, "0.001000 1.000000"}}},
      {"1.0\n", "1.000000000\n", {{0, "0.000000 0.000000"}, {999, "0.999000 0.000000"}}},
      {"-3.0\n", "-3.000000000\n", {{0, "0.000000 1.000000"}, {999, "0.999000 1.000000"}}},
      {"0.999\n0.9995\n",
       "0.999250000\n",
       {{998, "0.998000 0.000000"}, {999, "0.999000 0.500000"}}},
      {"0\n-0\n1e-300\n", "0.000000000\n", {{0, "0.000000 0.666667"}, {1, "0.001000 1.000000"}}},
      {"1e300\n-1e300\n0.5\n-inf\n",
       "-inf\n",
       {{0, "0.000000 0.500000"}, {500, "0.500000 0.750000"}, {999, "0.999000 0.750000"}}},
  };
  for (const DistributionCase& c : cases) {
    SCOPED_TRACE(c.samples);
    ScratchDir dir;
    const std::string cdf = dir.path("cdf");
    const Outcome o = run("varnoth", {dir.write("samples", c.samples), cdf});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, c.mean);
    const std::vector<std::string> lines = lines_of(read_file(cdf));
    ASSERT_EQ(lines.size(), 1000u);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(lines[i].substr(0, 9), format("%lf ", i / 1000.0));
    for (const auto& [index, line] : c.lines) EXPECT_EQ(lines[index], line) << "line " << index;
  }
}

TEST(Varnoth, ReplacesAnExistingDistributionFile) {
  ScratchDir dir;
  std::string old;
  for (int i = 0; i < 2500; ++i) old += "stale line\n";
  const std::string cdf = dir.write("cdf", old);
  const Outcome o = run("varnoth", {dir.write("samples", "0.5\n"), cdf});
  EXPECT_EQ(o.status, 0);
  const std::string written = read_file(cdf);
  EXPECT_EQ(lines_of(written).size(), 1000u);
  EXPECT_EQ(written.find("stale"), std::string::npos);
}

// The plain computation, one pass over all 1000 counters per sample, with the
// ceiling kept as a double so that infinities and NaN compare as they are.
std::string plain_distribution(const std::vector<double>& samples) {
  std::vector<std::uint64_t> counter(1000, 0);
  for (double x : samples) {
    const double k = std::ceil(1000.0 * x);
    for (int i = 0; i < 1000; ++i) counter[i] += i >= k;
  }
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text += format("%lf %lf\n", i / 1000.0,
                   static_cast<double>(counter[i]) / static_cast<double>(samples.size()));
  }
  return text;
}

TEST(Varnoth, MatchesThePlainComputationOnRandomSamples) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> spread(-0.3, 1.3);
  std::uniform_int_distribution<int> point(0, 1000);
  const std::vector<std::string> specials{"inf",    "-inf",   "nan", "1e300",  "-1e300",
                                          "0.9995", "0.0005", "-0",  "1e-320", "0x1.fep-1"};
  for (int round = 0; round < 3; ++round) {
    std::string text;
    std::vector<double> samples;
    double sum = 0;
    for (int i = 0; i < 4000; ++i) {
      std::string token;
      switch (random() % 4) {
        case 0:
          token = format("%.3f", point(random) / 1000.0);  // exactly on a point
          break;
        case 1:
          token = specials[random() % specials.size()];
          break;
        default:
          token = format("%.17g", spread(random));
      }
      text += token + (random() % 5 == 0 ? "\r\n" : random() % 2 ? "\n" : " \t ");
      samples.push_back(std::strtod(token.c_str(), nullptr));
      sum += samples.back();
    }
    ScratchDir dir;
    const std::string cdf = dir.path("cdf");
    const Outcome o = run("varnoth", {dir.write("samples", text), cdf});
    EXPECT_EQ(o.status, 0);
    const double mean = sum / static_cast<double>(samples.size());
    if (std::isnan(mean)) {
      // Which sign a NaN sum carries depends on the order of NaN operands,
      // which the arithmetic leaves open.
      EXPECT_TRUE(o.out == "nan\n" || o.out == "-nan\n") << o.out;
    } else {
      EXPECT_EQ(o.out, format("%2.9lf\n", mean));
    }
    EXPECT_EQ(read_file(cdf), plain_distribution(samples));
  }
}

TEST(Varnoth, FailsLoudlyOnBadInputAndOutput) {
  const std::vector<std::pair<std::string, std::string>> files{
      {"empty", ""}, {"bad", "0.1\n0.2\n0.3x\n"}, {"good", "0.5\n"}};
  testing_helpers::check(
      "varnoth", {
                     {"missing sample file",
                      files,
                      {"@/missing", "@/cdf"},
                      1,
                      "",
                      "varnoth: @/missing: No such file or directory\n"},
                     {"empty file",
                      files,
                      {"@/empty", "@/cdf"},
                      1,
                      "",
                      "varnoth: @/empty: no number in the file\n"},
                     {"malformed line",
                      files,
                      {"@/bad", "@/cdf"},
                      1,
                      "",
                      "varnoth: @/bad:3: not a number: '0.3x'\n"},
                     {"directory as sample file",
                      files,
                      {"@", "@/cdf"},
                      1,
                      "",
                      "varnoth: @: Is a directory\n"},
                     {"distribution file in a missing directory",
                      files,
                      {"@/good", "@/no/such/dir/cdf"},
                      1,
                      "0.500000000\n",
                      "varnoth: @/no/such/dir/cdf: No such file or directory\n"},
                     {"distribution file on a full device",
                      files,
                      {"@/good", "/dev/full"},
                      1,
                      "0.500000000\n",
                      "varnoth: /dev/full: No space left on device\n"},
                     {"no arguments", files, {}, 2, "", kUsage},
                     {"one argument", files, {"@/good"}, 2, "", kUsage},
                     {"three arguments", files, {"@/good", "@/cdf", "extra"}, 2, "", kUsage},
                 });
}

TEST(Varnoth, WritesNoDistributionFileWhenTheSamplesAreBad) {
  ScratchDir dir;
  const std::string cdf = dir.path("cdf");
  EXPECT_EQ(run("varnoth", {dir.write("bad", "0.5\nx\n"), cdf}).status, 1);
  EXPECT_FALSE(testing_helpers::exists(cdf));
}

// The mean comes first; when it cannot be written, the run stops there.
TEST(Varnoth, WritesNoDistributionFileWhenStandardOutputFails) {
  ScratchDir dir;
  const std::string cdf = dir.path("cdf");
  const Outcome o =
      run("varnoth", {dir.write("samples", "0.5\n"), cdf}, Redirect::stdout_to("/dev/full"));
  EXPECT_EQ(o.status, 1);
  EXPECT_FALSE(testing_helpers::exists(cdf));
}

}  // namespace
