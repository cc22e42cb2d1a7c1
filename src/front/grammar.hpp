// The grammar, once, as data: symbols and numbered rules. The parser reads it
// to reduce; the table generator reads it to build the parse tables.
#pragma once
#include <cstdint>

// Terminals are numbered by token code minus 256, end of input being 0; the
// nonterminals follow them. ACCEPT is the augmented start symbol of rule 0.
enum Symbol : int16_t {
  T_END,
  T_VOID,
  T_INT,
  T_ID,
  T_ASSIGN,
  T_OR,
  T_AND,
  T_NOT,
  T_EQUOP,
  T_RELOP,
  T_ADDOP,
  T_MULOP,
  T_IF,
  T_FOR,
  T_WHILE,
  T_DO,
  T_NUM,
  T_LPAREN,
  T_RPAREN,
  T_LBRACE,
  T_RBRACE,
  T_COMMA,
  T_SEMI,
  T_UNUSED,
  T_ELSE,
  N_ACCEPT,
  N_PROGRAM,
  N_FUNCTION,
  N_RET_TYPE,
  N_TYPE,
  N_STMT_LIST,
  N_STMT,
  N_SIMPLE_STMT,
  N_ASSIGN,
  N_DECLARATION,
  N_DECL_TAIL,
  N_EXPR,
  N_OR_EXPR,
  N_AND_EXPR,
  N_EQ_EXPR,
  N_REL_EXPR,
  N_ADD_EXPR,
  N_MUL_EXPR,
  N_UNARY,
  N_PRIMARY,
  N_CONTROL,
  N_IF_STMT,
  N_LOOP,
  N_WHILE_STMT,
  N_DO_STMT,
  N_FOR_STMT,
  N_FOR_CLAUSE,
  N_ASSIGN_TAIL,
  SYMBOL_COUNT
};

constexpr int terminal_count = N_ACCEPT;
constexpr int nonterminal_count = SYMBOL_COUNT - N_ACCEPT;
constexpr int max_rhs_length = 9;  // rule 53, the full for header

struct Rule {
  Symbol lhs;
  uint8_t length;              // symbols on the right side
  Symbol rhs[max_rhs_length];  // the right side, leftmost first
};

// A shift/reduce conflict that the grammar resolves by shifting.
struct ShiftPreference {
  Symbol terminal;
  int rule;
};

// Everything the table generator needs to know about a grammar.
struct Grammar {
  const Rule *rules;  // rules[0] is ACCEPT -> start END
  int rule_count;
  const char *const *symbol_names;  // indexed by Symbol
  const ShiftPreference *preferences;
  int preference_count;
};

constexpr int rule_count = 58;  // rule 0 (augmented start) and rules 1 to 57
extern const Rule grammar_rules[rule_count];
extern const char *const symbol_names[SYMBOL_COUNT];
extern const Grammar language_grammar;

// A rule whose right side is one nonterminal, other than the start rule (whose
// action prints the report): its action passes the value on, so reducing it
// only replaces the state on top of the stack.
inline bool is_unit_rule(const Grammar &grammar, int rule) {
  const Rule &r = grammar.rules[rule];
  return r.length == 1 && r.rhs[0] >= N_ACCEPT && r.lhs != grammar.rules[0].rhs[0];
}

// Maps a token code from yylex to its terminal symbol.
inline Symbol terminal_of(int token_code) { return token_code <= 0 ? T_END : Symbol(token_code - 256); }
