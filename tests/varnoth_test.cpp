#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

const char* const kUsage =
    "usage: varnoth [-f N] [-H] [-d C] [-C] [-u U] SAMPLE_FILE DISTRIBUTION_FILE\n";

std::string format(const char* pattern, double a, double b = 0) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

struct DistributionCase {
  std::string samples;
  std::string mean;
  std::map<int, std::string> lines;  // line index -> the whole line
  std::string err;                   // the warning, where the samples lie off the points
  std::string upper = "";            // -u's value, if any
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
        {999, "0.999000 1.000000"}},
       ""},
      {"0.25\n", "0.250000000\n", {{249, "0.249000 0.000000"}, {250, "0.250000 1.000000"}}, ""},
      {"0.0005\n",
       "0.000500000\n",
       {{0, "0.000000 0.000000"}, {1, "0.001000 1.000000"}},
       "varnoth: warning: every sample lies at or below 0.001, on the first point above 0; -u "
       "0.001 "
       "spreads them over 0 ... 0.000999\n"},
      {"1.0\n",
       "1.000000000\n",
       {{0, "0.000000 0.000000"}, {999, "0.999000 0.000000"}},
       "varnoth: warning: 1 of 1 samples lie above 0.999, on no line of the distribution; -u U "
       "puts the points at 0 ... 0.999 U\n"},
      // Delays in milliseconds where the points are seconds.
      {"12.5\n30\n0.2\n",
       "14.233333333\n",
       {{199, "0.199000 0.000000"}, {200, "0.200000 0.333333"}, {999, "0.999000 0.333333"}},
       "varnoth: warning: 2 of 3 samples lie above 0.999, on no line of the distribution; -u U "
       "puts the points at 0 ... 0.999 U\n"},
      {"0.5\n2\n", "1.250000000\n", {{999, "0.999000 0.500000"}}, ""},  // half is not most
      // Columns read whole: both warnings, the distribution's first.
      {"1 2\n3 4\n",
       "2.500000000\n",
       {{0, "0.000000 0.000000"}, {999, "0.999000 0.000000"}},
       "varnoth: warning: 4 of 4 samples lie above 0.999, on no line of the distribution; -u U "
       "puts the points at 0 ... 0.999 U\n"
       "varnoth: warning: lines hold 2 numbers each, all read as samples; -f N reads field N "
       "alone\n"},
      // Rising times beside delays: too few samples above 0.999 for the first warning.
      {"0.1 0.15\n0.2 0.15\n0.3 0.15\n0.4 0.15\n",
       "0.200000000\n",
       {{149, "0.149000 0.125000"}, {150, "0.150000 0.625000"}, {400, "0.400000 1.000000"}},
       "varnoth: warning: lines hold 2 numbers each, all read as samples; -f N reads field N "
       "alone\n"},
      {"-3.0\n", "-3.000000000\n", {{0, "0.000000 1.000000"}, {999, "0.999000 1.000000"}}, ""},
      {"0.999\n0.9995\n",
       "0.999250000\n",
       {{998, "0.998000 0.000000"}, {999, "0.999000 0.500000"}},
       ""},
      {"0\n-0\n1e-300\n",
       "0.000000000\n",
       {{0, "0.000000 0.666667"}, {1, "0.001000 1.000000"}},
       "varnoth: warning: every sample lies at or below 0.001, on the first point above 0; -u "
       "0.001 "
       "spreads them over 0 ... 0.000999\n"},
      {"0\n-0\n", "0.000000000\n", {{0, "0.000000 1.000000"}}, ""},  // none above 0: -u helps none
      // Sub-millisecond delays: all on the first point, or spread by -u.
      {"0.00025\n0.0005\n0.0001\n",
       "0.000283333\n",
       {{0, "0.000000 0.000000"}, {1, "0.001000 1.000000"}},
       "varnoth: warning: every sample lies at or below 0.001, on the first point above 0; -u "
       "0.001 "
       "spreads them over 0 ... 0.000999\n"},
      {"0.00025\n0.0005\n0.0001\n",
       "0.000283333\n",
       {{0, "0.000000 0.000000"},
        {99, "0.000099 0.000000"},
        {100, "0.000100 0.333333"},
        {250, "0.000250 0.666667"},
        {499, "0.000499 0.666667"},
        {500, "0.000500 1.000000"},
        {999, "0.000999 1.000000"}},
       "",
       "0.001"},
      {"2.5e-7\n5e-7\n",
       "0.000000375\n",
       {{0, "0.000000000 0.000000"},
        {249, "0.000000249 0.000000"},
        {250, "0.000000250 0.500000"},
        {500, "0.000000500 1.000000"},
        {999, "0.000000999 1.000000"}},
       "",
       "1e-6"},
      {"2.5e-7\n5e-7\n",
       "0.000000375\n",
       {{0, "0.0000000000 0.000000"}, {999, "0.0000000999 0.000000"}},
       "varnoth: warning: 2 of 2 samples lie above 0.0000000999, on no line of the distribution; "
       "-u "
       "U puts the points at 0 ... 0.999 U\n",
       "1e-7"},
      // Delays in milliseconds.
      {"12.5\n30\n0.2\n",
       "14.233333333\n",
       {{0, "0.000000 0.000000"},
        {1, "1.000000 0.333333"},
        {12, "12.000000 0.333333"},
        {13, "13.000000 0.666667"},
        {30, "30.000000 1.000000"},
        {999, "999.000000 1.000000"}},
       "",
       "1000"},
      {"1\n2000\n",
       "1000.500000000\n",
       {{1, "1.000000 0.500000"}, {999, "999.000000 0.500000"}},
       "",
       "1000"},
      // Fractions halfway between two of six decimals: 1/128 and 3/128 round to even.
      {"0\n0.001\n0.001\n" + repeated("0.5\n", 125),
       "0.488296875\n",
       {{0, "0.000000 0.007812"}, {1, "0.001000 0.023438"}, {500, "0.500000 1.000000"}},
       ""},
      {"1e300\n-1e300\n0.5\n-inf\n",
       "-inf\n",
       {{0, "0.000000 0.500000"}, {500, "0.500000 0.750000"}, {999, "0.999000 0.750000"}},
       ""},
  };
  for (const DistributionCase& c : cases) {
    SCOPED_TRACE(c.samples);
    ScratchDir dir;
    const std::string cdf = dir.path("cdf");
    std::vector<std::string> args{dir.write("samples", c.samples), cdf};
    if (!c.upper.empty()) args.insert(args.begin(), {"-u", c.upper});
    const Outcome o = run("varnoth", args);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, c.mean);
    const std::vector<std::string> lines = lines_of(read_file(cdf));
    ASSERT_EQ(lines.size(), 1000u);
    for (int i = 0; i < 1000 && c.upper.empty(); ++i) {
      EXPECT_EQ(lines[i].substr(0, 9), format("%lf ", i / 1000.0));
    }
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
// ceiling kept as a double so that infinities and NaN compare as they are;
// with -u U, the samples scaled by 1000 / U and the points i U / 1000
// printed with point_format.
std::string plain_distribution(const std::vector<double>& samples, double upper = 1,
                               const char* point_format = "%lf %lf\n") {
  std::vector<std::uint64_t> counter(1000, 0);
  for (double x : samples) {
    const double k = std::ceil(1000.0 / upper * x);
    for (int i = 0; i < 1000; ++i) counter[i] += i >= k;
  }
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text += format(point_format, i * upper / 1000.0,
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
    for (int i = 0; i < 4000 + round; ++i) {  // odd and even counts
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
    const std::string file = dir.write("samples", text);
    const double mean = sum / static_cast<double>(samples.size());
    // The second run is told by glibc that the processor lacks AVX2, so the
    // count that machines without it run is checked here too; the others
    // put the points elsewhere with -u (the samples are spread to be found
    // near their points by the scale, not to fall on them).
    const struct {
      const char* tunables;
      const char* upper;
      const char* point_format;
    } runs[] = {{"", "", "%lf %lf\n"},
                {"glibc.cpu.hwcaps=-AVX2", "", "%lf %lf\n"},
                {"", "1", "%lf %lf\n"},
                {"", "0.001", "%lf %lf\n"},
                {"glibc.cpu.hwcaps=-AVX2", "0.001", "%lf %lf\n"},
                {"", "1000", "%lf %lf\n"},
                {"", "1e-6", "%.9lf %lf\n"},
                {"", "0.3", "%lf %lf\n"},
                {"", "1e-14", "%.17lf %lf\n"},  // the most decimals a point gets
                {"", "1e20", "%lf %lf\n"}};     // points beyond 2^53
    for (const auto& r : runs) {
      SCOPED_TRACE(std::string(r.tunables) + " -u " + r.upper);
      setenv("GLIBC_TUNABLES", r.tunables, 1);
      const std::string cdf = dir.path("cdf");
      std::vector<std::string> args{file, cdf};
      if (*r.upper != '\0') args.insert(args.begin(), {"-u", r.upper});
      const Outcome o = run("varnoth", args);
      unsetenv("GLIBC_TUNABLES");
      EXPECT_EQ(o.status, 0);
      if (std::isnan(mean)) {
        // Which sign a NaN sum carries depends on the order of NaN operands,
        // which the arithmetic leaves open.
        EXPECT_TRUE(o.out == "nan\n" || o.out == "-nan\n") << o.out;
      } else {
        EXPECT_EQ(o.out, format("%2.9lf\n", mean));
      }
      const double upper = *r.upper != '\0' ? std::strtod(r.upper, nullptr) : 1;
      EXPECT_EQ(read_file(cdf), plain_distribution(samples, upper, r.point_format));
    }
  }
}

TEST(Varnoth, FailsLoudlyOnBadInputAndOutput) {
  const std::vector<std::pair<std::string, std::string>> files{
      {"empty", ""},
      {"bad", "0.1\n0.2\n0.3x\n"},
      {"good", "0.5\n"},
      {"comma", "0.1\n0,25\n"},
      {"marked", "\ufeff0.5\n"},
      {"zero-width", "0.1\n0.2\u200b\n"},
      {"t.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10)},
      {"trace", "time delay\n1 0.25\n2 0.5x\n"},
      {"-x", "0.5\n"}};
  // clang-format off
  testing_helpers::check("varnoth", {
      {"missing sample file", files, {"@/missing", "@/cdf"}, 1, "", "varnoth: @/missing: No such file or directory\n"},
      {"empty file", files, {"@/empty", "@/cdf"}, 1, "", "varnoth: @/empty: no number in the file\n"},
      {"malformed line", files, {"@/bad", "@/cdf"}, 1, "", "varnoth: @/bad:3: not a number: '0.3x'\n"},
      {"directory as sample file", files, {"@", "@/cdf"}, 1, "", "varnoth: @: Is a directory\n"},
      {"decimal comma", files, {"@/comma", "@/cdf"}, 1, "", "varnoth: @/comma:2: not a number: '0,25' (a decimal point is needed)\n"},
      {"zero-width space", files, {"@/zero-width", "@/cdf"}, 1, "", "varnoth: @/zero-width:2: not a number: '0.2\\xe2\\x80\\x8b'\n"},
      {"a byte order mark first", files, {"@/marked", "@/cdf"}, 0, "0.500000000\n", ""},
      // Found before the samples are read, which would fail at line 3.
      {"distribution file in a missing directory", files, {"@/bad", "@/no/such/dir/cdf"}, 1, "", "varnoth: @/no/such/dir/cdf: No such file or directory\n"},
      {"distribution file in a directory that is a file", files, {"@/good", "@/good/cdf"}, 1, "", "varnoth: @/good/cdf: Not a directory\n"},
      {"distribution file on a full device", files, {"@/good", "/dev/full"}, 1, "0.500000000\n", "varnoth: /dev/full: No space left on device\n"},
      {"no arguments", files, {}, 2, "", kUsage},
      {"one argument", files, {"@/good"}, 2, "", kUsage},
      {"three arguments", files, {"@/good", "@/cdf", "extra"}, 2, "", kUsage},
      {"options and one file", files, {"-H", "-f", "2", "@/good"}, 2, "", kUsage},
      {"-u 0", files, {"-u", "0", "@/good", "@/cdf"}, 2, "", "varnoth: upper must be a finite number above 0: '0'\n"},
      {"-u -1", files, {"-u", "-1", "@/good", "@/cdf"}, 2, "", "varnoth: upper must be a finite number above 0: '-1'\n"},
      {"-u inf", files, {"-u", "inf", "@/good", "@/cdf"}, 2, "", "varnoth: upper must be a finite number above 0: 'inf'\n"},
      {"-u nan", files, {"--upper=nan", "@/good", "@/cdf"}, 2, "", "varnoth: upper must be a finite number above 0: 'nan'\n"},
      {"-u abc", files, {"-u", "abc", "@/good", "@/cdf"}, 2, "", "varnoth: upper is not a number: 'abc'\n"},
      {"-u 1ms", files, {"-u1ms", "@/good", "@/cdf"}, 2, "", "varnoth: upper is not a number: '1ms'\n"},
      {"-u 0,5", files, {"-u", "0,5", "@/good", "@/cdf"}, 2, "", "varnoth: upper is not a number: '0,5' (a decimal point is needed)\n"},
      {"-u without a number", files, {"@/good", "@/cdf", "-u"}, 2, "", "varnoth: option '-u' after the files; options come first (a file named -u is ./-u)\n"},
      {"-u given twice", files, {"-u", "1", "--upper=1000", "@/good", "@/cdf"}, 2, "", "varnoth: option -u given twice; one value is taken\n"},
      {"-- after the files", files, {"@/good", "--"}, 2, "", "varnoth: option '--' after the files; options come first (a file named -- is ./--)\n"},
      {"--upper=1 is no change", files, {"--upper=1", "--", "-x", "-"}, 0, "0.500000000\n" + plain_distribution({0.5}), ""},
      {"a malformed chosen field", files, {"-H", "-f", "2", "@/trace", "@/cdf"}, 1, "", "varnoth: @/trace:3: not a number: '0.5x'\n"},
      {"gzip-compressed, the options and the distribution file kept", files, {"-f", "2", "@/t.gz", "@/cdf"}, 1, "", "varnoth: @/t.gz: looks gzip-compressed; decompress it first: zcat @/t.gz | varnoth -f 2 - @/cdf\n"},
      {"a sample file named -x, after --", files, {"--", "-x", "-"}, 0, "0.500000000\n" + plain_distribution({0.5}), ""},
      {"a distribution file named -y, after the sample file", files, {"@/good", "-y"}, 0, "0.500000000\n", ""},
      // Options after the files would be taken for the distribution file's name.
      {"-H after the files", files, {"@/good", "-H"}, 2, "", "varnoth: option '-H' after the files; options come first (a file named -H is ./-H)\n"},
      {"--help after the files", files, {"@/good", "--help"}, 2, "", "varnoth: option '--help' after the files; options come first (a file named --help is ./--help)\n"},
      {"-f2 after the files", files, {"@/good", "-f2"}, 2, "", "varnoth: option '-f2' after the files; options come first (a file named -f2 is ./-f2)\n"},
      {"--field=2 after the files", files, {"@/good", "--field=2"}, 2, "", "varnoth: option '--field=2' after the files; options come first (a file named --field=2 is ./--field=2)\n"},
      {"grouped options after the files", files, {"@/good", "-Hf"}, 2, "", "varnoth: option '-Hf' after the files; options come first (a file named -Hf is ./-Hf)\n"},
      {"a file named -H, after --", files, {"--", "@/good", "-H"}, 0, "0.500000000\n", ""},
      {"a file named -5 is no option", files, {"@/good", "-5"}, 0, "0.500000000\n", ""},
  });
  // clang-format on
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

// What varnoth does with the files it is given, standard output among them.
// Each case runs in a fresh directory holding samples (good), bad (fails at
// line 2) and old (an earlier distribution), set up further by a shell
// command. A failed run must leave that directory and those in it as they were: no file changed,
// none added, not even a hidden temporary one.
struct FileCase {
  std::string name;
  std::string prepare;  // shell, run in the directory first
  std::vector<std::string> args;
  Redirect redirect;  // "@" in its paths stands for the directory
  int status;
  std::string out;
  std::string err;
  std::string after;  // shell, run in the directory after a run that succeeds
  std::string shows;  // what it prints
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

// Every file under dir, in its subdirectories too, by its path from there.
std::map<std::string, std::string> files_in(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    // A FIFO by its kind: reading it would wait for a writer.
    files[entry.path().lexically_relative(dir).string()] =
        entry.is_symlink() ? "-> " + std::filesystem::read_symlink(entry.path()).string()
        : entry.is_fifo()  ? "a FIFO"
                           : read_file(entry.path().string());
  }
  return files;
}

// The cases, as a function: one test each, so that a case this machine
// cannot run (it needs root, another user who can reach the scratch
// directories, a file system with ACLs or chattr) shows as skipped.
std::vector<FileCase> file_cases() {
  const std::string mean = "0.500000000\n";
  const std::string both = mean + plain_distribution({0.5});
  const std::string refused = ": is the sample file; the distribution would overwrite it\n";
  Redirect from_samples = Redirect::stdin_from("@/samples");
  Redirect into_out = Redirect::stdout_to("@/out");
  const Redirect nobody = Redirect::as("nobody");
  const Redirect root = Redirect::as("root");
  Redirect root_into_out = Redirect::stdout_to("@/out");
  root_into_out.user = "root";
  Redirect stdin_and_stdout_closed = Redirect::stdout_closed();
  stdin_and_stdout_closed.closed = 0;
  // A directory nobody may read but not write, holding a file anyone may write.
  const std::string rodir =
      "chmod 755 . && mkdir rodir && cp old rodir/cdf && chmod 666 rodir/cdf && chmod 555 rodir";
  // clang-format off
  std::vector<FileCase> cases{
      {"same path", "", {"@/samples", "@/samples"}, {}, 2, "", "varnoth: @/samples" + refused, "", ""},
      {"same path, after options", "", {"-H", "-f", "1", "@/samples", "@/samples"}, {}, 2, "", "varnoth: @/samples" + refused, "", ""},
      {"samples on standard input, after --", "", {"--", "-", "@/samples"}, from_samples, 2, "", "varnoth: @/samples" + refused, "", ""},
      {"a line short of the chosen field", "", {"-f", "2", "@/samples", "@/old"}, {}, 1, "", "varnoth: @/samples:1: line has 1 field, no field 2: '0.5'\n", "", ""},
      {"an unknown option", "", {"-x", "@/samples", "@/old"}, {}, 2, "", "varnoth: unknown option '-x' (a file named -x is ./-x)\n", "", ""},
      {"a field that is no number", "", {"-f", "x", "@/samples", "@/old"}, {}, 2, "", "varnoth: field is not a whole number: 'x' (a field's name needs -H, the header that names it)\n", "", ""},
      {"hard link", "ln samples hard", {"@/samples", "@/hard"}, {}, 2, "", "varnoth: @/hard" + refused, "", ""},
      {"symlink", "ln -s samples soft", {"@/samples", "@/soft"}, {}, 2, "", "varnoth: @/soft" + refused, "", ""},
      {"samples on standard input", "", {"-", "@/samples"}, from_samples, 2, "", "varnoth: @/samples" + refused, "", ""},
      {"malformed samples", "", {"@/bad", "@/old"}, {}, 1, "", "varnoth: @/bad:2: not a number: 'x'\n", "", ""},
      {"file-size limit, old file", "", {"@/samples", "@/old"}, Redirect::file_size_limit_of(4096), 1, mean, "varnoth: @/old: File too large\n", "", ""},
      {"file-size limit, new file", "", {"@/samples", "@/new"}, Redirect::file_size_limit_of(4096), 1, mean, "varnoth: @/new: File too large\n", "", ""},
      {"symlink followed", "ln -s old link", {"@/samples", "@/link"}, {}, 0, mean, "", "test -L link && wc -l <old && ls -A", "1000\nbad\nlink\nold\nsamples\n"},
      {"permission bits kept", "chmod 640 old", {"@/samples", "@/old"}, {}, 0, mean, "", "stat -c %a old && wc -l <old", "640\n1000\n"},
      {"dash is standard output", "", {"@/samples", "-"}, {}, 0, both, "", "", ""},
      {"/dev/stdout", "", {"@/samples", "/dev/stdout"}, {}, 0, both, "", "", ""},
      {"the file standard output goes to", "", {"@/samples", "@/out"}, into_out, 0, "", "", "cat out", both},
      {"dangling symlink: its file created, the link kept", "ln -s new link", {"@/samples", "@/link"}, {}, 0, mean, "", "test -L link && wc -l <new", "1000\n"},
      {"dangling symlink to another directory", "mkdir d && ln -s ../new d/link", {"@/samples", "@/d/link"}, {}, 0, mean, "", "test -L d/link && wc -l <new", "1000\n"},
      {"symlink to a dangling symlink", "ln -s link2 link && ln -s new link2", {"@/samples", "@/link"}, {}, 0, mean, "", "wc -l <new && ls -A", "1000\nbad\nlink\nlink2\nnew\nold\nsamples\n"},
      {"loop of symlinks", "ln -s loop loop", {"@/samples", "@/loop"}, {}, 1, "", "varnoth: @/loop: Too many levels of symbolic links\n", "", ""},
      {"other hard links keep the old content", "ln old other", {"@/samples", "@/old"}, {}, 0, mean, "", "wc -l <old && cat other", "1000\n0.000000 0.000000\n"},
      // Each found before the samples are read: no mean is printed.
      {"empty path", "", {"@/samples", ""}, {}, 1, "", "varnoth: : No such file or directory\n", "", ""},
      {"a directory's name for a new file", "", {"@/samples", "@/new/"}, {}, 1, "", "varnoth: @/new/: Is a directory\n", "", ""},
      {"a new file under /proc", "", {"@/samples", "/proc/nf-cdf"}, {}, 1, "", "varnoth: /proc: No such file or directory\n", "", ""},
      {"read-only directory, writable file", rodir, {"@/samples", "@/rodir/cdf"}, nobody, 1, "", "varnoth: @/rodir: Permission denied\n", "", ""},
      {"read-only directory, new file", rodir, {"@/samples", "@/rodir/new"}, nobody, 1, "", "varnoth: @/rodir: Permission denied\n", "", ""},
      {"another user's file in a sticky directory", "chmod 755 . && mkdir -m 1777 sticky && cp old sticky/cdf && chmod 666 sticky/cdf", {"@/samples", "@/sticky/cdf"}, nobody, 1, "", "varnoth: @/sticky/cdf: Operation not permitted\n", "", ""},
      {"a new file in a sticky directory", "chmod 755 . && mkdir -m 1777 sticky", {"@/samples", "@/sticky/cdf"}, nobody, 0, mean, "", "stat -c %U sticky/cdf", "nobody\n"},
      // Owner and group kept where the user may set them; the mode after them.
      {"root keeps owner, group and mode", "chown nobody:users old && chmod 4754 old", {"@/samples", "@/old"}, root, 0, mean, "", "stat -c %U:%G:%a old && wc -l <old", "nobody:users:4754\n1000\n"},
      {"a user keeps a group they are in", "chmod 777 . && chown nobody:users old", {"@/samples", "@/old"}, Redirect::as("nobody", {"users"}), 0, mean, "", "stat -c %U:%G old", "nobody:users\n"},
      {"a group the user is not in", "chmod 777 . && chown nobody:root old", {"@/samples", "@/old"}, nobody, 0, mean, "", "stat -c %U:%g old", "nobody:65534\n"},
      // Killed while it reads: the old file stays as it was, and nothing is left behind.
      {"SIGKILL mid-run, old file", "", {"-", "@/old"}, Redirect::killed_by(SIGKILL), 128 + SIGKILL, "", "", "", ""},
      {"SIGKILL mid-run, new file", "", {"-", "@/new"}, Redirect::killed_by(SIGKILL), 128 + SIGKILL, "", "", "", ""},
      {"SIGQUIT mid-run", "", {"-", "@/old"}, Redirect::killed_by(SIGQUIT), 128 + SIGQUIT, "", "", "", ""},
      // Where the unnamed file could not be named later (no /proc), a named one is removed on every signal.
      {"no /proc/self/fd: a named temporary file", "", {"@/samples", "@/old"}, Redirect::no_fd_links(), 0, mean, "", "wc -l <old && ls -A", "1000\nbad\nold\nsamples\n"},
      {"no /proc/self/fd: SIGQUIT mid-run", "", {"-", "@/old"}, Redirect::killed_by(SIGQUIT, true), 128 + SIGQUIT, "", "", "", ""},
      {"no /proc/self/fd: SIGUSR1 mid-run", "", {"-", "@/old"}, Redirect::killed_by(SIGUSR1, true), 128 + SIGUSR1, "", "", "", ""},
      {"no /proc/self/fd: SIGALRM mid-run", "", {"-", "@/new"}, Redirect::killed_by(SIGALRM, true), 128 + SIGALRM, "", "", "", ""},
      {"no /proc/self/fd: SIGXCPU mid-run", "", {"-", "@/old"}, Redirect::killed_by(SIGXCPU, true), 128 + SIGXCPU, "", "", "", ""},
      {"no /proc/self/fd: SIGTERM mid-run", "", {"-", "@/old"}, Redirect::killed_by(SIGTERM, true), 128 + SIGTERM, "", "", "", ""},
      {"no /proc/self/fd: a real-time signal mid-run", "", {"-", "@/old"}, Redirect::killed_by(SIGRTMIN + 1, true), 128 + SIGRTMIN + 1, "", "", "", ""},
      // A descriptor of 0-2 closed at the start is not the distribution file's.
      {"standard output closed", "", {"@/samples", "@/old"}, Redirect::stdout_closed(), 1, "", "varnoth: standard output: Bad file descriptor\n", "", ""},
      {"standard error closed, a warning to give", "echo 2 >high", {"@/high", "@/old"}, Redirect::descriptor_closed(2), 0, "2.000000000\n", "", "wc -l <old && head -n 1 old", "1000\n0.000000 0.000000\n"},
      {"standard input closed", "", {"@/samples", "@/old"}, Redirect::descriptor_closed(0), 0, mean, "", "wc -l <old", "1000\n"},
      {"standard input closed and read", "", {"-", "@/old"}, Redirect::descriptor_closed(0), 1, "", "varnoth: standard input: Bad file descriptor\n", "", ""},
      // Links in a sticky directory anyone may write to: followed by the kernel's rule.
      {"another user's symlink in a sticky directory", "mkdir -m 1777 sticky && ln -s ../old sticky/link && chown -h nobody sticky/link", {"@/samples", "@/sticky/link"}, root, 1, "", "varnoth: @/sticky/link: Permission denied\n", "", ""},
      {"another user's symlink to a new file there", "mkdir -m 1777 sticky && ln -s ../new sticky/link && chown -h nobody sticky/link", {"@/samples", "@/sticky/link"}, root, 1, "", "varnoth: @/sticky/link: Permission denied\n", "", ""},
      {"one's own symlink in a sticky directory", "mkdir -m 1777 sticky && ln -s ../old sticky/link", {"@/samples", "@/sticky/link"}, {}, 0, mean, "", "wc -l <old", "1000\n"},
      {"the sticky directory's owner's symlink", "mkdir -m 1777 sticky && chown nobody sticky && ln -s ../old sticky/link && chown -h nobody sticky/link", {"@/samples", "@/sticky/link"}, root, 0, mean, "", "wc -l <old", "1000\n"},
      {"another user's symlink in a sticky directory only its group may write to", "mkdir -m 1775 sticky && ln -s ../old sticky/link && chown -h nobody sticky/link", {"@/samples", "@/sticky/link"}, root, 0, mean, "", "wc -l <old", "1000\n"},
      // What the old file had, the new one has, and no more.
      {"ACL and user attributes kept", "chmod 640 old && setfacl -m u:1234:rw old 2>/dev/null && setfattr -n user.tag -v x old 2>/dev/null || exit 77", {"@/samples", "@/old"}, {}, 0, mean, "", "getfacl -cp old && getfattr --only-values -n user.tag old && stat -c %a old", "user::rw-\nuser:1234:rw-\ngroup::r--\nmask::rw-\nother::---\n\nx660\n"},
      {"a user keeps the set-user-ID and set-group-ID bits of their own file", "chmod 777 . && chown nobody:nogroup old && chmod 6755 old", {"@/samples", "@/old"}, nobody, 0, mean, "", "stat -c %a old && wc -l <old", "6755\n1000\n"},
      // chattr's attributes: found before the samples are read.
      {"an append-only file", "chattr +a old 2>/dev/null || exit 77", {"@/samples", "@/old"}, {}, 1, "", "varnoth: @/old: Operation not permitted\n", "", ""},
      {"an immutable file", "chattr +i old 2>/dev/null || exit 77", {"@/samples", "@/old"}, {}, 1, "", "varnoth: @/old: Operation not permitted\n", "", ""},
      {"a file in an append-only directory", "mkdir d && cp old d/cdf && chattr +a d 2>/dev/null || exit 77", {"@/samples", "@/d/cdf"}, {}, 1, "", "varnoth: @/d: Operation not permitted\n", "", ""},
      {"a new file in an append-only directory", "mkdir d && chattr +a d 2>/dev/null || exit 77", {"@/samples", "@/d/new"}, {}, 0, mean, "", "ls -A d && wc -l <d/new", "new\n1000\n"},
      {"no /proc/self/fd: a new file in an append-only directory", "mkdir d && chattr +a d 2>/dev/null || exit 77", {"@/samples", "@/d/new"}, Redirect::no_fd_links(), 1, "", "varnoth: @/d: Operation not permitted\n", "", ""},
      {"a new file in an immutable directory", "mkdir d && chattr +i d 2>/dev/null || exit 77", {"@/samples", "@/d/new"}, {}, 1, "", "varnoth: @/d: Operation not permitted\n", "", ""},
      {"an append-only directory the user cannot read", "chmod 755 . && mkdir d && cp old d/cdf && chown -R nobody d && chmod 300 d && chattr +a d 2>/dev/null || exit 77", {"@/samples", "@/d/cdf"}, nobody, 1, "", "varnoth: @/d: Operation not permitted\n", "", ""},
      {"an append-only file the user may only write", "chmod 777 . && chown nobody old && chmod 200 old && chattr +a old 2>/dev/null || exit 77", {"@/samples", "@/old"}, nobody, 1, "", "varnoth: @/old: Operation not permitted\n", "", ""},
      {"another user's symlink to a FIFO in a sticky directory", "mkdir -m 1777 sticky && mkfifo fifo && ln -s ../fifo sticky/link && chown -h nobody sticky/link", {"@/samples", "@/sticky/link"}, root, 1, "", "varnoth: @/sticky/link: Permission denied\n", "", ""},
      // The directory's default ACL: a new file takes it, as from the shell's >; a replaced one keeps its own.
      {"a default ACL, not on the file replaced", "mkdir d && setfacl -d -m u:1234:rw d 2>/dev/null && echo x >d/cdf && setfacl -b d/cdf && chmod 640 d/cdf || exit 77", {"@/samples", "@/d/cdf"}, {}, 0, mean, "", "getfacl -cp d/cdf && stat -c %a d/cdf", "user::rw-\ngroup::r--\nother::---\n\n640\n"},
      {"a default ACL for a new file", "mkdir d && setfacl -d -m u::rw,g::-,o::- d 2>/dev/null || exit 77", {"@/samples", "@/d/new"}, {}, 0, mean, "", "stat -c %a d/new", "600\n"},
      // Where owner and group cannot be kept, nobody gains: no set-ID bit, and the old group's bits meet the others'.
      {"an owner and group not kept", "chmod 777 . && chown root:root old && chmod 4646 old", {"@/samples", "@/old"}, nobody, 0, mean, "", "stat -c %U:%G:%a old", "nobody:nogroup:644\n"},
      // What others do to the old file while varnoth reads: it takes the file as it is then.
      {"the old file's mode changed while varnoth reads", "chmod 644 old", {"-", "@/old"}, Redirect::meanwhile_doing("chmod 600 @/old"), 0, mean, "", "stat -c %a old && wc -l <old", "600\n1000\n"},
      {"the old file removed while varnoth reads", "chmod 600 old", {"-", "@/old"}, Redirect::meanwhile_doing("rm @/old"), 0, mean, "", "touch fresh && test $(stat -c %a old) = $(stat -c %a fresh) && wc -l <old", "1000\n"},
      {"a symlink put in the old file's place while varnoth reads", "echo x >other && chmod 666 other", {"-", "@/old"}, Redirect::meanwhile_doing("ln -sf other @/old"), 0, mean, "", "test ! -L old && test $(stat -c %a old) != 666 && cat other", "x\n"},
      {"another user's symlink in a sticky directory to the file standard output goes to", "touch out && mkdir -m 1777 sticky && ln -s ../out sticky/link && chown -h nobody sticky/link", {"@/samples", "@/sticky/link"}, root_into_out, 1, "", "varnoth: @/sticky/link: Permission denied\n", "", ""},
      // The user may write the old file but not read it, or read but not write it: its attributes are kept where they can be read.
      {"an ACL where owner and group cannot be kept", "chmod 777 . && chmod 0670 old && setfacl -m u:nobody:rw old 2>/dev/null || exit 77", {"@/samples", "@/old"}, nobody, 0, mean, "", "stat -c %U:%G:%a old && getfacl -cp old", "nobody:nogroup:600\nuser::rw-\ngroup::---\nother::---\n\n"},
      {"user attributes the user may not read", "chmod 777 . && chmod 622 old && setfattr -n user.tag -v precious old 2>/dev/null || exit 77", {"@/samples", "@/old"}, nobody, 0, mean, "", "getfattr -d old && stat -c %a old", "622\n"},
      {"user attributes of a file the owner may only read", "chmod 777 . && chown root:users old && chmod 464 old && setfattr -n user.tag -v x old 2>/dev/null || exit 77", {"@/samples", "@/old"}, Redirect::as("nobody", {"users"}), 0, mean, "", "getfattr --only-values -n user.tag old && stat -c %U:%G:%a old", "xnobody:users:464\n"},
      {"samples and distribution both closed descriptors", "", {"-", "/dev/stdout"}, stdin_and_stdout_closed, 1, "", "varnoth: standard input: Bad file descriptor\n", "", ""},
  };
  // clang-format on
  return cases;
}

// A name of letters, digits and underscores, as GoogleTest takes it.
std::string identifier(const std::string& name) {
  std::string id;
  for (const char c : name) id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return id;
}

class NeverDestroysData : public testing::TestWithParam<FileCase> {};

TEST_P(NeverDestroysData, AndWritesWhereItIsTold) {
  const FileCase& c = GetParam();
  if ((!c.redirect.user.empty() &&
       !(c.redirect.user == "root" ? testing_helpers::can_switch_user()
                                   : testing_helpers::can_run_as(c.redirect.user))) ||
      (c.redirect.without_fd_links && !testing_helpers::can_hide_fd_links())) {
    GTEST_SKIP() << "needs root" << (c.redirect.without_fd_links ? " and a mount namespace" : "")
                 << (c.redirect.user.empty() || c.redirect.user == "root"
                         ? ""
                         : ", and a user " + c.redirect.user + " who can reach TMPDIR");
  }
  ScratchDir dir;
  const std::string& root = dir.root();
  const auto place = [&](const std::string& text) { return testing_helpers::placed(text, root); };
  dir.write("samples", "0.5\n");
  dir.write("bad", "0.5\nx\n");
  dir.write("old", "0.000000 0.000000\n");
  // A prepare that exits 77 found the system without what the case needs.
  const int prepared =
      std::system(("cd " + root + " && " + (c.prepare.empty() ? ":" : c.prepare)).c_str());
  if (WIFEXITED(prepared) && WEXITSTATUS(prepared) == 77) {
    GTEST_SKIP() << "this system cannot set up: " << c.prepare;
  }
  ASSERT_EQ(prepared, 0);
  const auto before = files_in(root);
  std::vector<std::string> args;
  for (const std::string& arg : c.args) args.push_back(place(arg));
  Redirect redirect = c.redirect;
  redirect.stdin_path = redirect.stdin_path.empty() ? "" : place(redirect.stdin_path);
  redirect.stdout_path = place(redirect.stdout_path);
  redirect.meanwhile = place(redirect.meanwhile);
  const Outcome o = run("varnoth", args, redirect);
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(o.out, c.out);
  EXPECT_EQ(o.err, place(c.err));
  if (c.status != 0) {
    EXPECT_EQ(files_in(root), before);
  }
  if (!c.after.empty()) {
    EXPECT_EQ(testing_helpers::shell_output("cd " + root + " && " + c.after), c.shows);
  }
  // chattr's attributes, which would keep the directory from being removed.
  if (c.prepare.find("chattr") != std::string::npos) {
    const int unset = std::system(("chattr -R -ai " + root + " 2>/dev/null").c_str());
    static_cast<void>(unset);  // a file that never had one fails, and matters not
  }
}

// A signal once the new file has a name, on its way to replacing the old:
// the run goes on to its end, so that a replaced file never comes with the
// status of a failed run. strace holds the program right after the link,
// until the signal has been sent.
TEST(Varnoth, ASignalOnceTheFileIsNamedEndsNoRunEarly) {
  if (std::system("strace -o /dev/null true 2>/dev/null") != 0) GTEST_SKIP() << "needs strace";
  ScratchDir dir;
  dir.write("samples", "0.5\n");
  dir.write("old", "OLD\n");
  // (The leak checker of a sanitized build cannot run under strace.)
  const std::string status = testing_helpers::shell_output(
      "cd " + dir.root() + " && ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null" +
      " -e trace=linkat -e inject=linkat:delay_exit=2000000 " +
      testing_helpers::program_path("varnoth") + " samples old >out 2>err & s=$!; cd " +
      dir.root() +
      " && for i in $(seq 3000); do ls -A | grep -q '^[.]varnoth-' && break; sleep 0.01; done;" +
      " kill -TERM $(pgrep -P $s); wait $s; echo $?");
  EXPECT_EQ(status, "0\n");
  EXPECT_EQ(read_file(dir.path("out")), "0.500000000\n");
  EXPECT_EQ(read_file(dir.path("err")), "");
  EXPECT_EQ(read_file(dir.path("old")), plain_distribution({0.5}));
  EXPECT_EQ(testing_helpers::shell_output("ls -A " + dir.root()), "err\nold\nout\nsamples\n");
}

INSTANTIATE_TEST_SUITE_P(Varnoth, NeverDestroysData, testing::ValuesIn(file_cases()),
                         [](const testing::TestParamInfo<FileCase>& info) {
                           return identifier(info.param.name);
                         });

}  // namespace
