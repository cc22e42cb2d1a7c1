#include "front/parser.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "common/output.hpp"
#include "front/grammar.hpp"
#include "front/parse_tables.hpp"
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

// A node with its children, made in one step: new_dummy_node or new_node,
// then join_child_node.
NodeRef sequence(NodeRef first, NodeRef rest) { return make_node(NODE_SEQ, TEXT_SEQUENCE, first, rest); }

NodeRef operator_node(TreeRef text, int kind, NodeRef left, NodeRef right) {
  return make_node(kind, text, left, right);
}

// for ( init ; cond ; step ) body: the header is SEQ(init, SEQ(cond, step)),
// the inner pair absent when there is neither cond nor step.
NodeRef for_node(TreeRef text, NodeRef init, NodeRef cond, NodeRef step, NodeRef body) {
  NodeRef inner = cond || step ? sequence(cond, step) : 0;
  return operator_node(text, NODE_CONTROL, sequence(init, inner), body);
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

// The action of a rule: v[0] is the value of its leftmost symbol ($1).
NodeRef rule_value(int rule, const YYSTYPE *v) {
  switch (rule) {
    // function: ret_type ID ( ) { stmt_list }
    case 2: return sequence(join_child_node(v[0].node, new_node(v[1].text, NODE_ID), 0), v[5].node);
    case 3:                                                            // ret_type: VOID
    case 5: return new_node(v[0].text, NODE_TYPE);                     // type: INT
    case 6:                                                            // stmt_list: empty
    case 14:                                                           // decl_tail: empty
    case 56: return 0;                                                 // assign_tail: empty
    case 7: return sequence(v[0].node, v[1].node);                     // stmt_list: stmt stmt_list
    case 10: return v[1].node;                                         // stmt: { stmt_list }
    case 13: return join_child_node(v[0].node, v[1].node, v[2].node);  // declaration: type assign decl_tail
    case 15:                                                           // decl_tail: , assign decl_tail
    case 57: return sequence(v[1].node, v[2].node);                    // assign_tail: , assign assign_tail
    case 16:                                                           // assign: ID
    case 34: return new_node(v[0].text, NODE_ID);                      // primary: ID
    case 17: return operator_node(v[1].text, NODE_ASSIGN, new_node(v[0].text, NODE_ID), v[2].node);
    case 19:
    case 21:
    case 23:
    case 25:  // or, and, equality, relational
      return operator_node(v[1].text, NODE_LOGIC, v[0].node, v[2].node);
    case 27:
    case 29: return operator_node(v[1].text, NODE_ARITH, v[0].node, v[2].node);    // + - * / %
    case 31: return operator_node(v[0].text, NODE_LOGIC, v[1].node, 0);            // unary: NOT primary
    case 32: return operator_node(v[0].text, NODE_ARITH, v[1].node, 0);            // unary: ADDOP primary
    case 35: return new_int_node(v[0].num);                                        // primary: NUM
    case 36: return v[1].node;                                                     // primary: ( expr )
    case 39: return operator_node(v[0].text, NODE_CONTROL, v[2].node, v[4].node);  // if ( expr ) stmt
    case 40:                                                                       // if ( expr ) stmt else stmt
      return make_node(NODE_CONTROL, v[0].text, v[2].node, sequence(v[4].node, v[6].node), true);
    case 44: return operator_node(v[0].text, NODE_CONTROL, v[2].node, v[4].node);     // while ( expr ) stmt
    case 45: return operator_node(v[0].text, NODE_CONTROL, v[4].node, v[1].node);     // do stmt while ( expr ) ;
    case 46: return for_node(v[0].text, 0, 0, 0, v[5].node);                          // for ( ; ; )
    case 47: return for_node(v[0].text, v[2].node, 0, 0, v[6].node);                  // for ( init ; ; )
    case 48: return for_node(v[0].text, 0, v[3].node, 0, v[6].node);                  // for ( ; cond ; )
    case 49: return for_node(v[0].text, 0, 0, v[4].node, v[6].node);                  // for ( ; ; step )
    case 50: return for_node(v[0].text, v[2].node, v[4].node, 0, v[7].node);          // for ( init ; cond ; )
    case 51: return for_node(v[0].text, v[2].node, 0, v[5].node, v[7].node);          // for ( init ; ; step )
    case 52: return for_node(v[0].text, 0, v[3].node, v[5].node, v[7].node);          // for ( ; cond ; step )
    case 53: return for_node(v[0].text, v[2].node, v[4].node, v[6].node, v[8].node);  // all three
    case 55: return sequence(v[0].node, v[1].node);                                   // for_clause: assign assign_tail
    default: return v[0].node;  // rules that pass their first value on
  }
}

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
  return lookahead == T_END ? 0 : syntax_error();
}

}  // namespace

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

// The stack lives in locals while the parser runs, so the compiler keeps the
// top and the arrays in registers across the calls for tokens and the actions.
int yyparse() {
  if (stack.capacity == 0 && yygrowstack() != 0) return stack_overflow();
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
    return true;
  };
  for (;;) {
    int rule = parse_default_reduction[state];
    if (rule == 0) {
      if (lookahead == no_lookahead) lookahead = terminal_of(yylex());
      int action = parse_action[state][lookahead];
      if (action > 0) {
        if (!make_room()) return stack_overflow();
        states[++top] = int16_t(state = action);
        values[top] = yylval;
        lookahead = no_lookahead;
        continue;
      }
      if (action == 0) return syntax_error();
      rule = -action;
    }
    RuleShape shape = rule_shapes[rule];
    if (shape.unit) {
      states[top] = int16_t(state = state_after(states[top - 1], shape.column, lookahead));
      continue;
    }
    const YYSTYPE *symbols = values + top - shape.length + 1;
    YYSTYPE value = node_value(rule_value(rule, symbols));
    top -= shape.length;
    if (rule == 1 && top == 0) {
      print_report(value.node);
      stack.states[stack.top = 1] = parse_goto[0][N_PROGRAM - N_ACCEPT];  // the final state
      return accept(lookahead);
    }
    state = state_after(states[top], shape.column, lookahead);
    if (!make_room()) return stack_overflow();
    states[++top] = int16_t(state);
    values[top] = value;
  }
}

void parser_reset() {
  std::free(stack.states);
  std::free(stack.values);
  stack = ParseStack{};
}
