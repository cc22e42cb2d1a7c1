// Trees far deeper than the call stack could walk recursively: a left-leaning
// chain of millions of operators prints and compiles exactly.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "front/session.hpp"
#include "front/source_map.hpp"

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

// An expression as the test builds it, with its printed tree and its code
// made recursively, the plain way, from the rules of each shape.
struct Expr {
  std::string op;  // "" for a leaf
  std::string leaf;
  std::unique_ptr<Expr> left, right;  // a unary operator has only left
};

bool is_logic(const std::string &op) {
  return op == "<" || op == "<=" || op == ">" || op == ">=" || op == "==" || op == "!=" || op == "&&" || op == "||";
}

// As an operand: a leaf alone, anything else in brackets.
std::string source_of(const Expr &e, bool operand = true) {
  if (e.op.empty()) return e.leaf;
  std::string text = e.right ? source_of(*e.left) + " " + e.op + " " + source_of(*e.right) : e.op + source_of(*e.left);
  return operand ? "(" + text + ")" : text;
}

void print(const Expr &e, std::string &out) {
  if (e.op.empty()) {
    out += e.leaf + " ";
    return;
  }
  out += (e.op == "!" ? "NOT" : e.op == "&&" ? "AND" : e.op == "||" ? "OR" : e.op) + " \n( ";
  print(*e.left, out);
  if (e.right) print(*e.right, out);
  out += ")";
}

struct Reference {
  int64_t count = 1;
  std::string code;

  std::string operand(const Expr &e, int64_t temporary) {
    if (!e.op.empty()) return "Temp" + std::to_string(temporary);
    return (e.leaf[0] >= '0' && e.leaf[0] <= '9' ? "#" : "") + e.leaf;
  }
  void line(const std::string &text) { code += text + "\n"; }
  void generate(const Expr &e) {
    if (e.op.empty()) return line("LOAD " + operand(e, 0) + ", R1");
    if (!e.right) {
      int64_t t = e.op == "+" ? 0 : count++;
      generate(*e.left);
      if (e.op == "!") return line("NOT R1");
      if (e.op == "-") {
        std::string temp = "Temp" + std::to_string(t);
        line("STORE R1, " + temp), line("NEG " + temp), line("LOAD " + temp + ", R1");
      }
      return;
    }
    if (is_logic(e.op)) {
      std::string temp = "temp" + std::to_string(count++);
      generate(*e.left);
      line("STORE R1, " + temp);
      generate(*e.right);
      std::string name = e.op == "<"    ? "L"
                         : e.op == "<=" ? "LE"
                         : e.op == ">"  ? "G"
                         : e.op == ">=" ? "GE"
                         : e.op == "!=" ? "NE"
                                        : "CMP";
      if (e.op == "&&" || e.op == "||") return line((e.op == "&&" ? "AND R1, " : "OR R1, ") + temp);
      return line(name + " " + temp + ", R1");
    }
    bool right_compound = !e.right->op.empty();
    int64_t a = right_compound || !e.left->op.empty() ? count++ : 0;
    int64_t b = right_compound ? count++ : 0;
    generate(*e.left);
    if (a) line("STORE R1, Temp" + std::to_string(a));
    if (right_compound) generate(*e.right), line("STORE R1, Temp" + std::to_string(b));
    if (a) line("LOAD Temp" + std::to_string(a) + ", R1");
    std::string x = operand(*e.right, b);
    if (e.op == "-") line("NEG " + x), line("ADD " + x + ", R1");
    if (e.op == "+") line("ADD " + x + ", R1");
    if (e.op == "*") line("MULT " + x + ", R1");
    if (e.op == "/") line("DIV R1, " + x);
    if (e.op == "%") line("MOD R1, " + x);
  }
};

const std::vector<std::string> binary_operators = {
    "+", "-", "*", "/", "%", "<", "<=", ">", ">=", "==", "!=", "&&", "||"};

std::unique_ptr<Expr> leaf(std::mt19937 &random) {
  auto e = std::make_unique<Expr>();
  const char *leaves[] = {"b", "c", "0", "7", "name_longer_than_sixteen"};
  e->leaf = leaves[random() % 5];
  return e;
}

std::unique_ptr<Expr> random_expr(std::mt19937 &random, int depth) {
  if (depth == 0 || random() % 3 == 0) return leaf(random);
  auto e = std::make_unique<Expr>();
  if (random() % 4 == 0) {
    const char *unary[] = {"-", "+", "!"};
    e->op = unary[random() % 3];
    e->left = random_expr(random, depth - 1);
    return e;
  }
  e->op = binary_operators[random() % binary_operators.size()];
  e->left = random_expr(random, depth - 1);
  e->right = random_expr(random, depth - 1);
  return e;
}

std::string assigned_to_a(const std::string &expression) { return "void main() { a = " + expression + "; }"; }

// The report of assigned_to_a(expr) by the recursive reference.
std::string reference_report(const Expr &expr) {
  Reference reference;
  reference.generate(expr);
  std::string expected = "Abstract Syntax Tree:\n(. \n( VOID \n( main ). \n( = \n( a ";
  print(expr, expected);
  return expected + "))))\n\nTotal No Of Lines:1\n\nCode Generated:\n" + reference.code + "STORE R1, a\n";
}

// Left-leaning chains of each operator, whose right operands are leaves,
// unary operators and compound expressions at random: the tree and the code
// are the recursive reference's. The reference's recursion bounds the depth,
// under the sanitizers' larger frames too; the long chains above go deeper.
TEST(DeepTree, ChainsWithCompoundRightOperandsMatchARecursiveReference) {
  std::mt19937 random(7);
  for (const std::string &op : binary_operators) {
    for (int operators : {1, 3, 200, 2'000}) {
      auto chain = leaf(random);
      std::string source = chain->leaf;
      for (int i = 0; i < operators; i++) {
        auto node = std::make_unique<Expr>();
        node->op = op;
        node->left = std::move(chain);
        node->right = random_expr(random, random() % 2 ? 0 : 4);
        source += " " + op + " " + source_of(*node->right);
        chain = std::move(node);
      }
      std::string expected = reference_report(*chain);
      CompileResult r = compile_text(assigned_to_a(source));
      ASSERT_EQ(r.status, 0) << op << " " << operators << ": " << r.err;
      EXPECT_TRUE(r.out == expected) << op << " " << operators << ": report differs";
      // A compile that records positions reads every node's children for
      // their spans as it builds them: the same report.
      if (operators <= 200) {
        EXPECT_TRUE(compile_with_map(assigned_to_a(source)).result.out == expected) << op;
      }
    }
  }
}

// A name of the given length, never a keyword.
std::string name_of_length(std::mt19937 &random, size_t length) {
  std::string name = "n";
  while (name.size() < length) name += "abcdefghijklmnopqrstuvwxyz0123456789_"[random() % 37];
  return name;
}

// Chains whose operands are names of lengths from 1 to past a thousand bytes:
// a name is printed and loaded whole, wherever its text falls in the tree's
// memory (across page boundaries too), and an operator finds a right operand
// whether its name lies a few units before it or more than a byte of them.
TEST(DeepTree, NamesOfEveryLengthMatchARecursiveReference) {
  std::mt19937 random(11);
  for (int round = 0; round < 40; round++) {
    auto operand = [&] {
      auto e = std::make_unique<Expr>();
      size_t length = random() % 4 ? 1 + random() % 40 : 1 + random() % 1200;
      e->leaf = name_of_length(random, length);
      if (random() % 5) return e;
      auto compound = std::make_unique<Expr>();
      compound->op = binary_operators[random() % binary_operators.size()];
      compound->left = std::move(e);
      compound->right = leaf(random);
      return compound;
    };
    std::string op = binary_operators[random() % binary_operators.size()];
    auto chain = operand();
    std::string source = source_of(*chain);
    for (int i = 0; i < 150; i++) {
      auto node = std::make_unique<Expr>();
      node->op = op;
      node->left = std::move(chain);
      node->right = operand();
      source += " " + op + " " + source_of(*node->right);
      chain = std::move(node);
    }
    CompileResult r = compile_text(assigned_to_a(source));
    ASSERT_EQ(r.status, 0) << round << ": " << r.err;
    EXPECT_TRUE(r.out == reference_report(*chain)) << round << " " << op << ": report differs";
  }
}

}  // namespace
