// The compilation report of an accepted program: the tree, the line total
// and the generated code.
#pragma once
#include <cstddef>

#include "front/tree.hpp"

void print_report(NodeRef root);
void print_tree(NodeRef root);  // parenthesised prefix layout
