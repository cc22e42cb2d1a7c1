// The scanner: yylex turns standard input into tokens, echoes every byte that
// belongs to no token and counts lines in yylineno.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "front/tokens.hpp"

int yylex();
int yywrap();

// Each thread that scans has its own.
extern constinit thread_local int64_t yylineno;  // line of the last token delivered; 1 at start
extern constinit thread_local char *yytext;      // text of the last match, NUL-terminated in the buffer
extern constinit thread_local size_t yyleng;     // its length in bytes

// Input comes from standard input, or, for tests, from bytes in memory.
void scanner_read_from_stdin();
void scanner_read_from_memory(const char *bytes, size_t size);
// Bytes of input in all, as far as known before reading it: SIZE_MAX for a
// pipe or the like, 0 for a terminal.
size_t scanner_input_size();

// Echoed bytes are appended to *into instead of written, while into is not null.
void scanner_capture_echo(std::string *into);

// call runs before each read of standard input, which may wait; null for none.
void scanner_before_reading(void (*call)());

void scanner_reset();  // frees the buffer and restores the start state
