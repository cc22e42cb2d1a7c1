// r1explain's texts made from a stepped parse: the diagnostic of a program
// that does not parse, the numbered steps, and the listing of the states.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "r1explain/parse_steps.hpp"

// Where a diagnostic points: the bad token's bytes, its line and column
// (columns in bytes from 1), and what is wrong. Found by running the parse
// to its end; `found` is false for a program that parses.
struct Diagnostic {
  bool found = false;
  bool failure = false;  // the scanner ended the run: no syntax error, `message` says why
  ByteSpan span;
  int64_t line = 0, column = 0;
  std::string message;        // "unexpected '+', expecting an identifier, ..."
  std::vector<int> expected;  // the terminals that would have been taken
};

// A token as a reader names it: "';'", "identifier 'x'", "number 12",
// "end of input", "'else'".
std::string token_description(const StepToken &token);
// What the parser would have taken, grouped where that reads better:
// "an identifier, a number, '(' or a prefix operator".
std::string expected_description(const std::vector<int> &terminals);

// Runs the parse of `input` to its end; the diagnostic of the first error.
Diagnostic diagnose(std::string_view input);

// "NAME:LINE:COLUMN: error: MESSAGE", the source line and a caret under
// the token, with terminal colours when `colour` is set.
std::string diagnostic_text(std::string_view name, std::string_view input, const Diagnostic &diagnostic, bool colour);

// A rule as in the grammar list: "ret_type -> VOID", "stmt_list -> (empty)".
std::string rule_text(int rule);

// One numbered line of the parse: the stack (its top entries), the
// lookahead, and the action taken. Made before the step is applied from
// the stepper's state, then completed with the step.
std::string stack_text(const Stepper &stepper);
std::string step_text(int64_t number, const std::string &stack, const Stepper &stepper, const ParseStep &step);

// Every state with its items, actions and gotos.
std::string states_text();

// Entries of the stack written in a step; deeper ones are elided.
constexpr size_t shown_stack_entries = 12;
