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

// The code of a node by its fixed text. Every text is listed, so that a text
// added for a new operator or statement fails to compile (-Wswitch) until its
// code is given here.
constexpr OperatorCode code_of_text(FixedText text) {
  switch (text) {
    case TEXT_LESS: return {OP_LOGIC, line_shape("L temp", ", R1\n")};
    case TEXT_LESS_EQUAL: return {OP_LOGIC, line_shape("LE temp", ", R1\n")};
    case TEXT_GREATER: return {OP_LOGIC, line_shape("G temp", ", R1\n")};
    case TEXT_GREATER_EQUAL: return {OP_LOGIC, line_shape("GE temp", ", R1\n")};
    case TEXT_NOT_EQUAL: return {OP_LOGIC, line_shape("NE temp", ", R1\n")};
    case TEXT_EQUAL: return {OP_LOGIC, line_shape("CMP temp", ", R1\n")};
    case TEXT_AND: return {OP_LOGIC, line_shape("AND R1, temp", "\n")};
    case TEXT_OR: return {OP_LOGIC, line_shape("OR R1, temp", "\n")};
    case TEXT_NOT: return {OP_NOT};
    case TEXT_ADD: return {OP_ARITHMETIC, line_shape("ADD ", ", R1\n")};
    case TEXT_SUBTRACT: return {OP_SUBTRACT, line_shape("ADD ", ", R1\n")};
    case TEXT_MULTIPLY: return {OP_ARITHMETIC, line_shape("MULT ", ", R1\n")};
    case TEXT_DIVIDE: return {OP_ARITHMETIC, line_shape("DIV R1, ", "\n")};
    case TEXT_REMAINDER: return {OP_ARITHMETIC, line_shape("MOD R1, ", "\n")};
    case TEXT_IF: return {OP_IF};
    case TEXT_WHILE: return {OP_WHILE};
    case TEXT_DO: return {OP_DO};
    case TEXT_FOR: return {OP_FOR};
    case TEXT_NONE:
    case TEXT_SEQUENCE:
    case TEXT_VOID:
    case TEXT_INT:
    case TEXT_ELSE:
    case TEXT_ASSIGN:
    case FIXED_TEXT_COUNT: return {};  // no operator: a sequence's, a type's, an assignment's
  }
  return {};
}

// The same, as a table indexed by the text.
constexpr auto operator_codes = [] {
  std::array<OperatorCode, FIXED_TEXT_COUNT> codes{};
  for (size_t text = 0; text < FIXED_TEXT_COUNT; text++) codes[text] = code_of_text(FixedText(text));
  return codes;
}();

// What each byte a node's fixed text can hold does: read without a check of
// the byte's range, as the walks read it at every operator.
// An IF built with an else is OP_IF too; any other text with else_mark does
// nothing.
constexpr auto operators = [] {
  std::array<Operator, 256> ops{};
  for (size_t text = 0; text < FIXED_TEXT_COUNT; text++) ops[text] = operator_codes[text].op;
  ops[TEXT_IF | else_mark] = OP_IF;
  return ops;
}();
static_assert(sizeof Node::fixed_text == 1 && 2 * else_mark == 256);

Operator operator_of(const Node *node) { return operators[node->fixed_text]; }

// The line of an operator whose text does something (operator_of is not
// OP_NONE), and so is a FixedText.
const LineShape &operator_line(uint8_t text) { return operator_codes[text].line; }

bool is_arithmetic(Operator op) { return op == OP_ARITHMETIC || op == OP_SUBTRACT; }

constexpr LineShape load_name = line_shape("LOAD ", ", R1\n");
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

// A temporary's number is written two to five times, soon after it is
// reserved: its text is made when it is reserved, from the text of the number
// before it (one digit more, mostly), and kept in a small table by the
// number's low bits, from which each line that names it copies it.
struct TemporaryText {
  uint32_t number;  // 0 for none: temporaries count from 1
  uint32_t length;
  char bytes[16];  // write_number's ten digits at most, or its eight-byte stores
};
constexpr size_t temporary_text_slots = 2048;  // a power of two: more than the operators of the chains seen in practice
std::array<TemporaryText, temporary_text_slots> temporary_texts{};

TemporaryText &temporary_slot(int64_t number) { return temporary_texts[size_t(number) & (temporary_text_slots - 1)]; }

[[gnu::noinline]] void make_temporary_text(TemporaryText &text, int64_t number) {
  text.number = uint32_t(number);
  text.length = uint32_t(write_number(text.bytes, number) - text.bytes);
}

int64_t reserve_temporary() {
  int64_t number = count++;
  const TemporaryText &previous = temporary_slot(number - 1);
  TemporaryText &text = temporary_slot(number);
  if (previous.length == 0 || previous.number + 1 != uint32_t(number) || previous.bytes[previous.length - 1] == '9')
    return make_temporary_text(text, number), number;
  text = previous;
  text.number++;
  text.bytes[text.length - 1]++;
  return number;
}

// A number whose slot a later one has taken is made again.
char *write_temporary(char *at, int64_t number) {
  TemporaryText &text = temporary_slot(number);
  if (text.number != uint32_t(number)) make_temporary_text(text, number);
  std::memcpy(at, text.bytes, sizeof text.bytes);
  return at + text.length;
}

void emit_temporary(const LineShape &line, int64_t number) {
  char *at = write_short_text(make_room(output.next, line_room), line.before);
  at = write_temporary(at, number);
  output.next = write_short_text(at, line.after);
}

// A line about a leaf: a name, or a number, whose text holds its '#'.
void emit_named(const LineShape &line, const Node *name) {
  constexpr size_t room = 2 * sizeof ShortText::bytes + name_group;
  char *at = write_short_text(make_room(output.next, room), line.before);
  at = write_leaf_name(at, name, sizeof ShortText::bytes);
  output.next = write_short_text(at, line.after);
}

// A label's own line: "Label" or "LABEL" belongs to the shape.
void emit_label(const LineShape &definition, int64_t label) { emit_numbered(definition, label); }

// A jump names its target as Label<n>, however the label is defined.
void emit_jump(const LineShape &line, int64_t target) {
  char *at = write_short_text(make_room(output.next, line_room + sizeof "Label"), line.before);
  at = write_number(write_literal(at, "Label"), target);
  output.next = write_short_text(at, line.after);
}

// A line whose operand is the right operand of an arithmetic operator: a
// temporary, a name or a constant.
// A temporary is written out of line, so that a leaf's line, the most common,
// saves and restores few registers.
[[gnu::noinline]] char *emit_temporary_operand(char *at, int64_t temporary) {
  return write_temporary(write_literal(at, "Temp"), temporary);
}

[[gnu::noinline]] void emit_operand_line(const LineShape &line, const Node *right, int64_t temporary) {
  constexpr size_t room = line_room + sizeof "Temp";  // also covers a name's first group
  char *at = write_short_text(make_room(output.next, room), line.before);
  if (is_leaf_kind(right->kind)) {
    at = write_leaf_name(at, right, sizeof ShortText::bytes);
  } else if (!childless(right)) {
    at = emit_temporary_operand(at, temporary);
  } else {
    at = write_literal(at, "#0");  // an operand the tree builders never make: the value 0
  }
  output.next = write_short_text(at, line.after);
}

[[gnu::always_inline]] inline void emit_arithmetic_lines(uint8_t text, const Node *right, int64_t temporary) {
  Operator op = operators[text];
  if (!is_arithmetic(op)) return;
  if (op == OP_SUBTRACT) emit_operand_line(negate, right, temporary);
  emit_operand_line(operator_line(text), right, temporary);
}

int64_t reserve_label() { return label++; }

// The record of the compiles that record positions: from the output position
// on, the code is node's. A walk notes a node when it turns to it and again
// when it comes back to it from a part to write more of its own.
template <bool Traced>
void note(NodeRef node) {
  if constexpr (Traced) note_code_of(node, output_position());
}

// Expressions. A chain of operators is a tree as deep as the chain is long,
// 10 million deep and more, down its left operands. The walk keeps no entry
// per operator on such a spine: while it is below an operator's left operand,
// the operator's lchild holds the ref of the operator above it (0 at the top),
// set back on the way up. An operator's numbers are found again on the way up:
// those of a spine are reserved one operator after another on the way down,
// so below each operator's end where its lower neighbour's begin. A turn to a
// right operand is kept on an explicit stack, bounded by the parse stack's
// limit: a right operand is built while the parse stack holds its left one.
//
// logic: t; left; STORE R1, temp<t>; right; <op> ... temp<t>
// not:   t (printed nowhere); operand; NOT R1
// unary +: operand. unary -: t; operand; STORE R1, Temp<t>; NEG Temp<t>; LOAD Temp<t>, R1
// arithmetic: A if either operand is compound, then B = A + 1 if the right one is;
//   left; [STORE R1, Temp<A>]; [right; STORE R1, Temp<B>]; [LOAD Temp<A>, R1]; <op> right operand

// An operator whose right operand the walk has turned to.
struct RightTurn {
  Node *node;
  NodeRef ref;     // node's
  NodeRef parent;  // the ref its lchild held while the walk was below it
  int64_t number;  // the first number it reserved (A when it reserved two)
};

// Kept for the next walk of the process, freed at its end.
WalkStackMemory<RightTurn> right_turns_memory;

// Whether an arithmetic operator's operand is compound, and so needs a number.
bool compound(const Node *operand) { return !isLeaf(operand); }

// What an expression node writes before its first operand: a leaf's load, or
// the numbers an operator reserves. Returns the operand to go to, or null
// when the node is done.
[[gnu::always_inline]] inline Node *enter_expression(const Node *node) {
  prefetch_ahead_of(node);
  if (is_leaf_kind(node->kind)) {  // one test for both kinds, which come in no order a branch could learn
    emit_named(load_name, node);   // a number's text holds its '#'
    return nullptr;
  }
  switch (NodeKind(node->kind)) {
    case NODE_ID:
    case NODE_NUM: return nullptr;  // written above
    case NODE_LOGIC:
      switch (operator_of(node)) {
        case OP_LOGIC:
        case OP_NOT: reserve_temporary(); return node_at(node->lchild);
        case OP_NONE:
        case OP_ARITHMETIC:
        case OP_SUBTRACT:
        case OP_IF:
        case OP_WHILE:
        case OP_DO:
        case OP_FOR: return nullptr;  // no logic operator: no code
      }
      return nullptr;
    case NODE_ARITH: {
      Node *left = node_at(node->lchild);
      const Node *right = right_node(node);
      if (!right) {  // unary
        if (operator_of(node) == OP_SUBTRACT) reserve_temporary();
        return left;
      }
      if (compound(right) || compound(left)) reserve_temporary();
      if (compound(right)) reserve_temporary();
      return left;
    }
    case NODE_SEQ:
    case NODE_ASSIGN:
    case NODE_TYPE:
    case NODE_CONTROL: return nullptr;  // never an operand: the tree builders make none
  }
  return nullptr;  // a kind the tree builders never make
}

// Back at an operator from its left (or only) operand, left, whose numbers
// end at end: sets end to where they begin and writes what comes after the
// operand. Returns the right operand to go to, or 0 when the operator's code
// is complete. Unary plus writes nothing, and is not noted.
template <bool Traced>
[[gnu::always_inline]] inline NodeRef after_left_operand(NodeRef ref, const Node *node, const Node *left,
                                                         int64_t &end) {
  if (node->kind == NODE_LOGIC) {
    note<Traced>(ref);
    int64_t number = --end;
    if (operator_of(node) == OP_NOT) {
      output.next = write_literal(make_room(output.next, sizeof "NOT R1\n"), "NOT R1\n");
      return 0;
    }
    emit_temporary(store_logic_temporary, number);
    return right_ref(ref, node);
  }
  const Node *right = right_node(node);
  if (!right) {  // unary
    if (operator_of(node) != OP_SUBTRACT) return 0;
    note<Traced>(ref);
    int64_t number = --end;
    emit_temporary(store_temporary, number);
    emit_temporary(negate_temporary, number);
    emit_temporary(load_temporary, number);
    return 0;
  }
  note<Traced>(ref);
  if (compound(right)) {
    end -= 2;
    emit_temporary(store_temporary, end);
    return right_ref(ref, node);
  }
  if (compound(left)) {
    int64_t number = --end;
    emit_temporary(store_temporary, number);
    emit_temporary(load_temporary, number);
  }
  emit_arithmetic_lines(node->fixed_text, right, 0);
  return 0;
}

// Back at an operator from its right operand, its first number being number.
[[gnu::always_inline]] inline void after_right_operand(const Node *node, int64_t number) {
  if (node->kind == NODE_LOGIC) return emit_temporary(operator_line(node->fixed_text), number);  // OP_LOGIC's
  emit_temporary(store_temporary, number + 1);
  emit_temporary(load_temporary, number);
  emit_arithmetic_lines(node->fixed_text, right_node(node), number + 1);
}

// The code of an expression, which leaves its value in R1: depth first, with
// the turns to right operands on the explicit stack. The tree is as it was
// once the walk is done.
template <bool Traced>
void expression(NodeRef root) {
  WalkStack<RightTurn> turns = empty_stack(right_turns_memory);
  NodeRef ref = root;
  Node *node = node_at(root);
  NodeRef parent = 0;
  for (;;) {
    int64_t end;       // where the numbers of ref's code begin, once it is complete
    const Node *left;  // node's left operand, whose code is complete
    for (;;) {         // down the left operands
      note<Traced>(ref);
      Node *first = enter_expression(node);
      if (!first) {
        end = count;  // the numbers reserved on the way down end here
        break;
      }
      NodeRef first_ref = node->lchild;
      if (is_leaf_kind(first->kind)) {  // its load, and back at node without the way down and up
        note<Traced>(first_ref);
        enter_expression(first);
        end = count;
        left = first;
        goto back_at_node;
      }
      node->lchild = parent;
      parent = ref;
      ref = first_ref;
      node = first;
    }
    for (;;) {  // up from ref, whose code is complete
      if (!parent) {
        if (turns.end == turns.first) return;
        RightTurn turn = *--turns.end;
        note<Traced>(turn.ref);
        node = turn.node;
        after_right_operand(node, turn.number);
        ref = turn.ref;
        parent = turn.parent;
        end = turn.number;
        continue;
      }
      {
        left = node;
        node = node_at(parent);
        NodeRef above = node->lchild;
        node->lchild = ref;
        ref = parent;
        parent = above;
      }
    back_at_node:
      if (NodeRef right = after_left_operand<Traced>(ref, node, left, end)) {
        if (turns.end == turns.limit) turns = grow(right_turns_memory, turns, first_stack_size);
        *turns.end++ = {node, ref, parent, end};
        ref = right;
        node = node_at(right);
        parent = 0;
        break;
      }
    }
  }
}

// Statements, and the lists, declarations and clauses in them. A statement
// nests in another only with entries of the parse stack for each level, so
// their depth is bounded by its limit and the call stack holds them; a list
// is followed in a loop. Each level costs code_of's frame of about 40 bytes,
// and a control statement's frame of 40 to 56 more: the control statements
// are not inlined into code_of, so that a block in a block costs only the
// first. Nesting 9,990 deep takes under a megabyte of the call stack.

template <bool Traced>
void code_of(NodeRef ref);

// if:      n; cond; IFFALSE GOTO Label<n>; stmt; Label<n>:
// if-else: n, m; cond; IFFALSE GOTO Label<n>; then; GOTO Label<m>; Label<n>:; else; Label<m>:
// An if without else whose statement is a block of two or more keeps it as
// one statement: only an IF built with an else splits its right part.
template <bool Traced>
[[gnu::noinline]] void if_statement(const Node *node, NodeRef ref) {
  if (!has_else(node)) {
    int64_t end = reserve_label();
    expression<Traced>(node->lchild);
    note<Traced>(ref);
    emit_jump(jump_if_false, end);
    code_of<Traced>(right_ref(ref, node));
    note<Traced>(ref);
    emit_label(define_label, end);
    return;
  }
  int64_t otherwise = reserve_label();
  int64_t end = reserve_label();
  NodeRef parts_ref = right_ref(ref, node);
  const Node *parts = node_at(parts_ref);
  expression<Traced>(node->lchild);
  note<Traced>(ref);
  emit_jump(jump_if_false, otherwise);
  code_of<Traced>(parts->lchild);
  note<Traced>(ref);
  emit_jump(jump, end);
  emit_label(define_label, otherwise);
  code_of<Traced>(right_ref(parts_ref, parts));
  note<Traced>(ref);
  emit_label(define_label, end);
}

// while: h, x; LABEL<h>:; cond; IFFALSE GOTO Label<x>; body; GOTO Label<h>; LABEL<x>:
template <bool Traced>
[[gnu::noinline]] void while_statement(const Node *node, NodeRef ref) {
  int64_t head = reserve_label();
  int64_t exit = reserve_label();
  emit_label(define_capital_label, head);
  expression<Traced>(node->lchild);
  note<Traced>(ref);
  emit_jump(jump_if_false, exit);
  code_of<Traced>(right_ref(ref, node));
  note<Traced>(ref);
  emit_jump(jump, head);
  emit_label(define_capital_label, exit);
}

// do: n; LABEL<n>:; body; cond; IFTRUE GOTO Label<n>
template <bool Traced>
[[gnu::noinline]] void do_statement(const Node *node, NodeRef ref) {
  int64_t head = reserve_label();
  emit_label(define_capital_label, head);
  code_of<Traced>(right_ref(ref, node));
  expression<Traced>(node->lchild);
  note<Traced>(ref);
  emit_jump(jump_if_true, head);
}

// for: n; init; Label<n>:; body; step; then cond; IFTRUE GOTO Label<n>, or
// without a cond GOTO Label<n>. The header is SEQ(init, SEQ(cond, step)), the
// inner pair absent when there is neither cond nor step.
template <bool Traced>
[[gnu::noinline]] void for_statement(const Node *node, NodeRef ref) {
  int64_t head = reserve_label();
  const Node *header = child(node->lchild);
  NodeRef inner_ref = header ? right_ref(node->lchild, header) : 0;
  const Node *inner = child(inner_ref);
  NodeRef condition = inner ? inner->lchild : 0;
  code_of<Traced>(header ? header->lchild : 0);
  note<Traced>(ref);
  emit_label(define_label, head);
  code_of<Traced>(right_ref(ref, node));
  code_of<Traced>(inner ? right_ref(inner_ref, inner) : 0);
  if (condition) expression<Traced>(condition);
  note<Traced>(ref);
  emit_jump(condition ? jump_if_true : jump, head);
}

template <bool Traced>
void control_statement(const Node *node, NodeRef ref) {
  switch (operator_of(node)) {
    case OP_IF: return if_statement<Traced>(node, ref);
    case OP_WHILE: return while_statement<Traced>(node, ref);
    case OP_DO: return do_statement<Traced>(node, ref);
    case OP_FOR: return for_statement<Traced>(node, ref);
    case OP_NONE:
    case OP_LOGIC:
    case OP_NOT:
    case OP_ARITHMETIC:
    case OP_SUBTRACT: return;  // no control statement: no code
  }
}

// The code of a statement, a statement list or block, a declaration, a
// declarator or a for clause, and, as a part of one, an expression.
template <bool Traced>
void code_of(NodeRef ref) {
  while (ref) {
    note<Traced>(ref);
    const Node *node = node_at(ref);
    prefetch_ahead_of(node);
    switch (NodeKind(node->kind)) {
      case NODE_SEQ:  // a list's link, a block, a pair: lchild, then rchild by the loop
        code_of<Traced>(node->lchild);
        ref = right_ref(ref, node);
        continue;
      case NODE_TYPE:  // declaration: the first declarator only when it is an assignment, then the rest
        if (node->lchild && node_at(node->lchild)->kind == NODE_ASSIGN) code_of<Traced>(node->lchild);
        ref = right_ref(ref, node);
        continue;
      case NODE_ASSIGN:  // value; STORE R1, target
        expression<Traced>(right_ref(ref, node));
        note<Traced>(ref);
        emit_named(store_name, node_at(node->lchild));
        return;
      case NODE_CONTROL: return control_statement<Traced>(node, ref);
      case NODE_ID:  // a bare name, or a declarator without a value: LOAD name, R1
      case NODE_NUM:
      case NODE_LOGIC:
      case NODE_ARITH: return expression<Traced>(ref);
    }
    return;  // a kind the tree builders never make: no code
  }
}

}  // namespace

void generate(NodeRef root) {
  if (position_trace) position_trace->code_begin = output_position();
  if (position_trace)
    code_of<true>(root);
  else
    code_of<false>(root);
  if (position_trace) position_trace->code_end = output_position();
}

void codegen_reset() {
  count = 1;
  label = 1;
}
