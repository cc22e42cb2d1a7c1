// r1tree: reads an r1c report from standard input, or from the one file named,
// and writes its syntax tree as a Graphviz DOT graph to standard output;
// r1tree --version prints its version.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "r1tree/dot.hpp"

namespace {

constexpr int status_no_tree = 1;
constexpr int status_failure = 2;  // unreadable input, unwritable output, no memory, bad usage
constexpr std::size_t read_block_bytes = std::size_t(1) << 16;

[[noreturn]] void fail(const char *what, const char *name, int error) {
  std::fprintf(stderr, "r1tree: %s%s: %s\n", what, name, std::strerror(error));
  std::exit(status_failure);
}

// The whole input; `name` is how messages call it.
std::string read_all(std::FILE *input, const char *name) {
  std::string text;
  std::size_t size = 0;
  for (;;) {
    text.resize(size + read_block_bytes);
    std::size_t read = std::fread(text.data() + size, 1, read_block_bytes, input);
    size += read;
    if (read < read_block_bytes) break;
  }
  if (std::ferror(input)) fail("error reading ", name, errno);
  text.resize(size);
  return text;
}

std::string read_input(int argc, char **argv) {
  if (argc < 2 || std::strcmp(argv[1], "-") == 0) return read_all(stdin, "standard input");
  std::FILE *file = std::fopen(argv[1], "rb");
  if (!file) fail("cannot open ", argv[1], errno);
  std::string text = read_all(file, argv[1]);
  std::fclose(file);
  return text;
}

// Every byte must reach the output: the final flush and close are checked too.
void write_all(const std::string &text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0 ||
      std::fclose(stdout) != 0)
    fail("error writing ", "standard output", errno);
}

}  // namespace

int main(int argc, char **argv) {
  // A reader that has gone away, or a file grown to its size limit, is a
  // failed write, reported with status 2, not a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc > 2) {
    std::fputs("usage: r1tree [FILE | --version]\n", stderr);
    return status_failure;
  }
  try {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      write_all("r1tree " R1C_VERSION "\n");
      return 0;
    }
    std::string dot;
    if (!report_to_dot(read_input(argc, argv), dot)) {
      std::fputs("r1tree: no syntax tree in the input\n", stderr);
      return status_no_tree;
    }
    write_all(dot);
  } catch (const std::bad_alloc &) {
    std::fputs("r1tree: out of memory\n", stderr);
    return status_failure;
  }
  return 0;
}
