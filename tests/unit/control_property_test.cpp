// Properties of the labelled code that must hold for every program, checked
// on the output of many randomly generated valid programs.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "front/session.hpp"
#include "program_generator.hpp"
#include "report/report.hpp"

namespace {

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string code_section(const std::string &out) {
  std::string heading = "Code Generated:\n";
  size_t at = out.find(heading);
  return at == std::string::npos ? "" : out.substr(at + heading.size());
}

// Checks one program's code; returns what is wrong, or "".
std::string check_labels(const std::vector<std::string> &code) {
  static const std::regex definition(R"((Label|LABEL)(\d+):)");
  static const std::regex jump(R"((GOTO|IFFALSE GOTO|IFTRUE GOTO) Label(\d+))");
  static const std::regex temporary(R"((Temp|temp)(\d+))");
  std::map<long, size_t> defined_at;
  std::map<long, std::string> defined_as;
  std::map<long, std::string> temporary_prefix;
  std::smatch m;
  for (size_t i = 0; i < code.size(); i++) {
    if (std::regex_match(code[i], m, definition)) {
      long n = std::stol(m[2]);
      if (defined_at.count(n)) return "label " + m[2].str() + " defined twice";
      defined_at[n] = i;
      defined_as[n] = m[1];
    }
    for (auto it = std::sregex_iterator(code[i].begin(), code[i].end(), temporary); it != std::sregex_iterator();
         ++it) {
      std::string &prefix = temporary_prefix[std::stol((*it)[2])];
      if (!prefix.empty() && prefix != (*it)[1]) return "temporary " + (*it)[2].str() + " has both prefixes";
      prefix = (*it)[1];
    }
  }
  long count = long(defined_at.size());
  if (count > 0 && (defined_at.begin()->first != 1 || defined_at.rbegin()->first != count))
    return "label numbers are not 1 to " + std::to_string(count);
  for (size_t i = 0; i < code.size(); i++) {
    if (!std::regex_match(code[i], m, jump)) continue;
    long n = std::stol(m[2]);
    if (!defined_at.count(n)) return "jump to undefined label " + m[2].str();
    bool forward = defined_at[n] > i;
    std::string kind = m[1];
    if (kind == "IFFALSE GOTO" && !forward) return "IFFALSE jumps backward: " + code[i];
    if (kind == "IFTRUE GOTO" && forward) return "IFTRUE jumps forward: " + code[i];
    if (kind == "GOTO" && forward) {
      // if-else: GOTO end, then the else label, which is one lower and defined first.
      if (i + 1 >= code.size() || code[i + 1] != "Label" + std::to_string(n - 1) + ":")
        return "forward GOTO not followed by its else label: " + code[i];
      if (defined_at[n - 1] > defined_at[n]) return "else label after end label " + code[i];
    }
    if (kind == "GOTO" && !forward && defined_as[n] == "LABEL") {
      // while: GOTO head, then the exit label, one higher.
      if (i + 1 >= code.size() || code[i + 1] != "LABEL" + std::to_string(n + 1) + ":")
        return "while's back jump not followed by its exit label: " + code[i];
    }
  }
  return "";
}

bool brackets_balance(const std::string &out) {
  long depth = 0;
  for (char c : out.substr(0, out.find("\n\nTotal No Of Lines:"))) {
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (depth < 0) return false;
  }
  return depth == 0;
}

TEST(ControlProperties, HoldForRandomPrograms) {
  ProgramGenerator generator{std::mt19937(20261207), 0};
  std::map<std::string, int> seen;  // how often each kind of line was checked
  for (int i = 0; i < 3000; i++) {
    std::string program = generator.program();
    CompileResult r = compile_text(program);
    ASSERT_EQ(r.status, 0) << program << r.err;
    ASSERT_TRUE(brackets_balance(r.out)) << program;
    std::vector<std::string> code = lines_of(code_section(r.out));
    ASSERT_EQ(check_labels(code), "") << program;
    for (const std::string &line : code) seen[line.substr(0, line.find_first_of("0123456789 "))]++;
  }
  for (const char *kind : {"Label", "LABEL", "GOTO", "IFFALSE", "IFTRUE", "NOT", "NEG", "DIV", "MOD", "OR"})
    EXPECT_GT(seen[kind], 100) << kind;
}

}  // namespace
