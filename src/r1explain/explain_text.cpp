#include "r1explain/explain_text.hpp"

#include <algorithm>

#include "front/parse_items.hpp"
#include "front/parse_tables.hpp"

namespace {

// How the expected set names each terminal, by symbol.
const char *expected_name(int terminal) {
  switch (TokenCode(terminal == 0 ? END_OF_INPUT : terminal + 256)) {
    case VOID: return "'void'";
    case INT: return "'int'";
    case ID: return "an identifier";
    case ASSIGN: return "'='";
    case OR: return "'||'";
    case AND: return "'&&'";
    case NOT: return "'!'";
    case EQUOP: return "'==' or '!='";
    case RELOP: return "a comparison ('<', '>', '<=' or '>=')";
    case ADDOP: return "'+' or '-'";
    case MULOP: return "'*', '/' or '%'";
    case IF: return "'if'";
    case FOR: return "'for'";
    case WHILE: return "'while'";
    case DO: return "'do'";
    case NUM: return "a number";
    case LPAREN: return "'('";
    case RPAREN: return "')'";
    case LBRACE: return "'{'";
    case RBRACE: return "'}'";
    case COMMA: return "','";
    case SEMI: return "';'";
    case ELSE: return "'else'";
    case END_OF_INPUT: return "end of input";
  }
  return "end of input";  // no terminal has another number
}

// Groups, each named only when every one of its terminals is expected.
struct TerminalGroup {
  const char *name;
  std::vector<int> terminals;
};

const TerminalGroup groups[] = {
    {"an operator",
     {terminal_of(OR), terminal_of(AND), terminal_of(EQUOP), terminal_of(RELOP), terminal_of(ADDOP),
      terminal_of(MULOP)}},
    {"a prefix operator", {terminal_of(NOT), terminal_of(ADDOP)}},
};

std::string joined(const std::vector<std::string> &names) {
  std::string text;
  for (size_t i = 0; i < names.size(); i++) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text;
}

// The line of `offset` as [begin, end) of the input, its newline excluded.
std::pair<size_t, size_t> line_around(std::string_view input, size_t offset) {
  size_t newline = offset == 0 ? std::string_view::npos : input.rfind('\n', offset - 1);
  size_t end = input.find('\n', offset);
  return {newline == std::string_view::npos ? 0 : newline + 1, end == std::string_view::npos ? input.size() : end};
}

// Bytes either side of the token shown on its line: a line of megabytes is
// cut to the part around it.
constexpr size_t context_bytes = 80;

const char *bold = "\033[1m";
const char *red = "\033[1;31m";
const char *green = "\033[1;32m";
const char *plain = "\033[0m";

std::string symbol_name(int symbol) { return symbol_names[size_t(symbol)]; }

}  // namespace

std::string token_description(const StepToken &token) {
  switch (token.terminal + 256) {
    case ID: return "identifier '" + token.text + "'";
    case NUM: return "number " + token.text;
    default: return token.terminal == 0 ? "end of input" : "'" + token.text + "'";
  }
}

std::string expected_description(const std::vector<int> &terminals) {
  std::vector<int> left = terminals;
  std::vector<std::string> group_names;
  for (const TerminalGroup &group : groups) {
    bool all = std::all_of(group.terminals.begin(), group.terminals.end(),
                           [&](int t) { return std::find(left.begin(), left.end(), t) != left.end(); });
    if (!all) continue;
    group_names.push_back(group.name);
    for (int t : group.terminals) left.erase(std::find(left.begin(), left.end(), t));
  }
  std::vector<std::string> names;
  for (int t : left)
    if (t != 0) names.push_back(expected_name(t));
  names.insert(names.end(), group_names.begin(), group_names.end());
  if (std::find(left.begin(), left.end(), 0) != left.end()) names.push_back(expected_name(0));
  return joined(names);
}

Diagnostic diagnose(std::string_view input) {
  Stepper stepper;
  start_steps(stepper, input);
  ParseStep step{STEP_SHIFT};
  size_t last_token_end = 0;
  while (!stepper.finished) {
    step = next_step(stepper);
    if (step.kind == STEP_SHIFT) last_token_end = stepper.lookahead.span.end;
  }
  Diagnostic d;
  d.found = step.kind != STEP_ACCEPT;
  d.failure = step.kind == STEP_FAILURE;
  d.span = stepper.lookahead.span;
  if (step.kind == STEP_ERROR || step.kind == STEP_OVERFLOW) {
    // End of input is shown just after the last token, where the program stops.
    if (stepper.lookahead.terminal == 0) d.span = {last_token_end, last_token_end};
    auto [line_begin, line_end] = line_around(input, d.span.begin);
    d.line = 1 + int64_t(std::count(input.begin(), input.begin() + ptrdiff_t(line_begin), '\n'));
    d.column = int64_t(d.span.begin - line_begin) + 1;
  }
  std::string found = token_description(stepper.lookahead);
  if (step.kind == STEP_ERROR && stepper.program_reduced) {
    d.expected = {0};
    d.message = "unexpected " + found + " after the end of the function";
  } else if (step.kind == STEP_ERROR) {
    d.expected = expected_terminals(arrival_states(stepper));
    d.message = "unexpected " + found + ", expecting " + expected_description(d.expected);
  } else if (step.kind == STEP_OVERFLOW) {
    d.message =
        "the program nests too deeply: the parse stack holds at most " + std::to_string(parse_stack_limit) + " entries";
  } else if (step.kind == STEP_FAILURE) {
    d.message = stepper.message;
  }
  finish_steps(stepper);
  return d;
}

std::string diagnostic_text(std::string_view name, std::string_view input, const Diagnostic &d, bool colour) {
  auto paint = [&](const char *code, const std::string &text) { return colour ? code + text + plain : text; };
  std::string text =
      paint(bold, std::string(name) + ":" + std::to_string(d.line) + ":" + std::to_string(d.column) + ":") + " " +
      paint(red, "error:") + " " + paint(bold, d.message) + "\n";
  auto [line_begin, line_end] = line_around(input, d.span.begin);
  size_t shown_begin = std::max(line_begin, d.span.begin > context_bytes ? d.span.begin - context_bytes : 0);
  size_t shown_end = std::min(line_end, std::max(d.span.end, d.span.begin) + context_bytes);
  std::string line, under;
  for (size_t i = shown_begin; i < shown_end; i++) {
    unsigned char c = static_cast<unsigned char>(input[i]);
    bool blank = c == '\t' || c >= 0x20;
    line += c == 0x7f || !blank ? ' ' : char(c);
    if (i < d.span.begin) under += c == '\t' ? '\t' : ' ';
  }
  size_t marked = std::min(d.span.end, shown_end) > d.span.begin ? std::min(d.span.end, shown_end) - d.span.begin : 1;
  std::string caret(marked, '~');
  caret[0] = '^';
  text += line + "\n" + under + paint(green, caret) + "\n";
  return text;
}

std::string rule_text(int rule) {
  const Rule &r = grammar_rules[size_t(rule)];
  std::string text = symbol_name(r.lhs) + " ->";
  for (int i = 0; i < r.length; i++) (text += ' ') += symbol_name(r.rhs[i]);
  return r.length ? text : text + " (empty)";
}

std::string stack_text(const Stepper &stepper) {
  const std::vector<StackEntry> &stack = stepper.stack;
  size_t first = stack.size() > shown_stack_entries ? stack.size() - shown_stack_entries : 0;
  std::string text = first ? "... " : "";
  for (size_t i = first; i < stack.size(); i++) {
    if (i > 0) text += symbol_name(stack[i].symbol) + " ";
    text += std::to_string(stack[i].state) + (i + 1 < stack.size() ? " " : "");
  }
  return text;
}

std::string step_text(int64_t number, const std::string &stack, const Stepper &stepper, const ParseStep &step) {
  std::string lookahead = "none";
  if (step.kind == STEP_SHIFT || stepper.has_lookahead) {
    const StepToken &token = stepper.lookahead;
    lookahead = token_description(token);
    if (token.terminal != 0) lookahead += " at line " + std::to_string(token.line);
  }
  std::string action;
  switch (step.kind) {
    case STEP_SHIFT: action = "shift, go to state " + std::to_string(step.state); break;
    case STEP_REDUCE:
      action = "reduce by rule " + std::to_string(step.rule) + " (" + rule_text(step.rule) + ")" +
               (step.by_default ? " without reading a token" : "") + ", go to state " + std::to_string(step.state);
      break;
    case STEP_ACCEPT: action = "accept"; break;
    case STEP_ERROR: {
      if (stepper.program_reduced) {
        action = "error: " + token_description(stepper.lookahead) + " after the end of the function";
      } else {
        action = "error: expecting " + expected_description(expected_terminals(arrival_states(stepper)));
      }
      break;
    }
    case STEP_OVERFLOW: action = "error: the parse stack is full"; break;
    case STEP_FAILURE: action = "error: " + stepper.message; break;
  }
  return std::to_string(number) + "  stack: " + stack + " | lookahead: " + lookahead + " | " + action + "\n";
}

std::string states_text() {
  std::string text;
  for (int s = 0; s < parse_state_count; s++) {
    text += "state " + std::to_string(s) + "\n";
    for (int i = parse_item_begin[s]; i < parse_item_begin[s + 1]; i++) {
      const ParseItem &item = parse_items[i];
      const Rule &r = grammar_rules[item.rule];
      std::string line = "    " + symbol_name(r.lhs) + " ->";
      for (int k = 0; k <= r.length; k++) {
        if (k == item.dot) line += " .";
        if (k < r.length) (line += ' ') += symbol_name(r.rhs[k]);
      }
      text += line + "   (rule " + std::to_string(item.rule) + (item.kernel ? ")\n" : ", predicted)\n");
    }
    text += "\n";
    if (parse_default_reduction[s])
      text += "    reduce by rule " + std::to_string(parse_default_reduction[s]) + " without reading a token\n";
    // The parser accepts in the state after a whole program without looking
    // its actions up: end of input ends the parse there.
    bool final = s == parse_goto[0][N_PROGRAM - N_ACCEPT];
    if (final) text += "    $end: accept\n";
    for (int t = 0; t < terminal_count && !parse_default_reduction[s] && !final; t++) {
      int action = parse_action[s][t];
      if (action > 0) text += "    " + symbol_name(t) + ": shift, go to state " + std::to_string(action) + "\n";
      if (action < 0) text += "    " + symbol_name(t) + ": reduce by rule " + std::to_string(-action) + "\n";
    }
    for (int n = 0; n < nonterminal_count; n++)
      if (parse_goto[s][n])
        text += "    " + symbol_name(N_ACCEPT + n) + ": go to state " + std::to_string(parse_goto[s][n]) + "\n";
    text += "\n";
  }
  return text;
}
