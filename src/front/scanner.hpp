// The scanner: yylex turns standard input into tokens, echoes every byte that
// belongs to no token and counts lines in yylineno.
#pragma once
#include <cstddef>
#include <cstdint>

#include "front/tokens.hpp"

int yylex();
int yywrap();

extern int64_t yylineno;  // line of the last token delivered; 1 at start
extern char *yytext;      // text of the last match, yyleng bytes in the buffer (not NUL-terminated)
extern size_t yyleng;     // its length in bytes

// Input comes from standard input, or, for tests, from bytes in memory.
void scanner_read_from_stdin();
void scanner_read_from_memory(const char *bytes, size_t size);
void scanner_reset();

// Offset in the whole input of a byte of the data read so far, such as yytext.
size_t scanner_offset(const char *at);  // frees the buffer and restores the start state
