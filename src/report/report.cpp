#include "report/report.hpp"

#include <array>
#include <cstring>

#include "codegen/codegen.hpp"
#include "common/output.hpp"
#include "common/walk_stack.hpp"
#include "front/scanner.hpp"
#include "front/tree.hpp"

namespace {

constexpr size_t first_stack_size = 1024;  // open nodes before the stack first grows
constexpr size_t opening_length = 4;       // " \n( ": the most written after a node's text

bool prints_text(int32_t kind) {
  switch (NodeKind(kind)) {
    case NODE_ID:
    case NODE_SEQ:
    case NODE_LOGIC:
    case NODE_ARITH:
    case NODE_ASSIGN:
    case NODE_TYPE:
    case NODE_CONTROL: return true;
    case NODE_NUM: return false;  // it prints its value
  }
  return false;  // no other kind prints a text
}

// Each fixed text with its blank, ready to be written as one 8-byte block;
// the blank takes the place of the text's NUL.
struct TextAndBlank {
  char bytes[fixed_text_bytes];
  size_t length;
};

constexpr auto fixed_texts_and_blanks = [] {
  std::array<TextAndBlank, FIXED_TEXT_COUNT> texts{};
  for (size_t i = 0; i < FIXED_TEXT_COUNT; i++) {
    size_t length = 0;
    while (fixed_texts[i][length]) texts[i].bytes[length] = fixed_texts[i][length], length++;
    texts[i].bytes[length] = ' ';
    texts[i].length = length + 1;
  }
  return texts;
}();

// "text " for a node, with room for "\n( " after it.
char *write_node_text(char *at, const Node *node) {
  if (node->kind == NODE_NUM) {
    at = write_number(make_room(at, longest_number + opening_length), node->value);
  } else if (node->kind == NODE_ID) {
    at = write_name(make_room(at, name_group + opening_length), node_text(node), opening_length);
  } else if (prints_text(node->kind)) {
    const TextAndBlank &text = fixed_texts_and_blanks[node->fixed_text];
    at = make_room(at, sizeof text.bytes + opening_length);
    std::memcpy(at, text.bytes, sizeof text.bytes);
    return at + text.length;
  } else {
    return make_room(at, opening_length);
  }
  *at = ' ';
  return at + 1;
}

// For each node whose bracket is open, innermost last: its right child, still
// to print, or 0 once only the ")" is left. The memory is released once the
// tree is printed, before the code generator takes memory of its own.
WalkStackMemory<NodeRef> open_nodes_memory;

// Pre-order: "text " for each node, then "\n( " children ")" when it has any.
// An explicit stack keeps the depth of the tree off the call stack. An absent
// child prints nothing.
void print_tree_from(const Node *root, WalkStackMemory<NodeRef> &memory) {
  if (!root) return;
  WalkStack<NodeRef> open = empty_stack(memory);
  char *at = output.next;
  const Node *node = root;
  for (;;) {
    prefetch_ahead_of(node);
    at = write_node_text(at, node);
    if (!isLeaf(node)) {
      at = write_literal(at, "\n( ");
      if (open.end == open.limit) {
        output.next = at;  // should growth fail, the report so far still goes out
        open = grow(memory, open, first_stack_size);
      }
      *open.end++ = node->rchild;
      if (node->lchild) {
        node = node_at(node->lchild);
        continue;
      }
    }
    for (; open.end != open.first && !open.end[-1]; open.end--) {
      at = make_room(at, 1);
      *at++ = ')';
    }
    if (open.end == open.first) break;
    node = node_at(open.end[-1]);
    open.end[-1] = 0;
  }
  output.next = at;
}

}  // namespace

void print_tree(const Node *root) { print_tree_from(root, open_nodes_memory); }

// RULE_PROGRAM's action: the title, the tree, the line total, the heading, then the code.
void print_report(NodeRef root) {
  out_text("Abstract Syntax Tree:\n(");
  print_tree(node_at(root));
  release(open_nodes_memory);
  out_text(")\n\nTotal No Of Lines:");
  out_number(yylineno);
  out_text("\n\nCode Generated:\n");
  generate(root);
}
