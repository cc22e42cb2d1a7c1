// The map of a compile and r1explain's listing: their properties over many
// generated programs, and which statement owns each code line in programs
// where that is known by hand.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../../fuzz/explain_checks.hpp"
#include "front/source_map.hpp"
#include "program_generator.hpp"

namespace {

// The generated programs are one line; breaking lines at random blanks, and
// indenting some with tabs, moves every token to other lines and columns.
std::string spread_over_lines(const std::string &program, std::mt19937 &random) {
  std::string spread;
  for (char c : program) {
    if (c == ' ' && random() % 4 == 0)
      spread += random() % 2 ? "\n" : "\n\t";
    else
      spread += c;
  }
  return spread;
}

TEST(SourceMap, PropertiesHoldForGeneratedPrograms) {
  ProgramGenerator generator{std::mt19937(20261209), 0};
  std::mt19937 random(7);
  size_t code_lines = 0;
  for (int i = 0; i < 3000; i++) {
    std::string program = spread_over_lines(generator.program(), random);
    ASSERT_EQ(explain_violation(program), "") << program;
    code_lines += compile_with_map(program).code.size();
  }
  EXPECT_GT(code_lines, 100000u);  // the programs are not trivially small
}

// Bytes the scanner echoes may lie inside a span grown by parentheses: an
// underscore that starts no name is not part of one.
TEST(SourceMap, EchoedUnderscoresAreNoPartOfANamesSpan) {
  for (const char *program :
       {"void f() {\n a = (( __ (b)));\n}\n", "void f() {\n a = (_ 12 _);\n}\n", "void f() {\n a = (x_1 _);\n}\n"})
    EXPECT_EQ(explain_violation(program), "") << program;
}

// For each code line, the first source line of the statement it belongs to.
std::vector<int64_t> statement_lines(const std::string &program) {
  CompileMap map = compile_with_map(program);
  std::vector<int64_t> lines;
  for (const MappedCodeLine &line : map.code) lines.push_back(map.nodes[size_t(line.statement)].first.line);
  return lines;
}

TEST(SourceMap, CodeLinesBelongToTheirStatement) {
  struct Case {
    const char *program;
    std::vector<int64_t> lines;
  };
  const Case cases[] = {
      // LOAD #1, STORE a; then while: LABEL, LOAD a, IFFALSE, body (2), GOTO, LABEL
      {"void f() {\n a = 1;\n while (a)\n  b = 2;\n}\n", {2, 2, 3, 3, 3, 4, 4, 3, 3}},
      // if-else: cond, IFFALSE, then, GOTO + else label, else, end label
      {"void f() {\n if (a)\n  b = 1;\n else\n  b = 2;\n}\n", {2, 2, 3, 3, 2, 2, 5, 5, 2}},
      // do: LABEL, body, cond, IFTRUE
      {"void f() {\n do\n  b = 1;\n while (a);\n}\n", {2, 3, 3, 2, 2}},
      // for: init, label, body, step, GOTO
      {"void f() {\n for (i = 0;; i = i + 1) {\n  b = i;\n }\n}\n", {2, 2, 2, 3, 3, 2, 2, 2, 2}},
      // a declaration with two assignments is one statement over two lines
      {"void f() {\n int a = 1,\n  b = 2;\n}\n", {2, 2, 2, 2}},
  };
  for (const Case &c : cases) EXPECT_EQ(statement_lines(c.program), c.lines) << c.program;
}

}  // namespace
