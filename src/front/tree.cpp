#include "front/tree.hpp"

#include "common/arena.hpp"

Node *empty_node() {
  Node *node = static_cast<Node *>(arena_alloc(sizeof(Node)));
  node->has_else = false;
  node->lchild = node->rchild = nullptr;
  return node;
}

// Texts are never changed or freed, and each one passed here is a constant
// keyword or operator text or the scanner's own copy of one identifier, so the
// node keeps the text itself instead of a second copy.
Node *new_node(const char *text, int kind) {
  Node *node = empty_node();
  node->kind = kind;
  node->text = text;
  return node;
}

Node *new_int_node(int32_t value) {
  Node *node = empty_node();
  node->kind = NODE_NUM;
  node->value = value;
  return node;
}

Node *new_dummy_node() {
  Node *node = empty_node();
  node->kind = NODE_SEQ;
  node->text = ".";  // shared by every sequence node, never copied
  return node;
}

Node *join_child_node(Node *node, Node *lchild, Node *rchild) {
  node->lchild = lchild;
  node->rchild = rchild;
  return node;
}
