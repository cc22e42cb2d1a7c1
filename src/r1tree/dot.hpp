// r1tree's conversion: the syntax tree of an r1c report as a Graphviz DOT graph.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Finds the first complete syntax tree in `report` (the title
// "Abstract Syntax Tree:\n(", the tree in r1c's layout, then ")\n"; anything
// may stand before and after it) and appends it to `dot` as a DOT digraph:
// one node per tree node in prefix order, labelled with its text, and one
// edge to each child in printed order. Returns false, with `dot` unchanged,
// when the report holds no complete tree.
bool report_to_dot(std::string_view report, std::string &dot);

// The same, and sets `nodes` to the number of tree nodes drawn (left alone
// when there is no tree).
bool report_to_dot(std::string_view report, std::string &dot, std::size_t &nodes);
