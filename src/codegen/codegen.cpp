#include "codegen/codegen.hpp"

#include <array>

#include "common/output.hpp"
#include "common/walk_stack.hpp"
#include "front/positions.hpp"
#include "front/tree.hpp"

int64_t count = 1;
int64_t label = 1;

namespace {

constexpr size_t first_stack_size = 1024;  // frames before the stack first grows

// A fixed text of up to 16 bytes, copied as a whole 16 bytes in two moves;
// what follows it writes over the bytes past its length.
struct ShortText {
  char bytes[16];
  size_t length;
};

// The fixed texts of a line of code, before and after its operand.
struct LineShape {
  ShortText before;
  ShortText after;
};

template <size_t N>
constexpr ShortText short_text(const char (&text)[N]) {
  static_assert(N - 1 <= sizeof ShortText::bytes);
  ShortText result{};
  for (size_t i = 0; i < N - 1; i++) result.bytes[i] = text[i];
  result.length = N - 1;
  return result;
}

template <size_t before_size, size_t after_size>
constexpr LineShape line_shape(const char (&before)[before_size], const char (&after)[after_size]) {
  return {short_text(before), short_text(after)};
}

// What the code of a node with a given fixed text does.
enum Operator : uint8_t {
  OP_NONE,
  OP_LOGIC,       // two operands; the operator's line follows the right one's code
  OP_NOT,         // one operand; NOT R1
  OP_ARITHMETIC,  // the operator's line takes the right operand
  OP_SUBTRACT,    // NEG <right operand>, then the operator's line; negation with one operand
  OP_IF,
  OP_WHILE,
  OP_DO,
  OP_FOR,
};

struct OperatorCode {
  Operator op = OP_NONE;
  LineShape line{};  // logic: around temp<t>'s number; arithmetic: around the right operand
};

// Every operator's code, by the fixed text of its node; the texts of a
// parse tree's logic, arithmetic and control nodes all have one.
constexpr auto operator_codes = [] {
  std::array<OperatorCode, FIXED_TEXT_COUNT> codes{};
  codes[TEXT_LESS] = {OP_LOGIC, line_shape("L temp", ", R1\n")};
  codes[TEXT_LESS_EQUAL] = {OP_LOGIC, line_shape("LE temp", ", R1\n")};
  codes[TEXT_GREATER] = {OP_LOGIC, line_shape("G temp", ", R1\n")};
  codes[TEXT_GREATER_EQUAL] = {OP_LOGIC, line_shape("GE temp", ", R1\n")};
  codes[TEXT_NOT_EQUAL] = {OP_LOGIC, line_shape("NE temp", ", R1\n")};
  codes[TEXT_EQUAL] = {OP_LOGIC, line_shape("CMP temp", ", R1\n")};
  codes[TEXT_AND] = {OP_LOGIC, line_shape("AND R1, temp", "\n")};
  codes[TEXT_OR] = {OP_LOGIC, line_shape("OR R1, temp", "\n")};
  codes[TEXT_NOT] = {OP_NOT};
  codes[TEXT_ADD] = {OP_ARITHMETIC, line_shape("ADD ", ", R1\n")};
  codes[TEXT_SUBTRACT] = {OP_SUBTRACT, line_shape("ADD ", ", R1\n")};
  codes[TEXT_MULTIPLY] = {OP_ARITHMETIC, line_shape("MULT ", ", R1\n")};
  codes[TEXT_DIVIDE] = {OP_ARITHMETIC, line_shape("DIV R1, ", "\n")};
  codes[TEXT_REMAINDER] = {OP_ARITHMETIC, line_shape("MOD R1, ", "\n")};
  codes[TEXT_IF] = {OP_IF};
  codes[TEXT_WHILE] = {OP_WHILE};
  codes[TEXT_DO] = {OP_DO};
  codes[TEXT_FOR] = {OP_FOR};
  return codes;
}();

const OperatorCode &operator_code(uint8_t text) {
  return operator_codes[text < FIXED_TEXT_COUNT ? text : uint8_t(TEXT_NONE)];
}
Operator operator_of(const Node *node) { return operator_code(node->fixed_text).op; }

bool is_logic(Operator op) { return op == OP_LOGIC || op == OP_NOT; }
bool is_arithmetic(Operator op) { return op == OP_ARITHMETIC || op == OP_SUBTRACT; }

constexpr LineShape load_name = line_shape("LOAD ", ", R1\n");
constexpr LineShape load_constant = line_shape("LOAD #", ", R1\n");
constexpr LineShape load_temporary = line_shape("LOAD Temp", ", R1\n");
constexpr LineShape store_name = line_shape("STORE R1, ", "\n");
constexpr LineShape store_temporary = line_shape("STORE R1, Temp", "\n");
constexpr LineShape store_logic_temporary = line_shape("STORE R1, temp", "\n");
constexpr LineShape negate = line_shape("NEG ", "\n");
constexpr LineShape negate_temporary = line_shape("NEG Temp", "\n");
constexpr LineShape define_label = line_shape("Label", ":\n");
constexpr LineShape define_capital_label = line_shape("LABEL", ":\n");
constexpr LineShape jump = line_shape("GOTO ", "\n");  // jumps name their target as Label<n>
constexpr LineShape jump_if_false = line_shape("IFFALSE GOTO ", "\n");
constexpr LineShape jump_if_true = line_shape("IFTRUE GOTO ", "\n");

constexpr size_t line_room = 2 * sizeof ShortText::bytes + longest_number;  // a line with a number

char *write_short_text(char *at, const ShortText &text) {
  std::memcpy(at, text.bytes, sizeof text.bytes);
  return at + text.length;
}

// Each line makes room once; a name longer than name_group bytes checks for
// more as it goes.
void emit_numbered(const LineShape &line, int64_t number) {
  char *at = write_short_text(make_room(output.next, line_room), line.before);
  at = write_number(at, number);
  output.next = write_short_text(at, line.after);
}

void emit_named(const LineShape &line, const char *name) {
  constexpr size_t room = 2 * sizeof ShortText::bytes + name_group;
  char *at = write_short_text(make_room(output.next, room), line.before);
  at = write_name(at, name, sizeof ShortText::bytes);
  output.next = write_short_text(at, line.after);
}

void emit_jump(const LineShape &line, int64_t target) {
  char *at = write_short_text(make_room(output.next, line_room + sizeof "Label"), line.before);
  at = write_number(write_literal(at, "Label"), target);
  output.next = write_short_text(at, line.after);
}

// A line whose operand is the right operand of an arithmetic operator: a
// temporary, a name or a constant.
void emit_operand_line(const LineShape &line, const Node *right, int64_t temporary) {
  constexpr size_t room = line_room + sizeof "Temp";  // also covers a name's first group
  char *at = write_short_text(make_room(output.next, room), line.before);
  if (!isLeaf(right)) {
    at = write_number(write_literal(at, "Temp"), temporary);
  } else if (right->kind == NODE_ID) {
    at = write_name(at, node_text(right), sizeof ShortText::bytes);
  } else {
    *at++ = '#';
    at = write_number(at, right->value);
  }
  output.next = write_short_text(at, line.after);
}

void emit_arithmetic_lines(uint8_t text, const Node *right, int64_t temporary) {
  const OperatorCode &code = operator_code(text);
  if (!is_arithmetic(code.op)) return;
  if (code.op == OP_SUBTRACT) emit_operand_line(negate, right, temporary);
  emit_operand_line(code.line, right, temporary);
}

// Where the code of a node goes on when the walk comes back to it from a part.
enum Resume : uint8_t {
  RESUME_RIGHT,          // sequence or declaration: generate rchild
  RESUME_ASSIGN,         // STORE R1, target
  RESUME_LOGIC_RIGHT,    // STORE R1, temp<t>; generate rchild
  RESUME_LOGIC_LINE,     // the operator's line with temp<t>
  RESUME_NOT,            // NOT R1
  RESUME_NEGATE,         // unary -: STORE R1, Temp<t>; NEG Temp<t>; LOAD Temp<t>, R1
  RESUME_ARITH_RIGHT,    // after the left operand
  RESUME_ARITH_LINES,    // after a compound right operand
  RESUME_IF_THEN,        // after the condition
  RESUME_IF_ELSE,        // after the then-part of an if-else
  RESUME_IF_END,         // after the statement or the else-part
  RESUME_WHILE_BODY,     // after the condition
  RESUME_WHILE_END,      // after the body
  RESUME_DO_CONDITION,   // after the body
  RESUME_DO_END,         // after the condition
  RESUME_FOR_LABEL,      // after the init clause
  RESUME_FOR_STEP,       // after the body
  RESUME_FOR_CONDITION,  // after the step clause
  RESUME_FOR_END,        // after the condition
};

// A node whose code is being written, waiting for one of its parts.
// 12 bytes: a chain of operators is a tree as deep as the chain is long, with
// a frame for each of its nodes. The numbers of one compile stay below 2^32:
// each belongs to a node of 12 bytes or more, at most two to a node, and the
// tree's memory holds at most 16 GiB.
struct Frame {
  NodeRef node;
  uint32_t number;  // the temporary or first label it reserved; 0 for none
  Resume resume;
  uint8_t text;  // the fixed text of a logic or arithmetic node, else TEXT_NONE
};
static_assert(sizeof(Frame) == 12);

Frame frame(NodeRef node, int64_t number, Resume resume, uint8_t text = TEXT_NONE) {
  return {node, uint32_t(number), resume, text};
}

// The frames of the nodes whose code is under way; kept for the next walk of
// the process, freed at its end.
WalkStackMemory<Frame> frames_memory;

int64_t reserve_temporary() { return count++; }
int64_t reserve_label() { return label++; }

// What the walk does next: generate `part` (null for nothing), after pushing
// `frame` when `push` is set.
struct Step {
  NodeRef part;
  bool push;
  Frame frame;
};

Step go_to(NodeRef part) { return {part, false, {}}; }
Step push_then(Frame pushed, NodeRef part) { return {part, true, pushed}; }

// Each enter_* function writes what its node emits before its first part and
// returns that part, with a frame to push when the node has more to do after
// it.

// sequence: lchild then rchild. declaration: the first declarator only when
// it is an assignment, then the rest of the declarators. A frame is needed
// only when both parts exist.
Step enter_pair(const Node *node, NodeRef ref, NodeRef first) {
  if (!first) return go_to(node->rchild);
  if (!node->rchild) return go_to(first);
  return push_then(frame(ref, 0, RESUME_RIGHT), first);
}

// logic: t; left; STORE R1, temp<t>; right; <op> ... temp<t>
// not:   t (printed nowhere); operand; NOT R1
Step enter_logic(const Node *node, NodeRef ref) {
  Operator op = operator_of(node);
  if (!is_logic(op)) return go_to(0);
  Resume resume = op == OP_NOT ? RESUME_NOT : RESUME_LOGIC_RIGHT;
  return push_then(frame(ref, reserve_temporary(), resume, node->fixed_text), node->lchild);
}

// unary +: operand only. unary -: t; operand; STORE R1, Temp<t>; NEG Temp<t>; LOAD Temp<t>, R1
// arithmetic: A if either operand is compound, then B = A + 1 if the right one is;
// left; [STORE R1, Temp<A>]; [right; STORE R1, Temp<B>]; [LOAD Temp<A>, R1]; <op> right-operand
[[gnu::always_inline]] inline Step enter_arithmetic(const Node *node, NodeRef ref) {
  if (!child(node->rchild)) {
    if (operator_of(node) != OP_SUBTRACT) return go_to(node->lchild);
    return push_then(frame(ref, reserve_temporary(), RESUME_NEGATE), node->lchild);
  }
  bool right_compound = !isLeaf(child(node->rchild));
  int64_t first = 0;
  if (!isLeaf(child(node->lchild)) || right_compound) first = reserve_temporary();
  if (right_compound) reserve_temporary();
  return push_then(frame(ref, first, RESUME_ARITH_RIGHT, node->fixed_text), node->lchild);
}

// if:      n; cond; IFFALSE GOTO Label<n>; stmt; Label<n>:
// if-else: n, m; cond; IFFALSE GOTO Label<n>; then; GOTO Label<m>; Label<n>:; else; Label<m>:
// while:   h, x; LABEL<h>:; cond; IFFALSE GOTO Label<x>; body; GOTO Label<h>; LABEL<x>:
// do:      n; LABEL<n>:; body; cond; IFTRUE GOTO Label<n>
// for:     n; init; Label<n>:; body; step; then cond; IFTRUE GOTO Label<n>,
//          or without a cond GOTO Label<n>. The header is SEQ(init, SEQ(cond, step)).
// Where two labels are reserved, the second is the first + 1.
[[gnu::always_inline]] inline Step enter_control(const Node *node, NodeRef ref) {
  switch (operator_of(node)) {
    case OP_IF: {
      int64_t first = reserve_label();
      if (node->has_else) reserve_label();
      return push_then(frame(ref, first, RESUME_IF_THEN), node->lchild);
    }
    case OP_WHILE: {
      int64_t head = reserve_label();
      reserve_label();
      emit_numbered(define_capital_label, head);
      return push_then(frame(ref, head, RESUME_WHILE_BODY), node->lchild);
    }
    case OP_DO: {
      int64_t head = reserve_label();
      emit_numbered(define_capital_label, head);
      return push_then(frame(ref, head, RESUME_DO_CONDITION), node->rchild);
    }
    case OP_FOR: {
      const Node *header = child(node->lchild);
      return push_then(frame(ref, reserve_label(), RESUME_FOR_LABEL), header ? header->lchild : 0);
    }
    default: return go_to(0);
  }
}

// enter and resume, and the parts of them that are called from one place,
// are inlined in both of the walks, as they were when there was one walk:
// called from two places, the compiler would make them calls.
[[gnu::always_inline]] inline Step enter(NodeRef ref) {
  const Node *node = node_at(ref);
  prefetch_ahead_of(node);
  switch (node->kind) {
    case NODE_ID:
      if (isLeaf(node)) emit_named(load_name, node_text(node));
      return go_to(0);
    case NODE_NUM:
      if (isLeaf(node)) emit_numbered(load_constant, node->value);
      return go_to(0);
    case NODE_SEQ: return enter_pair(node, ref, node->lchild);
    case NODE_TYPE: {
      NodeRef first = node->lchild && node_at(node->lchild)->kind == NODE_ASSIGN ? node->lchild : 0;
      return enter_pair(node, ref, first);
    }
    case NODE_ASSIGN:  // assignment: value; STORE R1, target
      return push_then(frame(ref, 0, RESUME_ASSIGN), node->rchild);
    case NODE_LOGIC: return enter_logic(node, ref);
    case NODE_ARITH: return enter_arithmetic(node, ref);
    case NODE_CONTROL: return enter_control(node, ref);
    default: return go_to(0);
  }
}

// What the walk does when it comes back to the node of the top frame: go on
// to the node's next part, or, when `done`, pop the frame (its node's code is
// complete) and go on to `part`, if any.
struct Resumed {
  NodeRef part;
  bool done;
};

Resumed next_part(Frame &frame, Resume resume, NodeRef part) {
  frame.resume = resume;
  return {part, false};
}

constexpr Resumed finished = {0, true};

// After the left operand; with a compound right operand, on to it.
[[gnu::always_inline]] inline Resumed resume_arithmetic(Frame &frame) {
  NodeRef right_ref = node_at(frame.node)->rchild;
  const Node *right = node_at(right_ref);
  if (frame.number) emit_numbered(store_temporary, frame.number);
  if (!isLeaf(right)) return next_part(frame, RESUME_ARITH_LINES, right_ref);
  if (frame.number) emit_numbered(load_temporary, frame.number);
  emit_arithmetic_lines(frame.text, right, 0);
  return finished;
}

[[gnu::always_inline]] inline Resumed resume_for(Frame &frame) {
  const Node *node = node_at(frame.node);
  const Node *header = child(node->lchild);
  const Node *inner = header ? child(header->rchild) : nullptr;
  const Node *condition = inner ? child(inner->lchild) : nullptr;
  switch (frame.resume) {
    case RESUME_FOR_LABEL:
      emit_numbered(define_label, frame.number);
      return next_part(frame, RESUME_FOR_STEP, node->rchild);
    case RESUME_FOR_STEP: return next_part(frame, RESUME_FOR_CONDITION, inner ? inner->rchild : 0);
    case RESUME_FOR_CONDITION:
      if (condition) return next_part(frame, RESUME_FOR_END, inner->lchild);
      emit_jump(jump, frame.number);
      return finished;
    default: emit_jump(jump_if_true, frame.number); return finished;
  }
}

[[gnu::always_inline]] inline Resumed resume(Frame &frame) {
  const Node *node = node_at(frame.node);
  switch (frame.resume) {
    case RESUME_RIGHT: return {node->rchild, true};
    case RESUME_ASSIGN: emit_named(store_name, node_text(child(node->lchild))); return finished;
    case RESUME_LOGIC_RIGHT:
      emit_numbered(store_logic_temporary, frame.number);
      return next_part(frame, RESUME_LOGIC_LINE, node->rchild);
    case RESUME_LOGIC_LINE: emit_numbered(operator_code(frame.text).line, frame.number); return finished;
    case RESUME_NOT:
      output.next = write_literal(make_room(output.next, sizeof "NOT R1\n"), "NOT R1\n");
      return finished;
    case RESUME_NEGATE:
      emit_numbered(store_temporary, frame.number);
      emit_numbered(negate_temporary, frame.number);
      emit_numbered(load_temporary, frame.number);
      return finished;
    case RESUME_ARITH_RIGHT: return resume_arithmetic(frame);
    case RESUME_ARITH_LINES:
      emit_numbered(store_temporary, frame.number + 1);
      emit_numbered(load_temporary, frame.number);
      emit_arithmetic_lines(frame.text, child(node->rchild), frame.number + 1);
      return finished;
    case RESUME_IF_THEN:
      emit_jump(jump_if_false, frame.number);
      if (!node->has_else) return next_part(frame, RESUME_IF_END, node->rchild);
      return next_part(frame, RESUME_IF_ELSE, child(node->rchild)->lchild);
    case RESUME_IF_ELSE:
      emit_jump(jump, frame.number + 1);
      emit_numbered(define_label, frame.number);
      frame.number++;  // the end label, defined last
      return next_part(frame, RESUME_IF_END, child(node->rchild)->rchild);
    case RESUME_IF_END: emit_numbered(define_label, frame.number); return finished;
    case RESUME_WHILE_BODY:
      emit_jump(jump_if_false, frame.number + 1);
      return next_part(frame, RESUME_WHILE_END, node->rchild);
    case RESUME_WHILE_END:
      emit_jump(jump, frame.number);
      emit_numbered(define_capital_label, frame.number + 1);
      return finished;
    case RESUME_DO_CONDITION: return next_part(frame, RESUME_DO_END, node->lchild);
    case RESUME_DO_END: emit_jump(jump_if_true, frame.number); return finished;
    default: return resume_for(frame);
  }
}

// Depth-first over the tree with an explicit stack of frames, so the depth
// of the tree never reaches the call stack. Traced: notes which node writes
// each piece of code, for the compiles that record positions.
template <bool Traced>
void walk(NodeRef root) {
  WalkStack<Frame> frames = empty_stack(frames_memory);
  NodeRef part = root;
  for (;;) {
    if (part) {
      if constexpr (Traced) note_code_of(part, output_position());
      Step step = enter(part);
      if (step.push) {
        if (frames.end == frames.limit) frames = grow(frames_memory, frames, first_stack_size);
        *frames.end++ = step.frame;
      }
      part = step.part;
    } else if (frames.end != frames.first) {
      if constexpr (Traced) note_code_of(frames.end[-1].node, output_position());
      Resumed resumed = resume(frames.end[-1]);
      if (resumed.done) frames.end--;
      part = resumed.part;
    } else {
      return;
    }
  }
}

}  // namespace

void generate(NodeRef root) {
  if (!position_trace) return walk<false>(root);
  position_trace->code_begin = output_position();
  walk<true>(root);
  position_trace->code_end = output_position();
}

void codegen_reset() {
  count = 1;
  label = 1;
}
