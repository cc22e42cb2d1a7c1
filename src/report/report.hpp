// The compilation report of an accepted program: the tree, the line total
// and the generated code.
#pragma once
#include <cstddef>

struct Node;

void print_report(const Node *root);
void print_tree(const Node *node);  // parenthesised prefix layout
