// The LALR(1) parser: pulls tokens from yylex, reduces by the grammar's rules
// and runs each rule's action; RULE_PROGRAM's action prints the report.
#pragma once

int yyparse();  // 0 accepted, 1 syntax error or stack overflow
void yyerror(const char *message);
int yygrowstack();  // 0, or -1 when the stack cannot grow

void parser_reset();  // frees the stack
