// Whole compiles in one process: where the parse stack's limit falls, and
// where syntax errors are reported; r1c's own parse against the table loop
// that the compiles with positions use.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "front/session.hpp"
#include "front/source_map.hpp"
#include "program_generator.hpp"

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

// The pieces of a program to mutate: names and numerals, runs of operator
// characters, and each other character but blanks.
std::vector<std::string> pieces_of(const std::string &program) {
  auto kind = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ? 0 : std::strchr("|&=!<>+-*/%", c) ? 1 : 2;
  };
  std::vector<std::string> pieces;
  for (size_t i = 0; i < program.size(); i++) {
    if (program[i] == ' ' || program[i] == '\n') continue;
    size_t end = i + 1;
    if (kind(program[i]) < 2)
      while (end < program.size() && kind(program[end]) == kind(program[i])) end++;
    pieces.push_back(program.substr(i, end - i));
    i = end - 1;
  }
  return pieces;
}

std::string joined(const std::vector<std::string> &pieces) {
  std::string text;
  for (size_t i = 0; i < pieces.size(); i++) text += (i % 7 == 6 ? "\n" : " ") + pieces[i];
  return text;
}

// r1c's parse and the table loop give the same output, message, line and
// status: the compile with positions is the table loop's.
void expect_same_as_table_loop(const std::string &program) {
  CompileResult own = compile_text(program);
  CompileResult tables = compile_with_map(program).result;
  ASSERT_EQ(own.err, tables.err) << program;
  ASSERT_EQ(own.status, tables.status) << program;
  ASSERT_EQ(own.out, tables.out) << program;
}

// Every prefix of some programs, and many programs with one piece deleted,
// repeated, replaced by another or swapped with the next: the errors fall at
// the same token of the same line.
TEST(Parser, OwnParseMatchesTheTableLoopOnBrokenPrograms) {
  ProgramGenerator generator{std::mt19937(1209), 0};
  std::mt19937 random(42);
  int errors = 0;
  for (int i = 0; i < 1500; i++) {
    std::vector<std::string> pieces = pieces_of(generator.program());
    if (i < 20)
      for (size_t n = 0; n <= pieces.size(); n++)
        expect_same_as_table_loop(joined(std::vector<std::string>(pieces.begin(), pieces.begin() + long(n))));
    std::vector<std::string> broken = pieces;
    size_t at = random() % pieces.size();
    switch (random() % 4) {
      case 0: broken.erase(broken.begin() + long(at)); break;
      case 1: broken.insert(broken.begin() + long(at), pieces[at]); break;
      case 2: broken[at] = pieces[random() % pieces.size()]; break;
      default:
        if (at + 1 < broken.size()) std::swap(broken[at], broken[at + 1]);
    }
    std::string program = joined(broken);
    expect_same_as_table_loop(program);
    errors += compile_text(program).status == 1;
  }
  EXPECT_GT(errors, 500);  // most mutations break the program
}

// Every case input and example, whole and with each piece in turn deleted or
// repeated (the first 400): the same output, message, line and status.
TEST(Parser, OwnParseMatchesTheTableLoopOnEveryCaseWithAPieceMissing) {
  int programs = 0;
  for (const char *directory : {R1C_CASES_DIR, R1C_EXAMPLES_DIR}) {
    for (const auto &entry : std::filesystem::recursive_directory_iterator(directory)) {
      std::string extension = entry.path().extension().string();
      if (extension != ".in" && extension != ".c") continue;
      std::ifstream file(entry.path(), std::ios::binary);
      std::string program((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      std::vector<std::string> pieces = pieces_of(program);
      expect_same_as_table_loop(program);
      for (size_t at = 0; at < pieces.size() && at < 400; at++) {
        std::vector<std::string> missing = pieces, repeated = pieces;
        missing.erase(missing.begin() + long(at));
        repeated.insert(repeated.begin() + long(at), pieces[at]);
        expect_same_as_table_loop(joined(missing));
        expect_same_as_table_loop(joined(repeated));
      }
      programs++;
    }
  }
  EXPECT_GT(programs, 200);
}

// Nestings of each kind: the smallest that overflows, its neighbours and
// smaller ones overflow, or not, at the same token as in the table loop.
TEST(Parser, OwnParseOverflowsWhereTheTableLoopDoes) {
  struct Form {
    const char *before, *open, *inner, *close, *after;
  } forms[] = {
      {"", "{", "", "}", ""},
      {"", "if (a)\n", "x;", "", ""},
      {"", "if (a) x; else\n", "y;", "", ""},
      {"", "while (a) do\n", "x;", " while (b);", ""},
      {"", "for (;;)\n", "x;", "", ""},
      {"", "x;\n", "", "", ""},
      {"x = ", "(", "b", ")", ";"},
      {"x = ", "-(", "b", ")", ";"},
      {"x = ", "a * (", "b", ")", ";"},
      {"int a", ", a", "", "", ";"},
      {"for (a = 1", ", a = 1", "", "", ";;) x;"},
  };
  for (const Form &form : forms) {
    auto program = [&](int n) {
      return function_of(form.before + repeat(form.open, n) + form.inner + repeat(form.close, n) + form.after);
    };
    int fits = 0, overflows = 12000;
    while (overflows - fits > 1) {
      int middle = (fits + overflows) / 2;
      bool overflowed = compile_text(program(middle)).err.ends_with(" ;yacc stack overflow\n");
      (overflowed ? overflows : fits) = middle;
    }
    EXPECT_LT(overflows, 12000) << program(1);
    for (int n : {1, 2, 3, overflows / 2, overflows - 2, overflows - 1, overflows, overflows + 1})
      expect_same_as_table_loop(program(n));
  }
}

}  // namespace
