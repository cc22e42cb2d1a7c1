// libFuzzer target: one whole compile (scanner, parser, tree, report, code)
// of arbitrary bytes, in memory. Besides the sanitizers' checks, every result
// must have the properties that hold for any input; a violation aborts with a
// line naming it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "front/session.hpp"
#include "property.hpp"

namespace {

bool is_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_word_byte(unsigned char c) { return is_letter(c) || is_digit(c) || c == '_'; }

// What the input implies independently of the compiler: the bytes that belong
// to no token, in order, and the words it contains that a temporary's name
// could be (only those are looked up; keeping no others saves most of the
// checks' allocations).
struct InputFacts {
  std::string echo;
  std::set<std::string, std::less<>> words;
  int64_t newlines = 0;
  int64_t line_of_last_close = 0;  // line of the last '}' byte, 0 if none
};

InputFacts read_facts(std::string_view in) {
  InputFacts facts;
  size_t i = 0;
  while (i < in.size()) {
    unsigned char c = in[i];
    if (is_letter(c)) {
      size_t start = i;
      while (i < in.size() && is_word_byte(in[i])) i++;
      std::string_view word = in.substr(start, i - start);
      if (word.substr(0, 4) == "temp" || word.substr(0, 4) == "Temp") facts.words.emplace(word);
      continue;
    }
    if (is_digit(c)) {
      while (i < in.size() && is_digit(in[i])) i++;
      continue;
    }
    if (c == '\n') facts.newlines++;
    if (c == '}') facts.line_of_last_close = facts.newlines + 1;
    bool token_byte = std::string_view("+-*/%(){},;<>=! \t\n").find(char(c)) != std::string_view::npos;
    if ((c == '&' || c == '|') && i + 1 < in.size() && in[i + 1] == char(c)) {
      i += 2;
      continue;
    }
    if (!token_byte) facts.echo.push_back(char(c));
    i++;
  }
  return facts;
}

bool only_echo_bytes(std::string_view text) {
  for (unsigned char c : text)
    if (is_letter(c) || is_digit(c)) return false;
  return true;
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Reads a decimal number at the front of text; false if there is none.
bool take_number(std::string_view &text, int64_t &value) {
  size_t n = 0;
  value = 0;
  while (n < text.size() && is_digit(text[n]) && n < 18) value = value * 10 + (text[n++] - '0');
  text.remove_prefix(n);
  return n > 0;
}

bool take(std::string_view &text, std::string_view prefix) {
  if (!starts_with(text, prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// The tree: brackets balance, the outermost closes last, and each line but
// the last ends in a blank and is followed by one that opens with "( ".
void check_tree(std::string_view tree) {
  require(!tree.empty() && tree.front() == '(' && tree.back() == ')', "tree is bracketed", tree);
  int64_t depth = 0;
  for (size_t i = 0; i < tree.size(); i++) {
    if (tree[i] == '(') depth++;
    if (tree[i] == ')') depth--;
    require(depth > 0 || i + 1 == tree.size(), "tree brackets balance", tree.substr(i));
    if (tree[i] == '\n') {
      require(tree[i - 1] == ' ', "tree line ends in a blank", tree.substr(i - 1));
      require(tree.substr(i + 1, 2) == "( ", "tree line opens a bracket", tree.substr(i));
    }
  }
  require(depth == 0, "tree brackets balance", tree);
}

struct Temporary {
  int64_t number;
  bool upper;  // "Temp" rather than "temp"
};

// One code line's references: the temporary it stores, the temporaries it
// reads, the label it defines and the label it jumps to.
struct CodeLine {
  std::vector<Temporary> reads;
  bool stores = false;
  Temporary stored{};
  int64_t defines = 0;
  int64_t jumps_to = 0;
};

// Temporary numbers start at 1 and are printed without leading zeros, so a
// name like "Temp007" is a variable.
bool take_temporary(std::string_view &text, Temporary &temporary) {
  if (take(text, "Temp"))
    temporary.upper = true;
  else if (take(text, "temp"))
    temporary.upper = false;
  else
    return false;
  if (text.empty() || text[0] == '0') return false;
  return take_number(text, temporary.number) && (text.empty() || text[0] == ',');
}

// An arithmetic operand: a temporary, a variable or a constant "#n".
bool take_operand(std::string_view &text, CodeLine &line) {
  Temporary temporary;
  std::string_view probe = text;
  if (take_temporary(probe, temporary)) {
    text = probe;
    line.reads.push_back(temporary);
    return true;
  }
  int64_t value;
  if (take(text, "#")) {
    take(text, "-");
    return take_number(text, value);
  }
  size_t n = 0;
  if (n < text.size() && is_letter(text[n]))
    while (n < text.size() && is_word_byte(text[n])) n++;
  text.remove_prefix(n);
  return n > 0;
}

bool parse_code_line(std::string_view text, CodeLine &line) {
  Temporary temporary;
  if (take(text, "LOAD ") || take(text, "ADD ") || take(text, "MULT ") || take(text, "NEG "))
    return take_operand(text, line) && (text.empty() || text == ", R1");
  if (take(text, "DIV R1, ") || take(text, "MOD R1, ")) return take_operand(text, line) && text.empty();
  if (take(text, "STORE R1, ")) {
    std::string_view probe = text;
    if (take_temporary(probe, temporary) && probe.empty()) {
      line.stores = true;
      line.stored = temporary;
      return true;
    }
    return take_operand(text, line) && text.empty();
  }
  for (std::string_view compare : {"L ", "LE ", "G ", "GE ", "NE ", "CMP "})
    if (take(text, compare))
      return take_temporary(text, temporary) && !temporary.upper && take(text, ", R1") && text.empty() &&
             (line.reads.push_back(temporary), true);
  if (take(text, "AND R1, ") || take(text, "OR R1, "))
    return take_temporary(text, temporary) && !temporary.upper && text.empty() &&
           (line.reads.push_back(temporary), true);
  if (text == "NOT R1") return true;
  if (take(text, "Label") || take(text, "LABEL"))
    return take_number(text, line.defines) && line.defines > 0 && text == ":";
  if (take(text, "GOTO Label") || take(text, "IFFALSE GOTO Label") || take(text, "IFTRUE GOTO Label"))
    return take_number(text, line.jumps_to) && line.jumps_to > 0 && text.empty();
  return false;
}

bool is_variable_name(const InputFacts &facts, const Temporary &temporary) {
  std::string name = (temporary.upper ? "Temp" : "temp") + std::to_string(temporary.number);
  return facts.words.count(name) > 0;
}

// The code: every line is one known instruction or label; each label is
// defined once, labels 1 to the highest all defined, every jump lands on one;
// each temporary is stored once before it is read and keeps one spelling.
// Returns the bytes after the code (echoed bytes only).
std::string_view check_code(std::string_view code, const InputFacts &facts) {
  std::map<int64_t, int> label_definitions;
  std::set<int64_t> jump_targets;
  std::map<int64_t, bool> spelling;  // temporary number -> upper
  std::map<int64_t, int> stores;
  while (!code.empty() && is_letter(code[0])) {
    size_t end = code.find('\n');
    require(end != std::string_view::npos, "code line ends in a newline", code);
    std::string_view text = code.substr(0, end);
    code.remove_prefix(end + 1);
    CodeLine line;
    require(parse_code_line(text, line), "code line is a known instruction", text);
    if (line.defines) label_definitions[line.defines]++;
    if (line.jumps_to) jump_targets.insert(line.jumps_to);
    std::vector<Temporary> mentioned = line.reads;
    if (line.stores) mentioned.push_back(line.stored);
    for (const Temporary &t : mentioned) {
      if (is_variable_name(facts, t)) continue;
      auto [it, fresh] = spelling.emplace(t.number, t.upper);
      require(fresh || it->second == t.upper, "temporary has one spelling", text);
    }
    for (const Temporary &t : line.reads)
      require(is_variable_name(facts, t) || stores.count(t.number), "temporary stored before read", text);
    if (line.stores && !is_variable_name(facts, line.stored))
      require(++stores[line.stored.number] == 1, "temporary stored once", text);
  }
  int64_t expected = 1;
  for (auto [number, times] : label_definitions) {
    require(times == 1, "label defined once", std::to_string(number));
    require(number == expected++, "labels numbered from 1 without gaps", std::to_string(number));
  }
  for (int64_t target : jump_targets)
    require(label_definitions.count(target) > 0, "jump lands on a defined label", std::to_string(target));
  return code;
}

// Parses "Line: N ;message\n"; false if err is not exactly that.
bool parse_error_line(std::string_view err, int64_t &line, std::string_view &message) {
  if (!take(err, "Line: ") || !take_number(err, line) || !take(err, " ;") || err.empty() || err.back() != '\n')
    return false;
  message = err.substr(0, err.size() - 1);
  return message.find('\n') == std::string_view::npos;
}

void check_result(std::string_view in, const CompileResult &r) {
  const InputFacts facts = read_facts(in);
  std::string_view out = r.out;
  constexpr std::string_view title = "Abstract Syntax Tree:\n";
  size_t title_at = out.find(title);
  bool reported = title_at != std::string_view::npos;

  std::string echoed(out.substr(0, reported ? title_at : out.size()));
  require(only_echo_bytes(echoed), "output before the report is echoed bytes only", echoed);
  int64_t line_total = 0;
  if (reported) {
    std::string_view rest = out.substr(title_at + title.size());
    constexpr std::string_view total = "\n\nTotal No Of Lines:";
    size_t tree_end = rest.find(total);
    require(tree_end != std::string_view::npos, "line total follows the tree", rest);
    check_tree(rest.substr(0, tree_end));
    rest.remove_prefix(tree_end + total.size());
    require(take_number(rest, line_total), "line total is a number", rest);
    require(line_total >= 1 && line_total <= facts.newlines + 1, "line total within the input", rest);
    require(take(rest, "\n\nCode Generated:\n"), "code heading follows the line total", rest);
    std::string_view after = check_code(rest, facts);
    require(only_echo_bytes(after), "output after the code is echoed bytes only", after);
    echoed.append(after);
  }
  require(starts_with(facts.echo, echoed), "echoed bytes are the input's non-token bytes in order", echoed);

  int64_t error_at = 0;
  std::string_view message;
  switch (r.status) {
    case 0:
      require(reported && r.err.empty(), "status 0 means a report and no message", r.err);
      require(echoed == facts.echo, "an accepted input has all its non-token bytes echoed", echoed);
      require(line_total == facts.line_of_last_close, "line total is the line of the closing brace");
      break;
    case 1:
      require(parse_error_line(r.err, error_at, message), "status 1 means one Line: message", r.err);
      require(error_at >= 1 && error_at <= facts.newlines + 1, "error line within the input", r.err);
      if (reported)
        require(message == "syntax error" && error_at >= line_total, "after the report only a late token fails", r.err);
      else
        require(message == "syntax error" || message == "yacc stack overflow", "known parse message", r.err);
      break;
    case 2: require(r.err == "out of memory\n", "status 2 in memory means memory ran out", r.err); break;
    default: violated("exit status is 0, 1 or 2", std::to_string(r.status));
  }
}

// Whether to compile an input a second time: for one input in eight, told by
// a hash of its bytes so that a finding replays the same way. Every compile
// starts from the state the one before it left, so repeats of any sample
// catch state that a compile fails to reset, at half a compile per input less.
bool repeat_compile(std::string_view in) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char byte : in) hash = (hash ^ byte) * 16777619u;
  return (hash >> 29) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view in(reinterpret_cast<const char *>(data), size);
  CompileResult first = compile_text(in);
  check_result(in, first);
  if (!repeat_compile(in)) return 0;
  // A second compile in the same process must not see the first one's state.
  CompileResult second = compile_text(in);
  require(second.out == first.out && second.err == first.err && second.status == first.status,
          "a repeated compile gives the same result");
  return 0;
}
