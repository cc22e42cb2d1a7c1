// Random valid programs of bounded size, from a fixed seed: every statement
// form, nested, and expressions of every operator, for property tests.
#pragma once
#include <random>
#include <string>

struct ProgramGenerator {
  std::mt19937 random;
  int budget;  // statements still allowed

  int pick(int n) { return int(random() % unsigned(n)); }
  std::string name() { return std::string(1, char('a' + pick(6))); }

  std::string primary(int depth) {
    switch (depth > 0 ? pick(4) : pick(2)) {
      case 0: return name();
      case 1: return std::to_string(pick(100));
      default: return bracketed(expression(depth - 1));
    }
  }
  // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on a
  // literal + a temporary string.
  static std::string bracketed(const std::string &inner) {
    std::string text = "(";
    text += inner;
    return text += ")";
  }
  std::string unary(int depth) {
    static const char *const prefixes[] = {"", "", "", "!", "-", "+"};
    std::string text = prefixes[pick(6)];
    return text += primary(depth);
  }
  std::string expression(int depth) {
    static const char *const operators[] = {"||", "&&", "==", "!=", "<", ">", "<=", ">=", "+", "-", "*", "/", "%"};
    std::string e = unary(depth);
    for (int n = pick(4); n > 0; n--) e += std::string(" ") + operators[pick(13)] + " " + unary(depth);
    return e;
  }
  std::string assignments() {
    std::string list = pick(3) ? name() + " = " + expression(2) : name();
    while (pick(3) == 0) list += ", " + name() + " = " + expression(1);
    return list;
  }
  std::string declaration() { return "int " + assignments(); }
  std::string clause() { return pick(3) == 0 ? declaration() : assignments(); }
  std::string optional(const std::string &part) { return pick(2) ? part : ""; }

  std::string statement(int depth) {
    budget--;
    int choice = depth > 0 && budget > 0 ? pick(11) : pick(3);
    switch (choice) {
      case 0: return name() + " = " + expression(2) + ";";
      case 1: return declaration() + ";";
      case 2: return name() + ";";
      case 3: return block(depth - 1);
      case 4:
      case 5: return "if (" + expression(2) + ") " + statement(depth - 1);
      case 6: return "if (" + expression(2) + ") " + statement(depth - 1) + " else " + statement(depth - 1);
      case 7: return "while (" + expression(2) + ") " + statement(depth - 1);
      case 8: return "do " + statement(depth - 1) + " while (" + expression(2) + ");";
      default:
        return "for (" + optional(clause()) + "; " + optional(expression(2)) + "; " + optional(clause()) + ") " +
               statement(depth - 1);
    }
  }
  std::string block(int depth) {
    std::string b = "{";
    for (int n = pick(4); n > 0 && budget > 0; n--) {
      b += ' ';
      b += statement(depth);
    }
    return b + " }";
  }
  std::string program() {
    budget = 40;
    std::string function = "void main() ";
    return function + block(5) + "\n";
  }
};
