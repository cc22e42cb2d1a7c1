#include "explain_checks.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/output.hpp"
#include "front/source_map.hpp"
#include "front/tree.hpp"
#include "r1explain/explain_text.hpp"
#include "r1explain/listing.hpp"
#include "report/report.hpp"

namespace {

constexpr std::string_view title = "Abstract Syntax Tree:\n";
constexpr std::string_view tree_end_text = "\n\nTotal No Of Lines:";
constexpr std::string_view code_heading = "Code Generated:\n";

std::string violation(const char *property, std::string_view detail) {
  return std::string(property) + ": " + std::string(detail.substr(0, 200));
}

bool has_letter_or_digit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

// The bytes of text that belong to names and numerals: letters, digits, and
// '_' within a name. A '_' elsewhere is echoed, not scanned.
std::string word_bytes(std::string_view text) {
  std::string word;
  bool in_name = false;
  for (unsigned char c : text) {
    in_name = std::isalpha(c) || ((std::isdigit(c) || c == '_') && in_name);
    if (in_name || std::isdigit(c)) word.push_back(char(c));
  }
  return word;
}

struct Lines {
  std::vector<size_t> starts{0};
  explicit Lines(std::string_view text) {
    for (size_t i = 0; i < text.size(); i++)
      if (text[i] == '\n') starts.push_back(i + 1);
  }
  SourcePoint point(size_t offset) const {
    size_t line = size_t(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
    return {int64_t(line + 1), int64_t(offset - starts[line] + 1)};
  }
};

bool same_point(SourcePoint a, SourcePoint b) { return a.line == b.line && a.column == b.column; }

std::string keyword_of(const std::string &text) {
  std::string word = text;
  for (char &c : word) c = char(std::tolower((unsigned char)c));
  return word;
}

// Each node: its span inside the input and its parent's, its points, its
// text where the report prints it, and its tokens' bytes where they tell.
std::string check_nodes(std::string_view input, const CompileMap &map, size_t tree_begin, size_t tree_end) {
  const std::vector<MappedNode> &nodes = map.nodes;
  std::string_view out = map.result.out;
  Lines lines(input);
  size_t previous_report_end = tree_begin;
  for (size_t i = 0; i < nodes.size(); i++) {
    const MappedNode &node = nodes[i];
    std::string name = std::to_string(i) + " " + node.text;
    if (!(node.source_begin < node.source_end && node.source_end <= input.size()))
      return violation("node span lies inside the program", name);
    if ((i == 0) != (node.parent < 0) || node.parent >= int(i)) return violation("parents come first", name);
    if (node.parent >= 0) {
      const MappedNode &parent = nodes[size_t(node.parent)];
      if (node.source_begin < parent.source_begin || node.source_end > parent.source_end)
        return violation("node span lies inside its parent's", name);
    }
    if (!same_point(node.first, lines.point(node.source_begin)) ||
        !same_point(node.last, lines.point(node.source_end - 1)))
      return violation("lines and columns are those of the span's bytes", name);
    if (node.report_begin < previous_report_end || node.report_end > tree_end ||
        out.substr(node.report_begin, node.report_end - node.report_begin) != node.text)
      return violation("report range prints the node's text, in prefix order", name);
    previous_report_end = node.report_end;
    std::string_view tokens = input.substr(node.source_begin, node.source_end - node.source_begin);
    // A leaf passed on grows by the rule's other tokens, as `(a)` and `a;` do.
    std::string word = word_bytes(tokens);
    if (node.kind == NODE_ID && word != node.text) return violation("a name's span holds the name alone", name);
    if (node.kind == NODE_NUM && (word.empty() || !std::all_of(word.begin(), word.end(), ::isdigit)))
      return violation("a number's span holds its digits alone", name);
    int expected_statement = node.is_statement ? int(i) : node.parent < 0 ? -1 : nodes[size_t(node.parent)].statement;
    if (node.statement != expected_statement) return violation("a node's statement is its nearest", name);
    if (node.is_statement && node.kind == NODE_CONTROL && tokens.substr(0, node.text.size()) != keyword_of(node.text))
      return violation("a control statement starts with its keyword", name);
    if (node.is_statement && node.kind != NODE_CONTROL && tokens.back() != ';')
      return violation("a simple statement ends with its ';'", name);
  }
  return "";
}

// The code lines are r1c's code section, line for line, each written by a
// node of the statement it names; labels by their control statement.
std::string check_code(const CompileMap &map, size_t heading_end) {
  std::string_view out = map.result.out;
  if (map.code_begin != heading_end || map.code_end < map.code_begin || map.code_end > out.size())
    return violation("the code section follows its heading", out.substr(heading_end));
  if (has_letter_or_digit(out.substr(map.code_end)))
    return violation("only echoed bytes follow the code", out.substr(map.code_end));
  std::string joined;
  for (const MappedCodeLine &line : map.code) {
    std::string_view text = out.substr(line.begin, line.end - line.begin);
    joined.append(text).push_back('\n');
    if (line.node < 0 || line.node >= int(map.nodes.size())) return violation("every code line maps to a node", text);
    if (line.statement < 0 || !map.nodes[size_t(line.statement)].is_statement)
      return violation("every code line belongs to a statement", text);
    int holder = line.node;
    while (holder >= 0 && holder != line.statement) holder = map.nodes[size_t(holder)].parent;
    if (holder < 0) return violation("a code line's node lies in its statement", text);
    if (!text.empty() && text.back() == ':' &&
        (map.nodes[size_t(line.node)].kind != NODE_CONTROL || line.statement != line.node))
      return violation("a label belongs to its control statement", text);
  }
  if (joined != out.substr(map.code_begin, map.code_end - map.code_begin))
    return violation("the code lines are the code section", joined);
  return "";
}

// The listing's code lines, in order, are the code section's; its source
// lines are the input's lines as numbered.
std::string check_listing(std::string_view input, const CompileMap &map) {
  std::string listing = make_listing(input, map);
  Lines lines(input);
  std::string code;
  std::string_view rest = listing;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    if (end == std::string_view::npos) return violation("listing lines end in a newline", rest);
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    size_t mark = line.find(source_mark);
    size_t digits = line.find_first_not_of(' ');
    if (mark != std::string_view::npos && digits < mark && std::isdigit((unsigned char)line[digits])) {
      size_t number = std::stoul(std::string(line.substr(digits, mark - digits)));
      if (number < 1 || number > lines.starts.size()) return violation("a source line is in the program", line);
      size_t begin = lines.starts[number - 1];
      size_t stop = std::min(input.find('\n', begin), input.size());
      if (line.substr(mark + source_mark.size()) != input.substr(begin, stop - begin))
        return violation("a source line is shown as written", line);
      continue;
    }
    size_t indent = line.find_first_not_of(' ');
    if (indent < code_indent || (indent - code_indent) % nesting_indent != 0)
      return violation("code lines are indented by depth", line);
    code.append(line.substr(indent)).push_back('\n');
  }
  std::string_view out = map.result.out;
  if (code != out.substr(map.code_begin, map.code_end - map.code_begin))
    return violation("the listing's code lines are the code section", code);
  return "";
}

}  // namespace

// Steps whose lines check_steps makes and checks; the rest are only taken.
constexpr int64_t checked_step_lines = 300;

// The stepped parse: its lines are well formed, it ends as r1c's does, its
// tree is r1c's, and its diagnostic points at a token of the input, on r1c's
// line, that is not among the tokens it says were expected, of which there
// is at least one.
std::string check_steps(std::string_view input, const CompileResult &plain) {
  Stepper stepper;
  start_steps(stepper, input);
  ParseStep step{STEP_SHIFT};
  std::string malformed;
  while (!stepper.finished && malformed.empty()) {
    if (stepper.steps >= checked_step_lines) {
      step = next_step(stepper);
      continue;
    }
    std::string stack = stack_text(stepper);
    step = next_step(stepper);
    std::string line = step_text(stepper.steps, stack, stepper, step);
    std::string head = std::to_string(stepper.steps) + "  stack: " + stack + " | lookahead: ";
    if (line.compare(0, head.size(), head) != 0 || line.back() != '\n' || line.find('\n') + 1 != line.size())
      malformed = violation("a step is one line, its number and stack first", line);
  }
  if (!malformed.empty()) {
    finish_steps(stepper);
    return malformed;
  }
  std::string tree;
  if (step.kind == STEP_ACCEPT) {
    print_tree(stepper.stack.back().value.node);
    output_flush();
    tree = "(" + stepper.echoed + ")";
  }
  bool refused = step.kind == STEP_ERROR || step.kind == STEP_OVERFLOW;
  std::vector<int> expected =
      step.kind == STEP_ERROR ? expected_terminals(arrival_states(stepper)) : std::vector<int>{};
  int bad = stepper.lookahead.terminal;
  finish_steps(stepper);
  int status = step.kind == STEP_ACCEPT ? 0 : refused ? 1 : 2;
  if (status != plain.status) return violation("the steps end as the compile does", plain.err);
  if (status == 0) {
    size_t begin = plain.out.find(title) + title.size();
    if (plain.out.compare(begin, tree.size(), tree) != 0) return violation("the steps build r1c's tree", tree);
  }
  if (status != 1) return "";
  if (step.kind == STEP_ERROR &&
      (expected.empty() || std::find(expected.begin(), expected.end(), bad) != expected.end()))
    return violation("the bad token is not expected, and some token is", plain.err);
  Diagnostic diagnostic = diagnose(input);
  if (!diagnostic.found || diagnostic.span.end > input.size() || diagnostic.span.begin > diagnostic.span.end)
    return violation("the diagnostic points into the input", diagnostic.message);
  if (bad != 0 && plain.err != "Line: " + std::to_string(diagnostic.line) + " ;" +
                                   (step.kind == STEP_ERROR ? "syntax error\n" : "yacc stack overflow\n"))
    return violation("the diagnostic is on r1c's line", plain.err + diagnostic.message);
  return "";
}

std::string explain_violation(std::string_view input) {
  CompileResult plain = compile_text(input);
  CompileMap map = compile_with_map(input);
  if (map.result.out != plain.out || map.result.err != plain.err || map.result.status != plain.status)
    return violation("the map leaves the compile unchanged", map.result.out);
  std::string_view out = plain.out;
  size_t title_at = out.find(title);
  size_t tree_end = title_at == std::string_view::npos ? title_at : out.find(tree_end_text, title_at);
  size_t heading = tree_end == std::string_view::npos ? tree_end : out.find(code_heading, tree_end);
  std::string stepped = check_steps(input, plain);
  if (!stepped.empty()) return stepped;
  if (heading == std::string_view::npos || plain.status == 2)
    return map.nodes.empty() && map.code.empty() ? "" : violation("a map only with a report", out);
  if (map.nodes.empty()) return violation("a report has a map", out);
  std::string found = check_nodes(input, map, title_at + title.size(), tree_end);
  if (found.empty()) found = check_code(map, heading + code_heading.size());
  if (found.empty()) found = check_listing(input, map);
  return found;
}
