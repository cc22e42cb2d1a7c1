#include "lalr.hpp"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace {

bool is_terminal(int symbol) { return symbol < terminal_count; }

// Symbol after the dot, or -1 when the item is complete.
int next_symbol(const Grammar &g, Item item) {
  const Rule &r = g.rules[item.rule];
  return item.dot < r.length ? r.rhs[item.dot] : -1;
}

struct FirstSets {
  std::vector<TerminalSet> first;  // per symbol
  std::vector<bool> nullable;      // per symbol
};

FirstSets compute_first_sets(const Grammar &g) {
  FirstSets f{std::vector<TerminalSet>(SYMBOL_COUNT), std::vector<bool>(SYMBOL_COUNT)};
  for (int t = 0; t < terminal_count; t++) f.first[t].set(t);
  for (bool changed = true; changed;) {
    changed = false;
    for (int r = 0; r < g.rule_count; r++) {
      const Rule &rule = g.rules[r];
      TerminalSet before = f.first[rule.lhs];
      bool all_nullable = true;
      for (int i = 0; i < rule.length && all_nullable; i++) {
        f.first[rule.lhs] |= f.first[rule.rhs[i]];
        all_nullable = f.nullable[rule.rhs[i]];
      }
      if (all_nullable && !f.nullable[rule.lhs]) f.nullable[rule.lhs] = changed = true;
      if (f.first[rule.lhs] != before) changed = true;
    }
  }
  return f;
}

// FIRST of rhs[from..] followed by the lookaheads `follow`.
TerminalSet first_of_rest(const FirstSets &f, const Rule &rule, int from, const TerminalSet &follow) {
  TerminalSet result;
  for (int i = from; i < rule.length; i++) {
    result |= f.first[rule.rhs[i]];
    if (!f.nullable[rule.rhs[i]]) return result;
  }
  return result | follow;
}

using ItemSet = std::map<std::pair<int, int>, TerminalSet>;  // (rule, dot) -> lookaheads

// Adds every item predicted by the set, with the lookaheads each receives.
void close(const Grammar &g, const FirstSets &f, ItemSet &items) {
  for (bool changed = true; changed;) {
    changed = false;
    for (auto &[key, lookahead] : items) {
      int symbol = next_symbol(g, {key.first, key.second});
      if (symbol < 0 || is_terminal(symbol)) continue;
      TerminalSet follow = first_of_rest(f, g.rules[key.first], key.second + 1, lookahead);
      for (int r = 0; r < g.rule_count; r++) {
        if (g.rules[r].lhs != symbol) continue;
        auto [at, inserted] = items.try_emplace({r, 0});
        if (inserted || (at->second | follow) != at->second) at->second |= follow, changed = true;
      }
    }
  }
}

ItemSet closure_of(const Grammar &g, const FirstSets &f, const LrState &state) {
  ItemSet items;
  for (size_t i = 0; i < state.kernel.size(); i++)
    items[{state.kernel[i].rule, state.kernel[i].dot}] = state.lookaheads[i];
  close(g, f, items);
  return items;
}

int find_or_add_state(std::vector<LrState> &states, std::vector<Item> kernel) {
  std::sort(kernel.begin(), kernel.end(),
            [](Item a, Item b) { return a.rule != b.rule ? a.rule < b.rule : a.dot < b.dot; });
  for (size_t s = 0; s < states.size(); s++)
    if (states[s].kernel == kernel) return int(s);
  LrState state{kernel, std::vector<TerminalSet>(kernel.size()), std::vector<int>(SYMBOL_COUNT, -1)};
  states.push_back(state);
  return int(states.size() - 1);
}

// The LR(0) automaton: states are identified by their kernels.
void build_lr0_states(const Grammar &g, const FirstSets &f, std::vector<LrState> &states) {
  find_or_add_state(states, {{0, 0}});
  for (size_t s = 0; s < states.size(); s++) {
    ItemSet items = closure_of(g, f, states[s]);
    for (int symbol = 0; symbol < SYMBOL_COUNT; symbol++) {
      std::vector<Item> kernel;
      for (auto &[key, lookahead] : items)
        if (next_symbol(g, {key.first, key.second}) == symbol) kernel.push_back({key.first, key.second + 1});
      if (!kernel.empty()) states[s].transitions[symbol] = find_or_add_state(states, kernel);
    }
  }
}

size_t kernel_index(const LrState &state, Item item) {
  return size_t(std::find(state.kernel.begin(), state.kernel.end(), item) - state.kernel.begin());
}

// Carries lookaheads along every transition until nothing changes.
void propagate_lookaheads(const Grammar &g, const FirstSets &f, std::vector<LrState> &states) {
  for (bool changed = true; changed;) {
    changed = false;
    for (LrState &state : states) {
      for (auto &[key, lookahead] : closure_of(g, f, state)) {
        int symbol = next_symbol(g, {key.first, key.second});
        if (symbol < 0) continue;
        LrState &target = states[state.transitions[symbol]];
        TerminalSet &into = target.lookaheads[kernel_index(target, {key.first, key.second + 1})];
        if ((into | lookahead) != into) into |= lookahead, changed = true;
      }
    }
  }
}

bool shift_preferred(const Grammar &g, int terminal, int rule) {
  for (int i = 0; i < g.preference_count; i++)
    if (g.preferences[i].terminal == terminal && g.preferences[i].rule == rule) return true;
  return false;
}

void add_reduce(const Grammar &g, ParseTables &t, int s, int terminal, int rule) {
  int16_t &cell = t.action[s][terminal];
  std::string where = "state " + std::to_string(s) + " on " + g.symbol_names[terminal] + ": ";
  if (cell > 0) {
    if (!shift_preferred(g, terminal, rule))
      t.conflicts.push_back(where + "shift/reduce conflict with rule " + std::to_string(rule));
  } else if (cell < 0 && -cell != rule) {
    t.conflicts.push_back(where + "reduce/reduce conflict between rules " + std::to_string(-cell) + " and " +
                          std::to_string(rule));
  } else {
    cell = int16_t(-rule);
  }
}

// A state with no shift whose reductions all use one rule reduces it without
// reading a lookahead.
uint8_t default_reduction_of(const std::vector<int16_t> &actions) {
  int rule = 0;
  for (int16_t a : actions) {
    if (a > 0) return 0;
    if (a < 0 && rule != 0 && -a != rule) return 0;
    if (a < 0) rule = -a;
  }
  return uint8_t(rule);
}

void fill_actions(const Grammar &g, const FirstSets &f, ParseTables &t) {
  size_t n = t.states.size();
  t.action.assign(n, std::vector<int16_t>(terminal_count, 0));
  t.go_to.assign(n, std::vector<int16_t>(nonterminal_count, 0));
  for (size_t s = 0; s < n; s++) {
    const LrState &state = t.states[s];
    for (int symbol = 0; symbol < SYMBOL_COUNT; symbol++) {
      int next = state.transitions[symbol];
      if (next < 0) continue;
      if (is_terminal(symbol))
        t.action[s][symbol] = int16_t(next);
      else
        t.go_to[s][symbol - N_ACCEPT] = int16_t(next);
    }
    for (auto &[key, lookahead] : closure_of(g, f, state)) {
      if (next_symbol(g, {key.first, key.second}) >= 0 || key.first == 0) continue;
      for (int terminal = 0; terminal < terminal_count; terminal++)
        if (lookahead.test(terminal)) add_reduce(g, t, int(s), terminal, key.first);
    }
  }
  t.default_reduction.resize(n);
  for (size_t s = 0; s < n; s++) t.default_reduction[s] = default_reduction_of(t.action[s]);
}

// The rule state s reduces on lookahead terminal, as the parser decides it:
// its default reduction if it has one, else its action; 0 for none.
int reduction_on(const ParseTables &t, int s, int terminal) {
  if (t.default_reduction[s]) return t.default_reduction[s];
  return t.action[s][terminal] < 0 ? -t.action[s][terminal] : 0;
}

// Follows unit reductions from go_to[below][column], on one lookahead or, for
// no_terminal, by default only. A chain is shorter than the number of
// nonterminals unless the grammar has a cycle of unit rules, which would be
// ambiguous; the bound only guards against that.
constexpr int no_terminal = -1;

int16_t end_of_chain(const Grammar &g, const ParseTables &t, int below, int column, int terminal) {
  int s = t.go_to[below][column];
  for (int rule, steps = 0; steps < nonterminal_count; steps++) {
    rule = terminal == no_terminal ? t.default_reduction[s] : reduction_on(t, s, terminal);
    if (rule == 0 || !is_unit_rule(g, rule)) break;
    s = t.go_to[below][g.rules[rule].lhs - N_ACCEPT];
  }
  return int16_t(s);
}

void fill_chains(const Grammar &g, ParseTables &t) {
  t.chain_row.assign(t.states.size(), std::vector<int16_t>(nonterminal_count, -1));
  t.goto_then_defaults.assign(t.states.size(), std::vector<int16_t>(nonterminal_count, 0));
  for (size_t below = 0; below < t.states.size(); below++)
    for (int column = 0; column < nonterminal_count; column++) {
      if (t.go_to[below][column] == 0) continue;
      t.goto_then_defaults[below][column] = end_of_chain(g, t, int(below), column, no_terminal);
      t.chain_row[below][column] = int16_t(t.chain.size());
      std::vector<int16_t> row(terminal_count);
      for (int terminal = 0; terminal < terminal_count; terminal++)
        row[terminal] = end_of_chain(g, t, int(below), column, terminal);
      t.chain.push_back(row);
    }
}

// The kinds of TokenStep in front/parse_tables.hpp.
enum StepKind { TOKEN_ERROR, TOKEN_SHIFT, TOKEN_SHIFT_REDUCE, TOKEN_REDUCE, TOKEN_REDUCE_UNIT };

// A shift into a state whose only action is to reduce a rule of that one
// token is done as the reduction: the token never sits on the stack.
void fill_token_steps(const Grammar &g, ParseTables &t) {
  t.token_step.assign(t.states.size(), std::vector<std::array<int, 3>>(terminal_count, {TOKEN_ERROR, 0, 0}));
  for (size_t s = 0; s < t.states.size(); s++)
    for (int terminal = 0; terminal < terminal_count; terminal++) {
      int action = t.action[s][terminal];
      std::array<int, 3> &step = t.token_step[s][terminal];
      if (action < 0 && is_unit_rule(g, -action))
        step = {TOKEN_REDUCE_UNIT, -action, g.rules[-action].lhs - N_ACCEPT};
      else if (action < 0)
        step = {TOKEN_REDUCE, -action, 0};
      if (action <= 0) continue;
      int rule = t.default_reduction[action];
      bool leaf = rule != 0 && g.rules[rule].length == 1 && is_terminal(g.rules[rule].rhs[0]);
      if (leaf)
        step = {TOKEN_SHIFT_REDUCE, rule, end_of_chain(g, t, int(s), g.rules[rule].lhs - N_ACCEPT, no_terminal)};
      else
        step = {TOKEN_SHIFT, 0, action};
    }
}

}  // namespace

ParseTables build_lalr_tables(const Grammar &grammar) {
  FirstSets first = compute_first_sets(grammar);
  ParseTables tables;
  build_lr0_states(grammar, first, tables.states);
  propagate_lookaheads(grammar, first, tables.states);
  fill_actions(grammar, first, tables);
  fill_chains(grammar, tables);
  fill_token_steps(grammar, tables);
  return tables;
}

namespace {

std::string item_text(const Grammar &g, Item item) {
  const Rule &r = g.rules[item.rule];
  std::string text = std::string(g.symbol_names[r.lhs]) + " ->";
  for (int i = 0; i <= r.length; i++) {
    if (i == item.dot) text += " .";
    if (i < r.length) text += std::string(" ") + g.symbol_names[r.rhs[i]];
  }
  return text + "   (rule " + std::to_string(item.rule) + ")";
}

}  // namespace

std::string describe_tables(const Grammar &g, const ParseTables &t) {
  std::string out;
  for (size_t s = 0; s < t.states.size(); s++) {
    out += "state " + std::to_string(s) + "\n";
    for (const Item &item : t.states[s].kernel) out += "    " + item_text(g, item) + "\n";
    if (t.default_reduction[s]) out += "    default: reduce rule " + std::to_string(t.default_reduction[s]) + "\n";
    for (int term = 0; term < terminal_count; term++) {
      int16_t a = t.action[s][term];
      if (a > 0) out += std::string("    ") + g.symbol_names[term] + ": shift to " + std::to_string(a) + "\n";
      if (a < 0) out += std::string("    ") + g.symbol_names[term] + ": reduce rule " + std::to_string(-a) + "\n";
    }
    for (int nt = 0; nt < nonterminal_count; nt++)
      if (t.go_to[s][nt])
        out += std::string("    ") + g.symbol_names[N_ACCEPT + nt] + ": go to " + std::to_string(t.go_to[s][nt]) + "\n";
    out += "\n";
  }
  for (const std::string &c : t.conflicts) out += "conflict: " + c + "\n";
  return out;
}

namespace {

std::string table_rows(const std::vector<std::vector<int16_t>> &rows) {
  std::string out;
  for (const auto &row : rows) {
    out += "    {";
    for (size_t i = 0; i < row.size(); i++) out += (i ? ", " : "") + std::to_string(row[i]);
    out += "},\n";
  }
  return out;
}

}  // namespace

std::string tables_source(const ParseTables &t) {
  std::string out = "// Generated from the grammar table by lalr_gen; do not edit.\n";
  out += "#include \"front/parse_tables.hpp\"\n\n";
  out += "const int parse_state_count = " + std::to_string(t.states.size()) + ";\n\n";
  out += "const int16_t parse_action[][terminal_count] = {\n" + table_rows(t.action) + "};\n\n";
  out += "const int16_t parse_goto[][nonterminal_count] = {\n" + table_rows(t.go_to) + "};\n\n";
  out += "const uint8_t parse_default_reduction[] = {";
  for (size_t s = 0; s < t.default_reduction.size(); s++)
    out += (s % 20 ? " " : "\n    ") + std::to_string(t.default_reduction[s]) + ",";
  out += "\n};\n\n";
  out += "const int16_t parse_chain_row[][nonterminal_count] = {\n" + table_rows(t.chain_row) + "};\n\n";
  out += "const int16_t parse_chain[][terminal_count] = {\n" + table_rows(t.chain) + "};\n\n";
  out +=
      "const int16_t parse_goto_then_defaults[][nonterminal_count] = {\n" + table_rows(t.goto_then_defaults) + "};\n";
  constexpr const char *step_kind_names[] = {"TOKEN_ERROR", "TOKEN_SHIFT", "TOKEN_SHIFT_REDUCE", "TOKEN_REDUCE",
                                             "TOKEN_REDUCE_UNIT"};
  out += "\nconst TokenStep parse_token_step[][terminal_count] = {\n";
  for (const auto &row : t.token_step) {
    out += "    {";
    for (size_t i = 0; i < row.size(); i++)
      out += std::string(i ? ", " : "") + "{" + std::to_string(row[i][2]) + ", " + std::to_string(row[i][1]) + ", " +
             step_kind_names[row[i][0]] + "}";
    out += "},\n";
  }
  out += "};\n";
  return out;
}

std::string items_source(const Grammar &g, const ParseTables &t) {
  FirstSets first = compute_first_sets(g);
  std::string out = "// Generated from the grammar table by lalr_gen; do not edit.\n";
  out += "#include \"front/parse_items.hpp\"\n\n";
  std::string begins = "const int parse_item_begin[] = {";
  out += "const ParseItem parse_items[] = {";
  size_t count = 0;
  for (size_t s = 0; s < t.states.size(); s++) {
    begins += (s % 20 ? " " : "\n    ") + std::to_string(count) + ",";
    std::vector<std::pair<Item, bool>> items;
    for (const Item &item : t.states[s].kernel) items.push_back({item, true});
    for (auto &[key, lookahead] : closure_of(g, first, t.states[s])) {
      Item item{key.first, key.second};
      if (std::find(t.states[s].kernel.begin(), t.states[s].kernel.end(), item) == t.states[s].kernel.end())
        items.push_back({item, false});
    }
    for (auto &[item, kernel] : items)
      out += (count++ % 8 ? " " : "\n    ") + std::string("{") + std::to_string(item.rule) + ", " +
             std::to_string(item.dot) + ", " + (kernel ? "true" : "false") + "},";
  }
  begins += " " + std::to_string(count) + ",\n};\n";
  return out + "\n};\n\n" + begins;
}

namespace {

// What a piece of the parse knows of the lookahead: not read yet, read but
// only known at run time, or one terminal.
constexpr int not_read = no_terminal;
constexpr int read_any = -2;

std::string rule_name(int rule) {
  switch (rule) {
#define R1C_RULE_NAME_CASE(name, number, ...) \
  case number: return #name;
    R1C_RULES(R1C_RULE_NAME_CASE)
#undef R1C_RULE_NAME_CASE
  }
  return "RuleName(" + std::to_string(rule) + ")";
}

// A nonterminal's name in the Nonterminal enumeration, without its N_.
std::string nonterminal_name(const Grammar &g, int symbol) {
  std::string name;
  for (const char *c = g.symbol_names[symbol]; *c; c++)
    if (*c != '$') name += char(std::toupper(static_cast<unsigned char>(*c)));
  return name;
}

// The token code of a terminal, as the scanner returns it.
std::string token_label(const Grammar &g, int terminal) {
  return terminal == 0 ? "END_OF_INPUT" : g.symbol_names[terminal];
}

// Writes the parse as code: a block per state and what is known of the
// lookahead, each written once something jumps to it. A state that reads the
// lookahead has two entries, state_N before the token is read and
// state_N_ahead after it. A state that reduces by default has a block for
// each way it is reached: state_N, state_N_ahead, and state_N_on_T with the
// lookahead known to be T, whose gotos are constants.
using BlockKey = std::pair<int, int>;  // state, lookahead knowledge

struct StateCode {
  const Grammar &g;
  const ParseTables &t;
  std::set<BlockKey> jumped_to;
  std::map<BlockKey, std::string> blocks;
  std::vector<BlockKey> pending;
  std::set<int> entered, entered_ahead;  // states entered through enter_state and enter_state_ahead

  bool reads(int state) const { return t.default_reduction[size_t(state)] == 0; }

  // The block for a state and lookahead: a state that reads tells one
  // lookahead from another itself.
  BlockKey key(int state, int lookahead) const {
    return {state, lookahead >= 0 && reads(state) ? read_any : lookahead};
  }

  std::string label(BlockKey block) const {
    std::string name = "state_" + std::to_string(block.first);
    if (block.second == read_any) return name + "_ahead";
    if (block.second >= 0) return name + "_on_" + (block.second == 0 ? "END" : g.symbol_names[block.second]);
    return name;
  }

  void need(BlockKey block) {
    if (!blocks.count(block) && std::find(pending.begin(), pending.end(), block) == pending.end())
      pending.push_back(block);
  }

  std::string jump(int state, int lookahead) {
    BlockKey block = key(state, lookahead);
    jumped_to.insert(block);
    need(block);
    return "goto " + label(block) + ";";
  }

  // The state after a reduction to column over the state below, in
  // states[top]; unit rules reduced after it are followed as far as the
  // lookahead tells (the chains of the tables).
  std::string go_to(int column, int lookahead, bool unit, const std::string &indent) {
    std::set<int> targets;
    for (size_t below = 0; below < t.states.size(); below++) {
      if (t.go_to[below][size_t(column)] == 0) continue;
      const std::vector<int16_t> &chain = t.chain[size_t(t.chain_row[below][size_t(column)])];
      if (lookahead == not_read)
        targets.insert(t.goto_then_defaults[below][size_t(column)]);
      else if (lookahead >= 0)
        targets.insert(chain[size_t(lookahead)]);
      else
        targets.insert(chain.begin(), chain.end());
    }
    if (targets.size() == 1) return arrive(*targets.begin(), lookahead, indent);
    if (lookahead != read_any && (targets.size() <= switched_targets || (unit && lookahead >= 0)))
      return switch_below(column, lookahead, indent);
    // The tables choose, and the block is entered through a switch on the
    // state shared by every such goto: after a reduction by default with the
    // lookahead read, whose chain of unit rules depends on it, or where a
    // switch would be large and is rarely taken.
    bool ahead = lookahead != not_read;
    std::string column_name = std::string("N_") + nonterminal_name(g, N_ACCEPT + column) + " - N_ACCEPT";
    for (int target : targets)
      (ahead ? entered_ahead : entered).insert(target), need({target, ahead ? read_any : not_read});
    if (!ahead)
      return indent + "states[top] = parse_goto_then_defaults[states[top - 1]][" + column_name + "];\n" + indent +
             "goto enter_state;\n";
    return indent + "states[top] = parse_chain[parse_chain_row[states[top - 1]][" + column_name +
           "]][terminal_of(lookahead)];\n" + indent + "goto enter_state_ahead;\n";
  }

  // A goto chosen by a switch on the state below, with the target states as
  // constants: for every unit rule on a known lookahead (the most frequent
  // gotos, along the operator levels) and for gotos with a few targets. Many
  // such switches make r1c's image larger, which the smallest memory limits
  // it starts under notice.
  static constexpr size_t switched_targets = 12;

  std::string switch_below(int column, int lookahead, const std::string &indent) {
    std::map<int, std::vector<int>> below_by_target;
    for (size_t below = 0; below < t.states.size(); below++) {
      if (t.go_to[below][size_t(column)] == 0) continue;
      int target = lookahead == not_read ? t.goto_then_defaults[below][size_t(column)]
                                         : t.chain[size_t(t.chain_row[below][size_t(column)])][size_t(lookahead)];
      below_by_target[target].push_back(int(below));
    }
    std::string out = indent + "switch (states[top - 1]) {\n";
    for (auto &[target, belows] : below_by_target) {
      out += indent + " ";
      for (int below : belows) out += " case " + std::to_string(below) + ":";
      out += " states[top] = " + std::to_string(target) + "; " + jump(target, lookahead) + "\n";
    }
    return out + indent + "  default: __builtin_unreachable();\n" + indent + "}\n";
  }

  // Arriving at target on top of the stack: with the lookahead known, what
  // target does with it when it reads a token, a shift or an error, follows
  // at once; otherwise the target's block.
  std::string arrive(int target, int lookahead, const std::string &indent) {
    std::string out = indent + "states[top] = " + std::to_string(target) + ";";
    if (lookahead < 0 || !reads(target)) return out + " " + jump(target, lookahead) + "\n";
    int action = t.action[size_t(target)][size_t(lookahead)];
    if (action < 0) return out + " " + jump(target, lookahead) + "\n";
    if (action == 0) return out + " goto error;\n";
    return out + "\n" + shift(target, lookahead, indent);
  }

  // Before a push: a full stack ends the parse.
  std::string make_room(const std::string &indent) { return indent + "if (top == last) goto overflow;\n"; }

  std::string reduce(int rule, int lookahead, const std::string &indent) {
    const Rule &r = g.rules[rule];
    int column = r.lhs - N_ACCEPT;
    std::string name = rule_name(rule);
    if (is_unit_rule(g, rule))
      return indent + "// " + name + ", a unit rule\n" + go_to(column, lookahead, true, indent);
    if (r.lhs == g.rules[0].rhs[0])
      return indent + "return accept_program(rule_value(" + name + ", values + top), " +
             (lookahead == not_read ? "no_lookahead" : "terminal_of(lookahead)") + ");\n";
    std::string out;
    if (r.length == 0) {
      out += make_room(indent);
      out += indent + "top++;\n";
    } else if (r.length > 1) {
      out += indent + "top -= " + std::to_string(r.length - 1) + ";\n";
    }
    out += indent + "values[top].node = rule_value(" + name + ", values + top);\n";
    return out + go_to(column, lookahead, false, indent);
  }

  std::string shift(int state, int terminal, const std::string &indent) {
    const std::array<int, 3> &step = t.token_step[size_t(state)][size_t(terminal)];
    std::string out = make_room(indent);
    if (step[0] == TOKEN_SHIFT_REDUCE) {
      out += indent + "values[++top].node = rule_value(" + rule_name(step[1]) + ", &yylval);\n";
      out += indent + "states[top] = " + std::to_string(step[2]) + ";\n";
      return out + indent + jump(step[2], not_read) + "\n";
    }
    out += indent + "states[++top] = " + std::to_string(step[2]) + ";\n";
    out += indent + "values[top] = yylval;\n";
    return out + indent + jump(step[2], not_read) + "\n";
  }

  // A state that reads: one case for each action on the lookahead, the
  // terminals that share one grouped.
  std::string on_lookahead(int state) {
    std::vector<std::pair<std::string, std::vector<int>>> cases;
    for (int terminal = 0; terminal < terminal_count; terminal++) {
      int action = t.action[size_t(state)][size_t(terminal)];
      if (action == 0) continue;
      std::string code = action > 0 ? shift(state, terminal, "      ") : reduce(-action, terminal, "      ");
      auto same = std::find_if(cases.begin(), cases.end(), [&](auto &c) { return c.first == code; });
      if (same == cases.end())
        cases.push_back({code, {terminal}});
      else
        same->second.push_back(terminal);
    }
    std::string out = "  switch (lookahead) {\n";
    for (auto &[code, terminals] : cases) {
      for (int terminal : terminals) out += "    case " + token_label(g, terminal) + ":\n";
      out += code;
    }
    return out + "    default: goto error;\n  }\n";
  }

  std::string block(int state, int lookahead) {
    if (!reads(state)) return reduce(t.default_reduction[size_t(state)], lookahead, "  ");
    if (lookahead == not_read) {
      need({state, read_any});
      return "  lookahead = yylex();\n";
    }
    return on_lookahead(state);
  }
};

}  // namespace

std::string states_source(const Grammar &g, const ParseTables &t) {
  StateCode code{g, t, {}, {}, {}, {}, {}};
  code.need({0, not_read});
  while (!code.pending.empty()) {
    BlockKey block = code.pending.back();
    code.pending.pop_back();
    code.blocks[block] = code.block(block.first, block.second);
  }
  std::string out =
      "// Generated from the grammar table by lalr_gen; do not edit.\n"
      "// The parse states as code, for the body of the parser's own loop\n"
      "// (front/parser.cpp); the parse starts in state 0, at the top.\n";
  for (size_t s = 0; s < t.states.size(); s++) {
    int state = int(s);
    bool described = false;
    // Before the lookahead is read, after it, then on each known lookahead: a
    // state that reads falls through from the first to the second. Known
    // lookaheads that the block treats alike share it, under all their labels.
    std::vector<int> order = {not_read, read_any};
    for (int terminal = 0; terminal < terminal_count; terminal++) order.push_back(terminal);
    std::set<std::string> written;
    for (int lookahead : order) {
      auto found = code.blocks.find({state, lookahead});
      if (found == code.blocks.end() || written.count(found->second)) continue;
      auto &[block, text] = *found;
      if (!described) {
        out += "\n// state " + std::to_string(state) + "\n";
        for (const Item &item : t.states[s].kernel) out += "//   " + item_text(g, item) + "\n";
        described = true;
      }
      bool entered = (block.second == read_any ? code.entered_ahead : code.entered).count(state);
      if (block.second >= 0) {
        for (int alike : order)
          if (alike >= 0 && code.blocks.count({state, alike}) && code.blocks[{state, alike}] == text)
            out += code.label({state, alike}) + ":\n";
        written.insert(text);
      } else if (code.jumped_to.count(block) || entered) {
        out += code.label(block) + ":\n";
      }
      out += text;
    }
  }
  out += "\nerror:\n  return syntax_error();\noverflow:\n  return stack_overflow();\n";
  for (bool ahead : {false, true}) {
    const std::set<int> &entered = ahead ? code.entered_ahead : code.entered;
    if (entered.empty()) continue;
    out += std::string("\n// The block of the state on top, after a goto the tables chose.\n") +
           (ahead ? "enter_state_ahead:\n" : "enter_state:\n") + "  switch (states[top]) {\n";
    for (int state : entered)
      out += "    case " + std::to_string(state) + ": goto " + code.label({state, ahead ? read_any : not_read}) + ";\n";
    out += "    default: __builtin_unreachable();\n  }\n";
  }
  return out;
}
