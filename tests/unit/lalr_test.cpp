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

// The states reached after the function's closing brace reduce rules 2 and
// then 1 without reading another token.
TEST(Lalr, FunctionAndProgramReduceWithoutLookahead) {
  ParseTables tables = build_lalr_tables(language_grammar);
  int defaults_for_1 = 0, defaults_for_2 = 0;
  for (uint8_t rule : tables.default_reduction) {
    defaults_for_1 += rule == 1;
    defaults_for_2 += rule == 2;
  }
  EXPECT_EQ(defaults_for_1, 1);
  EXPECT_EQ(defaults_for_2, 1);
}

TEST(Lalr, DanglingElseShifts) {
  ParseTables tables = build_lalr_tables(language_grammar);
  int states_choosing = 0;
  for (size_t s = 0; s < tables.states.size(); s++) {
    bool completes_if = false;
    for (const Item &item : tables.states[s].kernel) completes_if |= item.rule == 39 && item.dot == 5;
    if (!completes_if) continue;
    states_choosing++;
    EXPECT_GT(tables.action[s][T_ELSE], 0);
    EXPECT_EQ(tables.action[s][T_RBRACE], -39);
  }
  EXPECT_EQ(states_choosing, 1);
}

Grammar with_rules(std::vector<Rule> &rules, const ShiftPreference *preferences, int preference_count) {
  return {rules.data(), int(rules.size()), symbol_names, preferences, preference_count};
}

TEST(Lalr, RefusesAnyOtherConflict) {
  const ShiftPreference dangling_else{T_ELSE, 39};
  struct Case {
    const char *what;
    Rule extra;
  } cases[] = {
      // expr: expr ADDOP expr makes every chain ambiguous: shift/reduce.
      {"ambiguous binary rule", {N_EXPR, 3, {N_EXPR, T_ADDOP, N_EXPR}}},
      // primary: ID duplicates assign: ID where both can start a statement... and rule 34 again: reduce/reduce.
      {"duplicate rule", {N_PRIMARY, 1, {T_ID}}},
      // stmt: expr SEMI lets ID reduce to assign or to primary: reduce/reduce.
      {"expression statements", {N_STMT, 2, {N_EXPR, T_SEMI}}},
  };
  for (const Case &c : cases) {
    std::vector<Rule> rules(grammar_rules, grammar_rules + rule_count);
    rules.push_back(c.extra);
    ParseTables tables = build_lalr_tables(with_rules(rules, &dangling_else, 1));
    EXPECT_FALSE(tables.conflicts.empty()) << c.what;
  }
}

TEST(Lalr, DanglingElseIsAConflictUnlessResolved) {
  std::vector<Rule> rules(grammar_rules, grammar_rules + rule_count);
  ParseTables tables = build_lalr_tables(with_rules(rules, nullptr, 0));
  ASSERT_EQ(tables.conflicts.size(), 1u);
  EXPECT_NE(tables.conflicts[0].find("ELSE"), std::string::npos);
}

}  // namespace
