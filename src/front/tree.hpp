// The syntax tree: one record type, its kinds, and the builders the grammar
// actions call.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/arena.hpp"
#include "front/tokens.hpp"

enum NodeKind : int16_t {
  NODE_ID = 0,
  NODE_SEQ = 2,
  NODE_LOGIC = 3,
  NODE_ARITH = 4,
  NODE_ASSIGN = 5,
  NODE_TYPE = 6,
  NODE_CONTROL = 7,
  NODE_NUM = 272,  // the token code of NUM
};

// A node and its children are refs into the tree's memory, 0 for none; a
// node's text is the ref of a fixed text or of an identifier's copy. Sixteen
// bytes a node, half what pointers would take.
using NodeRef = TreeRef;

struct Node {
  int16_t kind;
  bool has_else;  // an IF built with an else; never printed
  union {
    TreeRef text;   // every kind but NODE_NUM
    int32_t value;  // NODE_NUM
  };
  NodeRef lchild;
  NodeRef rchild;
};
static_assert(sizeof(Node) == 16);

inline Node *node_at(NodeRef ref) { return reinterpret_cast<Node *>(tree_memory(ref)); }
inline const Node *child(NodeRef ref) { return ref ? node_at(ref) : nullptr; }
inline const char *node_text(const Node *node) { return tree_memory(node->text); }

// The builders are inline: the parser calls one or two per reduction. Each
// returns the ref of the node it made.
inline NodeRef make_node(int kind, TreeRef text, NodeRef lchild, NodeRef rchild, bool has_else = false) {
  TreeBlock block = arena_alloc(sizeof(Node));
  Node *node = reinterpret_cast<Node *>(block.at);
  node->kind = int16_t(kind);
  node->has_else = has_else;
  node->text = text;
  node->lchild = lchild;
  node->rchild = rchild;
  return block.ref;
}

inline NodeRef empty_node() { return make_node(NODE_ID, TEXT_NONE, 0, 0); }

// Texts are never changed or freed, and each one passed here is a fixed
// keyword or operator text or the scanner's own copy of one identifier, so the
// node keeps the text itself instead of a second copy.
inline NodeRef new_node(TreeRef text, int kind) { return make_node(kind, text, 0, 0); }

inline NodeRef new_int_node(int32_t value) { return make_node(NODE_NUM, TreeRef(value), 0, 0); }

inline NodeRef new_dummy_node() { return make_node(NODE_SEQ, TEXT_SEQUENCE, 0, 0); }

inline NodeRef join_child_node(NodeRef node, NodeRef lchild, NodeRef rchild) {
  Node *joined = node_at(node);
  joined->lchild = lchild;
  joined->rchild = rchild;
  return node;
}

inline int isLeaf(const Node *node) { return !node->lchild && !node->rchild; }

// Asks for the memory some way past a node to be loaded. The nodes of a
// statement lie together, statements follow one another in memory in source
// order, and a walk of a large tree reaches them in that order: asking ahead
// keeps the walk from waiting for memory at each statement.
constexpr size_t walk_prefetch_distance = 4096;  // bytes: about a statement or two ahead
inline void prefetch_ahead_of(const Node *node) {
  __builtin_prefetch(reinterpret_cast<const char *>(node) + walk_prefetch_distance);
}
