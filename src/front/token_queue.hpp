// Scanning ahead: when standard input is not a terminal, a second thread runs
// yylex and hands its tokens to the parser through a ring, so that scanning
// and parsing run side by side. The parser sees the same tokens, values,
// line numbers, echoed bytes and fatal errors, in the same order, as if it
// called yylex itself.
#pragma once

// Starts the scanning thread; false (and nothing started) when tokens should
// come straight from yylex: from a terminal, or when no thread can be had.
bool start_scanning_ahead();

// The next token, with yylval and yylineno set as yylex sets them.
int next_token();

// Lets the scanning thread stop at its next wait; it is not joined, since it
// may be blocked reading input that will never be needed. No token is taken
// after this.
void stop_scanning_ahead();
