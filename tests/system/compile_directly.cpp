// compile_directly: compiles standard input as r1c does, but reads it whole
// first, scans it with the parser's own calls to yylex, prints the tree and
// then generates the code, never on a second thread: the reference that
// r1c's second threads are checked against.
#include <unistd.h>

#include <cstdint>
#include <iostream>
#include <iterator>
#include <string>

#include "front/session.hpp"
#include "report/report.hpp"
#include "report/report_ahead.hpp"

int main() {
  std::string input(std::istreambuf_iterator<char>(std::cin), {});
  parallel_report_tree_bytes = SIZE_MAX;
  report_ahead_input_bytes = SIZE_MAX;
  CompileResult result = compile_text(input);
  std::cout << result.out << std::flush;
  std::cerr << result.err << std::flush;
  return result.status;
}
