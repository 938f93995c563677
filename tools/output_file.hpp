// An output file that never destroys data. A regular file is written as a
// new file in its own directory and renamed over the old one only once it is
// complete, so that a failed run (a bad sample file, a full disk, a
// file-size limit, any signal) leaves the old file as it was and nothing new.
// Where the system allows (Linux, most file systems), the new file has no name
// until it is complete, so that not even SIGKILL leaves a stray file; elsewhere
// it has a hidden temporary name that a handler of every signal that ends the
// process removes. Standard output ("-", or a path that leads to it), FIFOs
// and devices are written directly.
#pragma once

#include <cstdio>
#include <string>

namespace output_file {

struct OutputFile {
  std::FILE* stream = nullptr;
  const char* path = "-";     // as given, for messages; "-" is standard output
  std::string target;         // the file a complete run replaces; empty when written directly
  std::string temporary;      // the name it is written under until then; empty while it has none
  bool keeps_names = false;   // target's directory is append-only: a name given there stays
  bool private_mode = false;  // made the user's alone, to take the mode of the file it replaces
};

// Opens path for writing before the input at input_path is read, so that a
// path that cannot be written, or a file that could not be put in place
// after the run, fails the run at once. Refuses, with status 2, a path that
// leads to the input file itself.
OutputFile open(const char* path, const char* input_path);

// Checks that every byte got out and puts the file in place; ends the run
// when it cannot.
void commit(OutputFile& file);

}  // namespace output_file
