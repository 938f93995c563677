#include "tools/program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace program {

namespace {

About self{"netfigures", "", ""};
int arg_count = 0;
char** args = nullptr;
int first_operand = 1;               // args[first_operand] is the sample file
sample_input::ReadError found;       // what the sample file was found to hold, for the warnings
const char* partial_file = nullptr;  // see remove_on_failure

const char* name() { return self.name; }

// A file name or argument as a message shows it: on one line, whatever bytes it holds.
std::string shown(const char* text) {
  const std::size_t length = std::strlen(text);
  std::string out(4 * length + 8, '\0');
  out.resize(sample_input::escape(text, text + length, out.data(), out.size()));
  return out;
}

std::string shown_input(const char* path) {
  return std::strcmp(path, "-") == 0 ? "standard input" : shown(path);
}

// Whether text shows in a message as it is, but for its backslashes, which
// show doubled: no byte of it shows as \xNN.
bool shows_as_it_is(const char* text) {
  std::string doubled;
  for (const char* c = text; *c != '\0'; ++c) doubled += *c == '\\' ? "\\\\" : std::string(1, *c);
  return shown(text) == doubled;
}

// A word of a command line that a message shows for the user to run. The
// message's own escaping (a backslash as \\, other bytes as \xNN) comes
// first, and the quoting is made to hold after it: the word in single quotes,
// but for a backslash, which stands outside them, where the \\ the message
// shows reads back as one backslash, and a quote, written '"'"'.
std::string shell_word(const char* word) {
  const std::size_t length = std::strlen(word);
  if (length != 0 && std::strspn(word,
                                 "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                 "0123456789%+,-./:=@_") == length) {
    return word;
  }
  std::string quoted = "'";
  const char* run = word;  // bytes shown as they are, or as the message escapes them
  for (const char* c = word;; ++c) {
    if (*c != '\\' && *c != '\'' && *c != '\0') continue;
    quoted += shown(std::string(run, c).c_str());
    if (*c == '\0') break;
    quoted += *c == '\'' ? "'\"'\"'" : "'\\\\'";
    run = c + 1;
  }
  return quoted + "'";
}

// The run ends here: the partial output goes, the line is written whole.
[[noreturn]] void die(int status, const std::string& line) {
  if (partial_file != nullptr) ::unlink(partial_file);
  std::fputs((line + "\n").c_str(), stderr);
  std::exit(status);
}

std::string prefix() { return std::string(name()) + ": "; }

// Whether a token reads as a real number once its comma is a point ("0,5"):
// a decimal comma, as spreadsheets write in many locales. Not said of
// integers: a point would not make "0,5" an integer, and "1,000" there is a
// thousands separator.
bool decimal_comma(const char* token) {
  const char* const comma = std::strchr(token, ',');
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (comma == nullptr || comma == token || !digit(comma[-1]) || !digit(comma[1])) return false;
  std::string text = token;
  text[static_cast<std::size_t>(comma - token)] = '.';
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0';
}

std::string read_error_line(const sample_input::ReadError& e) {
  using What = sample_input::ReadError::What;
  const std::string file = prefix() + shown_input(e.path) + ": ";
  const std::string place = file.substr(0, file.size() - 2) + ":" + std::to_string(e.line) + ": ";
  const std::string token = std::string(": '") + e.token + "'";
  switch (e.what) {
    case What::kNone:
      return file + "unreadable";
    case What::kSystem:
      return file + std::strerror(e.errnum);
    case What::kNoNumber:
      return file + "no number in the file";
    case What::kNotANumber:
      return place + "not a number" + token +
             (decimal_comma(e.token) ? " (a decimal point is needed)" : "");
    case What::kNotAnInteger:
      return place + "not an integer" + token;
    case What::kOutOfRange:
      return place + "integer out of the 64-bit range" + token;
    case What::kTooLong:
      return place + "number longer than " + std::to_string(sample_input::kMaxNumberLength) +
             " characters" + token;
    case What::kShortLine:
      return place + "line has " + std::to_string(e.fields) +
             (e.fields == 1 ? " field" : " fields") + ", no field " + std::to_string(e.field) +
             token;
    case What::kEmptyField:
      return place + "field " + std::to_string(e.field) + " is empty" + token;
    case What::kOpenQuote:
      return place + "quote not closed before the end of the line" + token;
    case What::kNoSuchName:
      return place + "no field named '" + shown(e.name) + "' in the header: " + e.names;
    case What::kNameTwice: {
      const std::string first = std::to_string(e.named[0]);
      const std::string second = std::to_string(e.named[1]);
      return place + "two fields named '" + shown(e.name) + "' in the header, " + first + " and " +
             second + "; -f " + first + " or -f " + second + " picks one";
    }
    case What::kCompressed: {
      const std::string how = file + "looks " + e.compressor + "-compressed; decompress it first";
      if (std::strcmp(e.path, "-") == 0) return how + " with " + e.decompressor;
      // The same command line with the file on standard input: the options
      // as given, "-" for the sample file, the operands after it, each word
      // shown and quoted so that the line runs as it stands. A name that
      // begins with - would be an option to the decompressor.
      // A word with a byte the message shows as \xNN would name another
      // file in the shell: then only the command to use is said.
      for (int i = 1; i < arg_count; ++i) {
        if (!shows_as_it_is(args[i])) return how + " with " + e.decompressor;
      }
      const std::string path = e.path[0] == '-' ? std::string("./") + e.path : e.path;
      std::string command = std::string(e.decompressor) + " " + shell_word(path.c_str()) + " | ";
      command += name();
      for (int i = 1; i < first_operand; ++i) command += " " + shell_word(args[i]);
      command += " -";
      for (int i = first_operand + 1; i < arg_count; ++i) command += " " + shell_word(args[i]);
      return how + ": " + command;
    }
  }
  return file + "unreadable";
}

// The options, by letter and by long name, and what the usage line and
// --help say of them.
struct Option {
  const char* name;
  const char* value;  // what its value is, as a message names it; nullptr: it takes none
  char letter;
  bool own;           // taken only by the programs whose About::own holds its letter
  const char* shown;  // its value in the usage line and --help ("N")
  const char* help;   // its lines in --help; nullptr: given alone, not in the usage line
};

// clang-format off
constexpr Option kOptions[] = {
    {"field", "a field number", 'f', false, "N",
     "read only field N of each line, counted from 1; fields\n"
     "are separated by spaces and tabs, the others may hold\n"
     "anything; with -H, N may be the name the header gives it"},
    {"header", nullptr, 'H', false, nullptr, "skip the first line, whatever it holds"},
    {"delimiter", "a delimiter", 'd', false, "C",
     "with -f, fields are separated by the one byte C (-d ,\n"
     "for a CSV, -d '\\t' for tabs); each C ends one field, as\n"
     "cut counts them, so empty fields count; a field in\n"
     "double quotes may hold C"},
    {"skip-comments", nullptr, 'C', false, nullptr,
     "skip lines whose first byte but spaces and tabs is #,\n"
     "as blank lines are, before the header too"},
    {"upper", "a number", 'u', true, "U",
     "put the 1000 points at 0, U/1000, ..., 999 U/1000 (U > 0)"},
    {"help", nullptr, 'h', false, nullptr, nullptr},
    {"version", nullptr, 'V', false, nullptr, nullptr},
};
// clang-format on

// Whether the program takes o.
bool takes(const About& about, const Option& o) {
  return !o.own || std::strchr(about.own, o.letter) != nullptr;
}

// The usage line: the options the program takes, then its operands.
std::string usage(const About& about) {
  std::string line = std::string("usage: ") + about.name;
  for (const Option& o : kOptions) {
    if (o.help == nullptr || !takes(about, o)) continue;
    line += std::string(" [-") + o.letter + (o.shown != nullptr ? std::string(" ") + o.shown : "") +
            "]";
  }
  return line + " " + about.operands;
}

// The options in --help: a line for each, its letter and long name, then
// what it does, in a column of its own.
std::string option_lines(const About& about) {
  constexpr std::size_t kColumn = 23;
  std::string lines;
  for (const Option& o : kOptions) {
    if (!takes(about, o)) continue;
    std::string left = std::string("  -") + o.letter + ", --" + o.name;
    if (o.shown != nullptr) left += std::string("=") + o.shown;
    left.resize(std::max(kColumn, left.size() + 2), ' ');
    std::string text = o.help != nullptr ? o.help
                       : o.letter == 'h' ? "print this help (given alone)"
                                         : "print the version (given alone)";
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += kColumn + 1) {
      text.insert(at + 1, kColumn, ' ');
    }
    lines += left + text + "\n";
  }
  return lines;
}

[[noreturn]] void usage_failed() { die(kUsage, usage(self)); }

// The value of -f or --field: a field number, counted from 1 as cut and awk
// count. Anything else ends the run as a wrong command line: a field that
// does not exist would read nothing, and "2x" or "1.5" is a slip, not 2 or 1.
int field_number(const char* text) {
  const char* const digits = text + (text[0] == '-');
  const std::size_t length = std::strlen(digits);
  const std::string quoted = ": '" + shown(text) + "'";
  if (length == 0 || std::strspn(digits, "0123456789") != length) {
    die(kUsage, prefix() + "field is not a whole number" + quoted);
  }
  const char* const significant = digits + std::strspn(digits, "0");
  if (text[0] == '-' || *significant == '\0') {
    die(kUsage, prefix() + "fields count from 1" + quoted);
  }
  // More than ten significant digits cannot fit an int, nor overflow atoll.
  const long long field = std::strlen(significant) > 10 ? LLONG_MAX : std::atoll(significant);
  if (field > INT_MAX) die(kUsage, prefix() + "field is too large" + quoted);
  return static_cast<int>(field);
}

// Whether the value of -f is meant as a number rather than a name: it reads
// as one, whole ("2", "1.5", "-1", " 2"), so that -f 2 is field 2 whatever
// the header holds, and a slip such as -f 1.5 is an error, not a name.
bool number_like(const char* text) {
  const char* s = text + std::strspn(text, " \t");
  s += *s == '+' || *s == '-';
  if (*text == '\0' || !(std::isdigit(static_cast<unsigned char>(*s)) != 0 || *s == '.')) {
    return *text == '\0';  // an empty value names nothing: not a whole number
  }
  char* end = nullptr;
  std::strtod(text, &end);
  return *end == '\0';
}

// The value of -d: one byte, or \t for a tab. A byte that numbers, quotes or
// line ends are made of would cut numbers apart, and so would a byte beyond
// ASCII, the first of a character of several.
char delimiter_byte(const char* text) {
  const std::string quoted = ": '" + shown(text) + "'";
  if (std::strcmp(text, "\\t") == 0) return '\t';
  if (text[0] == '\0' || text[1] != '\0') {
    die(kUsage, prefix() + "the delimiter is one byte (\\t for a tab)" + quoted);
  }
  const auto c = static_cast<unsigned char>(text[0]);
  if ((c < ' ' && c != '\t') || c >= 0x7f || std::isalnum(c) != 0 ||
      std::strchr(".+-_()\"", c) != nullptr) {
    die(kUsage,
        prefix() + "the delimiter cannot be a byte of a number, a quote or a line end" + quoted);
  }
  return text[0];
}

[[noreturn]] void unknown_option(const std::string& option, const char* arg) {
  die(kUsage, prefix() + "unknown option '" + shown(option.c_str()) + "' (a file named " +
                  shown(arg) + " is ./" + shown(arg) + ")");
}

// The option this program takes that matches, or nullptr.
template <class Matches>
const Option* option_where(Matches matches) {
  const Option* const o =
      std::find_if(std::begin(kOptions), std::end(kOptions),
                   [&](const Option& each) { return matches(each) && takes(self, each); });
  return o != std::end(kOptions) ? o : nullptr;
}

const Option* option_named(const std::string& name) {
  return option_where([&](const Option& o) { return name == o.name; });
}

const Option* option_lettered(char letter) {
  return option_where([&](const Option& o) { return letter != '\0' && letter == o.letter; });
}

// The value of -u: the last point's range, a number above 0. Read as strtod
// reads it, but whole: "1ms" is a slip, not 1.
double upper_bound(const char* text) {
  char* end = nullptr;
  const double upper = std::strtod(text, &end);
  if (end == text || *end != '\0') {
    const bool comma = *end == ',' && end != text;
    bad_number("upper", text, comma ? "a decimal point is needed" : nullptr);
  }
  if (!(upper > 0) || std::isinf(upper)) {
    die(kUsage, prefix() + "upper must be a finite number above 0: '" + shown(text) + "'");
  }
  return upper;
}

// The long option's name in --name or --name=value.
std::string long_name(const char* arg) {
  const char* const value = std::strchr(arg, '=');
  return std::string(arg + 2, value != nullptr ? value : arg + std::strlen(arg));
}

// Whether arg is spelt as the options are (-H, -f2, -Hf, --field=2, --help;
// not -5 or -x): after the operands, more likely an option in the wrong
// place, which would be taken for a file's name, than a file so named.
bool option_spelling(const char* arg) {
  if (arg[0] != '-' || arg[1] == '\0') return false;
  if (arg[1] == '-') return arg[2] == '\0' || option_named(long_name(arg)) != nullptr;
  for (const char* c = arg + 1; *c != '\0'; ++c) {
    const Option* const o = option_lettered(*c);
    if (o == nullptr) return false;
    if (o->value != nullptr) return true;  // the rest is its value
  }
  return true;
}

// Reads the options from argv[1] on, as POSIX utilities take them: they come
// before the operands, letters may be grouped (-Hf2), a value follows its
// option in the same argument or is the next one, and the first argument
// that is not an option ends them, so that a negative divisor after the
// sample file stays a divisor; "--" ends them too, and "-" is an operand.
// Written out rather than left to getopt_long, which would permute the
// arguments unless told not to, print messages of its own, take
// abbreviations of the long options, and keep global state. The index of
// the first operand; ended tells whether "--" came before it.
int read_options(int argc, char** argv, CommandLine& line, bool& ended) {
  std::string given;                 // the letters of the options with a value given so far
  const char* field_name = nullptr;  // -f NAME, which needs -H
  const auto take = [&](const Option& o, const char* value) {
    // One field is read, one range taken: a second value is a slip, as cut
    // makes a second list.
    if (o.value != nullptr && given.find(o.letter) != std::string::npos) {
      die(kUsage, prefix() + "option -" + o.letter + " given twice; " +
                      (o.letter == 'f' ? "one field is read" : "one value is taken"));
    }
    if (o.value != nullptr) given += o.letter;
    switch (o.letter) {
      case 'f':
        if (number_like(value)) {
          line.selection.field = field_number(value);
        } else {
          field_name = value;
        }
        break;
      case 'H':
        line.selection.header = true;
        break;
      case 'd':
        line.selection.delimiter = delimiter_byte(value);
        break;
      case 'C':
        line.selection.comments = true;
        break;
      case 'u':
        line.upper = upper_bound(value);
        break;
      default:
        usage_failed();  // --help and --version are answered alone only
    }
  };
  int i = 1;
  for (; i < argc; ++i) {
    const char* const arg = argv[i];
    if (arg[0] != '-' || arg[1] == '\0') break;
    if (std::strcmp(arg, "--") == 0) {
      ended = true;
      return i + 1;
    }
    if (arg[1] == '-') {
      const std::string option = "--" + long_name(arg);
      const Option* const o = option_named(option.substr(2));
      if (o == nullptr) unknown_option(option, arg);
      const char* const value = std::strchr(arg, '=');
      if (o->value == nullptr && value != nullptr) {
        die(kUsage, prefix() + "option " + option + " takes no value: '" + shown(arg) + "'");
      }
      if (o->value != nullptr && value == nullptr && i + 1 == argc) {
        die(kUsage, prefix() + "option " + option + " needs " + o->value);
      }
      take(*o, o->value == nullptr ? "" : value != nullptr ? value + 1 : argv[++i]);
      continue;
    }
    for (const char* c = arg + 1; *c != '\0'; ++c) {
      const Option* const o = option_lettered(*c);
      if (o == nullptr) {
        // A byte outside ASCII begins a character the message shows whole.
        const bool ascii = static_cast<unsigned char>(*c) < 0x80;
        unknown_option("-" + (ascii ? std::string(1, *c) : std::string(c)), arg);
      }
      if (o->value == nullptr) {
        take(*o, "");  // no value
        continue;
      }
      if (c[1] == '\0' && i + 1 == argc) {
        die(kUsage, prefix() + "option -" + *c + " needs " + o->value);
      }
      take(*o, c[1] != '\0' ? c + 1 : argv[++i]);
      break;
    }
  }
  // A name is looked for in the header; without one it is a slip for a
  // number, or a name whose -H was forgotten.
  if (field_name != nullptr && !line.selection.header) {
    die(kUsage, prefix() + "field is not a whole number: '" + shown(field_name) +
                    "' (a field's name needs -H, the header that names it)");
  }
  line.selection.name = field_name;
  if (line.selection.delimiter != '\0' && given.find('f') == std::string::npos) {
    die(kUsage, prefix() + "option -d needs -f, the field to read");
  }
  return i;
}

// A write to path ("-": standard output) failed; errno says why, where it can.
[[noreturn]] void flush_failed(const char* path) {
  const int errnum = errno != 0 ? errno : EIO;
  die(kFailed, prefix() + (std::strcmp(path, "-") == 0 ? "standard output" : shown(path)) + ": " +
                   std::strerror(errnum));
}

// Leaves what is being written in no half state when the user interrupts a
// long run: the partial file goes, then the signal takes its usual course.
extern "C" void on_signal(int signal) {
  if (partial_file != nullptr) ::unlink(partial_file);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// A descriptor of 0-2 that is closed when the program starts would be the
// next one a file is opened on, and what is meant for standard output or
// standard error would go into that file: the distribution file, when
// standard output is closed. Each is held by /dev/null opened the other way,
// so that using it still fails as on a closed descriptor.
void hold_closed_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is fd. Where /dev/null is missing (a bare
    // chroot), the root directory holds it just as well.
    if (::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY) != fd &&
        ::open("/", O_RDONLY | O_DIRECTORY) != fd) {
      die(kFailed, prefix() + "/dev/null: " + std::strerror(errno));
    }
  }
}

}  // namespace

CommandLine start(const About& about, int argc, char** argv) {
  self = about;
  arg_count = argc;
  args = argv;
  hold_closed_descriptors();
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s\n%s\n", usage(about).c_str(), about.summary);
    std::printf(
        "SAMPLE_FILE holds numbers separated by white space; - is standard input, and\n"
        "a file whose name begins with - is named ./-name or follows --. In a CSV\n"
        "whose header names a column delay, -d , -H -f delay reads that column.\n"
        "\n"
        "Options, before the files:\n"
        "%s"
        "\n"
        "Exit status: 0 done, 1 a file failed, 2 a wrong command line.\n"
        "man %s says more.\n",
        option_lines(about).c_str(), about.name);
    std::exit(finish());
  }
  if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
    std::printf("%s (netfigures) %s\n", about.name, NETFIGURES_VERSION);
    std::exit(finish());
  }
  CommandLine line{};
  bool ended = false;
  first_operand = read_options(argc, argv, line, ended);
  line.operands = argv + first_operand;
  int operands = 1;
  for (const char* c = about.operands; *c != '\0'; ++c) operands += *c == ' ';
  for (int i = first_operand; i < argc && !ended; ++i) {
    if (option_spelling(argv[i])) {
      const std::string arg = shown(argv[i]);
      die(kUsage, prefix() + "option '" + arg +
                      "' after the files; options come first (a file named " + arg + " is ./" +
                      arg + ")");
    }
  }
  if (argc - first_operand != operands) usage_failed();
  return line;
}

void bad_number(const char* name, const char* arg, const char* why) {
  std::string line = prefix() + name + " is not a number: '" + shown(arg) + "'";
  if (why != nullptr) line += std::string(" (") + why + ")";
  die(kUsage, line);
}

void file_failed(const char* path, const char* reason, int status) {
  die(status, prefix() + shown_input(path) + ": " + reason);
}

void file_failed(const char* path, int errnum) { file_failed(path, std::strerror(errnum)); }

void read_failed(const sample_input::ReadError& error) { die(kFailed, read_error_line(error)); }

void print_read_error(std::FILE* to, const sample_input::ReadError& error) {
  std::fputs((read_error_line(error) + "\n").c_str(), to);
}

void warn(const std::string& text) {
  std::fputs((prefix() + "warning: " + text + "\n").c_str(), stderr);
}

void flush(std::FILE* stream, const char* path) {
  errno = 0;
  if (std::fflush(stream) != 0 || std::ferror(stream)) flush_failed(path);
}

void close(std::FILE* stream, const char* path) {
  flush(stream, path);
  errno = 0;
  if (std::fclose(stream) != 0) flush_failed(path);
}

void read_done(const sample_input::ReadError& error) { found = error; }

void close_stdout() {
  static bool closed = false;
  if (!closed) close(stdout, "-");
  closed = true;
}

// The numbers of the word found glued: "'0.0-1.0' reads as 0.0 and -1.0".
std::string glued_numbers(const sample_input::ReadError::Glued& g) {
  const std::string word = g.word;
  std::string text = "'" + shown(g.word) + "' reads as ";
  int shown_numbers = 0;
  int begin = 0;
  for (const int end : g.ends) {
    if (end <= begin) break;
    const bool last = ++shown_numbers == g.numbers;
    text += (shown_numbers == 1 ? ""
             : last             ? " and "
                                : ", ") +
            shown(word.substr(begin, end - begin).c_str());
    begin = end;
  }
  return shown_numbers < g.numbers ? text + " and more" : text;
}

int finish() {
  close_stdout();
  // Where the input suggests a misread, the figures stand and a line after
  // them says which option reads it right. Decided from the first lines, or
  // where a line takes the general path, so it costs nothing on a long file.
  if (found.tabs > 0) {
    warn("line " + std::to_string(found.tabs) +
         " holds an empty field between two tabs, which -f counts as no field; -d '\\t' "
         "counts it");
  }
  if (found.glued.line > 0) {
    warn("line " + std::to_string(found.glued.line) +
         " holds numbers with no space between them (" + glued_numbers(found.glued) + ")");
  }
  // Every number of a file of columns read as one stream of samples: the
  // figures are not what the user meant, most likely.
  if (found.columns >= 2) {
    warn("lines hold " + std::to_string(found.columns) +
         " numbers each, all read as samples; -f N reads field N alone");
  }
  return 0;
}

void remove_on_failure(const char* path) {
  // Every signal whose default action ends the process: Ctrl-C and Ctrl-\, a
  // batch scheduler's timeout (SIGTERM, SIGUSR1, SIGALRM), a CPU-time limit
  // (SIGXCPU), a crash. Only those left at their default are caught: one the
  // shell ignores (a job started in the background) stays ignored, and a
  // handler someone else installed stays theirs.
  static const int kEnding[] = {
      SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
      SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef __linux__
      SIGSTKFLT, SIGIO,   SIGPWR,  // elsewhere SIGIO is ignored by default
#endif
  };
  static struct sigaction before[NSIG];
  static bool caught[NSIG];
  const auto each = [&](int signal) {
    if (path != nullptr && partial_file == nullptr) {
      struct sigaction clean {};
      clean.sa_handler = on_signal;
      caught[signal] = sigaction(signal, nullptr, &before[signal]) == 0 &&
                       before[signal].sa_handler == SIG_DFL &&
                       sigaction(signal, &clean, nullptr) == 0;
    } else if (path == nullptr && partial_file != nullptr && caught[signal]) {
      sigaction(signal, &before[signal], nullptr);
      caught[signal] = false;
    }
  };
  for (const int signal : kEnding) each(signal);
#ifdef SIGRTMIN
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
#endif
  partial_file = path;
}

}  // namespace program
