// Failing output and unusual sample files, through every program.
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
  std::string samples;                // a good sample file's content
  std::vector<std::string> trailing;  // the arguments after the sample file
  std::string out;                    // what it prints for those samples
};

// varnoth's distribution file goes to @, the scratch directory.
std::vector<Program> programs() {
  return {
      {"varnoth", "0.25\n0.75\n", {"@/cdf"}, "0.500000000\n"},
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

// Asked alone, --help and --version answer on stdout; a wrong argument count
// is still a usage error on stderr.
TEST(IoFaults, HelpAndVersion) {
  for (const Program& p : programs()) {
    SCOPED_TRACE(p.name);
    for (const std::string flag : {"--help", "-h"}) {
      const Outcome o = run(p.name, {flag});
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.out.rfind("usage: " + p.name + " SAMPLE_FILE", 0), 0u) << o.out;
      EXPECT_NE(o.out.find("standard input"), std::string::npos) << o.out;
      EXPECT_EQ(o.err, "");
    }
    for (const std::string flag : {"--version", "-V"}) {
      const Outcome o = run(p.name, {flag});
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.out, p.name + " (netfigures) " NETFIGURES_VERSION "\n");
      EXPECT_EQ(o.err, "");
    }
    const Outcome wrong = run(p.name, {"--help", "x", "y", "z"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.rfind("usage: " + p.name + " SAMPLE_FILE", 0), 0u) << wrong.err;
  }
}

}  // namespace
