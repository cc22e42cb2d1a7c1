// The tree's memory: names of every length, numerals and nodes spread over
// many chunks, and names large enough to take a chunk of their own, come back
// out of the report exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "front/session.hpp"

namespace {

std::string code_section(const std::string &out) {
  std::string heading = "Code Generated:\n";
  size_t at = out.find(heading);
  return at == std::string::npos ? "" : out.substr(at + heading.size());
}

// A name of `length` bytes that differs from its neighbours.
std::string name_of_length(size_t length, size_t seed) {
  std::string name(length, 'a');
  for (size_t i = 0; i < length; i++) name[i] = char('a' + (seed * 7 + i * 13) % 26);
  return name;
}

struct Case {
  const char *what;
  int statements;    // `name = number;` statements in the body
  size_t longest;    // names run through the lengths 1 to longest
  size_t huge_name;  // every hundred-thousandth name is this long instead, if not 0
};

TEST(TreeMemory, NamesAndNumbersComeBackExactly) {
  const Case cases[] = {
      {"names across the short copy's bound", 2000, 40, 0},
      {"a tree over several chunks", 400'000, 24, 0},
      {"names that take chunks of their own", 250'000, 12, size_t(9) << 20},
  };
  for (const Case &c : cases) {
    // Blocks of 100 statements keep each list well inside the parse stack.
    std::string program = "int main() {\n";
    std::string expected;
    for (int i = 0; i < c.statements; i++) {
      if (i % 100 == 0) program += i ? "}\n{\n" : "{\n";
      bool huge = c.huge_name && i % 100'000 == 50'000;
      std::string name = name_of_length(huge ? c.huge_name : size_t(i) % c.longest + 1, size_t(i));
      std::string number = std::to_string(int64_t(i) * 7919 % 2147483647);
      program += name + " = " + number + ";\n";
      expected += "LOAD #" + number + ", R1\nSTORE R1, " + name + "\n";
    }
    program += "}\n}\n";
    CompileResult r = compile_text(program);
    ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
    EXPECT_TRUE(code_section(r.out) == expected) << c.what;
  }
}

}  // namespace
