// The compiler and r1tree for the web playground's worker: one compile of
// bytes held in the module's memory, its captured output, and the DOT graph
// of its tree. JavaScript writes the program into the input buffer, calls
// playground_compile, then reads the results through the accessors.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "front/session.hpp"
#include "r1tree/dot.hpp"

namespace {

struct Playground {
  std::string input;      // the program's bytes, written by JavaScript
  CompileResult compile;  // the last compile's output, messages and status
  std::string dot;        // the last tree's graph; empty when none was made
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
  playground.compile = compile_text(playground.input);
  return playground.compile.status;
}

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
