// The grammar, once, as data: symbols and numbered rules. The parser reads it
// to reduce; the table generator reads it to build the parse tables.
#pragma once
#include <array>
#include <cstdint>

#include "front/tokens.hpp"

// A grammar symbol. Terminals are numbered by token code minus 256, end of
// input being 0; the nonterminals follow them.
using Symbol = int16_t;

constexpr Symbol terminal_of(int token_code) { return token_code <= 0 ? 0 : Symbol(token_code - 256); }
constexpr int terminal_count = terminal_of(token_codes[sizeof token_codes / sizeof token_codes[0] - 1]) + 1;

// Every nonterminal, once, with its name in the grammar's listings. ACCEPT is
// the augmented start symbol of RULE_ACCEPT.
#define R1C_NONTERMINALS(NONTERMINAL)       \
  NONTERMINAL(N_ACCEPT, "$accept")          \
  NONTERMINAL(N_PROGRAM, "program")         \
  NONTERMINAL(N_FUNCTION, "function")       \
  NONTERMINAL(N_RET_TYPE, "ret_type")       \
  NONTERMINAL(N_TYPE, "type")               \
  NONTERMINAL(N_STMT_LIST, "stmt_list")     \
  NONTERMINAL(N_STMT, "stmt")               \
  NONTERMINAL(N_SIMPLE_STMT, "simple_stmt") \
  NONTERMINAL(N_ASSIGN, "assign")           \
  NONTERMINAL(N_DECLARATION, "declaration") \
  NONTERMINAL(N_DECL_TAIL, "decl_tail")     \
  NONTERMINAL(N_EXPR, "expr")               \
  NONTERMINAL(N_OR_EXPR, "or_expr")         \
  NONTERMINAL(N_AND_EXPR, "and_expr")       \
  NONTERMINAL(N_EQ_EXPR, "eq_expr")         \
  NONTERMINAL(N_REL_EXPR, "rel_expr")       \
  NONTERMINAL(N_ADD_EXPR, "add_expr")       \
  NONTERMINAL(N_MUL_EXPR, "mul_expr")       \
  NONTERMINAL(N_UNARY, "unary")             \
  NONTERMINAL(N_PRIMARY, "primary")         \
  NONTERMINAL(N_CONTROL, "control")         \
  NONTERMINAL(N_IF_STMT, "if_stmt")         \
  NONTERMINAL(N_LOOP, "loop")               \
  NONTERMINAL(N_WHILE_STMT, "while_stmt")   \
  NONTERMINAL(N_DO_STMT, "do_stmt")         \
  NONTERMINAL(N_FOR_STMT, "for_stmt")       \
  NONTERMINAL(N_FOR_CLAUSE, "for_clause")   \
  NONTERMINAL(N_ASSIGN_TAIL, "assign_tail")

enum Nonterminal : Symbol {
  LAST_TERMINAL = terminal_count - 1,
#define R1C_NONTERMINAL_SYMBOL(symbol, name) symbol,
  R1C_NONTERMINALS(R1C_NONTERMINAL_SYMBOL)
#undef R1C_NONTERMINAL_SYMBOL
      SYMBOL_COUNT
};
static_assert(N_ACCEPT == terminal_count, "the nonterminals follow the terminals");
constexpr int nonterminal_count = SYMBOL_COUNT - N_ACCEPT;

// Every rule, once: its name and number, its left side, then its right side,
// leftmost first. The numbers are the grammar's own and never change; the
// table is built by number, so a rule may be listed beside its kin.
#define R1C_RULES(RULE)                                                                                           \
  RULE(RULE_ACCEPT, 0, N_ACCEPT, N_PROGRAM, END_OF_INPUT)                                                         \
  RULE(RULE_PROGRAM, 1, N_PROGRAM, N_FUNCTION)                                                                    \
  RULE(RULE_FUNCTION, 2, N_FUNCTION, N_RET_TYPE, ID, LPAREN, RPAREN, LBRACE, N_STMT_LIST, RBRACE)                 \
  RULE(RULE_RET_TYPE_VOID, 3, N_RET_TYPE, VOID)                                                                   \
  RULE(RULE_RET_TYPE_TYPE, 4, N_RET_TYPE, N_TYPE)                                                                 \
  RULE(RULE_TYPE_INT, 5, N_TYPE, INT)                                                                             \
  RULE(RULE_STMT_LIST_EMPTY, 6, N_STMT_LIST)                                                                      \
  RULE(RULE_STMT_LIST_MORE, 7, N_STMT_LIST, N_STMT, N_STMT_LIST)                                                  \
  RULE(RULE_STMT_SIMPLE, 8, N_STMT, N_SIMPLE_STMT, SEMI)                                                          \
  RULE(RULE_STMT_CONTROL, 9, N_STMT, N_CONTROL)                                                                   \
  RULE(RULE_STMT_BLOCK, 10, N_STMT, LBRACE, N_STMT_LIST, RBRACE)                                                  \
  RULE(RULE_SIMPLE_STMT_ASSIGN, 11, N_SIMPLE_STMT, N_ASSIGN)                                                      \
  RULE(RULE_SIMPLE_STMT_DECLARATION, 12, N_SIMPLE_STMT, N_DECLARATION)                                            \
  RULE(RULE_DECLARATION, 13, N_DECLARATION, N_TYPE, N_ASSIGN, N_DECL_TAIL)                                        \
  RULE(RULE_DECL_TAIL_EMPTY, 14, N_DECL_TAIL)                                                                     \
  RULE(RULE_DECL_TAIL_MORE, 15, N_DECL_TAIL, COMMA, N_ASSIGN, N_DECL_TAIL)                                        \
  RULE(RULE_ASSIGN_NAME, 16, N_ASSIGN, ID)                                                                        \
  RULE(RULE_ASSIGN_VALUE, 17, N_ASSIGN, ID, ASSIGN, N_EXPR)                                                       \
  RULE(RULE_EXPR, 18, N_EXPR, N_OR_EXPR)                                                                          \
  RULE(RULE_OR_EXPR_BINARY, 19, N_OR_EXPR, N_OR_EXPR, OR, N_AND_EXPR)                                             \
  RULE(RULE_OR_EXPR_SINGLE, 20, N_OR_EXPR, N_AND_EXPR)                                                            \
  RULE(RULE_AND_EXPR_BINARY, 21, N_AND_EXPR, N_AND_EXPR, AND, N_EQ_EXPR)                                          \
  RULE(RULE_AND_EXPR_SINGLE, 22, N_AND_EXPR, N_EQ_EXPR)                                                           \
  RULE(RULE_EQ_EXPR_BINARY, 23, N_EQ_EXPR, N_EQ_EXPR, EQUOP, N_REL_EXPR)                                          \
  RULE(RULE_EQ_EXPR_SINGLE, 24, N_EQ_EXPR, N_REL_EXPR)                                                            \
  RULE(RULE_REL_EXPR_BINARY, 25, N_REL_EXPR, N_REL_EXPR, RELOP, N_ADD_EXPR)                                       \
  RULE(RULE_REL_EXPR_SINGLE, 26, N_REL_EXPR, N_ADD_EXPR)                                                          \
  RULE(RULE_ADD_EXPR_BINARY, 27, N_ADD_EXPR, N_ADD_EXPR, ADDOP, N_MUL_EXPR)                                       \
  RULE(RULE_ADD_EXPR_SINGLE, 28, N_ADD_EXPR, N_MUL_EXPR)                                                          \
  RULE(RULE_MUL_EXPR_BINARY, 29, N_MUL_EXPR, N_MUL_EXPR, MULOP, N_UNARY)                                          \
  RULE(RULE_MUL_EXPR_SINGLE, 30, N_MUL_EXPR, N_UNARY)                                                             \
  RULE(RULE_UNARY_NOT, 31, N_UNARY, NOT, N_PRIMARY)                                                               \
  RULE(RULE_UNARY_SIGN, 32, N_UNARY, ADDOP, N_PRIMARY)                                                            \
  RULE(RULE_UNARY_PRIMARY, 33, N_UNARY, N_PRIMARY)                                                                \
  RULE(RULE_PRIMARY_NAME, 34, N_PRIMARY, ID)                                                                      \
  RULE(RULE_PRIMARY_NUMBER, 35, N_PRIMARY, NUM)                                                                   \
  RULE(RULE_PRIMARY_PARENTHESES, 36, N_PRIMARY, LPAREN, N_EXPR, RPAREN)                                           \
  RULE(RULE_CONTROL_IF, 37, N_CONTROL, N_IF_STMT)                                                                 \
  RULE(RULE_CONTROL_LOOP, 38, N_CONTROL, N_LOOP)                                                                  \
  RULE(RULE_IF, 39, N_IF_STMT, IF, LPAREN, N_EXPR, RPAREN, N_STMT)                                                \
  RULE(RULE_IF_ELSE, 40, N_IF_STMT, IF, LPAREN, N_EXPR, RPAREN, N_STMT, ELSE, N_STMT)                             \
  RULE(RULE_LOOP_WHILE, 41, N_LOOP, N_WHILE_STMT)                                                                 \
  RULE(RULE_LOOP_DO, 42, N_LOOP, N_DO_STMT)                                                                       \
  RULE(RULE_LOOP_FOR, 43, N_LOOP, N_FOR_STMT)                                                                     \
  RULE(RULE_WHILE, 44, N_WHILE_STMT, WHILE, LPAREN, N_EXPR, RPAREN, N_STMT)                                       \
  RULE(RULE_DO, 45, N_DO_STMT, DO, N_STMT, WHILE, LPAREN, N_EXPR, RPAREN, SEMI)                                   \
  RULE(RULE_FOR, 46, N_FOR_STMT, FOR, LPAREN, SEMI, SEMI, RPAREN, N_STMT)                                         \
  RULE(RULE_FOR_INIT, 47, N_FOR_STMT, FOR, LPAREN, N_FOR_CLAUSE, SEMI, SEMI, RPAREN, N_STMT)                      \
  RULE(RULE_FOR_COND, 48, N_FOR_STMT, FOR, LPAREN, SEMI, N_EXPR, SEMI, RPAREN, N_STMT)                            \
  RULE(RULE_FOR_STEP, 49, N_FOR_STMT, FOR, LPAREN, SEMI, SEMI, N_FOR_CLAUSE, RPAREN, N_STMT)                      \
  RULE(RULE_FOR_INIT_COND, 50, N_FOR_STMT, FOR, LPAREN, N_FOR_CLAUSE, SEMI, N_EXPR, SEMI, RPAREN, N_STMT)         \
  RULE(RULE_FOR_INIT_STEP, 51, N_FOR_STMT, FOR, LPAREN, N_FOR_CLAUSE, SEMI, SEMI, N_FOR_CLAUSE, RPAREN, N_STMT)   \
  RULE(RULE_FOR_COND_STEP, 52, N_FOR_STMT, FOR, LPAREN, SEMI, N_EXPR, SEMI, N_FOR_CLAUSE, RPAREN, N_STMT)         \
  RULE(RULE_FOR_ALL, 53, N_FOR_STMT, FOR, LPAREN, N_FOR_CLAUSE, SEMI, N_EXPR, SEMI, N_FOR_CLAUSE, RPAREN, N_STMT) \
  RULE(RULE_FOR_CLAUSE_DECLARATION, 54, N_FOR_CLAUSE, N_DECLARATION)                                              \
  RULE(RULE_FOR_CLAUSE_ASSIGNS, 55, N_FOR_CLAUSE, N_ASSIGN, N_ASSIGN_TAIL)                                        \
  RULE(RULE_ASSIGN_TAIL_EMPTY, 56, N_ASSIGN_TAIL)                                                                 \
  RULE(RULE_ASSIGN_TAIL_MORE, 57, N_ASSIGN_TAIL, COMMA, N_ASSIGN, N_ASSIGN_TAIL)

enum RuleName : uint8_t {
#define R1C_RULE_NAME(name, number, ...) name = number,
  R1C_RULES(R1C_RULE_NAME)
#undef R1C_RULE_NAME
};

constexpr int rule_count = 0
#define R1C_RULE_COUNTED(...) +1
    R1C_RULES(R1C_RULE_COUNTED)
#undef R1C_RULE_COUNTED
    ;

// The longest right side, the for header with all three parts; a longer one
// fails to compile.
constexpr int max_rhs_length = 9;

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

extern const std::array<Rule, rule_count> grammar_rules;
extern const std::array<const char *, SYMBOL_COUNT> symbol_names;
extern const Grammar language_grammar;

// A rule whose right side is one nonterminal, other than the start rule (whose
// action prints the report): its action passes the value on, so reducing it
// only replaces the state on top of the stack.
inline bool is_unit_rule(const Grammar &grammar, int rule) {
  const Rule &r = grammar.rules[rule];
  return r.length == 1 && r.rhs[0] >= N_ACCEPT && r.lhs != grammar.rules[0].rhs[0];
}
