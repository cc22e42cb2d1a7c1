#include "r1explain/parse_steps.hpp"

#include <array>

#include "common/output.hpp"
#include "front/parse_tables.hpp"
#include "front/rule_actions.hpp"
#include "front/scanner.hpp"
#include "front/session.hpp"

namespace {

// The state after a whole program, where only end of input may follow.
int final_state() { return parse_goto[0][N_PROGRAM - N_ACCEPT]; }

void read_lookahead(Stepper &stepper) {
  int terminal = terminal_of(yylex());
  output_drain();  // the bytes the scanner echoed, which nobody reads
  stepper.echoed.clear();
  StepToken &token = stepper.lookahead;
  token.terminal = terminal;
  token.line = yylineno;
  if (terminal == terminal_of(END_OF_INPUT)) {
    token.span = {stepper.input.size(), stepper.input.size()};
    token.text.clear();
  } else {
    size_t begin = scanner_offset(yytext);
    token.span = {begin, begin + yyleng};
    token.text.assign(yytext, yyleng);
  }
  stepper.has_lookahead = true;
  stepper.arrival_kept = stepper.stack.size();
  stepper.arrival_tail.clear();
}

// Pushes an entry, unless the stack is full.
bool push(Stepper &stepper, StackEntry entry) {
  if (stepper.stack.size() >= parse_stack_limit) return false;
  stepper.stack.push_back(entry);
  return true;
}

// Pops the rule's symbols and pushes its left side with the goto.
ParseStep reduce(Stepper &stepper, int rule, bool by_default) {
  const Rule &shape = grammar_rules[size_t(rule)];
  std::vector<StackEntry> &stack = stepper.stack;
  size_t below = stack.size() - shape.length;
  std::array<YYSTYPE, max_rhs_length> values;
  for (size_t i = below; i < stack.size(); i++) values[i - below] = stack[i].value;
  YYSTYPE value;
  value.node = rule_value(rule, values.data());
  ByteSpan span = shape.length ? ByteSpan{stack[below].span.begin, stack.back().span.end}
                               : ByteSpan{stack.back().span.end, stack.back().span.end};
  if (stepper.has_lookahead && below < stepper.arrival_kept) {
    std::vector<int16_t> popped;
    for (size_t i = below; i < stepper.arrival_kept; i++) popped.push_back(stack[i].state);
    stepper.arrival_tail.insert(stepper.arrival_tail.begin(), popped.begin(), popped.end());
    stepper.arrival_kept = below;
  }
  stack.resize(below);
  int state;
  if (rule == RULE_PROGRAM && below == 1) {
    state = final_state();
    stepper.program_reduced = true;
  } else {
    state = parse_goto[stack.back().state][shape.lhs - N_ACCEPT];
  }
  if (!push(stepper, {int16_t(state), shape.lhs, value, span})) return {STEP_OVERFLOW};
  return {STEP_REDUCE, state, rule, by_default};
}

ParseStep take_step(Stepper &stepper) {
  int state = stepper.stack.back().state;
  int rule = parse_default_reduction[state];
  if (rule) return reduce(stepper, rule, true);
  if (!stepper.has_lookahead) read_lookahead(stepper);
  int terminal = stepper.lookahead.terminal;
  if (state == final_state()) return {terminal == terminal_of(END_OF_INPUT) ? STEP_ACCEPT : STEP_ERROR};
  int action = parse_action[state][terminal];
  if (action == 0) return {STEP_ERROR};
  if (action < 0) return reduce(stepper, -action, false);
  if (!push(stepper, {int16_t(action), Symbol(terminal), yylval, stepper.lookahead.span})) return {STEP_OVERFLOW};
  stepper.has_lookahead = false;
  return {STEP_SHIFT, action};
}

}  // namespace

void start_steps(Stepper &stepper, std::string_view input) {
  stepper = Stepper{};
  stepper.input.assign(input);
  output_to_strings(&stepper.echoed, &stepper.errors);
  scanner_read_from_memory(stepper.input.data(), stepper.input.size());
  reset_compiler();
  stepper.stack.push_back({0, N_ACCEPT, YYSTYPE{}, ByteSpan{}});
}

ParseStep next_step(Stepper &stepper) {
  if (stepper.finished) return {STEP_FAILURE};
  ParseStep step;
  try {
    step = take_step(stepper);
  } catch (const FatalExit &) {
    step = {STEP_FAILURE};
    stepper.message = stepper.errors;
    if (!stepper.message.empty() && stepper.message.back() == '\n') stepper.message.pop_back();
  }
  stepper.steps++;
  stepper.finished = step.kind != STEP_SHIFT && step.kind != STEP_REDUCE;
  return step;
}

void finish_steps(Stepper &stepper) {
  reset_compiler();
  output_to_descriptors();
  stepper.stack.clear();
}

std::vector<int16_t> arrival_states(const Stepper &stepper) {
  std::vector<int16_t> states;
  size_t kept = stepper.has_lookahead ? stepper.arrival_kept : stepper.stack.size();
  for (size_t i = 0; i < kept; i++) states.push_back(stepper.stack[i].state);
  if (stepper.has_lookahead) states.insert(states.end(), stepper.arrival_tail.begin(), stepper.arrival_tail.end());
  return states;
}

bool takes_terminal(const std::vector<int16_t> &states, int terminal) {
  std::vector<int16_t> stack = states;
  for (;;) {
    int state = stack.back();
    if (state == final_state()) return terminal == terminal_of(END_OF_INPUT);
    int rule = parse_default_reduction[state];
    if (!rule) {
      int action = parse_action[state][terminal];
      if (action >= 0) return action > 0;
      rule = -action;
    }
    const Rule &shape = grammar_rules[size_t(rule)];
    stack.resize(stack.size() - shape.length);
    stack.push_back(rule == RULE_PROGRAM && stack.size() == 1 ? int16_t(final_state())
                                                              : parse_goto[stack.back()][shape.lhs - N_ACCEPT]);
  }
}

std::vector<int> expected_terminals(const std::vector<int16_t> &states) {
  std::vector<int> expected;
  for (int terminal = 0; terminal < terminal_count; terminal++)
    if (terminal != terminal_of(reserved_token_code) && takes_terminal(states, terminal)) expected.push_back(terminal);
  return expected;
}
