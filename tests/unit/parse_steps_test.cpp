// r1explain's stepped parse against r1c itself: the expected set of every
// parser configuration that a program prefix reaches, checked by putting each
// token after the prefix and asking r1c; and the printed steps of many
// programs replayed on the tables, building r1c's tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <queue>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/output.hpp"
#include "front/parse_tables.hpp"
#include "front/rule_actions.hpp"
#include "front/scanner.hpp"
#include "front/session.hpp"
#include "program_generator.hpp"
#include "r1explain/explain_text.hpp"
#include "report/report.hpp"

namespace {

// A spelling of each terminal; end of input has none.
std::string spelling(int terminal) {
  switch (terminal + 256) {
    case VOID: return "void";
    case INT: return "int";
    case ID: return "x";
    case ASSIGN: return "=";
    case OR: return "||";
    case AND: return "&&";
    case NOT: return "!";
    case EQUOP: return "==";
    case RELOP: return "<";
    case ADDOP: return "-";
    case MULOP: return "*";
    case IF: return "if";
    case FOR: return "for";
    case WHILE: return "while";
    case DO: return "do";
    case NUM: return "7";
    case LPAREN: return "(";
    case RPAREN: return ")";
    case LBRACE: return "{";
    case RBRACE: return "}";
    case COMMA: return ",";
    case SEMI: return ";";
    case ELSE: return "else";
    default: return "";
  }
}

// The shortest token string each symbol derives, found by relaxing every rule
// until nothing gets shorter.
std::vector<std::vector<int>> shortest_expansions() {
  std::vector<std::vector<int>> shortest(SYMBOL_COUNT);
  std::vector<bool> known(SYMBOL_COUNT);
  for (int t = 0; t < terminal_count; t++) shortest[size_t(t)] = {t}, known[size_t(t)] = true;
  for (bool changed = true; changed;) {
    changed = false;
    for (const Rule &rule : grammar_rules) {
      std::vector<int> tokens;
      bool all_known = true;
      for (int i = 0; i < rule.length && all_known; i++) {
        all_known = known[size_t(rule.rhs[i])];
        tokens.insert(tokens.end(), shortest[size_t(rule.rhs[i])].begin(), shortest[size_t(rule.rhs[i])].end());
      }
      if (!all_known || (known[size_t(rule.lhs)] && tokens.size() >= shortest[size_t(rule.lhs)].size())) continue;
      shortest[size_t(rule.lhs)] = tokens;
      known[size_t(rule.lhs)] = changed = true;
    }
  }
  return shortest;
}

// For every state, the shortest symbol path from the start state, by the
// tables' shifts and gotos; the final state's shift on end of input is the
// augmented rule's, which the parser never takes.
std::vector<std::vector<int>> paths_to_states() {
  std::vector<std::vector<int>> paths(static_cast<size_t>(parse_state_count));
  std::vector<bool> seen(static_cast<size_t>(parse_state_count));
  std::queue<int> queue;
  seen[0] = true;
  queue.push(0);
  int final_state = parse_goto[0][N_PROGRAM - N_ACCEPT];
  while (!queue.empty()) {
    int state = queue.front();
    queue.pop();
    for (int symbol = 0; symbol < SYMBOL_COUNT; symbol++) {
      bool terminal = symbol < terminal_count;
      if (state == final_state || (terminal && parse_default_reduction[state])) break;
      int next = terminal ? parse_action[state][symbol] : parse_goto[state][symbol - N_ACCEPT];
      if (next <= 0 || seen[size_t(next)]) continue;
      seen[size_t(next)] = true;
      paths[size_t(next)] = paths[size_t(state)];
      paths[size_t(next)].push_back(symbol);
      queue.push(next);
    }
  }
  return paths;
}

// The stepper run over the whole input: its last step, and the states
// standing when its last token arrived.
struct Outcome {
  StepKind last;
  int lookahead;
  std::vector<int16_t> arrival;
  int error_state;
};

Outcome run_stepper(const std::string &input) {
  Stepper stepper;
  start_steps(stepper, input);
  ParseStep step{STEP_SHIFT};
  while (!stepper.finished) step = next_step(stepper);
  Outcome outcome{step.kind, stepper.lookahead.terminal, arrival_states(stepper), stepper.stack.back().state};
  finish_steps(stepper);
  return outcome;
}

// r1c's verdict on `prefix`, a line break, and `terminal` on line 2: does
// it shift (or accept) the token? It errs on line 2 if not; after the token
// it meets end of input on line 3, or accepts.
bool r1c_takes(const std::string &prefix, int terminal, std::string &why) {
  std::string input = prefix + "\n" + spelling(terminal) + (terminal ? "\n" : "");
  CompileResult result = compile_text(input);
  why = result.err;
  if (result.status == 0) return true;
  if (result.err == "Line: 2 ;syntax error\n") return false;
  EXPECT_EQ(result.err, "Line: 3 ;syntax error\n") << input;
  return true;
}

// The substitution rule at the configuration that `prefix` reaches: each
// token the stepper expects there is one r1c shifts, and no other. Notes the
// (state, token) error entries that the tokens meet.
void check_configuration(const std::string &prefix, std::set<std::pair<int, int>> &errors_met) {
  std::vector<int> expected = expected_terminals(run_stepper(prefix).arrival);
  for (int terminal = 0; terminal < terminal_count; terminal++) {
    if (terminal == terminal_of(reserved_token_code)) continue;
    std::string why;
    bool listed = std::find(expected.begin(), expected.end(), terminal) != expected.end();
    EXPECT_EQ(r1c_takes(prefix, terminal, why), listed)
        << "after '" << prefix << "' token " << symbol_names[size_t(terminal)] << ": " << why;
    Outcome with = run_stepper(prefix + "\n" + spelling(terminal));
    if (with.last == STEP_ERROR && with.lookahead == terminal) errors_met.insert({with.error_state, terminal});
  }
}

// Every state's shortest prefix, and each of those followed by every token
// that continues it: the configurations in which every reachable error entry
// of the tables is met.
TEST(ParseSteps, ExpectedSetIsExactlyWhatTheParserTakes) {
  std::vector<std::vector<int>> expansions = shortest_expansions();
  std::vector<std::vector<int>> paths = paths_to_states();
  std::set<std::pair<int, int>> errors_met;
  int states_reached = 0;
  for (int state = 0; state < parse_state_count; state++) {
    if (state != 0 && paths[size_t(state)].empty()) continue;  // the augmented rule's end, never entered
    std::string prefix;
    for (int symbol : paths[size_t(state)])
      for (int token : expansions[size_t(symbol)]) prefix += spelling(token) + " ";
    Outcome outcome = run_stepper(prefix);
    ASSERT_TRUE(outcome.last == STEP_ACCEPT || (outcome.last == STEP_ERROR && outcome.lookahead == 0)) << prefix;
    // A state entered by a shift is on top when the next token arrives, unless
    // it reduces without reading one.
    bool by_shift = state == 0 || paths[size_t(state)].back() < terminal_count;
    if (by_shift && !parse_default_reduction[state]) {
      EXPECT_EQ(outcome.arrival.back(), state) << prefix;
    }
    states_reached++;
    check_configuration(prefix, errors_met);
    for (int terminal = 1; terminal < terminal_count; terminal++)
      if (takes_terminal(outcome.arrival, terminal)) check_configuration(prefix + spelling(terminal) + " ", errors_met);
  }
  EXPECT_EQ(states_reached, parse_state_count - 1);
  int error_entries = 0;
  for (int state = 0; state < parse_state_count; state++)
    for (int terminal = 0; terminal < terminal_count && !parse_default_reduction[state]; terminal++)
      error_entries += terminal != terminal_of(reserved_token_code) && parse_action[state][terminal] == 0;
  // The rest lie in states entered only by reductions, which the tokens that
  // drive them leave without an error; the count shows how far this reaches.
  std::printf("%zu of the tables' %d error entries met\n", errors_met.size(), error_entries);
}

// The grouped description names every expected token and no other.
TEST(ParseSteps, DescriptionNamesOnlyExpectedTokens) {
  std::vector<std::vector<int>> paths = paths_to_states();
  std::vector<std::vector<int>> expansions = shortest_expansions();
  for (int state = 0; state < parse_state_count; state++) {
    if (state != 0 && paths[size_t(state)].empty()) continue;
    std::string prefix;
    for (int symbol : paths[size_t(state)])
      for (int token : expansions[size_t(symbol)]) prefix += spelling(token) + " ";
    std::vector<int> expected = expected_terminals(run_stepper(prefix).arrival);
    std::string text = expected_description(expected);
    for (int terminal = 1; terminal < terminal_count; terminal++) {
      if (terminal == terminal_of(reserved_token_code) || terminal == terminal_of(ID) || terminal == terminal_of(NUM))
        continue;
      bool listed = std::find(expected.begin(), expected.end(), terminal) != expected.end();
      bool in_group = text.find("operator") != std::string::npos &&
                      (terminal == terminal_of(ADDOP) || terminal == terminal_of(NOT) ||
                       text.find("an operator") != std::string::npos);
      std::string quoted = "'";
      (quoted += spelling(terminal)) += "'";
      bool named = text.find(quoted) != std::string::npos;
      if (terminal == terminal_of(ADDOP)) named = named || text.find("'+'") != std::string::npos;
      if (terminal == terminal_of(RELOP)) named = text.find("comparison") != std::string::npos;
      EXPECT_EQ(listed, named || (in_group && listed)) << text << " / " << symbol_names[size_t(terminal)];
    }
    EXPECT_EQ(text.find("an identifier") != std::string::npos,
              std::find(expected.begin(), expected.end(), terminal_of(ID)) != expected.end());
    EXPECT_EQ(text.find("end of input") != std::string::npos,
              std::find(expected.begin(), expected.end(), 0) != expected.end());
  }
}

struct ScannedToken {
  int terminal;
  YYSTYPE value;
  std::string description;
};

// The number after the last occurrence of `key` in `line`, or -1.
int number_after(const std::string &line, const std::string &key) {
  size_t at = line.rfind(key);
  return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + key.size());
}

// Replays printed steps on the tables over the input's own tokens, running
// the rule actions; returns the printed tree of the program, or a fault.
std::string replay(const std::string &input, const std::vector<std::string> &lines) {
  std::string out, err;
  output_to_strings(&out, &err);
  scanner_read_from_memory(input.data(), input.size());
  reset_compiler();
  std::vector<ScannedToken> tokens;
  for (;;) {
    int terminal = terminal_of(yylex());
    StepToken token{terminal, {}, yylineno, std::string(yytext ? yytext : "", terminal ? yyleng : 0)};
    tokens.push_back({terminal, yylval, token_description(token)});
    if (terminal == 0) break;
  }
  std::vector<int> states = {0};
  std::vector<YYSTYPE> values = {YYSTYPE{}};
  size_t next = 0;
  std::string fault;
  NodeRef tree = 0;
  for (const std::string &line : lines) {
    std::string action = line.substr(line.rfind(" | ") + 3);
    int top = states.back();
    if (action.rfind("shift", 0) == 0) {
      int to = number_after(action, "go to state ");
      if (parse_action[top][tokens[next].terminal] != to) fault = "shift not in the tables: " + line;
      if (line.find("lookahead: " + tokens[next].description) == std::string::npos) fault = "wrong token: " + line;
      states.push_back(to);
      values.push_back(tokens[next++].value);
    } else if (action.rfind("reduce", 0) == 0) {
      int rule = number_after(action, "rule ");
      int wanted =
          parse_default_reduction[top] ? parse_default_reduction[top] : -parse_action[top][tokens[next].terminal];
      if (rule != wanted) fault = "reduction not in the tables: " + line;
      const Rule &shape = grammar_rules[size_t(rule)];
      YYSTYPE value;
      value.node = rule_value(rule, values.data() + values.size() - shape.length);
      states.resize(states.size() - shape.length);
      values.resize(values.size() - shape.length);
      int to = rule == RULE_PROGRAM && states.size() == 1 ? parse_goto[0][N_PROGRAM - N_ACCEPT]
                                                          : parse_goto[states.back()][shape.lhs - N_ACCEPT];
      if (number_after(action, "go to state ") != to) fault = "goto not in the tables: " + line;
      if (rule == RULE_PROGRAM) tree = value.node;
      states.push_back(to);
      values.push_back(value);
    } else if (action != "accept" || next + 1 != tokens.size()) {
      fault = "not accepted at end of input: " + line;
    }
    if (!fault.empty()) break;
  }
  if (fault.empty() && tree) {
    out.clear();
    print_tree(tree);
    output_flush();
  }
  reset_compiler();
  output_to_descriptors();
  return fault.empty() ? "(" + out + ")" : fault;
}

std::vector<std::string> printed_steps(const std::string &input) {
  std::vector<std::string> lines;
  Stepper stepper;
  start_steps(stepper, input);
  while (!stepper.finished) {
    std::string stack = stack_text(stepper);
    ParseStep step = next_step(stepper);
    lines.push_back(step_text(stepper.steps, stack, stepper, step));
    lines.back().pop_back();
  }
  finish_steps(stepper);
  return lines;
}

std::string r1c_tree(const std::string &input) {
  std::string out = compile_text(input).out;
  size_t begin = out.find("Abstract Syntax Tree:\n") + 22;
  return out.substr(begin, out.find("\n\nTotal No Of Lines:") - begin);
}

TEST(ParseSteps, PrintedStepsReplayOnTheTablesAndBuildR1cTree) {
  std::vector<std::string> programs;
  for (const auto &entry : std::filesystem::directory_iterator(R1C_EXAMPLES_DIR))
    if (entry.path().extension() == ".c") {
      std::ifstream file(entry.path(), std::ios::binary);
      programs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
  ASSERT_FALSE(programs.empty());
  ProgramGenerator generator{std::mt19937(2212), 0};
  for (int i = 0; i < 300; i++) programs.push_back(generator.program());
  for (const std::string &program : programs) {
    ASSERT_EQ(compile_text(program).status, 0) << program;
    EXPECT_EQ(replay(program, printed_steps(program)), r1c_tree(program)) << program;
  }
}

}  // namespace

namespace {

// Diagnostics by hand where the wording matters: the line and column of the
// bad token, its name, and the cases with a message of their own.
TEST(ParseSteps, DiagnosticsNameTheTokenAndItsPlace) {
  std::string deep = "void f() {";
  for (int i = 0; i < 9994; i++) deep += " x;";
  struct Case {
    std::string input;
    int64_t line, column;
    std::string message;
  } cases[] = {
      {"void f() {\n  a = b + ;\n}\n", 2, 11,
       "unexpected ';', expecting an identifier, a number, '(' or a prefix operator"},
      {"void f() {\n\ta = b c;\n}", 2, 8, "unexpected identifier 'c', expecting ';' or an operator"},
      {"void f() { a = 12 13; }", 1, 19, "unexpected number 13, expecting ';' or an operator"},
      {"void f() { else x; }", 1, 12,
       "unexpected 'else', expecting 'int', an identifier, 'if', 'for', 'while', 'do', '{' or '}'"},
      {"void f() { }\nint", 2, 1, "unexpected 'int' after the end of the function"},
      {"void f() { x;\n\n", 1, 14,
       "unexpected end of input, expecting 'int', an identifier, 'if', 'for', 'while', 'do', '{' or '}'"},
      {"", 1, 1, "unexpected end of input, expecting 'void' or 'int'"},
      {"void f() { a = - -x; }", 1, 18, "unexpected '-', expecting an identifier, a number or '('"},
      {"void f() { for (; int i; ) x; }", 1, 19,
       "unexpected 'int', expecting an identifier, a number, '(', ';' or a prefix operator"},
      {deep, 1, int64_t(deep.size()),  // the last ';' is the 10001st entry
       "the program nests too deeply: the parse stack holds at most 10000 entries"},
  };
  for (const Case &c : cases) {
    Diagnostic d = diagnose(c.input);
    EXPECT_TRUE(d.found) << c.input.substr(0, 60);
    EXPECT_EQ(d.message, c.message) << c.input.substr(0, 60);
    EXPECT_EQ(d.line, c.line) << c.input.substr(0, 60);
    EXPECT_EQ(d.column, c.column) << c.input.substr(0, 60);
  }
  EXPECT_FALSE(diagnose("void f() { x; }\n").found);
}

}  // namespace
