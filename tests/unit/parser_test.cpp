// Whole compiles in one process: where the parse stack's limit falls, and
// where syntax errors are reported.
#include <gtest/gtest.h>

#include <string>

#include "front/session.hpp"

namespace {

std::string repeat(const std::string &text, int times) {
  std::string out;
  out.reserve(text.size() * size_t(times));
  for (int i = 0; i < times; i++) out += text;
  return out;
}

std::string function_of(const std::string &body) { return "void main() {\n" + body + "\n}\n"; }

const std::string overflow = "Line: 2 ;yacc stack overflow\n";

// Each limit: the largest program that fits, and one more that overflows.
TEST(Parser, StackLimitFallsAtTenThousandEntries) {
  struct Case {
    const char *what;
    std::string fits, overflows;
  } cases[] = {
      {"statements", function_of(repeat("x;", 9993)), function_of(repeat("x;", 9994))},
      {"declarators", function_of("int a" + repeat(", a", 4995) + ";"),
       function_of("int a" + repeat(", a", 4996) + ";")},
      {"parentheses", function_of("a = " + repeat("(", 9990) + "b" + repeat(")", 9990) + ";"),
       function_of("a = " + repeat("(", 9991) + "b" + repeat(")", 9991) + ";")},
  };
  for (const Case &c : cases) {
    CompileResult fits = compile_text(c.fits);
    EXPECT_EQ(fits.status, 0) << c.what;
    EXPECT_EQ(fits.err, "") << c.what;
    CompileResult overflows = compile_text(c.overflows);
    EXPECT_EQ(overflows.status, 1) << c.what;
    EXPECT_EQ(overflows.err, overflow) << c.what;
    EXPECT_EQ(overflows.out, "") << c.what;
  }
}

TEST(Parser, SyntaxErrorsNameTheLineOfTheOffendingToken) {
  struct Case {
    std::string input;
    std::string err;
    int status;
  } cases[] = {
      {"", "Line: 1 ;syntax error\n", 1},
      {"\n\n\n", "Line: 4 ;syntax error\n", 1},
      {"void main() {\n x;\n", "Line: 3 ;syntax error\n", 1},
      {"void main()\n{\n a + b;\n}", "Line: 3 ;syntax error\n", 1},
      {"void main() { a = - -x; }", "Line: 1 ;syntax error\n", 1},
      {"void main() { do x; while (a) }", "Line: 1 ;syntax error\n", 1},
      {"void main() { }\n\n x", "Line: 3 ;syntax error\n", 1},
      {"void main() { }\n\n # \n", "", 0},
      {"int main() { for (; int i; ) x; }", "Line: 1 ;syntax error\n", 1},
      {"int main() { for (i = 0, j = 1; ; i = i + 1, j = j + 1) x; for (;; int i) x; }", "", 0},
  };
  for (const Case &c : cases) {
    CompileResult r = compile_text(c.input);
    EXPECT_EQ(r.err, c.err) << c.input;
    EXPECT_EQ(r.status, c.status) << c.input;
  }
}

// A syntax error stops scanning: nothing after the offending token is echoed.
TEST(Parser, NothingIsScannedAfterTheError) {
  EXPECT_EQ(compile_text("void main() { a + # b; }").out, "");
  EXPECT_EQ(compile_text("void main() { a = b # c; }").out, "#");
}

TEST(Parser, RepeatedCompilesStartFromTheSameState) {
  std::string program = function_of("if (a < b) x = -y; else while (c) d = d * (e + 1);");
  CompileResult first = compile_text(program);
  CompileResult second = compile_text(program);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, second.out);
}

}  // namespace
