// LALR(1) table construction for a Grammar: LR(0) states, lookaheads
// propagated to a fixed point, then one action per (state, terminal).
#pragma once
#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "front/grammar.hpp"

using TerminalSet = std::bitset<terminal_count>;

struct Item {
  int rule;
  int dot;  // symbols of the right side already recognised
  bool operator==(const Item &) const = default;
};

struct LrState {
  std::vector<Item> kernel;             // items that define the state
  std::vector<TerminalSet> lookaheads;  // one per kernel item
  std::vector<int> transitions;         // next state per symbol, -1 for none
};

// Action encoding shared with the parser: > 0 shift to that state,
// < 0 reduce by rule -action, 0 error.
struct ParseTables {
  std::vector<LrState> states;
  std::vector<std::vector<int16_t>> action;  // [state][terminal]
  std::vector<std::vector<int16_t>> go_to;   // [state][nonterminal - N_ACCEPT]
  std::vector<uint8_t> default_reduction;    // rule reduced without lookahead, or 0
  // Unit-rule chains: after reducing a rule to nonterminal A over state X,
  // the parser goes to go_to[X][A] and from there may reduce unit rules,
  // each replacing the top state. With the lookahead known,
  // chain[chain_row[X][A]][terminal] is the state where that stops;
  // chain_row is -1 where X has no goto on A. Without it, the parser goes on
  // only through default reductions: goto_then_defaults[X][A] is where that
  // stops.
  std::vector<std::vector<int16_t>> chain_row;           // [state][nonterminal - N_ACCEPT]
  std::vector<std::vector<int16_t>> chain;               // [row][terminal]
  std::vector<std::vector<int16_t>> goto_then_defaults;  // [state][nonterminal - N_ACCEPT]
  // What the parser does with a token, in one look-up per state and
  // terminal: a shift, a reduction, an error, or a shift fused with the
  // reduction that follows it by default (a name or numeral becoming its
  // leaf), with the state that reduction and the default unit reductions
  // after it reach; a unit reduction carries its left side's goto column. Encoded as in TokenStep
  // (front/parse_tables.hpp).
  std::vector<std::vector<std::array<int, 3>>> token_step;  // [state][terminal]: kind, rule, state
  std::vector<std::string> conflicts;                       // unresolved conflicts, readable
};

ParseTables build_lalr_tables(const Grammar &grammar);

// A readable listing of every state: its items, actions and gotos.
std::string describe_tables(const Grammar &grammar, const ParseTables &tables);

// C++ source defining the parser's tables.
std::string tables_source(const ParseTables &tables);

// C++ source defining every state's items (front/parse_items.hpp).
std::string items_source(const Grammar &grammar, const ParseTables &tables);

// C++ statements doing r1c's parse with the tables' states as code: a block
// per state, shifts and reductions with their states and rules as constants.
// They form the body of the parser's own loop in front/parser.cpp.
std::string states_source(const Grammar &grammar, const ParseTables &tables);
