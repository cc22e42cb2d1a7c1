// The compilation report of an accepted program: the tree, the line total
// and the generated code.
#pragma once
#include <cstddef>

struct Node;

void print_report(const Node *root);

// From this much tree memory on, the report generates the code on a second
// thread while it prints the tree. Tests set it to take either way.
extern size_t parallel_report_tree_bytes;
void print_tree(const Node *node);  // parenthesised prefix layout
