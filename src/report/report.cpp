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

// Each fixed text with its blank, ready to be written as one 8-byte block;
// the blank takes the place of the text's NUL.
struct TextAndBlank {
  char bytes[fixed_text_bytes];
  size_t length;
};

// Indexed by a node's whole fixed_text byte: a text with else_mark prints as
// the text.
constexpr auto fixed_texts_and_blanks = [] {
  std::array<TextAndBlank, 2 * else_mark> texts{};
  for (size_t i = 0; i < FIXED_TEXT_COUNT; i++) {
    size_t length = 0;
    while (fixed_texts[i][length]) texts[i].bytes[length] = fixed_texts[i][length], length++;
    texts[i].bytes[length] = ' ';
    texts[i].length = length + 1;
    texts[i | else_mark] = texts[i];
  }
  return texts;
}();
static_assert(sizeof Node::fixed_text == 1 && 2 * else_mark == 256);

// A node's fixed text and its blank, for a kind that is not a leaf's (every
// such kind prints its text), with room for "\n( " after it.
[[gnu::always_inline]] inline char *write_fixed_text(char *at, const char *end, const Node *node) {
  at = make_room(at, end, fixed_text_bytes + opening_length);
  const TextAndBlank &text = fixed_texts_and_blanks[node->fixed_text];
  std::memcpy(at, text.bytes, sizeof text.bytes);
  return at + text.length;
}

// "text " for a leaf (a name or a number), with room for "\n( " after it.
[[gnu::always_inline]] inline char *write_leaf_text(char *at, const char *end, const Node *node, int kind) {
  at = write_leaf_name(make_room(at, end, name_group + opening_length), node, opening_length, tree_text_skip(kind));
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
// stack holds its left sibling, so its limit bounds their nesting. A child
// that prints as a leaf, the most common, is printed where it is found. The
// kind of each node is read once, and the cursor and the buffer's end stay in
// registers throughout; the steps below are inlined into the one loop.
void print_tree_from(NodeRef root, WalkStackMemory<RightTurn> &memory) {
  if (!root) return;
  WalkStack<RightTurn> turns = empty_stack(memory);
  const char *end = output_end();
  char *at = output.next;
  NodeRef ref = root;
  Node *node = node_at(root);
  int kind = node->kind;
  NodeRef parent = 0;  // the node above on the left spine, 0 at its top

  auto close_bracket = [&]() __attribute__((always_inline)) {
    at = make_room(at, end, 1);
    *at++ = ')';
  };
  // From a node printed in full up to the nearest node whose left part is
  // printed, closing the brackets of the turns' nodes on the way; false once
  // the whole tree is printed.
  auto climb = [&]() __attribute__((always_inline)) {
    while (!parent) {
      if (turns.end == turns.first) return false;
      RightTurn turn = *--turns.end;
      node = turn.node;
      ref = turn.ref;
      parent = turn.parent;
      close_bracket();
    }
    Node *above = node_at(parent);
    NodeRef next = above->lchild;
    above->lchild = ref;  // set back
    ref = parent;
    node = above;
    parent = next;
    return true;
  };
  // node's left part is printed: prints its right child if that prints as a
  // leaf, or turns to it (true) if it has children of its own.
  auto turn_right = [&]() __attribute__((always_inline)) {
    Node *right;
    NodeRef right_at;
    if (unsigned back = node->right_back) {
      right = reinterpret_cast<Node *>(reinterpret_cast<char *>(node) - size_t(back) * tree_unit);
      right_at = ref - back;
    } else if ((right_at = node->rchild)) {
      right = node_at(right_at);
    } else {
      return false;
    }
    int right_kind = right->kind;
    if (is_leaf_kind(right_kind)) {
      at = write_leaf_text(at, end, right, right_kind);
      return false;
    }
    if (childless(right)) {
      at = write_fixed_text(at, end, right);
      return false;
    }
    if (turns.end == turns.limit) {
      output.next = at;  // should growth fail, the report so far still goes out
      turns = grow(memory, turns, first_stack_size);
    }
    *turns.end++ = {node, ref, parent};
    ref = right_at;
    node = right;
    kind = right_kind;
    parent = 0;
    return true;
  };
  // node's left part is printed: its right part and its ")", then up, until a
  // turn to a right child with children of its own; false once the whole tree
  // is printed.
  auto print_right_parts = [&]() __attribute__((always_inline)) {
    while (!turn_right()) {
      close_bracket();
      if (!climb()) return false;
    }
    return true;
  };

  for (;;) {
    // node, of the given kind, is not printed yet: its text, then down its
    // left spine while the left child has children of its own.
    prefetch_ahead_of(node);
    if (is_leaf_kind(kind)) {
      at = write_leaf_text(at, end, node, kind);
      if (!climb()) break;
    } else if (childless(node)) {
      at = write_fixed_text(at, end, node);
      if (!climb()) break;
    } else {
      at = write_literal(write_fixed_text(at, end, node), "\n( ");
      if (NodeRef left = node->lchild) {
        Node *left_node = node_at(left);
        int left_kind = left_node->kind;
        if (!is_leaf_kind(left_kind)) {
          node->lchild = parent;
          parent = ref;
          ref = left;
          node = left_node;
          kind = left_kind;
          continue;
        }
        at = write_leaf_text(at, end, left_node, left_kind);
      }
    }
    if (!print_right_parts()) break;
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
