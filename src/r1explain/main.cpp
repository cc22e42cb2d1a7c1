// r1explain: shows how r1c compiles programs. Options choose the mode; each
// file named (standard input for "-" or none) is compiled and explained in
// turn, and a file that fails never stops the ones after it.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "front/source_map.hpp"
#include "r1explain/listing.hpp"

namespace {

// Exit statuses, the worst of all files' being the program's.
constexpr int status_compiled = 0;
constexpr int status_syntax_error = 1;
constexpr int status_failure = 2;  // unreadable input, unwritable output, no memory, bad usage
constexpr size_t read_block_bytes = size_t(1) << 16;

enum Mode {
  MODE_NONE,
  MODE_LISTING,  // the code with each statement's source lines before it
};

struct Options {
  Mode mode = MODE_NONE;
  std::vector<std::string> files;  // "-" for standard input
  bool help = false;
  bool version = false;
};

constexpr const char *usage = "usage: r1explain --listing [FILE...]\n";

constexpr const char *help_text =
    "usage: r1explain --listing [FILE...]\n"
    "Shows how r1c compiles each FILE (standard input for - or none).\n"
    "\n"
    "  --listing  the generated code, each statement's source lines before its code\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Exit status: 0 all compiled, 1 a syntax error, 2 a file or output failed.\n";

// False, with a message, for an unknown option.
bool parse_options(int argc, char **argv, Options &options) {
  bool only_files = false;
  for (int i = 1; i < argc; i++) {
    std::string_view arg = argv[i];
    if (only_files || arg == "-" || arg.substr(0, 1) != "-") {
      options.files.emplace_back(arg);
    } else if (arg == "--") {
      only_files = true;
    } else if (arg == "--listing") {
      options.mode = MODE_LISTING;
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else {
      std::fprintf(stderr, "r1explain: unknown option %s\n%s", argv[i], usage);
      return false;
    }
  }
  if (options.files.empty()) options.files.emplace_back("-");
  return true;
}

std::string display_name(const std::string &file) { return file == "-" ? "<stdin>" : file; }

// The whole of a file; false, with a message, when it cannot be read.
bool read_file(const std::string &file, std::string &text) {
  std::FILE *input = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
  if (!input) {
    std::fprintf(stderr, "r1explain: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return false;
  }
  size_t size = 0;
  for (;;) {
    text.resize(size + read_block_bytes);
    size_t read = std::fread(text.data() + size, 1, read_block_bytes, input);
    size += read;
    if (read < read_block_bytes) break;
  }
  text.resize(size);
  bool failed = std::ferror(input);
  int error = errno;
  if (input == stdin)
    std::clearerr(stdin);
  else
    std::fclose(input);
  if (failed)
    std::fprintf(stderr, "r1explain: error reading %s: %s\n", display_name(file).c_str(), std::strerror(error));
  return !failed;
}

// The compiler's "Line: N ;message" as compilers put it: "NAME:N: message".
void report_syntax_error(const std::string &name, std::string_view err) {
  constexpr std::string_view prefix = "Line: ";
  size_t separator = err.find(" ;");
  if (err.substr(0, prefix.size()) != prefix || separator == std::string_view::npos) {
    std::fprintf(stderr, "%s: %.*s", name.c_str(), int(err.size()), err.data());
    return;
  }
  std::string_view line = err.substr(prefix.size(), separator - prefix.size());
  std::string_view message = err.substr(separator + 2);
  if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
  std::fprintf(stderr, "%s:%.*s: %.*s\n", name.c_str(), int(line.size()), line.data(), int(message.size()),
               message.data());
}

// One file in the chosen mode; returns its status. With several files each
// one's output is headed by its name, after a blank line if any came before.
int explain_file(const std::string &file, const Options &options, bool headed, bool &wrote_before) {
  std::string source;
  if (!read_file(file, source)) return status_failure;
  std::string name = display_name(file);
  CompileMap map = compile_with_map(source);
  if (map.result.status == status_syntax_error) {
    report_syntax_error(name, map.result.err);
    return status_syntax_error;
  }
  if (map.result.status != status_compiled) {
    std::string_view err = map.result.err;
    if (!err.empty() && err.back() == '\n') err.remove_suffix(1);
    std::fprintf(stderr, "r1explain: %s: %.*s\n", name.c_str(), int(err.size()), err.data());
    return status_failure;
  }
  std::string text;
  if (headed) text = (wrote_before ? "\n" : "") + name + ":\n";
  switch (options.mode) {
    case MODE_LISTING: text += make_listing(source, map); break;
    case MODE_NONE: break;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  wrote_before = wrote_before || !text.empty();
  return status_compiled;
}

}  // namespace

int main(int argc, char **argv) {
  // A reader that has gone away, or a file grown to its size limit, is a
  // failed write, reported with status 2, not a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  Options options;
  if (!parse_options(argc, argv, options)) return status_failure;
  if (options.help || options.version) {
    std::fputs(options.help ? help_text : "r1explain " R1C_VERSION "\n", stdout);
    return std::fflush(stdout) == 0 ? status_compiled : status_failure;
  }
  if (options.mode == MODE_NONE) {
    std::fprintf(stderr, "r1explain: no mode given\n%s", usage);
    return status_failure;
  }
  int status = status_compiled;
  bool headed = options.files.size() > 1;
  bool wrote_before = false;
  for (size_t i = 0; i < options.files.size(); i++) {
    int file_status;
    try {
      file_status = explain_file(options.files[i], options, headed, wrote_before);
    } catch (const std::bad_alloc &) {
      std::fprintf(stderr, "r1explain: %s: out of memory\n", display_name(options.files[i]).c_str());
      file_status = status_failure;
    }
    status = std::max(status, file_status);
  }
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0) {
    std::fprintf(stderr, "r1explain: error writing standard output: %s\n", std::strerror(errno));
    return status_failure;
  }
  return status;
}
