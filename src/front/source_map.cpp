#include "front/source_map.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "common/output.hpp"
#include "front/positions.hpp"
#include "front/scanner.hpp"

namespace {

constexpr std::string_view tree_opening = "Abstract Syntax Tree:\n(";

// The tree in prefix order, as the report prints it: a node, then its left
// part, then its right part. An explicit stack keeps deep trees off the call stack.
void list_nodes(const PositionTrace &trace, CompileMap &map, std::unordered_map<NodeRef, int> &index_of) {
  std::vector<std::pair<NodeRef, int>> pending{{trace.root, -1}};
  while (!pending.empty()) {
    auto [ref, parent] = pending.back();
    pending.pop_back();
    const Node *node = node_at(ref);
    const NodeOrigin &origin = trace.nodes.at(ref);
    int index = int(map.nodes.size());
    index_of[ref] = index;
    int statement = origin.statement ? index : parent < 0 ? -1 : map.nodes[size_t(parent)].statement;
    map.nodes.push_back({parent,
                         statement,
                         origin.statement,
                         node->kind,
                         node_text(node),
                         origin.span.begin,
                         origin.span.end,
                         {},
                         {},
                         0,
                         0});
    if (isLeaf(node)) continue;
    if (NodeRef right = right_ref(ref, node)) pending.emplace_back(right, index);
    if (node->lchild) pending.emplace_back(node->lchild, index);
  }
}

// Each node's text in the printed tree: the texts come in prefix order, each
// after the brackets, blanks and line breaks of the layout and before a blank.
void find_printed_texts(std::string_view out, size_t tree_begin, CompileMap &map) {
  size_t at = tree_begin;
  for (MappedNode &node : map.nodes) {
    while (at < out.size() && std::string_view("( )\n").find(out[at]) != std::string_view::npos) at++;
    node.report_begin = at;
    while (at < out.size() && out[at] != ' ') at++;
    node.report_end = at;
  }
}

void find_lines_and_columns(std::string_view input, CompileMap &map) {
  std::vector<size_t> line_starts{0};
  for (size_t i = 0; i < input.size(); i++)
    if (input[i] == '\n') line_starts.push_back(i + 1);
  auto point = [&](size_t offset) {
    size_t line = size_t(std::upper_bound(line_starts.begin(), line_starts.end(), offset) - line_starts.begin());
    return SourcePoint{int64_t(line), int64_t(offset - line_starts[line - 1] + 1)};
  };
  for (MappedNode &node : map.nodes) {
    node.first = point(node.source_begin);
    node.last = point(node.source_end - 1);
  }
}

// Each line of code belongs to the last node noted at or before its start.
void map_code_lines(std::string_view out, const PositionTrace &trace, const std::unordered_map<NodeRef, int> &index_of,
                    CompileMap &map) {
  const auto &marks = trace.code_by_node;
  size_t mark = 0;
  for (size_t begin = trace.code_begin; begin < trace.code_end;) {
    size_t end = out.find('\n', begin);
    if (end == std::string_view::npos || end >= trace.code_end) end = trace.code_end;
    while (mark + 1 < marks.size() && marks[mark + 1].first <= begin) mark++;
    int node = index_of.at(marks[mark].second);
    map.code.push_back({begin, end, node, map.nodes[size_t(node)].statement});
    begin = end + 1;
  }
}

void build_map(std::string_view input, const PositionTrace &trace, CompileMap &map) {
  std::unordered_map<NodeRef, int> index_of;
  list_nodes(trace, map, index_of);
  find_printed_texts(map.result.out, trace.report_begin + tree_opening.size(), map);
  find_lines_and_columns(input, map);
  map.code_begin = trace.code_begin;
  map.code_end = trace.code_end;
  map_code_lines(map.result.out, trace, index_of, map);
}

}  // namespace

// compile_text's steps, with the positions recorded, and the map made before
// the tree's memory is released.
CompileMap compile_with_map(std::string_view input) {
  CompileMap map;
  PositionTrace trace;
  output_to_strings(&map.result.out, &map.result.err);
  scanner_read_from_memory(input.data(), input.size());
  reset_compiler();
  position_trace = &trace;
  map.result.status = run_compiler();
  position_trace = nullptr;
  // Without memory the report may stop short; its positions are then of no use.
  if (trace.root && map.result.status != 2) build_map(input, trace, map);
  reset_compiler();
  output_to_descriptors();
  return map;
}
