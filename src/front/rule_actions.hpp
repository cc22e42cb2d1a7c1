// The rules' actions, once: what reducing each rule makes of its symbols'
// values. The parser inlines them in its loops; r1explain, which steps
// through a parse on the same tables, runs them one reduction at a time.
#pragma once
#include "front/grammar.hpp"
#include "front/tokens.hpp"
#include "front/tree.hpp"

// The helpers are static: private to each file that includes them, so the
// compiler weighs inlining them in the parser's loops as its own functions.
namespace rule_actions {

// Nodes are made with their children in one step (make_node), not as
// new_dummy_node or new_node followed by join_child_node.
static NodeRef sequence(NodeRef first, NodeRef rest) { return make_node(NODE_SEQ, TEXT_SEQUENCE, first, rest); }

// for ( init ; cond ; step ) body: the header is SEQ(init, SEQ(cond, step)),
// the inner pair absent when there is neither cond nor step.
static NodeRef for_node(TreeRef text, NodeRef init, NodeRef cond, NodeRef step, NodeRef body) {
  NodeRef inner = cond || step ? sequence(cond, step) : 0;
  return make_node(NODE_CONTROL, text, sequence(init, inner), body);
}

}  // namespace rule_actions

// The action of a rule: v[0] is the value of its leftmost symbol ($1).
// Inlined in both of the parser's loops, as it was when there was one.
// Every rule is listed, so that a rule added to the grammar without an
// action here fails to compile (-Wswitch).
[[gnu::always_inline]] inline NodeRef rule_value(int rule, const YYSTYPE *v) {
  using rule_actions::for_node;
  using rule_actions::sequence;
  switch (RuleName(rule)) {
    case RULE_FUNCTION:  // ret_type ID ( ) { stmt_list }
      return sequence(join_child_node(v[0].node, new_node(v[1].text, NODE_ID), 0), v[5].node);
    case RULE_RET_TYPE_VOID:
    case RULE_TYPE_INT: return new_node(v[0].text, NODE_TYPE);
    case RULE_STMT_LIST_EMPTY:
    case RULE_DECL_TAIL_EMPTY:
    case RULE_ASSIGN_TAIL_EMPTY: return 0;
    case RULE_STMT_LIST_MORE:  // stmt stmt_list
    case RULE_FOR_CLAUSE_ASSIGNS: return sequence(v[0].node, v[1].node);
    case RULE_DECL_TAIL_MORE:  // , assign decl_tail
    case RULE_ASSIGN_TAIL_MORE: return sequence(v[1].node, v[2].node);
    case RULE_STMT_BLOCK:  // { stmt_list }
    case RULE_PRIMARY_PARENTHESES: return v[1].node;
    case RULE_DECLARATION: return join_child_node(v[0].node, v[1].node, v[2].node);  // type assign decl_tail
    case RULE_ASSIGN_NAME:
    case RULE_PRIMARY_NAME: return new_node(v[0].text, NODE_ID);
    case RULE_ASSIGN_VALUE:  // ID = expr
      return make_node(NODE_ASSIGN, v[1].text, new_node(v[0].text, NODE_ID), v[2].node);
    case RULE_OR_EXPR_BINARY:
    case RULE_AND_EXPR_BINARY:
    case RULE_EQ_EXPR_BINARY:
    case RULE_REL_EXPR_BINARY: return make_node(NODE_LOGIC, v[1].text, v[0].node, v[2].node);
    case RULE_ADD_EXPR_BINARY:
    case RULE_MUL_EXPR_BINARY: return make_node(NODE_ARITH, v[1].text, v[0].node, v[2].node);
    case RULE_UNARY_NOT: return make_node(NODE_LOGIC, v[0].text, v[1].node, 0);
    case RULE_UNARY_SIGN: return make_node(NODE_ARITH, v[0].text, v[1].node, 0);
    case RULE_PRIMARY_NUMBER: return new_int_node(v[0].num);
    case RULE_IF:  // if ( expr ) stmt
    case RULE_WHILE: return make_node(NODE_CONTROL, v[0].text, v[2].node, v[4].node);
    case RULE_IF_ELSE:  // if ( expr ) stmt else stmt
      return make_node(NODE_CONTROL, v[0].text, v[2].node, sequence(v[4].node, v[6].node), true);
    case RULE_DO:
      return make_node(NODE_CONTROL, v[0].text, v[4].node, v[1].node);  // do stmt while ( expr ) ;
    // for ( init ; cond ; step ) stmt, each of the three parts optional
    case RULE_FOR: return for_node(v[0].text, 0, 0, 0, v[5].node);
    case RULE_FOR_INIT: return for_node(v[0].text, v[2].node, 0, 0, v[6].node);
    case RULE_FOR_COND: return for_node(v[0].text, 0, v[3].node, 0, v[6].node);
    case RULE_FOR_STEP: return for_node(v[0].text, 0, 0, v[4].node, v[6].node);
    case RULE_FOR_INIT_COND: return for_node(v[0].text, v[2].node, v[4].node, 0, v[7].node);
    case RULE_FOR_INIT_STEP: return for_node(v[0].text, v[2].node, 0, v[5].node, v[7].node);
    case RULE_FOR_COND_STEP: return for_node(v[0].text, 0, v[3].node, v[5].node, v[7].node);
    case RULE_FOR_ALL: return for_node(v[0].text, v[2].node, v[4].node, v[6].node, v[8].node);
    // The rules that pass their first value on.
    case RULE_ACCEPT:
    case RULE_PROGRAM:
    case RULE_RET_TYPE_TYPE:
    case RULE_STMT_SIMPLE:
    case RULE_STMT_CONTROL:
    case RULE_SIMPLE_STMT_ASSIGN:
    case RULE_SIMPLE_STMT_DECLARATION:
    case RULE_EXPR:
    case RULE_OR_EXPR_SINGLE:
    case RULE_AND_EXPR_SINGLE:
    case RULE_EQ_EXPR_SINGLE:
    case RULE_REL_EXPR_SINGLE:
    case RULE_ADD_EXPR_SINGLE:
    case RULE_MUL_EXPR_SINGLE:
    case RULE_UNARY_PRIMARY:
    case RULE_CONTROL_IF:
    case RULE_CONTROL_LOOP:
    case RULE_LOOP_WHILE:
    case RULE_LOOP_DO:
    case RULE_LOOP_FOR:
    case RULE_FOR_CLAUSE_DECLARATION: return v[0].node;
  }
  return v[0].node;  // no rule has another number
}
