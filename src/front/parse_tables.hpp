// Parse tables, generated at build time from the grammar by lalr_gen.
// parse_action: > 0 shift to that state, < 0 reduce by rule -action, 0 error.
#pragma once
#include <cstdint>

#include "front/grammar.hpp"

extern const int parse_state_count;
extern const int16_t parse_action[][terminal_count];
extern const int16_t parse_goto[][nonterminal_count];  // indexed by nonterminal - N_ACCEPT
extern const uint8_t parse_default_reduction[];        // rule reduced without lookahead, or 0
// After a rule to nonterminal A over state X, with the lookahead known: the
// state reached once every further unit rule on that lookahead is reduced is
// parse_chain[parse_chain_row[X][A - N_ACCEPT]][lookahead]. Without the
// lookahead, the state reached once every unit rule reduced by default is
// parse_goto_then_defaults[X][A - N_ACCEPT].
extern const int16_t parse_chain_row[][nonterminal_count];
extern const int16_t parse_chain[][terminal_count];
extern const int16_t parse_goto_then_defaults[][nonterminal_count];

// What the parser does with a lookahead token in a state, in one look-up.
enum ParseStepKind : uint8_t {
  STEP_ERROR,         // no action: a syntax error
  STEP_SHIFT,         // push the token and go to state
  STEP_SHIFT_REDUCE,  // the token alone makes rule's value (a name's or a numeral's leaf, a type): push that
                      // with state, where the reduction and the default unit reductions after it lead
  STEP_REDUCE,        // reduce by rule
  STEP_REDUCE_UNIT,   // reduce by rule, a unit rule: only the state on top changes; state is its goto column
};
struct ParseStep {
  int16_t state;
  uint8_t rule;
  ParseStepKind kind;
};
extern const ParseStep parse_token_step[][terminal_count];
