// Reporting ahead: while the parser is still reading a large program, a
// second thread prints the tree and generates the code of each statement of
// the function body as soon as the parser has completed it (the statements of
// plain blocks in the body count as statements of the body). That output is
// held until the report, which writes it in its place. In the tree, a
// placeholder stands for each statement handed over, and the memory of the
// statement's nodes is reused once its output is made: only the output and
// the lists that join the statements are kept until the report.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/arena.hpp"

struct Node;
struct OutputChunks;

// A program of at least this many bytes of input (or of unknown size) is
// reported ahead. Tests set it to take either way.
extern size_t report_ahead_input_bytes;

// What stands in the tree for a statement handed over.
extern Node reported_statement;

// The parser's side: a ring of completed statements, in source order, each
// with the node chunk the parser filled when it was completed.
constexpr uint32_t statement_ring_size = uint32_t(1) << 16;

struct QueuedStatement {
  Node *statement;
  uint64_t node_chunk;
};

struct StatementQueue {
  QueuedStatement *slots = nullptr;  // the ring, once the first statement comes
  uint32_t count = 0;                // statements queued so far
  uint32_t check_at = 0;             // the count at which the queue next takes the slow way
};
extern StatementQueue statement_queue;

Node *queue_statement_slowly(Node *statement);

// A statement of the body, completed: never null and never a block. Returns
// what the tree keeps in its place: the placeholder if it was handed over,
// else the statement itself.
inline Node *queue_statement(Node *statement) {
  StatementQueue &q = statement_queue;
  if (q.count == q.check_at) return queue_statement_slowly(statement);
  q.slots[q.count++ % statement_ring_size] = {statement, node_chunk_number};
  return &reported_statement;
}

// The report's side, once the parse is over: the placeholders in the tree
// stand for the statements queued, in order. The first `held` of them have
// their tree text held in `tree`, `tree_bytes[i]` bytes each; the rest are
// `after_held(i)`. The code of all of them is held in order in `code`, and the
// code of the rest of the tree follows as the second thread generates it.
// Null chunks: nothing was reported ahead, and the tree has no placeholder.
struct HeldReport {
  size_t held = 0;
  const size_t *tree_bytes = nullptr;
  OutputChunks *tree = nullptr;
  OutputChunks *code = nullptr;
};

// Stops printing ahead and hands over what is held; from now on the second
// thread generates the code of the statements left and of the rest of the tree
// under `root`.
HeldReport finish_tree_ahead(const Node *root);

// Placeholder i of the tree, when it is not held.
const Node *statement_after_held(size_t i);

// Writes the held code and the rest of it as it comes, then ends the thread.
void out_code_ahead();

// Ends reporting ahead however the run ends; what is held is dropped.
void stop_reporting_ahead();
