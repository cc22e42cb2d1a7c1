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

// Nodes and texts are refs into the tree's memory, 0 for none. The tree is
// most of a compile's memory, so a node takes only what its kind uses: a leaf
// (NODE_ID, NODE_NUM) is 8 bytes, its kind and its text or value; any other
// node is 12 bytes, its kind, its fixed text and its two children. A leaf has
// no children, and nothing reads them: isLeaf tells leaves by their kind.
using NodeRef = TreeRef;

struct Node {
  int16_t kind;
  bool has_else;       // an IF built with an else; never printed
  uint8_t fixed_text;  // the FixedText of a node that is not a leaf
  union {
    TreeRef text;    // NODE_ID: the ref of the identifier's copy
    int32_t value;   // NODE_NUM
    NodeRef lchild;  // any other kind
  };
  NodeRef rchild;  // any other kind; a leaf ends before it
};
static_assert(sizeof(Node) == 12);
constexpr size_t leaf_node_bytes = offsetof(Node, rchild);

inline bool is_leaf_kind(int kind) { return kind == NODE_ID || kind == NODE_NUM; }

inline Node *node_at(NodeRef ref) { return reinterpret_cast<Node *>(tree_memory(ref)); }
inline const Node *child(NodeRef ref) { return ref ? node_at(ref) : nullptr; }

inline const char *node_text(const Node *node) {
  return node->kind == NODE_ID ? tree_memory(node->text) : fixed_texts[node->fixed_text];
}

// The builders are inline: the parser calls one or two per reduction. Each
// returns the ref of the node it made. text is a FixedText for every kind but
// NODE_ID and NODE_NUM.
inline NodeRef make_node(int kind, TreeRef text, NodeRef lchild, NodeRef rchild, bool has_else = false) {
  TreeBlock block = arena_alloc(sizeof(Node));
  Node *node = reinterpret_cast<Node *>(block.at);
  node->kind = int16_t(kind);
  node->has_else = has_else;
  node->fixed_text = uint8_t(text);
  node->lchild = lchild;
  node->rchild = rchild;
  return block.ref;
}

inline NodeRef make_leaf(int kind, TreeRef text_or_value) {
  TreeBlock block = arena_alloc(leaf_node_bytes);
  Node *node = reinterpret_cast<Node *>(block.at);
  node->kind = int16_t(kind);
  node->has_else = false;
  node->fixed_text = TEXT_NONE;
  node->text = text_or_value;
  return block.ref;
}

// Texts are never changed or freed, and each one passed here is a fixed
// keyword or operator text or the scanner's own copy of one identifier, so the
// node keeps the text itself instead of a second copy.
inline NodeRef new_node(TreeRef text, int kind) {
  return is_leaf_kind(kind) ? make_leaf(kind, text) : make_node(kind, text, 0, 0);
}

inline NodeRef new_int_node(int32_t value) { return make_leaf(NODE_NUM, TreeRef(value)); }

inline NodeRef new_dummy_node() { return make_node(NODE_SEQ, TEXT_SEQUENCE, 0, 0); }

// node is not a leaf.
inline NodeRef join_child_node(NodeRef node, NodeRef lchild, NodeRef rchild) {
  Node *joined = node_at(node);
  joined->lchild = lchild;
  joined->rchild = rchild;
  return node;
}

inline int isLeaf(const Node *node) { return is_leaf_kind(node->kind) || (!node->lchild && !node->rchild); }

// Asks for the memory some way past a node to be loaded. The nodes of a
// statement lie together, statements follow one another in memory in source
// order, and a walk of a large tree reaches them in that order: asking ahead
// keeps the walk from waiting for memory at each statement.
constexpr size_t walk_prefetch_distance = 4096;  // bytes: about a statement or two ahead
inline void prefetch_ahead_of(const Node *node) {
  __builtin_prefetch(reinterpret_cast<const char *>(node) + walk_prefetch_distance);
}
