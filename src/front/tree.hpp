// The syntax tree: one record type, its kinds, and the builders the grammar
// actions call.
#pragma once
#include <cstdint>

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

Node *empty_node();
Node *new_node(const char *text, int kind);
Node *new_int_node(int32_t value);
Node *new_dummy_node();
Node *join_child_node(Node *node, Node *lchild, Node *rchild);
inline int isLeaf(const Node *node) { return !node->lchild && !node->rchild; }
