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
enum TokenStepKind : uint8_t {
  TOKEN_ERROR,         // no action: a syntax error
  TOKEN_SHIFT,         // push the token and go to state
  TOKEN_SHIFT_REDUCE,  // the token alone makes rule's value (a name's or a numeral's leaf, a type): push that
                       // with state, where the reduction and the default unit reductions after it lead
  TOKEN_REDUCE,        // reduce by rule
  TOKEN_REDUCE_UNIT,   // reduce by rule, a unit rule: only the state on top changes; state is its goto column
};
struct TokenStep {
  int16_t state;
  uint8_t rule;
  TokenStepKind kind;
};
extern const TokenStep parse_token_step[][terminal_count];
