// The LALR(1) parser: pulls tokens from yylex, reduces by the grammar's rules
// and runs each rule's action; RULE_PROGRAM's action prints the report.
#pragma once
#include "front/tokens.hpp"
#include "front/tree.hpp"

int yyparse();  // 0 accepted, 1 syntax error or stack overflow
void yyerror(const char *message);
int yygrowstack();  // 0, or -1 when the stack cannot grow

void parser_reset();  // frees the stack

// The value that reducing `rule` makes from its symbols' values (values[0]
// is $1), by the parser's own action; RULE_PROGRAM's is the tree, the report
// left out. For r1explain, which steps through a parse on the same tables.
NodeRef rule_action(int rule, const YYSTYPE *values);
