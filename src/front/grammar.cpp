#include "front/grammar.hpp"

#include <array>
#include <initializer_list>
#include <iterator>

namespace {

// A symbol on a rule's right side, written as its token or its nonterminal.
struct RuleSymbol {
  Symbol symbol;
  constexpr RuleSymbol(TokenCode token) : symbol(terminal_of(token)) {}
  constexpr RuleSymbol(Nonterminal nonterminal) : symbol(nonterminal) {}
};

struct NumberedRule {
  int number;
  Rule rule;
};

constexpr NumberedRule numbered_rule(int number, Nonterminal lhs, std::initializer_list<RuleSymbol> rhs) {
  NumberedRule r{number, {lhs, uint8_t(rhs.size()), {}}};
  int i = 0;
  for (RuleSymbol s : rhs) r.rule.rhs[i++] = s.symbol;
  return r;
}

constexpr NumberedRule listed_rules[] = {
#define R1C_RULE_ENTRY(name, number, lhs, ...) numbered_rule(number, lhs, {__VA_ARGS__}),
    R1C_RULES(R1C_RULE_ENTRY)
#undef R1C_RULE_ENTRY
};

}  // namespace

// The rules by number; every number from 0 up is used once.
constinit const std::array<Rule, rule_count> grammar_rules = [] {
  std::array<Rule, rule_count> rules{};
  std::array<bool, rule_count> numbered{};
  for (const NumberedRule &r : listed_rules) {
    if (r.number < 0 || r.number >= rule_count || numbered[r.number]) throw "rule numbers run from 0 without gaps";
    numbered[r.number] = true;
    rules[r.number] = r.rule;
  }
  return rules;
}();

constinit const std::array<const char *, SYMBOL_COUNT> symbol_names = [] {
  std::array<const char *, SYMBOL_COUNT> names{};
  names[terminal_of(END_OF_INPUT)] = "$end";
#define R1C_TOKEN_NAME(name, code) names[terminal_of(code)] = #name;
  R1C_TOKENS(R1C_TOKEN_NAME)
#undef R1C_TOKEN_NAME
  names[terminal_of(reserved_token_code)] = "$unused";
#define R1C_NONTERMINAL_NAME(symbol, name) names[symbol] = name;
  R1C_NONTERMINALS(R1C_NONTERMINAL_NAME)
#undef R1C_NONTERMINAL_NAME
  for (const char *name : names)
    if (!name) throw "a name for every symbol";
  return names;
}();

// The dangling else: after "if ( expr ) stmt", ELSE is shifted rather than
// reducing RULE_IF, so an else belongs to the nearest if without one.
static constexpr ShiftPreference dangling_else[] = {{terminal_of(ELSE), RULE_IF}};

const Grammar language_grammar = {grammar_rules.data(), rule_count, symbol_names.data(), dangling_else,
                                  int(std::size(dangling_else))};
