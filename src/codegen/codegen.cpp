#include "codegen/codegen.hpp"

#include <string_view>
#include <vector>

#include "common/output.hpp"
#include "front/tree.hpp"

int64_t count = 1;
int64_t label = 1;

namespace {

// Operators, found once per node from its text.
enum Operator : int32_t {
  OP_NONE,
  OP_LESS,
  OP_LESS_EQUAL,
  OP_GREATER,
  OP_GREATER_EQUAL,
  OP_NOT_EQUAL,
  OP_EQUAL,
  OP_AND,
  OP_OR,
  OP_NOT,
  OP_ADD,
  OP_SUBTRACT,
  OP_MULTIPLY,
  OP_DIVIDE,
  OP_REMAINDER,
  OP_IF,
  OP_WHILE,
  OP_DO,
  OP_FOR,
};

// The operator a node's text names. Node texts are the scanner's fixed token
// values, so their first bytes tell them apart.
Operator logic_operator(const char *text) {
  switch (text[0]) {
    case '<': return text[1] == '=' ? OP_LESS_EQUAL : OP_LESS;
    case '>': return text[1] == '=' ? OP_GREATER_EQUAL : OP_GREATER;
    case '!': return OP_NOT_EQUAL;
    case '=': return OP_EQUAL;
    case 'A': return OP_AND;
    case 'O': return OP_OR;
    case 'N': return OP_NOT;
    default: return OP_NONE;
  }
}

Operator arithmetic_operator(const char *text) {
  switch (text[0]) {
    case '+': return OP_ADD;
    case '-': return OP_SUBTRACT;
    case '*': return OP_MULTIPLY;
    case '/': return OP_DIVIDE;
    case '%': return OP_REMAINDER;
    default: return OP_NONE;
  }
}

Operator control_form(const char *text) {
  switch (text[0]) {
    case 'I': return OP_IF;
    case 'W': return OP_WHILE;
    case 'D': return OP_DO;
    case 'F': return OP_FOR;
    default: return OP_NONE;
  }
}

Operator operator_of(const Node *node) {
  switch (node->kind) {
    case NODE_LOGIC: return logic_operator(node->text);
    case NODE_ARITH: return arithmetic_operator(node->text);
    case NODE_CONTROL: return control_form(node->text);
    default: return OP_NONE;
  }
}

// A node whose code is being written: how far its scheme has got and the
// numbers it reserved.
struct Frame {
  const Node *node;
  Operator op;
  int32_t step;
  int64_t first;   // first number reserved, 0 for none
  int64_t second;  // second number reserved, 0 for none
};

int64_t reserve_temporary() { return count++; }
int64_t reserve_label() { return label++; }

void emit_numbered(std::string_view before, int64_t number, std::string_view after) {
  out_text(before);
  out_number(number);
  out_text(after);
}

void emit_named(std::string_view before, const char *name, std::string_view after) {
  out_text(before);
  out_name(name);
  out_text(after);
}

// The right operand of an arithmetic operator: a temporary, a name or a constant.
void emit_operand(const Node *right, int64_t temporary) {
  if (!isLeaf(right)) {
    out_text("Temp");
    out_number(temporary);
  } else if (right->kind == NODE_ID) {
    out_name(right->text);
  } else {
    out_byte('#');
    out_number(right->value);
  }
}

void emit_arithmetic_line(Operator op, const Node *right, int64_t temporary) {
  auto line = [&](std::string_view before, std::string_view after) {
    out_text(before);
    emit_operand(right, temporary);
    out_text(after);
  };
  switch (op) {
    case OP_ADD: line("ADD ", ", R1\n"); break;
    case OP_SUBTRACT: line("NEG ", "\n"), line("ADD ", ", R1\n"); break;
    case OP_MULTIPLY: line("MULT ", ", R1\n"); break;
    case OP_DIVIDE: line("DIV R1, ", "\n"); break;
    case OP_REMAINDER: line("MOD R1, ", "\n"); break;
    default: break;
  }
}

void emit_logic_line(Operator op, int64_t temporary) {
  switch (op) {
    case OP_LESS: emit_numbered("L temp", temporary, ", R1\n"); break;
    case OP_LESS_EQUAL: emit_numbered("LE temp", temporary, ", R1\n"); break;
    case OP_GREATER: emit_numbered("G temp", temporary, ", R1\n"); break;
    case OP_GREATER_EQUAL: emit_numbered("GE temp", temporary, ", R1\n"); break;
    case OP_NOT_EQUAL: emit_numbered("NE temp", temporary, ", R1\n"); break;
    case OP_EQUAL: emit_numbered("CMP temp", temporary, ", R1\n"); break;
    case OP_AND: emit_numbered("AND R1, temp", temporary, "\n"); break;
    case OP_OR: emit_numbered("OR R1, temp", temporary, "\n"); break;
    default: break;
  }
}

// Each advance_* function runs its node's scheme up to the next part to
// generate: it sets `part` and returns true, or returns false when the
// node's code is complete. A null part generates nothing.

// logic: t; left; STORE R1, temp<t>; right; <op> ... temp<t>
// not:   t (printed nowhere); operand; NOT R1
bool advance_logic(Frame &f, const Node *&part) {
  const Node *n = f.node;
  if (f.op == OP_NONE) return false;
  switch (f.step++) {
    case 0:
      f.first = reserve_temporary();
      part = n->lchild;
      return true;
    case 1:
      if (f.op == OP_NOT) {
        out_text("NOT R1\n");
        return false;
      }
      emit_numbered("STORE R1, temp", f.first, "\n");
      part = n->rchild;
      return true;
    default: emit_logic_line(f.op, f.first); return false;
  }
}

// unary +: operand only. unary -: t; operand; STORE R1, Temp<t>; NEG Temp<t>; LOAD Temp<t>, R1
bool advance_sign(Frame &f, const Node *&part) {
  if (f.step++ == 0) {
    if (f.op == OP_SUBTRACT) f.first = reserve_temporary();
    part = f.node->lchild;
    return true;
  }
  if (f.first) {
    emit_numbered("STORE R1, Temp", f.first, "\n");
    emit_numbered("NEG Temp", f.first, "\n");
    emit_numbered("LOAD Temp", f.first, ", R1\n");
  }
  return false;
}

// arithmetic: A if either operand is compound, B if the right one is;
// left; [STORE R1, Temp<A>]; [right; STORE R1, Temp<B>]; [LOAD Temp<A>, R1]; <op> right-operand
bool advance_arithmetic(Frame &f, const Node *&part) {
  const Node *n = f.node;
  if (!n->rchild) return advance_sign(f, part);
  bool right_compound = !isLeaf(n->rchild);
  switch (f.step++) {
    case 0:
      if (!isLeaf(n->lchild) || right_compound) f.first = reserve_temporary();
      if (right_compound) f.second = reserve_temporary();
      part = n->lchild;
      return true;
    case 1:
      if (f.first) emit_numbered("STORE R1, Temp", f.first, "\n");
      if (right_compound) {
        part = n->rchild;
        return true;
      }
      break;
    default: emit_numbered("STORE R1, Temp", f.second, "\n"); break;
  }
  if (f.first) emit_numbered("LOAD Temp", f.first, ", R1\n");
  emit_arithmetic_line(f.op, n->rchild, f.second);
  return false;
}

// if:      n; cond; IFFALSE GOTO Label<n>; stmt; Label<n>:
// if-else: n, m; cond; IFFALSE GOTO Label<n>; then; GOTO Label<m>; Label<n>:; else; Label<m>:
bool advance_if(Frame &f, const Node *&part) {
  const Node *n = f.node;
  switch (f.step++) {
    case 0:
      f.first = reserve_label();
      if (n->has_else) f.second = reserve_label();
      part = n->lchild;
      return true;
    case 1:
      emit_numbered("IFFALSE GOTO Label", f.first, "\n");
      part = n->has_else ? n->rchild->lchild : n->rchild;
      return true;
    case 2:
      if (!n->has_else) break;
      emit_numbered("GOTO Label", f.second, "\n");
      emit_numbered("Label", f.first, ":\n");
      part = n->rchild->rchild;
      return true;
    default: break;
  }
  emit_numbered("Label", n->has_else ? f.second : f.first, ":\n");
  return false;
}

// while: h, x; LABEL<h>:; cond; IFFALSE GOTO Label<x>; body; GOTO Label<h>; LABEL<x>:
bool advance_while(Frame &f, const Node *&part) {
  switch (f.step++) {
    case 0:
      f.first = reserve_label();
      f.second = reserve_label();
      emit_numbered("LABEL", f.first, ":\n");
      part = f.node->lchild;
      return true;
    case 1:
      emit_numbered("IFFALSE GOTO Label", f.second, "\n");
      part = f.node->rchild;
      return true;
    default:
      emit_numbered("GOTO Label", f.first, "\n");
      emit_numbered("LABEL", f.second, ":\n");
      return false;
  }
}

// do: n; LABEL<n>:; body; cond; IFTRUE GOTO Label<n>
bool advance_do(Frame &f, const Node *&part) {
  switch (f.step++) {
    case 0:
      f.first = reserve_label();
      emit_numbered("LABEL", f.first, ":\n");
      part = f.node->rchild;
      return true;
    case 1: part = f.node->lchild; return true;
    default: emit_numbered("IFTRUE GOTO Label", f.first, "\n"); return false;
  }
}

// for: n; init; Label<n>:; body; step; then cond; IFTRUE GOTO Label<n>,
// or without a cond GOTO Label<n>. The header is SEQ(init, SEQ(cond, step)).
bool advance_for(Frame &f, const Node *&part) {
  const Node *header = f.node->lchild;
  const Node *inner = header ? header->rchild : nullptr;
  const Node *condition = inner ? inner->lchild : nullptr;
  switch (f.step++) {
    case 0:
      f.first = reserve_label();
      part = header ? header->lchild : nullptr;
      return true;
    case 1:
      emit_numbered("Label", f.first, ":\n");
      part = f.node->rchild;
      return true;
    case 2: part = inner ? inner->rchild : nullptr; return true;
    case 3:
      if (condition) {
        part = condition;
        return true;
      }
      emit_numbered("GOTO Label", f.first, "\n");
      return false;
    default: emit_numbered("IFTRUE GOTO Label", f.first, "\n"); return false;
  }
}

bool advance_control(Frame &f, const Node *&part) {
  switch (f.op) {
    case OP_IF: return advance_if(f, part);
    case OP_WHILE: return advance_while(f, part);
    case OP_DO: return advance_do(f, part);
    case OP_FOR: return advance_for(f, part);
    default: return false;
  }
}

// sequence: lchild then rchild. declaration: the first declarator only when
// it is an assignment, then the rest of the declarators.
bool advance_pair(Frame &f, const Node *&part) {
  const Node *n = f.node;
  switch (f.step++) {
    case 0:
      part = n->kind == NODE_TYPE && !(n->lchild && n->lchild->kind == NODE_ASSIGN) ? nullptr : n->lchild;
      return true;
    case 1: part = n->rchild; return true;
    default: return false;
  }
}

// assignment: value; STORE R1, target
bool advance_assign(Frame &f, const Node *&part) {
  if (f.step++ == 0) {
    part = f.node->rchild;
    return true;
  }
  emit_named("STORE R1, ", f.node->lchild->text, "\n");
  return false;
}

bool advance(Frame &f, const Node *&part) {
  const Node *n = f.node;
  switch (n->kind) {
    case NODE_ID:
      if (isLeaf(n)) emit_named("LOAD ", n->text, ", R1\n");
      return false;
    case NODE_NUM:
      if (isLeaf(n)) emit_numbered("LOAD #", n->value, ", R1\n");
      return false;
    case NODE_SEQ:
    case NODE_TYPE: return advance_pair(f, part);
    case NODE_ASSIGN: return advance_assign(f, part);
    case NODE_LOGIC: return advance_logic(f, part);
    case NODE_ARITH: return advance_arithmetic(f, part);
    case NODE_CONTROL: return advance_control(f, part);
    default: return false;
  }
}

}  // namespace

// Depth-first over the tree with an explicit stack of frames, so the depth
// of the tree never reaches the call stack.
void generate(const Node *root) {
  if (!root) return;
  std::vector<Frame> frames{{root, operator_of(root), 0, 0, 0}};
  while (!frames.empty()) {
    const Node *part = nullptr;
    if (!advance(frames.back(), part))
      frames.pop_back();
    else if (part)
      frames.push_back({part, operator_of(part), 0, 0, 0});
  }
}

void codegen_reset() {
  count = 1;
  label = 1;
}
