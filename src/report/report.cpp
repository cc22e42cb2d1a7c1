#include "report/report.hpp"

#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "codegen/codegen.hpp"
#include "common/arena.hpp"
#include "common/output.hpp"
#include "front/scanner.hpp"
#include "front/tree.hpp"

namespace {

void print_node_text(const Node *node) {
  switch (node->kind) {
    case NODE_ID:
    case NODE_SEQ:
    case NODE_LOGIC:
    case NODE_ARITH:
    case NODE_ASSIGN:
    case NODE_TYPE:
    case NODE_CONTROL:
      out_name(node->text);
      out_byte(' ');
      break;
    case NODE_NUM:
      out_number(node->value);
      out_byte(' ');
      break;
    default: break;  // no other kind prints a text
  }
}

}  // namespace

// Pre-order: "text " for each node, then "\n( " children ")" when it has any.
// An explicit stack keeps the depth of the tree off the call stack.
void print_tree(const Node *root) {
  static const Node close_bracket{};  // pending marker: print ")"
  if (!root) return;
  std::vector<const Node *> pending{root};
  while (!pending.empty()) {
    const Node *node = pending.back();
    pending.pop_back();
    if (node == &close_bracket) {
      out_byte(')');
      continue;
    }
    print_node_text(node);
    if (isLeaf(node)) continue;
    out_bytes("\n( ", 3);
    pending.push_back(&close_bracket);
    if (node->rchild) pending.push_back(node->rchild);  // an absent child prints nothing
    if (node->lchild) pending.push_back(node->lchild);
  }
}

namespace {

// Below this much tree memory, a second thread would cost more than it saves.
constexpr size_t parallel_tree_bytes = size_t(4) << 20;

// The code of a large tree is generated on a second thread, into chunks of
// output, while this thread prints the tree; the chunks are written after it.
struct CodeAhead {
  OutputChunks *chunks = nullptr;  // null: generate here, after the tree
  std::thread thread;
};

void generate_into(OutputChunks *chunks, const Node *root) {
  defer_fatal_messages();
  const char *failure = nullptr;
  try {
    output_into_chunks(chunks);
    generate(root);
    output_drain();
  } catch (const FatalExit &exit) {
    failure = exit.message;
  } catch (const std::bad_alloc &) {
    failure = "out of memory";
  }
  output_chunks_close(chunks, failure);
}

CodeAhead start_generating(const Node *root) {
  CodeAhead ahead;
  if (arena_bytes() < parallel_tree_bytes) return ahead;
  ahead.chunks = output_chunks_create();
  try {
    ahead.thread = std::thread(generate_into, ahead.chunks, root);
  } catch (const std::system_error &) {
    output_chunks_destroy(ahead.chunks);
    ahead.chunks = nullptr;
  }
  return ahead;
}

void finish_generating(CodeAhead &ahead, const Node *root) {
  if (!ahead.chunks) return generate(root);
  out_chunks(ahead.chunks);
  ahead.thread.join();
  output_chunks_destroy(ahead.chunks);
  ahead.chunks = nullptr;
}

// The report has failed while the code is being generated ahead: that thread
// is stopped before the failure goes on.
void abandon_generating(CodeAhead &ahead) {
  if (!ahead.chunks) return;
  output_chunks_cancel(ahead.chunks);
  ahead.thread.join();
  output_chunks_destroy(ahead.chunks);
}

}  // namespace

void print_report(const Node *root) {
  out_text("Abstract Syntax Tree:\n(");
  CodeAhead ahead = start_generating(root);
  try {
    print_tree(root);
    out_text(")\n\nTotal No Of Lines:");
    out_number(yylineno);
    out_text("\n\nCode Generated:\n");
    finish_generating(ahead, root);
  } catch (...) {
    abandon_generating(ahead);
    throw;
  }
}
