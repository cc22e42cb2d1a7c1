// Token codes returned by yylex, and the semantic value slot yylval.
#pragma once
#include <cstdint>

struct Node;

enum TokenCode : int {
  END_OF_INPUT = 0,
  VOID = 257,
  INT = 258,
  ID = 259,
  ASSIGN = 260,
  OR = 261,
  AND = 262,
  NOT = 263,
  EQUOP = 264,
  RELOP = 265,
  ADDOP = 266,
  MULOP = 267,
  IF = 268,
  FOR = 269,
  WHILE = 270,
  DO = 271,
  NUM = 272,
  LPAREN = 273,
  RPAREN = 274,
  LBRACE = 275,
  RBRACE = 276,
  COMMA = 277,
  SEMI = 278,
  UNUSED_TOKEN = 279,  // reserved in the numbering; never produced
  ELSE = 280,
};

// One pointer-sized slot: a text for keywords, operators and identifiers, the
// value for NUM, a tree node for nonterminals on the parse stack.
union YYSTYPE {
  const char *text;
  int32_t num;
  Node *node;
};

extern YYSTYPE yylval;
