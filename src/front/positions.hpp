// Where a compile's tree and code came from, recorded only for the compiles
// that ask for it (the map of source_map.hpp). r1c's own compiles leave
// position_trace null: the parser and the code generator test it once per
// compile and then run their walks without any recording in them.
#pragma once
#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

#include "front/tree.hpp"

// Bytes of the input, end excluded.
struct ByteSpan {
  size_t begin = 0;
  size_t end = 0;
};

inline ByteSpan cover_both(ByteSpan a, ByteSpan b) {
  return {a.begin < b.begin ? a.begin : b.begin, a.end > b.end ? a.end : b.end};
}

struct NodeOrigin {
  ByteSpan span;           // from the first byte of its first token to the end of its last
  bool statement = false;  // a statement: a simple statement with its ';', or a control statement
};

struct PositionTrace {
  std::unordered_map<NodeRef, NodeOrigin> nodes;  // every node of the tree, by ref
  NodeRef root = 0;                               // the tree, once the report is printed
  size_t report_begin = 0;                        // output offset of the report's title
  size_t code_begin = 0;                          // output offsets of the generated code
  size_t code_end = 0;
  // Where the code of each node starts in the output, in output order: the
  // walk notes the node whose code it writes next each time it turns to one.
  std::vector<std::pair<size_t, NodeRef>> code_by_node;
};

extern PositionTrace *position_trace;  // null unless a compile records positions

// The code generator's record: from the output position on, node writes.
inline void note_code_of(NodeRef node, size_t position) {
  auto &marks = position_trace->code_by_node;
  if (!marks.empty() && marks.back().first == position)
    marks.back().second = node;  // the last node noted wrote nothing
  else
    marks.emplace_back(position, node);
}
