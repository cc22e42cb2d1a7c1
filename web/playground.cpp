// The compiler, r1tree and r1explain for the web playground's worker: one
// compile of bytes held in the module's memory, its captured output, the DOT
// graph of its tree, the diagnostic of a syntax error, and the parse's steps.
// JavaScript writes the program into the input buffer, calls
// playground_compile (or playground_compile_mapped, which adds the map that
// links source, tree and code), then reads the results through the accessors.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/output.hpp"
#include "front/session.hpp"
#include "front/source_map.hpp"
#include "r1explain/explain_text.hpp"
#include "r1tree/dot.hpp"
#include "report/report.hpp"

namespace {

struct Playground {
  std::string input;                // the program's bytes, written by JavaScript
  CompileResult compile;            // the last compile's output, messages and status
  std::string dot;                  // the last tree's graph; empty when none was made
  std::vector<int32_t> map;         // the last compile's map, laid out as playground_map tells
  std::vector<int32_t> diagnostic;  // the last playground_diagnose's, laid out as it tells
  std::string message;              // its message, or the text of playground_stack_tree
  // The parse being stepped, valid until the next compile or diagnosis (they
  // share the scanner and the tree memory with it) or a new input.
  Stepper stepper;
  bool stepping = false;
  std::vector<int32_t> steps;  // the last playground_steps' records
  std::string step_lines;      // and their lines, as r1explain --steps prints them
  std::vector<int32_t> stack;  // the last playground_stack's entries
  std::string names;           // symbol names and rules, made once
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

// Ends the stepped parse, if any, before anything else uses the scanner.
void stop_stepping() {
  if (playground.stepping) finish_steps(playground.stepper);
  playground.stepping = false;
}

// Brings the stepped parse to `taken` steps (or its end), starting it again
// when it has gone past them.
void step_to(int64_t taken) {
  Stepper &stepper = playground.stepper;
  if (playground.stepping && stepper.steps > taken) stop_stepping();
  if (!playground.stepping) start_steps(stepper, playground.input);
  playground.stepping = true;
  while (!stepper.finished && stepper.steps < taken) next_step(stepper);
}

constexpr int32_t step_record_size = 11;
constexpr int32_t stack_record_size = 4;

}  // namespace

extern "C" {

// Room for a program of `size` bytes; JavaScript fills it before compiling.
EMSCRIPTEN_KEEPALIVE char *playground_input(size_t size) {
  stop_stepping();
  playground.input.resize(size);
  return playground.input.data();
}

// Compiles the program in the input buffer; returns the exit status.
EMSCRIPTEN_KEEPALIVE int playground_compile() {
  stop_stepping();
  playground.dot.clear();
  playground.map.clear();
  playground.compile = compile_text(playground.input);
  return playground.compile.status;
}

// As playground_compile, with the same output, messages and status, and the
// map of the compile kept for playground_map.
EMSCRIPTEN_KEEPALIVE int playground_compile_mapped() {
  stop_stepping();
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

// Where and why the program in the input buffer does not parse, as
// r1explain says it. Returns 0 when it parses, 1 for a syntax error or a
// parse stack overflow, 2 when the scanner ended the run (out of memory).
// playground_diagnostic() then points at 6 32-bit integers (read as for
// playground_map): the same status, the bad token's line and column (from 1,
// the column in bytes), its begin and end as byte offsets in the input (end
// excluded; both the end of the last token for an unexpected end of input),
// and the number of bytes of the message. The message, as playground_message
// gives it, is "unexpected ';', expecting an identifier, a number, '(' or a
// prefix operator", "unexpected 'int' after the end of the function" or "the
// program nests too deeply: ...", without the file name, line or source line.
// With status 0 the rest is 0 and the message empty.
EMSCRIPTEN_KEEPALIVE int playground_diagnose() {
  stop_stepping();
  Diagnostic d = diagnose(playground.input);
  int32_t status = !d.found ? 0 : d.failure ? 2 : 1;
  playground.message = d.found ? d.message : "";
  playground.diagnostic = {status,
                           int32_t(d.line),
                           int32_t(d.column),
                           int32(d.span.begin),
                           int32(d.span.end),
                           int32(playground.message.size())};
  return status;
}
EMSCRIPTEN_KEEPALIVE const int32_t *playground_diagnostic() { return playground.diagnostic.data(); }
EMSCRIPTEN_KEEPALIVE const char *playground_message() { return playground.message.data(); }
EMSCRIPTEN_KEEPALIVE size_t playground_message_size() { return playground.message.size(); }

// The parse of the program in the input buffer, step by step, fetched a few
// at a time: playground_steps(first, count) makes the records of steps first
// to first + count - 1 (numbered from 0) and returns how many there are,
// fewer at the end of the parse (0 past it). The parse is kept in the module
// between calls, so asking for the steps that follow the last ones costs only
// those; asking for earlier ones runs it again from the start. A compile, a
// diagnosis or a new input ends it. playground_step_records() points at
// 11 32-bit integers per step (read as for playground_map):
//   kind (0 shift, 1 reduce, 2 accept, 3 error, 4 stack overflow, 5 scanner
//   failure), the state reached (shift and reduce; else the state on top),
//   the rule reduced (else -1), 1 for a reduction made without reading a
//   token (else 0), the lookahead's terminal (0 end of input, token code - 256
//   otherwise; -1 when none is read), its begin, end and line, the stack's
//   entries after the step (the start entry included), and for a reduction
//   the begin and end of the bytes it covers (else -1, -1).
// playground_step_lines() holds the same steps as r1explain --steps prints
// them, one line each, "N  stack: ... | lookahead: ... | action".
EMSCRIPTEN_KEEPALIVE int32_t playground_steps(int32_t first, int32_t count) {
  playground.steps.clear();
  playground.step_lines.clear();
  if (first < 0 || count <= 0) return 0;
  step_to(first);
  playground.steps.reserve(size_t(count < 1000 ? count : 1000) * step_record_size);
  Stepper &stepper = playground.stepper;
  int32_t made = 0;
  for (; made < count && !stepper.finished; made++) {
    std::string stack = stack_text(stepper);
    ParseStep step = next_step(stepper);
    playground.step_lines += step_text(stepper.steps, stack, stepper, step);
    bool reduced = step.kind == STEP_REDUCE;
    bool lookahead = step.kind == STEP_SHIFT || stepper.has_lookahead;
    const StepToken &token = stepper.lookahead;
    ByteSpan span = reduced ? stepper.stack.back().span : ByteSpan{};
    playground.steps.insert(
        playground.steps.end(),
        {int32_t(step.kind), reduced || step.kind == STEP_SHIFT ? step.state : stepper.stack.back().state,
         reduced ? step.rule : -1, int32_t(step.by_default), lookahead ? token.terminal : -1,
         lookahead ? int32(token.span.begin) : -1, lookahead ? int32(token.span.end) : -1,
         lookahead ? int32_t(token.line) : -1, int32(stepper.stack.size()), reduced ? int32(span.begin) : -1,
         reduced ? int32(span.end) : -1});
  }
  return made;
}
EMSCRIPTEN_KEEPALIVE const int32_t *playground_step_records() { return playground.steps.data(); }
EMSCRIPTEN_KEEPALIVE const char *playground_step_lines() { return playground.step_lines.data(); }
EMSCRIPTEN_KEEPALIVE size_t playground_step_lines_size() { return playground.step_lines.size(); }

// The stack after `taken` steps (0 for the start), bottom first: returns its
// entries, and playground_stack_entries() points at 4 32-bit integers each:
// the state, the symbol (a terminal as in playground_steps, a nonterminal from
// 25 up; the start entry's is 25, standing for nothing), and the begin and
// end of its bytes in the input. Symbol names: playground_names.
EMSCRIPTEN_KEEPALIVE int32_t playground_stack(int32_t taken) {
  playground.stack.clear();
  step_to(taken < 0 ? 0 : taken);
  playground.stack.reserve(playground.stepper.stack.size() * stack_record_size);
  for (const StackEntry &entry : playground.stepper.stack)
    playground.stack.insert(playground.stack.end(),
                            {entry.state, entry.symbol, int32(entry.span.begin), int32(entry.span.end)});
  return int32(playground.stepper.stack.size());
}
EMSCRIPTEN_KEEPALIVE const int32_t *playground_stack_entries() { return playground.stack.data(); }

// The steps the kept parse has taken: after playground_stack with a count past
// the end, the number of steps of the whole parse, its last one the accept or
// the error. 0 when no parse is kept.
EMSCRIPTEN_KEEPALIVE int32_t playground_steps_taken() {
  return playground.stepping ? int32_t(playground.stepper.steps) : 0;
}

// The part of the tree that entry `index` of the last playground_stack holds,
// as the report prints a tree, line breaks included, in playground_message; its
// size, 0 for a token's entry or one with no tree (an empty list, say). Read
// before the next step, compile or diagnosis.
EMSCRIPTEN_KEEPALIVE size_t playground_stack_tree(int32_t index) {
  playground.message.clear();
  const std::vector<StackEntry> &stack = playground.stepper.stack;
  if (!playground.stepping || index <= 0 || size_t(index) >= stack.size()) return 0;
  const StackEntry &entry = stack[size_t(index)];
  if (entry.symbol < N_ACCEPT || !entry.value.node) return 0;
  std::string printed, errors;
  output_to_strings(&printed, &errors);
  print_tree(entry.value.node);
  output_drain();
  output_to_strings(&playground.stepper.echoed, &playground.stepper.errors);
  playground.message = "(" + printed + ")";
  return playground.message.size();
}

// The names of the grammar, one per line: the 53 symbols by number (terminals
// 0 to 24, then the nonterminals, as r1explain --states writes them), then
// rules 0 to 57 as "ret_type -> VOID" ("stmt_list -> (empty)" when empty).
EMSCRIPTEN_KEEPALIVE const char *playground_names() {
  if (playground.names.empty()) {
    for (const char *name : symbol_names) playground.names += std::string(name) + "\n";
    for (int rule = 0; rule < rule_count; rule++) playground.names += rule_text(rule) + "\n";
  }
  return playground.names.data();
}
EMSCRIPTEN_KEEPALIVE size_t playground_names_size() { return (playground_names(), playground.names.size()); }

}  // extern "C"
