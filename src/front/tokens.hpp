// Token codes returned by yylex, and the semantic value slot yylval.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/arena.hpp"

// Every token yylex returns, once, with its code; its name is also its name in
// the grammar. Each use expands the list with its own TOKEN(name, code).
#define R1C_TOKENS(TOKEN) \
  TOKEN(VOID, 257)        \
  TOKEN(INT, 258)         \
  TOKEN(ID, 259)          \
  TOKEN(ASSIGN, 260)      \
  TOKEN(OR, 261)          \
  TOKEN(AND, 262)         \
  TOKEN(NOT, 263)         \
  TOKEN(EQUOP, 264)       \
  TOKEN(RELOP, 265)       \
  TOKEN(ADDOP, 266)       \
  TOKEN(MULOP, 267)       \
  TOKEN(IF, 268)          \
  TOKEN(FOR, 269)         \
  TOKEN(WHILE, 270)       \
  TOKEN(DO, 271)          \
  TOKEN(NUM, 272)         \
  TOKEN(LPAREN, 273)      \
  TOKEN(RPAREN, 274)      \
  TOKEN(LBRACE, 275)      \
  TOKEN(RBRACE, 276)      \
  TOKEN(COMMA, 277)       \
  TOKEN(SEMI, 278)        \
  TOKEN(ELSE, 280)

enum TokenCode : int {
  END_OF_INPUT = 0,
#define R1C_TOKEN_CODE(name, code) name = code,
  R1C_TOKENS(R1C_TOKEN_CODE)
#undef R1C_TOKEN_CODE
};

constexpr int first_token_code = 257;
constexpr int reserved_token_code = 279;  // in the numbering, but never produced and in no rule
inline constexpr TokenCode token_codes[] = {
#define R1C_TOKEN_LISTED(name, code) name,
    R1C_TOKENS(R1C_TOKEN_LISTED)
#undef R1C_TOKEN_LISTED
};

// The codes run upwards from first_token_code, without repeats, and leave the
// reserved code out.
constexpr bool token_codes_ascend() {
  int previous = first_token_code - 1;
  for (TokenCode code : token_codes) {
    if (code <= previous || code == reserved_token_code) return false;
    previous = code;
  }
  return token_codes[0] == first_token_code;
}
static_assert(token_codes_ascend(), "token codes ascend from 257 and leave 279 out");

// The fixed texts that keyword and operator tokens carry, and the text of
// every sequence node, by their numbers, each with its spelling.
#define R1C_FIXED_TEXTS(TEXT)    \
  TEXT(TEXT_NONE, "")            \
  TEXT(TEXT_SEQUENCE, ".")       \
  TEXT(TEXT_VOID, "VOID")        \
  TEXT(TEXT_INT, "INT")          \
  TEXT(TEXT_IF, "IF")            \
  TEXT(TEXT_ELSE, "ELSE")        \
  TEXT(TEXT_WHILE, "WHILE")      \
  TEXT(TEXT_DO, "DO")            \
  TEXT(TEXT_FOR, "FOR")          \
  TEXT(TEXT_ASSIGN, "=")         \
  TEXT(TEXT_OR, "OR")            \
  TEXT(TEXT_AND, "AND")          \
  TEXT(TEXT_NOT, "NOT")          \
  TEXT(TEXT_EQUAL, "==")         \
  TEXT(TEXT_NOT_EQUAL, "!=")     \
  TEXT(TEXT_LESS, "<")           \
  TEXT(TEXT_GREATER, ">")        \
  TEXT(TEXT_LESS_EQUAL, "<=")    \
  TEXT(TEXT_GREATER_EQUAL, ">=") \
  TEXT(TEXT_ADD, "+")            \
  TEXT(TEXT_SUBTRACT, "-")       \
  TEXT(TEXT_MULTIPLY, "*")       \
  TEXT(TEXT_DIVIDE, "/")         \
  TEXT(TEXT_REMAINDER, "%")

enum FixedText : TreeRef {
#define R1C_FIXED_TEXT_NAME(name, spelling) name,
  R1C_FIXED_TEXTS(R1C_FIXED_TEXT_NAME)
#undef R1C_FIXED_TEXT_NAME
      FIXED_TEXT_COUNT
};

// Each spelling with its NUL in a block of fixed_text_bytes; the tree printer
// writes a text and its blank as one such block.
constexpr size_t fixed_text_bytes = 8;
alignas(fixed_text_bytes) inline constexpr char fixed_texts[FIXED_TEXT_COUNT][fixed_text_bytes] = {
#define R1C_FIXED_TEXT_SPELLING(name, spelling) spelling,
    R1C_FIXED_TEXTS(R1C_FIXED_TEXT_SPELLING)
#undef R1C_FIXED_TEXT_SPELLING
};

// An identifier's value is the ref of the scanner's copy of its text, which
// becomes the identifier's tree leaf: see "An identifier's leaf is the
// scanner's copy" in front/tree.hpp.
constexpr size_t identifier_text_offset = 2;
inline const char *identifier_text(TreeRef value) { return tree_memory(value) + identifier_text_offset; }

// One 32-bit slot: the text of a keyword or operator (a FixedText) or of an
// identifier (see identifier_text), the value of NUM, the tree node of a
// nonterminal on the parse stack.
union YYSTYPE {
  TreeRef text;
  int32_t num;
  TreeRef node;
};

extern YYSTYPE yylval;
