// r1c: compiles the one program on standard input and writes its report to
// standard output. Arguments are ignored.
#include <csignal>

#include "front/session.hpp"

int main() {
  // A reader that has gone away, or a file grown to its size limit, is a
  // failed write, reported with status 2, not a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  return run_compiler();
}
