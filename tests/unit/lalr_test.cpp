// The table generator: the language grammar builds with only its one
// resolved conflict, and any other conflict is refused.
#include <gtest/gtest.h>

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
