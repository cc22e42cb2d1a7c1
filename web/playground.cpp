// The compiler and r1tree for the web playground's worker: one compile of
// bytes held in the module's memory, its captured output, and the DOT graph
// of its tree. JavaScript writes the program into the input buffer, calls
// playground_compile (or playground_compile_mapped, which adds the map that
// links source, tree and code), then reads the results through the accessors.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "front/session.hpp"
#include "front/source_map.hpp"
#include "r1tree/dot.hpp"

namespace {

struct Playground {
  std::string input;         // the program's bytes, written by JavaScript
  CompileResult compile;     // the last compile's output, messages and status
  std::string dot;           // the last tree's graph; empty when none was made
  std::vector<int32_t> map;  // the last compile's map, laid out as playground_map tells
};

Playground playground;

// The printed tree: from the report's title to the line total, or empty when
// the output holds no report.
std::string_view printed_tree(std::string_view out) {
  constexpr std::string_view title = "Abstract Syntax Tree:\n";
  constexpr std::string_view after_tree = "\n\nTotal No Of Lines:";
  size_t start = out.find(title);
  if (start == std::string_view::npos) return {};
  size_t end = out.find(after_tree, start);
  if (end == std::string_view::npos) return {};
  return out.substr(start, end - start);
}

// The map of a compile as one array of 32-bit integers; see playground_map.
constexpr int32_t map_format = 1;
constexpr int32_t node_record_size = 12;
constexpr int32_t code_record_size = 4;

int32_t int32(size_t value) { return int32_t(value); }  // the playground's inputs and outputs are far below 2 GiB

std::vector<int32_t> flatten(const CompileMap &map) {
  std::vector<int32_t> flat = {map_format,       int32(map.nodes.size()), int32(map.code.size()), node_record_size,
                               code_record_size, int32(map.code_begin),   int32(map.code_end),    0};
  flat.reserve(flat.size() + map.nodes.size() * node_record_size + map.code.size() * code_record_size);
  for (const MappedNode &node : map.nodes)
    flat.insert(flat.end(),
                {node.parent, node.kind, node.statement, node.is_statement, int32(node.source_begin),
                 int32(node.source_end), int32_t(node.first.line), int32_t(node.first.column), int32_t(node.last.line),
                 int32_t(node.last.column), int32(node.report_begin), int32(node.report_end)});
  for (const MappedCodeLine &line : map.code)
    flat.insert(flat.end(), {int32(line.begin), int32(line.end), line.node, line.statement});
  return flat;
}

}  // namespace

extern "C" {

// Room for a program of `size` bytes; JavaScript fills it before compiling.
EMSCRIPTEN_KEEPALIVE char *playground_input(size_t size) {
  playground.input.resize(size);
  return playground.input.data();
}

// Compiles the program in the input buffer; returns the exit status.
EMSCRIPTEN_KEEPALIVE int playground_compile() {
  playground.dot.clear();
  playground.map.clear();
  playground.compile = compile_text(playground.input);
  return playground.compile.status;
}

// As playground_compile, with the same output, messages and status, and the
// map of the compile kept for playground_map.
EMSCRIPTEN_KEEPALIVE int playground_compile_mapped() {
  playground.dot.clear();
  CompileMap map = compile_with_map(playground.input);
  playground.map = flatten(map);
  playground.compile = std::move(map.result);
  return playground.compile.status;
}

// The map of the last playground_compile_mapped, as playground_map_size()
// 32-bit integers from this address (4-byte aligned): in JavaScript,
// new Int32Array(module.HEAP32.buffer, playground_map(), playground_map_size()),
// read before the module's memory next grows. Offsets count bytes: in the
// program as written to playground_input, and in playground_out's output.
// Ends are exclusive; lines and columns count from 1, columns in bytes.
//   header, 8 integers: format (1), N nodes, M code lines, 12 (integers per
//     node), 4 (integers per code line), the code section's begin and end in
//     the output, 0.
//   N nodes from index 8, in the printed tree's (prefix) order, 12 each:
//     parent (node index, -1 for the root), kind (0 name, 2 link ".", 3 logic,
//     4 arithmetic, 5 assignment, 6 type, 7 control, 272 number), statement
//     (index of the statement node holding it, itself for one, -1 outside any),
//     is a statement (1 or 0), source begin, source end, first line, first
//     column, last line, last column (of its first and last byte), report
//     begin, report end (the bytes of the output printing its text).
//   M code lines from index 8 + 12 N, in output order, 4 each: begin and end
//     in the output (the newline excluded), the node that wrote it (a label's
//     is its control statement), and that node's statement.
// Without a report (a syntax error before the program's end) N and M are 0.
// playground_compile leaves an empty map (size 0).
EMSCRIPTEN_KEEPALIVE const int32_t *playground_map() { return playground.map.data(); }
EMSCRIPTEN_KEEPALIVE size_t playground_map_size() { return playground.map.size(); }

EMSCRIPTEN_KEEPALIVE const char *playground_out() { return playground.compile.out.data(); }
EMSCRIPTEN_KEEPALIVE size_t playground_out_size() { return playground.compile.out.size(); }
EMSCRIPTEN_KEEPALIVE const char *playground_err() { return playground.compile.err.data(); }
EMSCRIPTEN_KEEPALIVE size_t playground_err_size() { return playground.compile.err.size(); }

// Bytes of the last report's printed tree (title included); 0 when there is none.
EMSCRIPTEN_KEEPALIVE size_t playground_tree_size() { return printed_tree(playground.compile.out).size(); }

// Makes the DOT graph of the last report's tree; returns its number of nodes,
// or 0 when the output holds no complete tree.
EMSCRIPTEN_KEEPALIVE size_t playground_make_dot() {
  size_t nodes = 0;
  playground.dot.clear();
  if (!report_to_dot(playground.compile.out, playground.dot, nodes)) return 0;
  return nodes;
}

EMSCRIPTEN_KEEPALIVE const char *playground_dot() { return playground.dot.data(); }
EMSCRIPTEN_KEEPALIVE size_t playground_dot_size() { return playground.dot.size(); }

}  // extern "C"
