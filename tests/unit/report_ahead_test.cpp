// The statements of the body reported ahead on a second thread, while the
// parser reads on, give the report the parser's own walk gives: the same
// output, messages and status, whatever the blocks, errors and sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "front/session.hpp"
#include "report/report.hpp"
#include "report/report_ahead.hpp"

namespace {

struct Settings {
  size_t ahead_input_bytes;
  size_t parallel_tree_bytes;
};

CompileResult compile_with(const std::string &program, Settings settings) {
  Settings saved{report_ahead_input_bytes, parallel_report_tree_bytes};
  report_ahead_input_bytes = settings.ahead_input_bytes;
  parallel_report_tree_bytes = settings.parallel_tree_bytes;
  CompileResult result = compile_text(program);
  report_ahead_input_bytes = saved.ahead_input_bytes;
  parallel_report_tree_bytes = saved.parallel_tree_bytes;
  return result;
}

CompileResult compile_ahead(const std::string &program) { return compile_with(program, {0, SIZE_MAX}); }
CompileResult compile_in_turn(const std::string &program) { return compile_with(program, {SIZE_MAX, SIZE_MAX}); }

void expect_same_report(const std::string &program) {
  CompileResult ahead = compile_ahead(program);
  CompileResult in_turn = compile_in_turn(program);
  EXPECT_TRUE(ahead.out == in_turn.out) << program << "\n--- ahead:\n"
                                        << ahead.out << "\n--- in turn:\n"
                                        << in_turn.out;
  EXPECT_EQ(ahead.err, in_turn.err) << program;
  EXPECT_EQ(ahead.status, in_turn.status) << program;
}

// Where the body's statements, plain blocks, empty blocks and the statements
// inside other statements meet, and where the parse ends early.
TEST(ReportAhead, SameReportForEveryShapeOfBody) {
  const char *const programs[] = {
      "void main() { }\n",
      "void main() { {} }\n",
      "void main() { {} {} }\n",
      "void main() { x; {} }\n",
      "void main() { {} x; }\n",
      "void main() { { {} } }\n",
      "void main() { { {} } {} }\n",
      "void main() { { { x = 1; } y; } { } z = 2; }\n",
      "void main() { { { { { deep = 1; } } } } last; }\n",
      "int main() { int a, b = 1, c; a = b + c * -a; }\n",
      "int main() { if (a) if (b) x = 1; else x = 2; y; }\n",
      "int main() { if (a) { } else { b; } { c; } }\n",
      "int main() { if (a) { b; } c; }\n",
      "int main() { while (i < 10) { { i = i + 1; } {} } done; }\n",
      "int main() { do { x = -x; } while (x); for (int i = 0; i < 3; i = i + 1) { {} } for (;;) {} }\n",
      "int main() { for (i = 0, j = 1; ; ) { { k = !i || j && 2; } } }\n",
      "int main()\n{\n  a = 1;\n\n  { b = 2; }\n}\n",
      // errors: in a statement, inside a block, at the end of input, after the report
      "int main() { x = 1; y = ; z = 2; }\n",
      "int main() { x = 1; { y = 2; { z = 3 } } }\n",
      "int main() { x = 1; { y = 2; }\n",
      "int main() { x = 1; } z\n",
      "int main() { x = 1; } }\n",
      // echoed bytes and numerals past the limit between reported statements
      "int main() { x = 1; @ y = 2; { # z = 3; } }\n",
      "int main() { x = 99999999999; { y = -2147483648; } }\n",
  };
  for (const char *program : programs) expect_same_report(program);
}

// Blocks of statements of every kind, nested as deep as `depth`.
std::string nested_blocks(int depth, int width, int &serial) {
  std::string text = "{\n";
  for (int i = 0; i < width; i++) {
    int n = serial++;
    std::string v = std::string("v").append(std::to_string(n % 97));
    if (depth > 0 && i % 7 == 3) {
      text += nested_blocks(depth - 1, width, serial);
      continue;
    }
    switch (n % 6) {
      case 0: text += v + " = " + v + " * (" + std::to_string(n) + " - w) / 3;\n"; break;
      case 1: text += "int " + v + " = -" + v + ", w = !" + v + ";\n"; break;
      case 2: text += "if (" + v + " < w) " + v + " = 1; else { w = w % 5; }\n"; break;
      case 3: text += "while (" + v + " != 0 && w) { " + v + " = " + v + " - 1; {} }\n"; break;
      case 4: text += "for (" + v + " = 0; " + v + " <= 9; " + v + " = " + v + " + 1) w;\n"; break;
      default: text += "{}\n"; break;
    }
  }
  return text + "}\n";
}

// Enough statements to go round the ring of statements several times, and
// enough nodes to fill many chunks, whose memory is then used again.
TEST(ReportAhead, SameReportForALargeProgram) {
  int serial = 0;
  std::string body;
  while (serial < 4 * int(statement_ring_size)) body += nested_blocks(3, 40, serial);
  std::string program = "int main() {\n" + body + "}\n";
  CompileResult ahead = compile_ahead(program);
  CompileResult in_turn = compile_in_turn(program);
  EXPECT_EQ(ahead.status, 0) << ahead.err;
  EXPECT_GT(ahead.out.size(), size_t(32) << 20);
  EXPECT_TRUE(ahead.out == in_turn.out);
  // The same program cut short: the second thread is stopped with work in hand.
  for (size_t cut : {program.size() / 3, program.size() - 3}) {
    CompileResult cut_ahead = compile_ahead(program.substr(0, cut));
    CompileResult cut_in_turn = compile_in_turn(program.substr(0, cut));
    EXPECT_EQ(cut_ahead.status, 1);
    EXPECT_EQ(cut_ahead.err, cut_in_turn.err);
    EXPECT_TRUE(cut_ahead.out == cut_in_turn.out);
  }
}

}  // namespace
