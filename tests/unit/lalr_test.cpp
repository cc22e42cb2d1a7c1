// The grammar keeps its numbering, and the table generator builds it with
// only its one resolved conflict and refuses any other conflict.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "lalr.hpp"

namespace {

TEST(Lalr, LanguageGrammarHasNoUnresolvedConflict) {
  ParseTables tables = build_lalr_tables(language_grammar);
  EXPECT_TRUE(tables.conflicts.empty()) << tables.conflicts.front();
}

// The states reached after the function's closing brace reduce the function
// and then the program without reading another token.
TEST(Lalr, FunctionAndProgramReduceWithoutLookahead) {
  ParseTables tables = build_lalr_tables(language_grammar);
  int program_defaults = 0, function_defaults = 0;
  for (uint8_t rule : tables.default_reduction) {
    program_defaults += rule == RULE_PROGRAM;
    function_defaults += rule == RULE_FUNCTION;
  }
  EXPECT_EQ(program_defaults, 1);
  EXPECT_EQ(function_defaults, 1);
}

// Every state and terminal: the one-look-up step does what the action table
// and the default reductions after a shift would, and a token is fused with
// its reduction exactly when the state it is shifted into only reduces a rule
// of that token alone: the name and the numeral as operands, and the types.
TEST(Lalr, TokenStepsAgreeWithTheActions) {
  enum { ERROR, SHIFT, SHIFT_REDUCE, REDUCE, REDUCE_UNIT };  // as TokenStepKind
  ParseTables tables = build_lalr_tables(language_grammar);
  std::vector<int> fused_rules;
  for (size_t s = 0; s < tables.states.size(); s++)
    for (int terminal = 0; terminal < terminal_count; terminal++) {
      auto [kind, rule, state] = tables.token_step[s][terminal];
      int action = tables.action[s][terminal];
      if (action == 0) {
        EXPECT_EQ(kind, ERROR);
      } else if (action < 0) {
        bool unit = is_unit_rule(language_grammar, -action);
        EXPECT_TRUE(kind == (unit ? REDUCE_UNIT : REDUCE) && rule == -action);
        if (unit) {
          EXPECT_EQ(state, grammar_rules[size_t(-action)].lhs - N_ACCEPT);
        }
      }
      if (action <= 0) continue;
      int reduced = tables.default_reduction[size_t(action)];
      const Rule &r = grammar_rules[size_t(reduced)];
      if (kind == SHIFT) {
        EXPECT_EQ(state, action);
        EXPECT_FALSE(reduced && r.length == 1 && r.rhs[0] == terminal) << "state " << s << " on " << terminal;
        continue;
      }
      ASSERT_EQ(kind, SHIFT_REDUCE);
      EXPECT_TRUE(rule == reduced && r.length == 1 && r.rhs[0] == terminal);
      EXPECT_EQ(state, tables.goto_then_defaults[s][size_t(r.lhs - N_ACCEPT)]);
      fused_rules.push_back(rule);
    }
  for (int rule : {RULE_RET_TYPE_VOID, RULE_TYPE_INT, RULE_PRIMARY_NAME, RULE_PRIMARY_NUMBER})
    EXPECT_NE(std::find(fused_rules.begin(), fused_rules.end(), rule), fused_rules.end()) << "rule " << rule;
}

TEST(Lalr, DanglingElseShifts) {
  ParseTables tables = build_lalr_tables(language_grammar);
  int states_choosing = 0;
  for (size_t s = 0; s < tables.states.size(); s++) {
    bool completes_if = false;
    for (const Item &item : tables.states[s].kernel)
      completes_if |= item.rule == RULE_IF && item.dot == grammar_rules[RULE_IF].length;
    if (!completes_if) continue;
    states_choosing++;
    EXPECT_GT(tables.action[s][terminal_of(ELSE)], 0);
    EXPECT_EQ(tables.action[s][terminal_of(RBRACE)], -RULE_IF);
  }
  EXPECT_EQ(states_choosing, 1);
}

// The rule numbers are the language's own: the table generator's listing,
// the parse tables and the actions all go by them.
TEST(Grammar, RulesKeepTheirNumbers) {
  const char *const numbered[] = {
      "0 $accept: program $end",
      "1 program: function",
      "2 function: ret_type ID LPAREN RPAREN LBRACE stmt_list RBRACE",
      "3 ret_type: VOID",
      "4 ret_type: type",
      "5 type: INT",
      "6 stmt_list:",
      "7 stmt_list: stmt stmt_list",
      "8 stmt: simple_stmt SEMI",
      "9 stmt: control",
      "10 stmt: LBRACE stmt_list RBRACE",
      "11 simple_stmt: assign",
      "12 simple_stmt: declaration",
      "13 declaration: type assign decl_tail",
      "14 decl_tail:",
      "15 decl_tail: COMMA assign decl_tail",
      "16 assign: ID",
      "17 assign: ID ASSIGN expr",
      "18 expr: or_expr",
      "19 or_expr: or_expr OR and_expr",
      "20 or_expr: and_expr",
      "21 and_expr: and_expr AND eq_expr",
      "22 and_expr: eq_expr",
      "23 eq_expr: eq_expr EQUOP rel_expr",
      "24 eq_expr: rel_expr",
      "25 rel_expr: rel_expr RELOP add_expr",
      "26 rel_expr: add_expr",
      "27 add_expr: add_expr ADDOP mul_expr",
      "28 add_expr: mul_expr",
      "29 mul_expr: mul_expr MULOP unary",
      "30 mul_expr: unary",
      "31 unary: NOT primary",
      "32 unary: ADDOP primary",
      "33 unary: primary",
      "34 primary: ID",
      "35 primary: NUM",
      "36 primary: LPAREN expr RPAREN",
      "37 control: if_stmt",
      "38 control: loop",
      "39 if_stmt: IF LPAREN expr RPAREN stmt",
      "40 if_stmt: IF LPAREN expr RPAREN stmt ELSE stmt",
      "41 loop: while_stmt",
      "42 loop: do_stmt",
      "43 loop: for_stmt",
      "44 while_stmt: WHILE LPAREN expr RPAREN stmt",
      "45 do_stmt: DO stmt WHILE LPAREN expr RPAREN SEMI",
      "46 for_stmt: FOR LPAREN SEMI SEMI RPAREN stmt",
      "47 for_stmt: FOR LPAREN for_clause SEMI SEMI RPAREN stmt",
      "48 for_stmt: FOR LPAREN SEMI expr SEMI RPAREN stmt",
      "49 for_stmt: FOR LPAREN SEMI SEMI for_clause RPAREN stmt",
      "50 for_stmt: FOR LPAREN for_clause SEMI expr SEMI RPAREN stmt",
      "51 for_stmt: FOR LPAREN for_clause SEMI SEMI for_clause RPAREN stmt",
      "52 for_stmt: FOR LPAREN SEMI expr SEMI for_clause RPAREN stmt",
      "53 for_stmt: FOR LPAREN for_clause SEMI expr SEMI for_clause RPAREN stmt",
      "54 for_clause: declaration",
      "55 for_clause: assign assign_tail",
      "56 assign_tail:",
      "57 assign_tail: COMMA assign assign_tail",
  };
  ASSERT_EQ(std::size(numbered), size_t(rule_count));
  for (int number = 0; number < rule_count; number++) {
    const Rule &rule = grammar_rules[number];
    std::string text = std::to_string(number) + " " + symbol_names[rule.lhs] + ":";
    for (int i = 0; i < rule.length; i++) text += std::string(" ") + symbol_names[rule.rhs[i]];
    EXPECT_EQ(text, numbered[number]);
  }
}

// The parser's tables are indexed by token code minus 256.
TEST(Grammar, TerminalsByTokenCode) {
  const std::pair<int, const char *> codes[] = {
      {0, "$end"},     {257, "VOID"},  {258, "INT"},    {259, "ID"},      {260, "ASSIGN"},
      {261, "OR"},     {262, "AND"},   {263, "NOT"},    {264, "EQUOP"},   {265, "RELOP"},
      {266, "ADDOP"},  {267, "MULOP"}, {268, "IF"},     {269, "FOR"},     {270, "WHILE"},
      {271, "DO"},     {272, "NUM"},   {273, "LPAREN"}, {274, "RPAREN"},  {275, "LBRACE"},
      {276, "RBRACE"}, {277, "COMMA"}, {278, "SEMI"},   {279, "$unused"}, {280, "ELSE"},
  };
  ASSERT_EQ(std::size(codes), size_t(terminal_count));
  for (auto [code, name] : codes) EXPECT_STREQ(symbol_names[terminal_of(code)], name) << code;
}

Grammar with_rules(std::vector<Rule> &rules, const ShiftPreference *preferences, int preference_count) {
  return {rules.data(), int(rules.size()), symbol_names.data(), preferences, preference_count};
}

TEST(Lalr, RefusesAnyOtherConflict) {
  const ShiftPreference dangling_else{terminal_of(ELSE), RULE_IF};
  struct Case {
    const char *what;
    Rule extra;
  } cases[] = {
      // expr: expr ADDOP expr makes every chain ambiguous: shift/reduce.
      {"ambiguous binary rule", {N_EXPR, 3, {N_EXPR, terminal_of(ADDOP), N_EXPR}}},
      // primary: ID a second time: reduce/reduce.
      {"duplicate rule", {N_PRIMARY, 1, {terminal_of(ID)}}},
      // stmt: expr SEMI lets ID reduce to assign or to primary: reduce/reduce.
      {"expression statements", {N_STMT, 2, {N_EXPR, terminal_of(SEMI)}}},
  };
  for (const Case &c : cases) {
    std::vector<Rule> rules(grammar_rules.begin(), grammar_rules.end());
    rules.push_back(c.extra);
    ParseTables tables = build_lalr_tables(with_rules(rules, &dangling_else, 1));
    EXPECT_FALSE(tables.conflicts.empty()) << c.what;
  }
}

TEST(Lalr, DanglingElseIsAConflictUnlessResolved) {
  std::vector<Rule> rules(grammar_rules.begin(), grammar_rules.end());
  ParseTables tables = build_lalr_tables(with_rules(rules, nullptr, 0));
  ASSERT_EQ(tables.conflicts.size(), 1u);
  EXPECT_NE(tables.conflicts[0].find("ELSE"), std::string::npos);
}

}  // namespace
