// The syntax tree: one record type, its kinds, and the builders the grammar
// actions call.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/arena.hpp"

enum NodeKind : int32_t {
  NODE_ID = 0,
  NODE_SEQ = 2,
  NODE_LOGIC = 3,
  NODE_ARITH = 4,
  NODE_ASSIGN = 5,
  NODE_TYPE = 6,
  NODE_CONTROL = 7,
  NODE_NUM = 272,  // the token code of NUM
};

struct Node {
  int32_t kind;
  bool has_else;  // an IF built with an else; never printed
  union {
    const char *text;  // every kind but NODE_NUM
    int32_t value;     // NODE_NUM
  };
  Node *lchild;
  Node *rchild;
};

inline Node *clear_node(void *memory) {
  Node *node = static_cast<Node *>(memory);
  node->has_else = false;
  node->lchild = node->rchild = nullptr;
  return node;
}

// The builders are inline: the parser calls one or two per reduction.
inline Node *empty_node() { return clear_node(arena_alloc(sizeof(Node))); }

// Texts are never changed or freed, and each one passed here is a constant
// keyword or operator text or the scanner's own copy of one identifier, so the
// node keeps the text itself instead of a second copy.
inline Node *new_node(const char *text, int kind) {
  Node *node = empty_node();
  node->kind = kind;
  node->text = text;
  return node;
}

inline Node *new_int_node(int32_t value) {
  Node *node = empty_node();
  node->kind = NODE_NUM;
  node->value = value;
  return node;
}

inline Node *new_dummy_node() {
  Node *node = empty_node();
  node->kind = NODE_SEQ;
  node->text = ".";  // shared by every sequence node, never copied
  return node;
}

inline Node *join_child_node(Node *node, Node *lchild, Node *rchild) {
  node->lchild = lchild;
  node->rchild = rchild;
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
