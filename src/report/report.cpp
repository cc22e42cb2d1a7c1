#include "report/report.hpp"

#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>

#include "codegen/codegen.hpp"
#include "common/arena.hpp"
#include "common/output.hpp"
#include "front/scanner.hpp"
#include "front/tree.hpp"
#include "report/report_ahead.hpp"

size_t parallel_report_tree_bytes = size_t(4) << 20;  // below this, a second thread costs more than it saves

namespace {

constexpr size_t first_stack_size = 1024;  // open nodes before the stack first grows
constexpr size_t opening_length = 4;       // " \n( ": the most written after a node's text

bool prints_text(int32_t kind) {
  switch (kind) {
    case NODE_ID:
    case NODE_SEQ:
    case NODE_LOGIC:
    case NODE_ARITH:
    case NODE_ASSIGN:
    case NODE_TYPE:
    case NODE_CONTROL: return true;
    default: return false;  // NODE_NUM prints its value; no other kind prints a text
  }
}

// "text " for a node, with room for "\n( " after it.
char *write_node_text(char *at, const Node *node) {
  if (node->kind == NODE_NUM) {
    at = write_number(make_room(at, longest_number + opening_length), node->value);
  } else if (prints_text(node->kind)) {
    at = write_name(make_room(at, name_group + opening_length), node->text, opening_length);
  } else {
    return make_room(at, opening_length);
  }
  *at = ' ';
  return at + 1;
}

// For each node whose bracket is open, innermost last: its right child, still
// to print, or null once only the ")" is left. Held as plain pointers so that
// they can stay in registers.
struct OpenNodes {
  const Node **first;
  const Node **end;    // one past the innermost entry
  const Node **limit;  // one past the last slot
};

// The memory of the open nodes: one block, doubled by realloc when full, so
// that only as many pages are touched as the tree is deep; freed however the
// printer ends. print_tree keeps one for each thread, for its next tree
// (statements reported ahead are printed one at a time).
struct OpenNodesMemory {
  const Node **block = nullptr;
  size_t capacity = 0;
  ~OpenNodesMemory() { std::free(block); }
};

OpenNodes grow(OpenNodesMemory &memory, OpenNodes open) {
  size_t size = size_t(open.end - open.first);
  size_t capacity = size ? 2 * size : first_stack_size;
  auto *block = static_cast<const Node **>(std::realloc(memory.block, capacity * sizeof *memory.block));
  if (!block) fatal("out of memory");
  memory.block = block;
  memory.capacity = capacity;
  return {block, block + size, block + capacity};
}

// The tree text of the statements reported ahead, for the placeholders
// that stand for them, in the order the walk meets them.
struct HeldText {
  size_t held;          // placeholders whose text is held in chunks
  const size_t *bytes;  // the length of each one's text
  OutputChunks *chunks;
};

// Where the walk meets placeholder `index`: its text, held or printed now.
void print_reported_statement(const HeldText &held, size_t index) {
  if (index < held.held) return out_held_bytes(held.chunks, held.bytes[index]);
  print_tree(statement_after_held(index));
}

// Pre-order: "text " for each node, then "\n( " children ")" when it has any.
// An explicit stack keeps the depth of the tree off the call stack. An absent
// child prints nothing.
void print_tree_holding(const Node *root, HeldText held, OpenNodesMemory &memory) {
  if (!root) return;
  OpenNodes open{memory.block, memory.block, memory.block + memory.capacity};
  char *at = output.next;
  const Node *node = root;
  size_t placeholders = 0;
  for (;;) {
    if (node == &reported_statement) {
      output.next = at;
      print_reported_statement(held, placeholders++);
      at = output.next;
    } else {
      prefetch_ahead_of(node);
      at = write_node_text(at, node);
      if (node->lchild || node->rchild) {
        at = write_literal(at, "\n( ");
        if (open.end == open.limit) {
          output.next = at;  // should growth fail, the report so far still goes out
          open = grow(memory, open);
        }
        *open.end++ = node->rchild;
        if (node->lchild) {
          node = node->lchild;
          continue;
        }
      }
    }
    for (; open.end != open.first && !open.end[-1]; open.end--) {
      at = make_room(at, 1);
      *at++ = ')';
    }
    if (open.end == open.first) break;
    node = open.end[-1];
    open.end[-1] = nullptr;
  }
  output.next = at;
}

}  // namespace

void print_tree(const Node *root) {
  thread_local OpenNodesMemory memory;
  print_tree_holding(root, {0, nullptr, nullptr}, memory);
}

namespace {

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
  if (arena_bytes() < parallel_report_tree_bytes) return ahead;
  // The code held back while the tree is printed: at most a quarter of the
  // tree's memory, so that peak memory stays within a fixed multiple of the input.
  ahead.chunks = output_chunks_create(arena_bytes() / 4);
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

// The statements were reported ahead while the parser read them: the report
// takes what is held.
void print_held_report(const Node *root, const HeldReport &held) {
  OpenNodesMemory memory;  // its own: the placeholders not held are printed with print_tree
  print_tree_holding(root, {held.held, held.tree_bytes, held.tree}, memory);
  out_text(")\n\nTotal No Of Lines:");
  out_number(yylineno);
  out_text("\n\nCode Generated:\n");
  out_code_ahead();
}

}  // namespace

void print_report(const Node *root) {
  out_text("Abstract Syntax Tree:\n(");
  HeldReport held = finish_tree_ahead(root);
  if (held.code) return print_held_report(root, held);
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
