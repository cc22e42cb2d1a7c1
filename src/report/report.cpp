#include "report/report.hpp"

#include <vector>

#include "codegen/codegen.hpp"
#include "common/output.hpp"
#include "front/scanner.hpp"
#include "front/tree.hpp"

namespace {

void print_node_text(const Node *node) {
  switch (node->kind) {
    case NODE_ID:
    case NODE_SEQ:
    case NODE_LOGIC:
    case NODE_ARITH:
    case NODE_ASSIGN:
    case NODE_TYPE:
    case NODE_CONTROL:
      out_name(node->text);
      out_byte(' ');
      break;
    case NODE_NUM:
      out_number(node->value);
      out_byte(' ');
      break;
    default: break;  // no other kind prints a text
  }
}

}  // namespace

// Pre-order: "text " for each node, then "\n( " children ")" when it has any.
// An explicit stack keeps the depth of the tree off the call stack.
void print_tree(const Node *root) {
  static const Node close_bracket{};  // pending marker: print ")"
  if (!root) return;
  std::vector<const Node *> pending{root};
  while (!pending.empty()) {
    const Node *node = pending.back();
    pending.pop_back();
    if (node == &close_bracket) {
      out_byte(')');
      continue;
    }
    print_node_text(node);
    if (isLeaf(node)) continue;
    out_bytes("\n( ", 3);
    pending.push_back(&close_bracket);
    if (node->rchild) pending.push_back(node->rchild);  // an absent child prints nothing
    if (node->lchild) pending.push_back(node->lchild);
  }
}

void print_report(const Node *root) {
  out_text("Abstract Syntax Tree:\n(");
  print_tree(root);
  out_text(")\n\nTotal No Of Lines:");
  out_number(yylineno);
  out_text("\n\nCode Generated:\n");
  generate(root);
}
