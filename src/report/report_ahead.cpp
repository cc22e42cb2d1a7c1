#include "report/report_ahead.hpp"

#include <atomic>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "codegen/codegen.hpp"
#include "common/arena.hpp"
#include "common/output.hpp"
#include "front/scanner.hpp"
#include "front/token_queue.hpp"
#include "front/tree.hpp"
#include "report/report.hpp"

size_t report_ahead_input_bytes = size_t(512) << 10;  // below this, a second thread costs more than it saves
Node reported_statement = {NODE_SEQ, false, {"."}, nullptr, nullptr};
StatementQueue statement_queue;

namespace {

constexpr uint32_t parse_over = uint32_t(1) << 31;                      // in `published`: no statement follows
constexpr uint32_t most_statements = parse_over - statement_ring_size;  // queued in one run, at most
constexpr uint32_t publish_batch = 256;  // statements the parser queues before showing them to the thread
constexpr uint32_t take_batch = 256;     // statements the thread takes before freeing their slots

// What the parser and the second thread share. The counts each side writes
// lie in cache lines of their own.
struct Ahead {
  alignas(64) std::atomic<uint32_t> published{0};  // statements shown to the thread; with parse_over, the last count
  alignas(64) std::atomic<uint32_t> taken{0};      // statements the thread is done with: their slots are free
  std::atomic<bool> ended{false};                  // the thread has stopped taking statements
  std::atomic<bool> tree_stopped{false};           // the thread prints no more tree text
  uint64_t first_reusable_chunk = 0;               // node chunks before it hold the function's head
  const Node *root = nullptr;                      // the whole tree, once the parse is over
  OutputChunks *tree = nullptr;                    // tree text of the first statements, tree_bytes.size() of them
  OutputChunks *code = nullptr;                    // the code, in order
  std::vector<size_t> tree_bytes;                  // the length of each statement's tree text
  const char *tree_failure = nullptr;              // the fatal message that stopped the tree text, if any
  std::thread thread;
};

Ahead *ahead = nullptr;
bool queueing_stopped = false;  // parser: statements are no longer queued

// The second thread writes two streams of chunks, the tree text and the code,
// and switches between them.
struct Streams {
  OutputPlace idle;           // the stream it is not writing
  bool writing_tree = false;  // which one it is writing
  bool tree_open = true;      // the tree stream still takes text
};

void write_tree(Streams &s) {
  if (!s.writing_tree) output_swap_place(s.idle), s.writing_tree = true;
}

void write_code(Streams &s) {
  if (s.writing_tree) output_swap_place(s.idle), s.writing_tree = false;
}

// Closes the tree stream, so that the report can take the text held in it;
// after a failure, only so that nothing waits for it.
void close_tree(Ahead &a, Streams &s, bool failed, const char *failure) {
  write_tree(s);
  if (!failed) output_drain();
  a.tree_failure = failure;
  output_chunks_close(a.tree, failure);
  output_swap_place(s.idle);  // on to the code, for good
  s.writing_tree = false;
  s.tree_open = false;
  a.tree_stopped.store(true, std::memory_order_release);
  a.tree_stopped.notify_one();
}

// The tree text and then the code of the statements in slots [first, end).
// While the parser goes on, their nodes are then no longer needed.
void report_statements(Ahead &a, Streams &s, const QueuedStatement *slots, uint32_t first, uint32_t end) {
  if (s.tree_open) {
    write_tree(s);
    for (uint32_t i = first; i != end; i++) {
      size_t before = output_written();
      print_tree(slots[i % statement_ring_size].statement);
      a.tree_bytes.push_back(output_written() - before);
    }
  }
  write_code(s);
  for (uint32_t i = first; i != end; i++) generate(slots[i % statement_ring_size].statement);
  if (s.tree_open) reuse_node_chunks(a.first_reusable_chunk, slots[(end - 1) % statement_ring_size].node_chunk);
}

// Takes the statements as the parser shows them. Once the parse is over, the
// tree text stops, and the code goes on to the end of the tree.
void take_statements(Ahead &a, Streams &s, const QueuedStatement *slots) {
  uint32_t next = 0;
  for (;;) {
    uint32_t published = a.published.load(std::memory_order_acquire);
    uint32_t ready = published & ~parse_over;
    if (s.tree_open && (published & parse_over)) close_tree(a, s, false, nullptr);
    if (next == ready) {
      if (published & parse_over) break;
      a.published.wait(published, std::memory_order_acquire);
      continue;
    }
    uint32_t end = ready - next > take_batch ? next + take_batch : ready;
    report_statements(a, s, slots, next, end);
    next = end;
    a.taken.store(next, std::memory_order_release);
    a.taken.notify_one();
  }
  generate_leaving_out(a.root, &reported_statement);
  output_drain();
}

void report_ahead(Ahead *a, const QueuedStatement *slots) {
  defer_fatal_messages();
  Streams s;
  bool failed = false;
  const char *failure = nullptr;  // null when the thread was cancelled
  try {
    output_into_chunks(a->code);
    output_swap_place(s.idle);
    s.writing_tree = true;
    output_into_chunks(a->tree);
    take_statements(*a, s, slots);
  } catch (const FatalExit &exit) {
    failed = true;
    failure = exit.message;
  } catch (const std::bad_alloc &) {
    failed = true;
    failure = "out of memory";
  }
  a->ended.store(true, std::memory_order_release);
  a->taken.fetch_add(1, std::memory_order_release);  // wakes a parser waiting for a slot
  a->taken.notify_one();
  if (s.tree_open) close_tree(*a, s, failed, failure);
  write_code(s);
  output_chunks_close(a->code, failure);
}

// Parser, at the first statement: the ring, the shared record and the thread,
// for a program large enough.
bool start_reporting_ahead(const QueuedStatement &first) {
  if (scanner_input_size() < report_ahead_input_bytes) return false;
  statement_queue.slots = new (std::nothrow) QueuedStatement[statement_ring_size];
  ahead = new (std::nothrow) Ahead;
  if (!statement_queue.slots || !ahead) return false;
  Ahead &a = *ahead;
  try {
    a.tree = output_chunks_create(SIZE_MAX);
    a.code = output_chunks_create(SIZE_MAX);
    a.tree_bytes.reserve(statement_ring_size);
    a.first_reusable_chunk = first.node_chunk + 1;
    a.thread = std::thread(report_ahead, &a, statement_queue.slots);
  } catch (const std::system_error &) {
    return false;
  } catch (const std::bad_alloc &) {
    return false;
  }
  take_back_scanning();  // the second core is for this thread now
  return true;
}

// Parser: waits while every slot of the ring is in use; false if the thread has ended.
bool wait_for_slot(Ahead &a) {
  for (;;) {
    if (a.ended.load(std::memory_order_acquire)) return false;
    uint32_t taken = a.taken.load(std::memory_order_acquire);
    if (statement_queue.count - taken < statement_ring_size) return true;
    a.taken.wait(taken, std::memory_order_acquire);
  }
}

// Parser: from now on statements are not queued; the report walks them.
Node *stop_queueing(Node *statement) {
  queueing_stopped = true;
  statement_queue.check_at = statement_queue.count;  // every statement comes to the slow way, which keeps it
  return statement;
}

}  // namespace

Node *queue_statement_slowly(Node *statement) {
  StatementQueue &q = statement_queue;
  QueuedStatement queued{statement, node_chunk_number};
  if (queueing_stopped) return statement;
  if (q.count == 0 && !ahead && !start_reporting_ahead(queued)) return stop_queueing(statement);
  Ahead &a = *ahead;
  if (q.count == most_statements) return stop_queueing(statement);
  a.published.store(q.count, std::memory_order_release);
  a.published.notify_one();
  if (!wait_for_slot(a)) return stop_queueing(statement);
  q.slots[q.count++ % statement_ring_size] = queued;
  uint32_t free_until = a.taken.load(std::memory_order_relaxed) + statement_ring_size;
  q.check_at = free_until - q.count < publish_batch ? free_until : q.count + publish_batch;
  return &reported_statement;
}

HeldReport finish_tree_ahead(const Node *root) {
  if (!ahead || !ahead->thread.joinable()) return {};
  Ahead &a = *ahead;
  a.root = root;
  a.published.store(statement_queue.count | parse_over, std::memory_order_release);
  a.published.notify_one();
  a.tree_stopped.wait(false, std::memory_order_acquire);
  if (a.tree_failure) {
    const char *failure = a.tree_failure;
    stop_reporting_ahead();
    fatal(failure);
  }
  return {a.tree_bytes.size(), a.tree_bytes.data(), a.tree, a.code};
}

const Node *statement_after_held(size_t i) { return statement_queue.slots[i % statement_ring_size].statement; }

void out_code_ahead() {
  out_chunks(ahead->code);
  ahead->thread.join();
}

void stop_reporting_ahead() {
  if (ahead) {
    Ahead &a = *ahead;
    if (a.thread.joinable()) {
      output_chunks_cancel(a.tree);
      output_chunks_cancel(a.code);
      a.published.store(statement_queue.count | parse_over, std::memory_order_release);
      a.published.notify_one();
      a.thread.join();
    }
    if (a.tree) output_chunks_destroy(a.tree);
    if (a.code) output_chunks_destroy(a.code);
    delete ahead;
    ahead = nullptr;
  }
  delete[] statement_queue.slots;
  statement_queue = StatementQueue{};
  queueing_stopped = false;
}
