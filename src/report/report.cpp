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
[[gnu::always_inline]] inline char *write_node_text(char *at, const Node *node) {
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

// A node whose right child the walk has turned to, and the node above it.
struct RightTurn {
  Node *node;
  NodeRef ref;  // node's
  NodeRef parent;
};

// The turns under way, innermost last. The memory is released once the tree
// is printed, before the code generator takes memory of its own.
WalkStackMemory<RightTurn> right_turns_memory;

// Pre-order: "text " for each node, then "\n( " children ")" when it has any.
// An absent child prints nothing. The walk keeps the tree's depth off the call
// stack, and a left spine as deep as a chain's off any stack: while the walk
// is below a node's left child, the node's lchild holds the ref of the node
// above it (0 at the top), and is set back on the way up. A turn to a right
// child is kept on an explicit stack: a right child is built while the parse
// stack holds its left sibling, so its limit bounds their nesting.
void print_tree_from(NodeRef root, WalkStackMemory<RightTurn> &memory) {
  if (!root) return;
  WalkStack<RightTurn> turns = empty_stack(memory);
  char *at = output.next;
  NodeRef ref = root;
  Node *node = node_at(root);
  NodeRef parent = 0;
  // From node, printed in full, up to the next node whose left part is: the
  // brackets of the turns' nodes close on the way. False at the top.
  auto climb = [&] {
    while (!parent) {
      if (turns.end == turns.first) return false;
      RightTurn turn = *--turns.end;
      node = turn.node;
      ref = turn.ref;
      parent = turn.parent;
      at = make_room(at, 1);
      *at++ = ')';
    }
    Node *above = node_at(parent);
    NodeRef next = above->lchild;
    above->lchild = ref;
    ref = parent;
    node = above;
    parent = next;
    return true;
  };
  for (;;) {
    prefetch_ahead_of(node);
    at = write_node_text(at, node);
    if (!isLeaf(node)) {
      at = write_literal(at, "\n( ");
      if (NodeRef left = node->lchild) {
        node->lchild = parent;
        parent = ref;
        ref = left;
        node = node_at(left);
        continue;
      }
    } else if (!climb()) {
      break;
    }
    // node's left part is printed: its right part, then its ")". A leaf is
    // printed here; a turn is taken to any other right child.
    for (;;) {
      Node *right = right_node(node);
      if (right && !isLeaf(right)) {
        if (turns.end == turns.limit) {
          output.next = at;  // should growth fail, the report so far still goes out
          turns = grow(memory, turns, first_stack_size);
        }
        *turns.end++ = {node, ref, parent};
        ref = right_ref(ref, node);
        node = right;
        parent = 0;
        break;
      }
      if (right) at = write_node_text(at, right);
      at = make_room(at, 1);
      *at++ = ')';
      if (!climb()) {
        output.next = at;
        return;
      }
    }
  }
  output.next = at;
}

}  // namespace

void print_tree(NodeRef root) { print_tree_from(root, right_turns_memory); }

// RULE_PROGRAM's action: the title, the tree, the line total, the heading, then the code.
void print_report(NodeRef root) {
  out_text("Abstract Syntax Tree:\n(");
  print_tree(root);
  release(right_turns_memory);
  out_text(")\n\nTotal No Of Lines:");
  out_number(yylineno);
  out_text("\n\nCode Generated:\n");
  generate(root);
}
