// A parse taken one step at a time on r1c's own tables and rule actions: each
// shift, reduction, accept or error, with the stack it leaves. The steps are
// those of an LR parser that reduces every rule on its own (r1c's parser
// takes unit rules in one go, to the same end). When a token cannot be
// shifted, the stepper also knows every token that could have been.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "front/grammar.hpp"
#include "front/positions.hpp"
#include "front/tokens.hpp"

// The stack limit of r1c's parser, the start entry included.
constexpr size_t parse_stack_limit = 10000;

struct StepToken {
  int terminal = -1;  // a grammar symbol (0 end of input), -1 before the first token is read
  ByteSpan span;      // its bytes; empty at the end of the input for end of input
  int64_t line = 1;   // as r1c counts lines: the line of its last byte
  std::string text;   // its bytes
};

enum StepKind {
  STEP_SHIFT,     // the lookahead pushed, going to `state`
  STEP_REDUCE,    // `rule` reduced, then the goto to `state`
  STEP_ACCEPT,    // the program and end of input
  STEP_ERROR,     // the lookahead fits nowhere
  STEP_OVERFLOW,  // a push would pass parse_stack_limit
  STEP_FAILURE,   // the scanner ended the run (out of memory, say); `message` says why
};

struct ParseStep {
  StepKind kind;
  int state = 0;            // the state reached (shift, reduce)
  int rule = 0;             // the rule reduced
  bool by_default = false;  // a reduction made without reading the lookahead
};

struct StackEntry {
  int16_t state;
  Symbol symbol;  // the start entry's is N_ACCEPT, standing for nothing
  YYSTYPE value;
  ByteSpan span;  // the bytes of its symbol
};

struct Stepper {
  std::string input;
  std::vector<StackEntry> stack;
  bool has_lookahead = false;
  StepToken lookahead;
  // What the stack held when the lookahead was read, before the reductions
  // it led to: its first arrival_kept entries are as they were, and
  // arrival_tail holds the states that stood above them (see arrival_states).
  size_t arrival_kept = 0;
  std::vector<int16_t> arrival_tail;
  bool finished = false;
  bool program_reduced = false;  // the function is complete: only end of input may follow
  int64_t steps = 0;             // steps taken
  std::string message;           // of a STEP_FAILURE
  std::string echoed, errors;    // the scanner's output, unused
};

// Starts a parse of `input`; the scanner and tree memory are the process's
// own, so one stepper runs at a time, and finish_steps hands them back.
void start_steps(Stepper &stepper, std::string_view input);
// The next step; none after the stepper has finished.
ParseStep next_step(Stepper &stepper);
void finish_steps(Stepper &stepper);

// The states on the stack when the lookahead was read: what the parser was
// ready for when the token arrived. The whole stack while none is held.
std::vector<int16_t> arrival_states(const Stepper &stepper);

// Does the parser, with these states on its stack, shift `terminal` (or
// accept on end of input) after zero or more reductions?
bool takes_terminal(const std::vector<int16_t> &states, int terminal);
// Every terminal it takes, in symbol order.
std::vector<int> expected_terminals(const std::vector<int16_t> &states);
