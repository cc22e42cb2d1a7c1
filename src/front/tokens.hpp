// Token codes returned by yylex, and the semantic value slot yylval.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/arena.hpp"

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

// The fixed texts that keyword and operator tokens carry, and the text of
// every sequence node, by their numbers; fixed_texts spells them.
enum FixedText : TreeRef {
  TEXT_NONE,
  TEXT_SEQUENCE,  // "."
  TEXT_VOID,
  TEXT_INT,
  TEXT_IF,
  TEXT_ELSE,
  TEXT_WHILE,
  TEXT_DO,
  TEXT_FOR,
  TEXT_ASSIGN,  // "="
  TEXT_OR,
  TEXT_AND,
  TEXT_NOT,
  TEXT_EQUAL,  // "=="
  TEXT_NOT_EQUAL,
  TEXT_LESS,
  TEXT_GREATER,
  TEXT_LESS_EQUAL,
  TEXT_GREATER_EQUAL,
  TEXT_ADD,  // "+"
  TEXT_SUBTRACT,
  TEXT_MULTIPLY,
  TEXT_DIVIDE,
  TEXT_REMAINDER,
  FIXED_TEXT_COUNT
};
constexpr size_t fixed_text_bytes = 8;  // the longest, "WHILE", with its NUL and room to spare
alignas(fixed_text_bytes) inline constexpr char fixed_texts[FIXED_TEXT_COUNT][fixed_text_bytes] = {
    "",    ".",  "VOID", "INT", "IF", "ELSE", "WHILE", "DO", "FOR", "=", "OR", "AND",
    "NOT", "==", "!=",   "<",   ">",  "<=",   ">=",    "+",  "-",   "*", "/",  "%",
};
static_assert(fixed_texts[FIXED_TEXT_COUNT - 1][0] != '\0', "a text for every FixedText");

// An identifier's value is the ref of a block in the tree's memory that
// holds identifier_text_offset bytes of room and then the copy of its text:
// the room is for the kind of the tree leaf that the block becomes, so that a
// name costs no memory beyond its copy.
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
