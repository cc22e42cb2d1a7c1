#include "front/parser.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "common/output.hpp"
#include "front/grammar.hpp"
#include "front/parse_tables.hpp"
#include "front/positions.hpp"
#include "front/rule_actions.hpp"
#include "front/scanner.hpp"
#include "front/tree.hpp"
#include "report/report.hpp"

namespace {

constexpr int initial_stack_capacity = 200;  // entries when the stack is created
constexpr int stack_limit = 10000;           // entries, the start entry included
constexpr int no_lookahead = -1;             // no token read ahead; otherwise the lookahead is its terminal symbol

// One entry per symbol still open, above the start entry: its state and value.
struct ParseStack {
  int16_t *states = nullptr;
  YYSTYPE *values = nullptr;
  int capacity = 0;
  int top = 0;  // index of the top entry
};
ParseStack stack;

YYSTYPE node_value(NodeRef node) {
  YYSTYPE value;
  value.node = node;
  return value;
}

// What the parser needs to reduce by a rule, in one small record: the symbols
// it pops, the goto column of its left side, and whether it is a unit rule.
// Unit rules pass their value on: reducing one only replaces the state on top
// of the stack. They are most reductions (every operand climbs the seven
// operator levels), so the parser takes a short way for them.
struct RuleShape {
  uint8_t length;
  uint8_t column;
  bool unit;
};

const auto rule_shapes = [] {
  std::array<RuleShape, rule_count> shapes{};
  for (int rule = 0; rule < rule_count; rule++)
    shapes[rule] = {grammar_rules[rule].length, uint8_t(grammar_rules[rule].lhs - N_ACCEPT),
                    is_unit_rule(language_grammar, rule)};
  return shapes;
}();

// The state after a reduction to the nonterminal of `column` over state
// `below`, with every unit rule that follows reduced as well: those on the
// lookahead when it is known, else those reduced by default. Most reductions
// are followed by unit rules (every operand climbs the operator levels).
int state_after(int below, int column, int lookahead) {
  return lookahead == no_lookahead ? parse_goto_then_defaults[below][column]
                                   : parse_chain[parse_chain_row[below][column]][lookahead];
}

int syntax_error() {
  yyerror("syntax error");
  stack.top = 0;
  return 1;
}

int stack_overflow() {
  yyerror("yacc stack overflow");
  return 1;
}

// After the whole program: end of input accepts, any token is an error.
int accept(int lookahead) {
  if (lookahead == no_lookahead) lookahead = terminal_of(yylex());
  return lookahead == terminal_of(END_OF_INPUT) ? 0 : syntax_error();
}

// The whole program reduced: its report, then the end of input.
int accept_program(NodeRef program, int lookahead) {
  print_report(program);
  stack.states[stack.top = 1] = parse_goto[0][N_PROGRAM - N_ACCEPT];  // the final state
  return accept(lookahead);
}

// Positions, for the compiles that record them: the span of each symbol on
// the stack, beside its state and value; grown with the stack.
std::vector<ByteSpan> spans;

void make_spans_fit() {
  if (spans.size() < size_t(stack.capacity)) spans.resize(size_t(stack.capacity));
}

// The span of the symbols a rule pops, the top `length` entries; an empty
// rule's is the empty span at the end of the symbol below it.
ByteSpan rule_span(int top, int length) {
  if (length == 0) return {spans[size_t(top)].end, spans[size_t(top)].end};
  return {spans[size_t(top - length + 1)].begin, spans[size_t(top)].end};
}

// A token being shifted: its span, and for a name the span of its leaf,
// which is the scanner's copy (front/tree.hpp).
ByteSpan note_token(int terminal) {
  size_t begin = scanner_offset(yytext);
  ByteSpan span{begin, begin + yyleng};
  if (terminal == terminal_of(ID)) position_trace->nodes[yylval.text].span = span;
  return span;
}

// A node's span when a rule has made it or joined children to it: a node
// made by this rule covers its children, or the rule's symbols when it has
// none; a node made before covers its own span and its children's.
ByteSpan cover_node(NodeRef ref, ByteSpan rule) {
  auto &nodes = position_trace->nodes;
  auto found = nodes.find(ref);
  bool made_now = found == nodes.end();
  bool spanned = !made_now;
  ByteSpan span = made_now ? ByteSpan{} : found->second.span;
  const Node *node = node_at(ref);
  if (!isLeaf(node)) {
    for (NodeRef part : {node->lchild, right_ref(ref, node)}) {
      if (!part) continue;
      ByteSpan part_span = made_now ? cover_node(part, rule) : nodes[part].span;
      span = spanned ? cover_both(span, part_span) : part_span;
      spanned = true;
    }
  }
  if (!spanned) span = rule;
  nodes[ref].span = span;
  return span;
}

// After a rule's action: its value covers at least the rule's symbols (a
// value passed on grows by the rule's other tokens, such as a statement's
// ';'), and the nodes the action made or joined below it get their spans.
void note_reduction(NodeRef value, ByteSpan rule, bool statement) {
  if (!value) return;
  const Node *node = node_at(value);
  if (!isLeaf(node))
    for (NodeRef part : {node->lchild, right_ref(value, node)})
      if (part) cover_node(part, rule);
  NodeOrigin &origin = position_trace->nodes[value];
  origin.span = origin.span.end ? cover_both(origin.span, rule) : rule;
  origin.statement = origin.statement || statement || node->kind == NODE_CONTROL;
}

// The stack lives in locals while the parser runs, so the compiler keeps the
// top and the arrays in registers across the calls for tokens and the actions.
// Traced: the parse records positions. r1c's own parse is parse_states below,
// or this loop untraced when the stack cannot have its whole room at once.
template <bool Traced>
int parse() {
  if (stack.capacity == 0 && yygrowstack() != 0) return stack_overflow();
  if constexpr (Traced) make_spans_fit();
  int16_t *states = stack.states;
  YYSTYPE *values = stack.values;
  int top = 0;
  int last = stack.capacity - 1;  // the highest entry the stack has room for
  int state = states[0] = 0;
  int lookahead = no_lookahead;
  // Before a push: grows the stack when it is full, or ends the parse.
  auto make_room = [&] {
    if (top < last) return true;
    stack.top = top;
    if (yygrowstack() != 0) return false;
    states = stack.states;
    values = stack.values;
    last = stack.capacity - 1;
    if constexpr (Traced) make_spans_fit();
    return true;
  };
  for (;;) {
    int rule = parse_default_reduction[state];
    if (rule == 0) {
      if (lookahead == no_lookahead) lookahead = terminal_of(yylex());
      TokenStep step = parse_token_step[state][lookahead];
      if (step.kind == TOKEN_SHIFT || step.kind == TOKEN_SHIFT_REDUCE) {
        if (!make_room()) return stack_overflow();
        states[++top] = int16_t(state = step.state);
        values[top] = yylval;
        if constexpr (Traced) spans[size_t(top)] = note_token(lookahead);
        lookahead = no_lookahead;
        if (step.kind == TOKEN_SHIFT) continue;
        // The token's one-symbol rule: its value replaces the token's.
        values[top] = node_value(rule_value(step.rule, values + top));
        if constexpr (Traced) note_reduction(values[top].node, spans[size_t(top)], false);
        continue;
      }
      if (step.kind == TOKEN_REDUCE_UNIT) {
        states[top] = int16_t(state = state_after(states[top - 1], step.state, lookahead));
        continue;
      }
      if (step.kind == TOKEN_ERROR) return syntax_error();
      rule = step.rule;  // TOKEN_REDUCE
    }
    RuleShape shape = rule_shapes[rule];
    if (shape.unit) {
      states[top] = int16_t(state = state_after(states[top - 1], shape.column, lookahead));
      continue;
    }
    const YYSTYPE *symbols = values + top - shape.length + 1;
    YYSTYPE value = node_value(rule_value(rule, symbols));
    ByteSpan span;
    if constexpr (Traced) {
      span = rule_span(top, shape.length);
      note_reduction(value.node, span, rule == RULE_STMT_SIMPLE);
    }
    top -= shape.length;
    if (rule == RULE_PROGRAM && top == 0) {
      if constexpr (Traced) {
        position_trace->root = value.node;
        position_trace->report_begin = output_position();
      }
      return accept_program(value.node, lookahead);
    }
    state = state_after(states[top], shape.column, lookahead);
    if (!make_room()) return stack_overflow();
    states[++top] = int16_t(state);
    values[top] = value;
    if constexpr (Traced) spans[size_t(top)] = span;
  }
}

// The table loop without positions, kept out of parse_states, which inlines
// everything else.
[[gnu::noinline]] int parse_by_tables() { return parse<false>(); }

// r1c's own parse: the same steps as the table loop, with every state's block
// written out as code by lalr_gen (parse_states.inc). A block shifts and
// reduces with its states and rules as constants, so each rule's action is
// just that action; most gotos are a switch on the state below. The blocks
// read a token, reduce by default, push and overflow exactly where the table
// loop does. The stack gets its whole room first, so a push only compares
// top with the limit; without the memory for that, the table loop parses.
[[gnu::flatten]] int parse_states() {
  while (stack.capacity < stack_limit)
    if (yygrowstack() != 0) return parse_by_tables();
  int16_t *const states = stack.states;
  YYSTYPE *const values = stack.values;
  const int last = stack_limit - 1;  // the highest entry
  int top = 0;
  states[0] = 0;
  int lookahead = no_lookahead;  // the token read ahead, its code as yylex returns it
#include "parse_states.inc"
}

}  // namespace

PositionTrace *position_trace = nullptr;

void yyerror(const char *message) { error_line(yylineno, message); }

int yygrowstack() {
  if (stack.capacity >= stack_limit) return -1;
  int capacity = stack.capacity == 0 ? initial_stack_capacity : std::min(stack.capacity * 2, stack_limit);
  auto *states = static_cast<int16_t *>(std::realloc(stack.states, size_t(capacity) * sizeof(int16_t)));
  if (!states) return -1;
  stack.states = states;
  auto *values = static_cast<YYSTYPE *>(std::realloc(stack.values, size_t(capacity) * sizeof(YYSTYPE)));
  if (!values) return -1;
  stack.values = values;
  stack.capacity = capacity;
  return 0;
}

int yyparse() { return position_trace ? parse<true>() : parse_states(); }

void parser_reset() {
  std::free(stack.states);
  std::free(stack.values);
  stack = ParseStack{};
  spans = std::vector<ByteSpan>();
}
