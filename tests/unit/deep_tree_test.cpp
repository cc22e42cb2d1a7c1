// Trees far deeper than the call stack could walk recursively: a left-leaning
// chain of millions of operators prints and compiles exactly.
#include <gtest/gtest.h>

#include <string>

#include "front/session.hpp"

namespace {

constexpr int chain_length = 5'000'000;  // operators in `a = b op b op ... op b;`

std::string chain_program(const std::string &op, int operators) {
  std::string program = "void main() { a = b";
  program.reserve(program.size() + size_t(operators) * (op.size() + 3) + 8);
  for (int i = 0; i < operators; i++) program += " " + op + " b";
  return program + "; }";
}

// Code of the chain: the innermost operator has two leaves; every other one
// stores and reloads its left operand, numbered from the outermost (1) in.
std::string arithmetic_chain_code(const std::string &op_lines, int operators) {
  std::string code = "LOAD b, R1\n" + op_lines;
  for (int t = operators - 1; t >= 1; t--)
    code += "STORE R1, Temp" + std::to_string(t) + "\nLOAD Temp" + std::to_string(t) + ", R1\n" + op_lines;
  return code + "STORE R1, a\n";
}

std::string logic_chain_code(const std::string &op, const std::string &operand_order, int operators) {
  std::string code = "LOAD b, R1\n";
  for (int t = operators; t >= 1; t--) {
    std::string temp = "temp" + std::to_string(t);
    std::string line = operand_order == "temp first" ? op + " " + temp + ", R1\n" : op + " R1, " + temp + "\n";
    code += "STORE R1, " + temp + "\nLOAD b, R1\n" + line;
  }
  return code + "STORE R1, a\n";
}

std::string code_section(const std::string &out) {
  std::string heading = "Code Generated:\n";
  size_t at = out.find(heading);
  return at == std::string::npos ? "" : out.substr(at + heading.size());
}

TEST(DeepTree, LongChainsCompileToTheirExactCode) {
  struct Case {
    std::string op;
    std::string code;
  } cases[] = {
      {"+", arithmetic_chain_code("ADD b, R1\n", chain_length)},
      {"-", arithmetic_chain_code("NEG b\nADD b, R1\n", chain_length)},
      {"*", arithmetic_chain_code("MULT b, R1\n", chain_length)},
      {"&&", logic_chain_code("AND", "R1 first", chain_length)},
      {"<", logic_chain_code("L", "temp first", chain_length)},
  };
  for (const Case &c : cases) {
    CompileResult r = compile_text(chain_program(c.op, chain_length));
    ASSERT_EQ(r.status, 0) << c.op;
    EXPECT_TRUE(code_section(r.out) == c.code) << c.op << ": code differs";
  }
}

// Nested on the right, `a = b * (b * (... (b * b)))`: each compound operator
// reserves two numbers, A = 2k - 1 and B = 2k from the outermost (k = 1) in,
// and writes them back in the reverse order, thousands of numbers after it
// reserved them; as deep as the parse stack allows.
TEST(DeepTree, NumbersWrittenLongAfterTheyWereReservedStayExact) {
  for (int operators : {1, 2, 10, 1100, 3300}) {
    std::string program = "void main() { a = ", closing;
    for (int k = 1; k < operators; k++) program += "b * (", closing += ")";
    program += "b * b" + closing + "; }";
    std::string code;
    for (int k = 1; k < operators; k++) code += "LOAD b, R1\nSTORE R1, Temp" + std::to_string(2 * k - 1) + "\n";
    code += "LOAD b, R1\nMULT b, R1\n";
    for (int k = operators - 1; k >= 1; k--) {
      std::string a = std::to_string(2 * k - 1), b = std::to_string(2 * k);
      code += "STORE R1, Temp" + b + "\nLOAD Temp" + a + ", R1\nMULT Temp" + b + ", R1\n";
    }
    CompileResult r = compile_text(program);
    ASSERT_EQ(r.status, 0) << operators << " operators: " << r.err;
    EXPECT_TRUE(code_section(r.out) == code + "STORE R1, a\n") << operators << " operators: code differs";
  }
}

TEST(DeepTree, LongChainPrintsAsNestedBrackets) {
  CompileResult r = compile_text(chain_program("+", chain_length));
  ASSERT_EQ(r.status, 0);
  std::string nested;
  for (int i = 0; i < chain_length; i++) nested += "+ \n( ";
  // Every closing bracket but the innermost is followed by the right operand "b ".
  std::string closing;
  closing.reserve(size_t(chain_length) * 3);
  closing += ")";
  for (int i = 1; i < chain_length; i++) closing += "b )";
  std::string expected = "Abstract Syntax Tree:\n(. \n( VOID \n( main ). \n( = \n( a " + nested + "b b " + closing +
                         "))))\n\nTotal No Of Lines:1\n\nCode Generated:\n";
  EXPECT_TRUE(r.out.compare(0, expected.size(), expected) == 0) << r.out.substr(0, 200);
}

}  // namespace
