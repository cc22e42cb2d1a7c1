// r1explain: shows how r1c compiles programs. Options choose the mode; each
// file named (standard input for "-" or none) is compiled and explained in
// turn, and a file that fails never stops the ones after it.
#include <unistd.h>
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
#include "r1explain/explain_text.hpp"
#include "r1explain/listing.hpp"

namespace {

// The error of the first failed write to standard output, kept because a
// later flush that has nothing left to write leaves errno at 0.
int output_error = 0;

void write_output(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && output_error == 0) output_error = errno;
}

// Exit statuses, the worst of all files' being the program's.
constexpr int status_compiled = 0;
constexpr int status_syntax_error = 1;
constexpr int status_failure = 2;  // unreadable input, unwritable output, no memory, bad usage
constexpr size_t read_block_bytes = size_t(1) << 16;

// Steps written by --steps unless --max-steps says otherwise: a program of
// megabytes takes millions, and each is a line.
constexpr int64_t default_max_steps = 100000;

enum Mode {
  MODE_DIAGNOSE,  // nothing for a program that compiles, else where and why it does not
  MODE_LISTING,   // the code with each statement's source lines before it
  MODE_STEPS,     // the parse, step by step
  MODE_STATES,    // the parser's states
};

enum ColourChoice { COLOUR_AUTO, COLOUR_NEVER, COLOUR_ALWAYS };

struct Options {
  Mode mode = MODE_DIAGNOSE;
  std::vector<std::string> files;  // "-" for standard input
  bool help = false;
  bool version = false;
  ColourChoice colour = COLOUR_AUTO;
  int64_t max_steps = default_max_steps;  // 0 for no limit
  bool colour_errors = false;             // decided from colour and standard error
};

constexpr const char *usage = "usage: r1explain [--listing | --steps | --states] [OPTION...] [FILE...]\n";

constexpr const char *help_text =
    "usage: r1explain [--listing | --steps | --states] [OPTION...] [FILE...]\n"
    "Shows how r1c compiles each FILE (standard input for - or none).\n"
    "With no mode, says where and why a program does not compile, and nothing\n"
    "for one that does.\n"
    "\n"
    "  --listing        the generated code, each statement's source lines before its code\n"
    "  --steps          the parse step by step: stack, lookahead and action\n"
    "  --states         the parser's states with their items, actions and gotos\n"
    "  --max-steps=N    stop --steps after N steps (default 100000; 0 for no limit)\n"
    "  --color=WHEN     colour messages: auto (on a terminal), always or never\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Exit status: 0 all compiled, 1 a syntax error, 2 a file or output failed.\n";

bool option_value(std::string_view arg, std::string_view name, std::string_view &value) {
  if (arg.substr(0, name.size()) != name) return false;
  value = arg.substr(name.size());
  return true;
}

bool parse_count(std::string_view text, int64_t &count) {
  if (text.empty() || text.size() > 18) return false;
  count = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    count = count * 10 + (c - '0');
  }
  return true;
}

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
    } else if (arg == "--steps") {
      options.mode = MODE_STEPS;
    } else if (arg == "--states") {
      options.mode = MODE_STATES;
    } else if (std::string_view value; option_value(arg, "--max-steps=", value)) {
      if (!parse_count(value, options.max_steps)) {
        std::fprintf(stderr, "r1explain: --max-steps needs a number of steps, not '%.*s'\n%s", int(value.size()),
                     value.data(), usage);
        return false;
      }
    } else if (std::string_view value; option_value(arg, "--color=", value) || option_value(arg, "--colour=", value)) {
      if (value == "auto") {
        options.colour = COLOUR_AUTO;
      } else if (value == "always") {
        options.colour = COLOUR_ALWAYS;
      } else if (value == "never") {
        options.colour = COLOUR_NEVER;
      } else {
        std::fprintf(stderr, "r1explain: --color takes auto, always or never, not '%.*s'\n%s", int(value.size()),
                     value.data(), usage);
        return false;
      }
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else {
      std::fprintf(stderr, "r1explain: unknown option %s\n%s", argv[i], usage);
      return false;
    }
  }
  if (options.mode == MODE_STATES && !options.files.empty()) {
    std::fprintf(stderr, "r1explain: --states takes no file\n%s", usage);
    return false;
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

// Where and why a program does not parse, on standard error; its status.
int report_syntax_error(const std::string &name, std::string_view source, const Options &options) {
  Diagnostic diagnostic = diagnose(source);
  if (diagnostic.failure) {
    std::fprintf(stderr, "r1explain: %s: %s\n", name.c_str(), diagnostic.message.c_str());
    return status_failure;
  }
  if (!diagnostic.found) return status_compiled;
  std::string text = diagnostic_text(name, source, diagnostic, options.colour_errors);
  std::fwrite(text.data(), 1, text.size(), stderr);
  return status_syntax_error;
}

// The steps of the parse of `source` on standard output, up to the limit;
// the status is that of the whole parse.
int write_steps(const std::string &name, std::string_view source, const Options &options, std::string &text) {
  Stepper stepper;
  start_steps(stepper, source);
  ParseStep step{STEP_SHIFT};
  while (!stepper.finished) {
    bool shown = options.max_steps == 0 || stepper.steps < options.max_steps;
    if (!shown) {
      step = next_step(stepper);
      continue;
    }
    std::string stack = stack_text(stepper);
    step = next_step(stepper);
    text += step_text(stepper.steps, stack, stepper, step);
    if (!stepper.finished && options.max_steps != 0 && stepper.steps == options.max_steps)
      text += "stopped after " + std::to_string(options.max_steps) + " steps; --max-steps=N shows more\n";
    if (text.size() >= read_block_bytes) {
      write_output(text);
      text.clear();
    }
  }
  finish_steps(stepper);
  if (step.kind == STEP_ACCEPT) return status_compiled;
  write_output(text);
  text.clear();
  return report_syntax_error(name, source, options);
}

// One file in the chosen mode; returns its status. With several files each
// one's output is headed by its name, after a blank line if any came before.
int explain_file(const std::string &file, const Options &options, bool headed, bool &wrote_before) {
  std::string source;
  if (!read_file(file, source)) return status_failure;
  std::string name = display_name(file);
  std::string text;
  if (headed && options.mode != MODE_DIAGNOSE) text = (wrote_before ? "\n" : "") + name + ":\n";
  if (options.mode == MODE_STEPS) {
    int status = write_steps(name, source, options, text);
    write_output(text);
    wrote_before = true;
    return status;
  }
  if (options.mode == MODE_DIAGNOSE) return report_syntax_error(name, source, options);
  CompileMap map = compile_with_map(source);
  if (map.result.status == status_syntax_error) return report_syntax_error(name, source, options);
  if (map.result.status != status_compiled) {
    std::string_view err = map.result.err;
    if (!err.empty() && err.back() == '\n') err.remove_suffix(1);
    std::fprintf(stderr, "r1explain: %s: %.*s\n", name.c_str(), int(err.size()), err.data());
    return status_failure;
  }
  text += make_listing(source, map);
  write_output(text);
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
  options.colour_errors =
      options.colour == COLOUR_ALWAYS || (options.colour == COLOUR_AUTO && isatty(STDERR_FILENO) == 1);
  if (options.mode == MODE_STATES) {
    std::string text = states_text();
    write_output(text);
    options.files.clear();
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
    if (output_error == 0) output_error = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "r1explain: error writing standard output: %s\n", std::strerror(output_error));
    return status_failure;
  }
  return status;
}
