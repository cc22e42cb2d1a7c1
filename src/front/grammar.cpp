#include "front/grammar.hpp"

#include <initializer_list>

// A rule from its left side and its right side, leftmost symbol first.
static constexpr Rule rule(Symbol lhs, std::initializer_list<Symbol> rhs = {}) {
  Rule r{lhs, uint8_t(rhs.size()), {}};
  int i = 0;
  for (Symbol s : rhs) r.rhs[i++] = s;
  return r;
}

const Rule grammar_rules[rule_count] = {
    /*  0 */ rule(N_ACCEPT, {N_PROGRAM, T_END}),
    /*  1 */ rule(N_PROGRAM, {N_FUNCTION}),
    /*  2 */ rule(N_FUNCTION, {N_RET_TYPE, T_ID, T_LPAREN, T_RPAREN, T_LBRACE, N_STMT_LIST, T_RBRACE}),
    /*  3 */ rule(N_RET_TYPE, {T_VOID}),
    /*  4 */ rule(N_RET_TYPE, {N_TYPE}),
    /*  5 */ rule(N_TYPE, {T_INT}),
    /*  6 */ rule(N_STMT_LIST),
    /*  7 */ rule(N_STMT_LIST, {N_STMT, N_STMT_LIST}),
    /*  8 */ rule(N_STMT, {N_SIMPLE_STMT, T_SEMI}),
    /*  9 */ rule(N_STMT, {N_CONTROL}),
    /* 10 */ rule(N_STMT, {T_LBRACE, N_STMT_LIST, T_RBRACE}),
    /* 11 */ rule(N_SIMPLE_STMT, {N_ASSIGN}),
    /* 12 */ rule(N_SIMPLE_STMT, {N_DECLARATION}),
    /* 13 */ rule(N_DECLARATION, {N_TYPE, N_ASSIGN, N_DECL_TAIL}),
    /* 14 */ rule(N_DECL_TAIL),
    /* 15 */ rule(N_DECL_TAIL, {T_COMMA, N_ASSIGN, N_DECL_TAIL}),
    /* 16 */ rule(N_ASSIGN, {T_ID}),
    /* 17 */ rule(N_ASSIGN, {T_ID, T_ASSIGN, N_EXPR}),
    /* 18 */ rule(N_EXPR, {N_OR_EXPR}),
    /* 19 */ rule(N_OR_EXPR, {N_OR_EXPR, T_OR, N_AND_EXPR}),
    /* 20 */ rule(N_OR_EXPR, {N_AND_EXPR}),
    /* 21 */ rule(N_AND_EXPR, {N_AND_EXPR, T_AND, N_EQ_EXPR}),
    /* 22 */ rule(N_AND_EXPR, {N_EQ_EXPR}),
    /* 23 */ rule(N_EQ_EXPR, {N_EQ_EXPR, T_EQUOP, N_REL_EXPR}),
    /* 24 */ rule(N_EQ_EXPR, {N_REL_EXPR}),
    /* 25 */ rule(N_REL_EXPR, {N_REL_EXPR, T_RELOP, N_ADD_EXPR}),
    /* 26 */ rule(N_REL_EXPR, {N_ADD_EXPR}),
    /* 27 */ rule(N_ADD_EXPR, {N_ADD_EXPR, T_ADDOP, N_MUL_EXPR}),
    /* 28 */ rule(N_ADD_EXPR, {N_MUL_EXPR}),
    /* 29 */ rule(N_MUL_EXPR, {N_MUL_EXPR, T_MULOP, N_UNARY}),
    /* 30 */ rule(N_MUL_EXPR, {N_UNARY}),
    /* 31 */ rule(N_UNARY, {T_NOT, N_PRIMARY}),
    /* 32 */ rule(N_UNARY, {T_ADDOP, N_PRIMARY}),
    /* 33 */ rule(N_UNARY, {N_PRIMARY}),
    /* 34 */ rule(N_PRIMARY, {T_ID}),
    /* 35 */ rule(N_PRIMARY, {T_NUM}),
    /* 36 */ rule(N_PRIMARY, {T_LPAREN, N_EXPR, T_RPAREN}),
    /* 37 */ rule(N_CONTROL, {N_IF_STMT}),
    /* 38 */ rule(N_CONTROL, {N_LOOP}),
    /* 39 */ rule(N_IF_STMT, {T_IF, T_LPAREN, N_EXPR, T_RPAREN, N_STMT}),
    /* 40 */ rule(N_IF_STMT, {T_IF, T_LPAREN, N_EXPR, T_RPAREN, N_STMT, T_ELSE, N_STMT}),
    /* 41 */ rule(N_LOOP, {N_WHILE_STMT}),
    /* 42 */ rule(N_LOOP, {N_DO_STMT}),
    /* 43 */ rule(N_LOOP, {N_FOR_STMT}),
    /* 44 */ rule(N_WHILE_STMT, {T_WHILE, T_LPAREN, N_EXPR, T_RPAREN, N_STMT}),
    /* 45 */ rule(N_DO_STMT, {T_DO, N_STMT, T_WHILE, T_LPAREN, N_EXPR, T_RPAREN, T_SEMI}),
    /* 46 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, T_SEMI, T_SEMI, T_RPAREN, N_STMT}),
    /* 47 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, N_FOR_CLAUSE, T_SEMI, T_SEMI, T_RPAREN, N_STMT}),
    /* 48 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, T_SEMI, N_EXPR, T_SEMI, T_RPAREN, N_STMT}),
    /* 49 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, T_SEMI, T_SEMI, N_FOR_CLAUSE, T_RPAREN, N_STMT}),
    /* 50 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, N_FOR_CLAUSE, T_SEMI, N_EXPR, T_SEMI, T_RPAREN, N_STMT}),
    /* 51 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, N_FOR_CLAUSE, T_SEMI, T_SEMI, N_FOR_CLAUSE, T_RPAREN, N_STMT}),
    /* 52 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, T_SEMI, N_EXPR, T_SEMI, N_FOR_CLAUSE, T_RPAREN, N_STMT}),
    /* 53 */ rule(N_FOR_STMT, {T_FOR, T_LPAREN, N_FOR_CLAUSE, T_SEMI, N_EXPR, T_SEMI, N_FOR_CLAUSE, T_RPAREN, N_STMT}),
    /* 54 */ rule(N_FOR_CLAUSE, {N_DECLARATION}),
    /* 55 */ rule(N_FOR_CLAUSE, {N_ASSIGN, N_ASSIGN_TAIL}),
    /* 56 */ rule(N_ASSIGN_TAIL),
    /* 57 */ rule(N_ASSIGN_TAIL, {T_COMMA, N_ASSIGN, N_ASSIGN_TAIL}),
};

const char *const symbol_names[SYMBOL_COUNT] = {
    "$end",        "VOID",     "INT",         "ID",         "ASSIGN",      "OR",      "AND",       "NOT",
    "EQUOP",       "RELOP",    "ADDOP",       "MULOP",      "IF",          "FOR",     "WHILE",     "DO",
    "NUM",         "LPAREN",   "RPAREN",      "LBRACE",     "RBRACE",      "COMMA",   "SEMI",      "$unused",
    "ELSE",        "$accept",  "program",     "function",   "ret_type",    "type",    "stmt_list", "stmt",
    "simple_stmt", "assign",   "declaration", "decl_tail",  "expr",        "or_expr", "and_expr",  "eq_expr",
    "rel_expr",    "add_expr", "mul_expr",    "unary",      "primary",     "control", "if_stmt",   "loop",
    "while_stmt",  "do_stmt",  "for_stmt",    "for_clause", "assign_tail",
};

// The dangling else: after "if ( expr ) stmt", ELSE is shifted rather than
// reducing rule 39, so an else belongs to the nearest if without one.
static const ShiftPreference dangling_else[] = {{T_ELSE, 39}};

const Grammar language_grammar = {grammar_rules, rule_count, symbol_names, dangling_else, 1};
