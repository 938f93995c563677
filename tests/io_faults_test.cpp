// Failing output, unusual sample files and the options that pick the samples,
// through every program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "helpers.hpp"

namespace {

using testing_helpers::Outcome;
using testing_helpers::Redirect;
using testing_helpers::run;
using testing_helpers::ScratchDir;

struct Program {
  std::string name;
  std::string samples;                              // a good sample file's content
  std::vector<std::string> trailing;                // the arguments after the sample file
  std::string out;                                  // what it prints for those samples
  std::string options = "[-f N] [-H] [-d C] [-C]";  // as its usage line shows them
};

// varnoth's distribution file goes to @, the scratch directory.
std::vector<Program> programs() {
  return {
      {"varnoth", "0.25\n0.75\n", {"@/cdf"}, "0.500000000\n", "[-f N] [-H] [-d C] [-C] [-u U]"},
      {"quellimar", "1\n1\n", {}, "tot 2.000000000\navg 1.000000000\nFI 1.000000000\n"},
      {"ostrevan", "10\n9\n", {}, "TX 10\nRX 9\nPLR 10.000000\n"},
      {"bruntel", "10\n20\n", {"3", "2"}, "5.000000000\n"},
      {"tessarn", "10\n20\n", {"3"}, "80.000000000\n"},
  };
}

std::vector<std::string> arguments(const Program& p, const std::string& samples,
                                   const ScratchDir& dir) {
  std::vector<std::string> args{samples};
  for (const std::string& arg : p.trailing) args.push_back(arg == "@/cdf" ? dir.path("cdf") : arg);
  return args;
}

// Every program the build makes has a row above.
TEST(IoFaults, CoverEveryProgram) {
  std::string names;
  for (const Program& p : programs()) names += (names.empty() ? "" : " ") + p.name;
  EXPECT_EQ(names, NETFIGURES_PROGRAMS);
}

TEST(IoFaults, UnwritableStandardOutputFailsTheRun) {
  const std::vector<std::pair<Redirect, std::string>> outputs{
      {Redirect::stdout_to("/dev/full"), "No space left on device"},
      {Redirect::stdout_closed(), "Bad file descriptor"},
      {Redirect::stdout_broken_pipe(), "Broken pipe"},
  };
  for (const Program& p : programs()) {
    for (const auto& [redirect, reason] : outputs) {
      SCOPED_TRACE(p.name + ": " + reason);
      ScratchDir dir;
      const Outcome o = run(p.name, arguments(p, dir.write("samples", p.samples), dir), redirect);
      EXPECT_EQ(o.status, 1);
      EXPECT_EQ(o.err, p.name + ": standard output: " + reason + "\n");
    }
  }
}

// The programs open the sample file once and check nothing before, so a file
// that vanishes after the command line was checked is simply a missing one.
TEST(IoFaults, SampleFilesThatCannotBeRead) {
  for (const Program& p : programs()) {
    ScratchDir dir;
    const std::string folder = dir.path("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> files{
        {folder, "Is a directory"},
        {dir.path("missing"), "No such file or directory"},
        {"", "No such file or directory"},  // an empty name, not standard input
    };
    // clang-format on
    for (const auto& [path, reason] : files) {
      SCOPED_TRACE(p.name + ": " + reason);
      const Outcome o = run(p.name, arguments(p, path, dir));
      EXPECT_EQ(o.status, 1);
      EXPECT_EQ(o.out, "");
      EXPECT_EQ(o.err, p.name + ": " + path + ": " + reason + "\n");
    }
  }
}

TEST(IoFaults, PipesAndStandardInputReadLikeFiles) {
  for (const Program& p : programs()) {
    SCOPED_TRACE(p.name);
    ScratchDir dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
      FILE* out = std::fopen(fifo.c_str(), "w");
      for (char c : p.samples) {  // a byte at a time, so reads come back short
        std::fputc(c, out);
        std::fflush(out);
      }
      std::fclose(out);
    });
    const Outcome through_fifo = run(p.name, arguments(p, fifo, dir));
    writer.join();
    EXPECT_EQ(through_fifo.status, 0);
    EXPECT_EQ(through_fifo.out, p.out);

    const std::string samples = dir.write("samples", p.samples);
    for (const char* name : {"/dev/stdin", "-"}) {
      const Outcome through_stdin =
          run(p.name, arguments(p, name, dir), Redirect::stdin_from(samples));
      EXPECT_EQ(through_stdin.status, 0);
      EXPECT_EQ(through_stdin.out, p.out);
    }

    // "-" from a pipe, written a byte at a time as above.
    std::thread pipe_writer([&] {
      FILE* out = std::fopen(fifo.c_str(), "w");
      for (char c : p.samples) {
        std::fputc(c, out);
        std::fflush(out);
      }
      std::fclose(out);
    });
    const Outcome through_pipe = run(p.name, arguments(p, "-", dir), Redirect::stdin_from(fifo));
    pipe_writer.join();
    EXPECT_EQ(through_pipe.status, 0);
    EXPECT_EQ(through_pipe.out, p.out);
  }
}

// Asked alone, --help and --version answer on stdout; among other arguments
// they are a usage error on stderr.
TEST(IoFaults, HelpAndVersion) {
  for (const Program& p : programs()) {
    SCOPED_TRACE(p.name);
    const std::string usage = "usage: " + p.name + " " + p.options + " SAMPLE_FILE";
    for (const std::string flag : {"--help", "-h"}) {
      const Outcome o = run(p.name, {flag});
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.out.rfind(usage, 0), 0u) << o.out;
      for (const char* told : {"standard input", "-f, --field=N", "-H, --header",
                               "-d, --delimiter=C", "-C, --skip-comments"}) {
        EXPECT_NE(o.out.find(told), std::string::npos) << told << " not in " << o.out;
      }
      EXPECT_EQ(o.err, "");
    }
    for (const std::string flag : {"--version", "-V"}) {
      const Outcome o = run(p.name, {flag});
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.out, p.name + " (netfigures) " NETFIGURES_VERSION "\n");
      EXPECT_EQ(o.err, "");
    }
    const std::vector<std::vector<std::string>> wrong_lines{
        {"--help", "x", "y", "z"}, {"-H", "--help", "x"}, {"--version", "x"}, {"-Hh", "x"}};
    for (const auto& args : wrong_lines) {
      const Outcome wrong = run(p.name, args);
      EXPECT_EQ(wrong.status, 2);
      EXPECT_EQ(wrong.out, "");
      EXPECT_EQ(wrong.err.rfind(usage, 0), 0u) << wrong.err;
    }
  }
}

// Options and what they read, through every program: `options`, then a
// sample file holding `content`, then the program's other operands. With a
// `like`, the run must print (and write, for varnoth) what the program does
// with a file holding `like` and no option, with status 0; without one, the
// run fails with `status` and prints nothing. Its stderr is `err` either way,
// PROG standing for the program and @ for the directory of the sample file.
struct Reading {
  std::string name;
  std::vector<std::string> options;
  std::string content;
  std::string like;
  int status;
  std::string err;
};

TEST(Options, PickTheSamplesInEveryProgram) {
  // Three columns, each a different sample file: its own total, first and
  // last value, and count at or below 0. No more than half of any file lies
  // above 0.999, so varnoth gives no warning of its own.
  const std::string col1 = "3\n0\n-2\n-5\n";
  const std::string col2 = "10\n0\n-20\n40\n";
  const std::string col3 = "-7\n8\n-9\n-1\n";
  const std::string two = "3 10\n0 0\n-2 -20\n-5 40\n";
  const std::string all_of_two = "3\n10\n0\n0\n-2\n-20\n-5\n40\n";
  const std::string three = "3\t10  -7\n0 0\t8\n-2 -20 -9\n-5 40 -1\n";
  const std::string all_of_three = "3\n10\n-7\n0\n0\n8\n-2\n-20\n-9\n-5\n40\n-1\n";
  const std::string messy = "  3\t 10 \r\n\n \t\n0\t0\r\n-2 -20\r\n\r\n-5   40\r\n";
  const std::string words = "tcp 3 a:b\nudp 0 2026-12-09\nx -2 0.5\ny -5 \xc3\xa9 more words\n";
  const std::string header = "time delay\n";
  const auto warning = [](const std::string& k) {
    return "PROG: warning: lines hold " + k +
           " numbers each, all read as samples; -f N reads field N alone\n";
  };
  const std::string other = "3 10\n0\n-2 -20\n";
  const std::string none = "PROG: @/samples: no number in the file\n";
  const std::string csv = "3,10\n0,0\n-2,-20\n-5,40\n";
  const std::string tsv = "3\t\t-7\n0\t\t8\n-2\t\t-9\n-5\t\t-1\n";  // field 2 empty
  const std::string quoted = "\"a,b\",\"10\"\n\"\"\"\",0\n\"x\"\"y,\",\"-20\"\n, \" 40 \" \n";
  const std::string tabs =
      "PROG: warning: line 1 holds an empty field between two tabs, which -f counts as no field; "
      "-d '\\t' counts it\n";
  // clang-format off
  const std::vector<Reading> cases{
      {"-f 1 of two columns", {"-f", "1"}, two, col1, 0, ""},
      {"-f 2 of two columns", {"-f", "2"}, two, col2, 0, ""},
      {"-f 1 of three columns", {"-f", "1"}, three, col1, 0, ""},
      {"-f 2 of three columns", {"-f", "2"}, three, col2, 0, ""},
      {"-f 3 of three columns", {"-f", "3"}, three, col3, 0, ""},
      {"--field=3", {"--field=3"}, three, col3, 0, ""},
      {"--field 2", {"--field", "2"}, three, col2, 0, ""},
      {"-f3, the number attached", {"-f3"}, three, col3, 0, ""},
      {"-f 02", {"-f", "02"}, three, col2, 0, ""},
      {"-f given twice", {"-f", "3", "-f", "1"}, three, "", 2, "PROG: option -f given twice; one field is read\n"},
      {"-f and --field", {"-f", "3", "--field=1"}, three, "", 2, "PROG: option -f given twice; one field is read\n"},
      {"-H given twice", {"-H", "-H"}, header + col1, col1, 0, ""},
      {"-f 1 of one column", {"-f", "1"}, col1, col1, 0, ""},
      {"tabs, CRLF, leading blanks, blank lines: field 1", {"-f", "1"}, messy, col1, 0, ""},
      {"tabs, CRLF, leading blanks, blank lines: field 2", {"-f", "2"}, messy, col2, 0, ""},
      {"the other fields hold words", {"-f", "2"}, words, col1, 0, ""},
      {"-H -f 2 past a header", {"-H", "-f", "2"}, header + two, col2, 0, ""},
      {"-Hf 2, grouped", {"-Hf", "2"}, header + two, col2, 0, ""},
      {"-Hf1, grouped and attached", {"-Hf1"}, header + two, col1, 0, ""},
      {"--header --field=1", {"--header", "--field=1"}, header + two, col1, 0, ""},
      {"-f before -H", {"-f", "2", "-H"}, header + two, col2, 0, ""},
      {"-H skips a header of numbers", {"-H"}, "1 2\n" + col1, col1, 0, ""},
      {"-H skips a header that ends in CRLF", {"-H"}, "delay\r\n" + col1, col1, 0, ""},
      {"-- ends the options", {"--"}, col1, col1, 0, ""},
      {"-H, then --", {"-H", "--"}, header + col1, col1, 0, ""},
      // All numbers read where the lines look like columns: the figures stand, a warning follows.
      {"two columns read whole: a warning", {}, two, all_of_two, 0, warning("2")},
      {"three columns read whole: a warning", {}, three, all_of_three, 0, warning("3")},
      {"-H, then two columns read whole: a warning", {"-H"}, header + two, all_of_two, 0, warning("2")},
      {"blank lines and CRLF between columns: a warning", {}, messy, all_of_two, 0, warning("2")},
      {"one column: no warning", {}, col1, col1, 0, ""},
      {"lines of different counts: no warning", {}, other, "3\n10\n0\n-2\n-20\n", 0, ""},
      {"a single line of two: no warning", {}, "-2 10\n", "-2\n10\n", 0, ""},
      // The file at fault.
      {"a header and nothing else", {"-H"}, header, "", 1, none},
      {"a header and blank lines, with -f", {"-H", "-f", "2"}, header + "\n \n", "", 1, none},
      {"a line short of field 2", {"-f", "2"}, other, "", 1, "PROG: @/samples:2: line has 1 field, no field 2: '0'\n"},
      {"a line short of field 3", {"-f", "3"}, "3 10 -7\n0 0 8\n-2 -20\n", "", 1, "PROG: @/samples:3: line has 2 fields, no field 3: '-20'\n"},
      {"a short line past a header and blank lines", {"-H", "-f", "2"}, "t d\n\n3 10\n\n0\n", "", 1, "PROG: @/samples:5: line has 1 field, no field 2: '0'\n"},
      {"the largest field", {"-f", "2147483647"}, two, "", 1, "PROG: @/samples:1: line has 2 fields, no field 2147483647: '10'\n"},
      // The command line at fault: found before the file is read.
      {"-f 0", {"-f", "0"}, two, "", 2, "PROG: fields count from 1: '0'\n"},
      {"-f 00", {"-f", "00"}, two, "", 2, "PROG: fields count from 1: '00'\n"},
      {"-f -1", {"-f", "-1"}, two, "", 2, "PROG: fields count from 1: '-1'\n"},
      {"-f x", {"-f", "x"}, two, "", 2, "PROG: field is not a whole number: 'x' (a field's name needs -H, the header that names it)\n"},
      {"-f 1x", {"-f", "1x"}, two, "", 2, "PROG: field is not a whole number: '1x' (a field's name needs -H, the header that names it)\n"},
      {"-f 1.5", {"-f", "1.5"}, two, "", 2, "PROG: field is not a whole number: '1.5'\n"},
      {"-f +2", {"-f", "+2"}, two, "", 2, "PROG: field is not a whole number: '+2'\n"},
      {"-f ' 2'", {"-f", " 2"}, two, "", 2, "PROG: field is not a whole number: ' 2'\n"},
      {"--field=, empty", {"--field="}, two, "", 2, "PROG: field is not a whole number: ''\n"},
      {"-f without a number takes the file for one", {"-f"}, two, "", 2, "PROG: field is not a whole number: '@/samples' (a field's name needs -H, the header that names it)\n"},
      {"-f past the int range", {"-f", "2147483648"}, two, "", 2, "PROG: field is too large: '2147483648'\n"},
      {"-f of twenty digits", {"-f", "00000000000000000001"}, two, col1, 0, ""},
      {"-f of twenty significant digits", {"-f", "18446744073709551617"}, two, "", 2, "PROG: field is too large: '18446744073709551617'\n"},
      {"an unknown option", {"-x"}, two, "", 2, "PROG: unknown option '-x' (a file named -x is ./-x)\n"},
      {"an unknown letter among known ones", {"-Hx"}, two, "", 2, "PROG: unknown option '-x' (a file named -Hx is ./-Hx)\n"},
      {"an unknown long option", {"--fields=2"}, two, "", 2, "PROG: unknown option '--fields' (a file named --fields=2 is ./--fields=2)\n"},
      {"no abbreviations", {"--head"}, two, "", 2, "PROG: unknown option '--head' (a file named --head is ./--head)\n"},
      {"an option after a good one", {"-f", "2", "-q"}, two, "", 2, "PROG: unknown option '-q' (a file named -q is ./-q)\n"},
      {"--header=yes", {"--header=yes"}, two, "", 2, "PROG: option --header takes no value: '--header=yes'\n"},
      // Fields split by one byte, as cut splits them: empty ones count, blanks around them go.
      {"-d , -f 2", {"-d", ",", "-f", "2"}, csv, col2, 0, ""},
      {"-d ';' -f 1", {"-d", ";", "-f", "1"}, "3;10\n0;0\n-2;-20\n-5;40\n", col1, 0, ""},
      {"-d '\\t' -f 3 past an empty field", {"-d", "\\t", "-f", "3"}, tsv, col3, 0, ""},
      {"-d of a tab itself", {"-d", "\t", "-f", "3"}, tsv, col3, 0, ""},
      {"--delimiter=, --field=2", {"--delimiter=,", "--field=2"}, csv, col2, 0, ""},
      {"-Hd, -f2, grouped", {"-Hd,", "-f2"}, header + csv, col2, 0, ""},
      {"empty fields before and after the chosen one", {"-d", ",", "-f", "3"}, ",,-7,\nx,,8,,\n, ,-9\n,,-1,,,\n", col3, 0, ""},
      {"blanks, CRLF and blank lines", {"-d", ",", "-f", "2"}, " 3 , 10 \r\n\n0,0\r\n \t\r\n-2,\t-20\n-5,40", col2, 0, ""},
      {"quoted fields hold the delimiter and quotes", {"-d", ",", "-f", "2"}, quoted, col2, 0, ""},
      {"an empty chosen field", {"-d", ",", "-f", "2"}, "3,10\n0,\n", "", 1, "PROG: @/samples:2: field 2 is empty: '0,'\n"},
      {"an empty quoted field", {"-d", ",", "-f", "1"}, "3,10\n\"\",0\n", "", 1, "PROG: @/samples:2: field 1 is empty: '\"\",0'\n"},
      {"a quote that does not close", {"-d", ",", "-f", "3"}, "3,\"a,10\n", "", 1, "PROG: @/samples:1: quote not closed before the end of the line: '\"a,10'\n"},
      {"the wrong delimiter", {"-d", ",", "-f", "2"}, "3;10\n", "", 1, "PROG: @/samples:1: line has 1 field, no field 2: '3;10'\n"},
      {"-d without -f", {"-d", ","}, csv, "", 2, "PROG: option -d needs -f, the field to read\n"},
      {"-d of two bytes", {"-d", ";;", "-f", "1"}, csv, "", 2, "PROG: the delimiter is one byte (\\t for a tab): ';;'\n"},
      {"-d of a byte of numbers", {"-d", ".", "-f", "1"}, csv, "", 2, "PROG: the delimiter cannot be a byte of a number, a quote or a line end: '.'\n"},
      {"-d of a quote", {"-d", "\"", "-f", "1"}, csv, "", 2, "PROG: the delimiter cannot be a byte of a number, a quote or a line end: '\"'\n"},
      // A field by the name the header gives it; a name that reads as a number is a number.
      {"-H -f NAME", {"-d", ",", "-H", "-f", "delay"}, "time,delay\n" + csv, col2, 0, ""},
      {"-f NAME before -H", {"--field=delay", "-d,", "-H"}, "time,delay\n" + csv, col2, 0, ""},
      {"a quoted name after a byte order mark", {"-d", ",", "-H", "-f", "time"}, "\ufeff\"time\",\"delay\"\r\n" + csv, col1, 0, ""},
      {"a name among blank-separated fields", {"-H", "-f", "delay"}, header + two, col2, 0, ""},
      {"-f 1 is field 1 whatever the header names", {"-d", ",", "-H", "-f", "1"}, "2,1\n" + csv, col1, 0, ""},
      {"a name the header lacks", {"-d", ",", "-H", "-f", "rtt"}, "time,delay\n" + csv, "", 1, "PROG: @/samples:1: no field named 'rtt' in the header: 'time', 'delay'\n"},
      {"a name the header gives twice", {"-d", ",", "-H", "-f", "delay"}, "time,delay,delay\n3,10,10\n", "", 1, "PROG: @/samples:1: two fields named 'delay' in the header, 2 and 3; -f 2 or -f 3 picks one\n"},
      {"a name without -H", {"-f", "delay"}, two, "", 2, "PROG: field is not a whole number: 'delay' (a field's name needs -H, the header that names it)\n"},
      // Comment lines (-C): skipped wherever they stand, before the header too.
      {"-C before and after the header", {"-C", "-H", "-f", "delay"}, "# c\n  # d\ntime delay\n# e\n" + two + "#f\n", col2, 0, ""},
      {"-C: a # after blanks", {"-C"}, " \t# x 1\n" + col1 + "\t#", col1, 0, ""},
      {"-C: a # inside a line is no comment", {"-C", "-f", "3"}, "3 #x 10\n0 # 0\n-2 #y -20\n-5 # 40\n", col2, 0, ""},
      {"-C with -d: a # field is no comment", {"-C", "-d", ",", "-f", "1"}, "3,#\n0,#x\n-2,\n-5, #\n", col1, 0, ""},
      // Where the input suggests a misread: the figures stand, a warning names the option.
      {"two tabs in a row without -d: a warning", {"-f", "2"}, tsv, col3, 0, tabs},
      {"two tabs in a row with -d '\\t': no warning", {"-d", "\\t", "-f", "3"}, tsv, col3, 0, ""},
      {"numbers glued together: a warning", {}, col1 + "2026-12-09\n", col1 + "2026\n-12\n-09\n", 0, "PROG: warning: line 5 holds numbers with no space between them ('2026-12-09' reads as 2026, -12 and -09)\n"},
      {"glued columns: both warnings", {}, "3-10\n0-0\n", "3\n-10\n0\n-0\n", 0, "PROG: warning: line 1 holds numbers with no space between them ('3-10' reads as 3 and -10)\n" + warning("2")},
  };
  // clang-format on
  for (const Program& p : programs()) {
    for (const Reading& c : cases) {
      SCOPED_TRACE(p.name + ": " + c.name);
      ScratchDir dir;
      const auto placed = [&](std::string text) {
        for (std::size_t at = 0; (at = text.find("PROG", at)) != std::string::npos;) {
          text.replace(at, 4, p.name);
        }
        return testing_helpers::placed(text, dir.root());
      };
      std::vector<std::string> args = c.options;
      for (const std::string& arg : arguments(p, dir.write("samples", c.content), dir)) {
        args.push_back(arg);
      }
      const Outcome o = run(p.name, args);
      EXPECT_EQ(o.err, placed(c.err));
      if (c.like.empty()) {
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out, "");
        EXPECT_FALSE(testing_helpers::exists(dir.path("cdf")));
        continue;
      }
      const std::string written = testing_helpers::read_file(dir.path("cdf"));
      std::vector<std::string> like_args = arguments(p, dir.write("like", c.like), dir);
      const Outcome like = run(p.name, like_args);
      ASSERT_EQ(like.status, 0) << like.err;
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.out, like.out);
      EXPECT_EQ(written, testing_helpers::read_file(dir.path("cdf")));
    }
  }
}

}  // namespace
