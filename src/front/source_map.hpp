// The map of one compile: where each tree node came from in the source and
// where the report prints it, and which node wrote each line of code. The
// compile is compile_text's, output for output; only the positions are added.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "front/session.hpp"

// A byte of the source: lines from 1, columns in bytes from 1 (a tab is one).
struct SourcePoint {
  int64_t line;
  int64_t column;
};

struct MappedNode {
  int parent;                       // index in CompileMap::nodes, -1 for the root
  int statement;                    // the statement holding the node, itself for one; -1 outside any
  bool is_statement;                // a simple statement with its ';', or a control statement
  int kind;                         // a NodeKind
  std::string text;                 // as the report prints it
  size_t source_begin, source_end;  // the bytes of its tokens, end excluded
  SourcePoint first, last;          // their first and last byte
  size_t report_begin, report_end;  // the bytes of out that print its text
};

// A line of generated code: bytes of out, its newline excluded.
struct MappedCodeLine {
  size_t begin, end;
  int node;       // the node that wrote it; a label's is its control statement
  int statement;  // that node's statement
};

struct CompileMap {
  CompileResult result;                 // exactly compile_text's
  std::vector<MappedNode> nodes;        // in the report's order (prefix); empty without a report
  std::vector<MappedCodeLine> code;     // in output order
  size_t code_begin = 0, code_end = 0;  // the code section within out
};

CompileMap compile_with_map(std::string_view input);
