#include "generator.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t flush_bytes = size_t(1) << 20;  // text is handed to the file in pieces of about this size
constexpr int list_fanout = 200;                 // statements or blocks per list: a few hundred parse stack entries
constexpr int nest_list_fanout = 16;             // nests per list: the nests themselves need the stack
constexpr int list_levels = 4;                   // blocks of blocks under the body: room for 200^5 statements
constexpr int nest_stack_budget = 8800;          // entries of the 10000 that one nest's open levels may hold;
                                                 // the rest is for the enclosing lists and an expression
constexpr int max_indent = 6;                    // indentation stops growing at this depth
constexpr int max_control_depth = 3;             // control statements nested inside one another in the mixed shape

// Names of the variables declared at the top; none is a keyword of C or of r1c.
constexpr std::string_view variables[] = {
    "alpha", "beta", "gamma", "delta", "count", "total",  "index", "limit", "value", "sum", "acc",
    "lo",    "hi",   "mid",   "tmp",   "width", "height", "left",  "right", "flag",  "a",   "b",
    "c",     "i",    "j",     "k",     "n",     "m",      "p",     "q",     "x",     "y",   "z",
};

// Words that long identifiers are made of.
constexpr std::string_view words[] = {
    "buffer",  "length",  "offset", "counter", "result",  "number",   "current",  "previous", "maximum",
    "minimum", "average", "status", "element", "pointer", "capacity", "position", "checksum", "factor",
};

// Binary operators by precedence level, lowest first; the unary level follows the last.
struct OperatorLevel {
  std::string_view operators[4];
  int count;
};
constexpr OperatorLevel operator_levels[] = {
    {{"||"}, 1}, {{"&&"}, 1}, {{"==", "!="}, 2}, {{"<", ">", "<=", ">="}, 4}, {{"+", "-"}, 2}, {{"*", "/", "%"}, 3},
};
constexpr int unary_level = std::size(operator_levels);

// splitmix64: small, fast and the same everywhere.
struct Random {
  uint64_t state;
};

uint64_t next_random(Random &r) {
  uint64_t z = (r.state += 0x9e3779b97f4a7c15);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  return z ^ (z >> 31);
}

int below(Random &r, int n) { return int(next_random(r) % uint64_t(n)); }
bool chance(Random &r, int percent) { return below(r, 100) < percent; }

struct Generator {
  FILE *file = nullptr;
  std::string text;    // generated, not yet written
  size_t written = 0;  // bytes written to file
  size_t target = 0;   // stop opening new items at this size
  Random random{0};
  int richness = 20;                     // percent chance of a further operand at each operator level
  int next_name = 0;                     // suffix that makes declared names unique
  std::vector<std::string> block_names;  // long names declared in the current innermost block
};

size_t generated_size(const Generator &g) { return g.written + g.text.size(); }
bool done(const Generator &g) { return generated_size(g) >= g.target; }

void flush(Generator &g) {
  std::fwrite(g.text.data(), 1, g.text.size(), g.file);
  g.written += g.text.size();
  g.text.clear();
}

void put(Generator &g, std::string_view s) {
  g.text.append(s);
  if (g.text.size() >= flush_bytes) flush(g);
}

void put_number(Generator &g, uint64_t n) { put(g, std::to_string(n)); }
void indent(Generator &g, int depth) { g.text.append(size_t(2 * std::min(depth, max_indent)), ' '); }

template <typename T, size_t N>
const T &pick(Generator &g, const T (&choices)[N]) {
  return choices[below(g.random, int(N))];
}

void variable(Generator &g) { put(g, pick(g, variables)); }

// Mostly small numbers, now and then a large one; never zero, so it can divide.
void nonzero_numeral(Generator &g) {
  put_number(g, chance(g.random, 2) ? 1 + next_random(g.random) % 2147483647 : 1 + below(g.random, 999));
}

void numeral(Generator &g) {
  if (chance(g.random, 5))
    put(g, "0");
  else
    nonzero_numeral(g);
}

// The right operand of / and %: a name or a nonzero constant, so no constant divides by zero.
void divisor(Generator &g) {
  if (chance(g.random, 50))
    variable(g);
  else
    nonzero_numeral(g);
}

void expression(Generator &g, int depth);

// primary: a name, a numeral, or a parenthesised expression while depth allows.
void primary(Generator &g, int depth) {
  int roll = below(g.random, 100);
  if (depth > 0 && roll < 12) {
    put(g, "(");
    expression(g, depth - 1);
    put(g, ")");
  } else if (roll < 60) {
    variable(g);
  } else {
    numeral(g);
  }
}

void unary(Generator &g, int depth) {
  int roll = below(g.random, 100);
  if (roll < 5)
    put(g, "!");
  else if (roll < 10)
    put(g, "-");
  else if (roll < 12)
    put(g, "+");
  primary(g, depth);
}

// One operand of the given level: operands of the level above joined by this level's operators.
void operand_at(Generator &g, int level, int depth) {
  if (level == unary_level) return unary(g, depth);
  operand_at(g, level + 1, depth);
  while (chance(g.random, g.richness)) {
    const OperatorLevel &ops = operator_levels[level];
    std::string_view op = ops.operators[below(g.random, ops.count)];
    put(g, " ");
    put(g, op);
    put(g, " ");
    if (op == "/" || op == "%")
      divisor(g);
    else
      operand_at(g, level + 1, depth);
  }
}

void expression(Generator &g, int depth) { operand_at(g, 0, depth); }

void assignment(Generator &g, int depth) {
  indent(g, depth);
  variable(g);
  put(g, " = ");
  expression(g, 3);
  put(g, ";\n");
}

std::string fresh_name(Generator &g, std::string_view stem) {
  std::string name(stem);
  name += std::to_string(g.next_name++);
  return name;
}

// ---- Shape 1: every statement form and operator.

void mixed_statement(Generator &g, int depth, bool declaration_allowed, int control_depth);

// The body of a control statement, after its head: a block or a single statement, ending the line.
void body(Generator &g, int depth, int control_depth) {
  if (chance(g.random, 50)) {
    put(g, "\n");
    mixed_statement(g, depth + 1, false, control_depth);
    return;
  }
  put(g, " {\n");
  for (int n = below(g.random, 4); n > 0; n--) mixed_statement(g, depth + 1, true, control_depth);
  indent(g, depth);
  put(g, "}\n");
}

void condition(Generator &g, std::string_view keyword) {
  put(g, keyword);
  put(g, " (");
  expression(g, 2);
  put(g, ")");
}

// i = 1 or i = 1, j = k + 2
void assignment_list(Generator &g) {
  for (int n = 1 + below(g.random, 2); n > 0; n--) {
    variable(g);
    put(g, " = ");
    expression(g, 1);
    if (n > 1) put(g, ", ");
  }
}

void declaration_of_fresh_names(Generator &g) {
  put(g, "int ");
  for (int n = 1 + below(g.random, 3); n > 0; n--) {
    put(g, fresh_name(g, "t"));
    if (chance(g.random, 60)) {
      put(g, " = ");
      expression(g, 1);
    }
    if (n > 1) put(g, ", ");
  }
}

// for ( init ; cond ; step ), each part present or not; init may declare.
void for_head(Generator &g) {
  put(g, "for (");
  if (chance(g.random, 70)) {
    if (chance(g.random, 30))
      declaration_of_fresh_names(g);
    else
      assignment_list(g);
  }
  put(g, ";");
  if (chance(g.random, 70)) {
    put(g, " ");
    expression(g, 2);
  }
  put(g, ";");
  if (chance(g.random, 70)) {
    put(g, " ");
    assignment_list(g);
  }
  put(g, ")");
}

void control_statement(Generator &g, int depth, int control_depth) {
  int roll = below(g.random, 100);
  indent(g, depth);
  if (roll < 20) {
    condition(g, "if");
    body(g, depth, control_depth + 1);
  } else if (roll < 40) {
    condition(g, "if");
    body(g, depth, control_depth + 1);
    indent(g, depth);
    put(g, "else");
    body(g, depth, control_depth + 1);
  } else if (roll < 60) {
    condition(g, "while");
    body(g, depth, control_depth + 1);
  } else if (roll < 75) {
    put(g, "do");
    body(g, depth, control_depth + 1);
    indent(g, depth);
    condition(g, "while");
    put(g, ";\n");
  } else {
    for_head(g);
    body(g, depth, control_depth + 1);
  }
}

// Declarations are left out where C does not allow them: as the body of a control statement.
void mixed_statement(Generator &g, int depth, bool declaration_allowed, int control_depth) {
  int roll = below(g.random, 100);
  if (roll < 45 || (roll < 52 && !declaration_allowed)) return assignment(g, depth);
  if (roll >= 62 && control_depth < max_control_depth) return control_statement(g, depth, control_depth);
  indent(g, depth);
  if (roll < 52) {
    declaration_of_fresh_names(g);
    put(g, ";\n");
  } else if (roll < 55) {
    variable(g);
    put(g, ";\n");
  } else if (roll < 57) {
    put(g, "{ }\n");
  } else {
    put(g, "{\n");
    for (int n = 1 + below(g.random, 3); n > 0; n--) mixed_statement(g, depth + 1, true, control_depth);
    indent(g, depth);
    put(g, "}\n");
  }
}

// ---- Shape 3: long chains of one operator level, broken over lines.

void chain(Generator &g, int depth) {
  const OperatorLevel &ops = operator_levels[below(g.random, unary_level)];
  indent(g, depth);
  variable(g);
  put(g, " = ");
  unary(g, 0);
  for (int n = 100 + below(g.random, 1900); n > 0; n--) {
    std::string_view op = ops.operators[below(g.random, ops.count)];
    if (n % 16 == 0) {
      put(g, "\n");
      indent(g, depth + 1);
    } else {
      put(g, " ");
    }
    put(g, op);
    put(g, " ");
    if (op == "/" || op == "%")
      divisor(g);
    else
      unary(g, 0);
  }
  put(g, ";\n");
}

// ---- Shape 4: declaration lists of long names, initialised from earlier ones.

std::string long_name(Generator &g) {
  std::string name;
  for (int n = 2 + below(g.random, 4); n > 0; n--) {
    name += pick(g, words);
    name += '_';
  }
  name += std::to_string(g.next_name++);
  return name;
}

// A name declared earlier in this block, or a top-level variable.
void known_name(Generator &g) {
  if (g.block_names.empty() || chance(g.random, 30))
    variable(g);
  else
    put(g, g.block_names[size_t(below(g.random, int(g.block_names.size())))]);
}

void initialiser(Generator &g) {
  known_name(g);
  if (chance(g.random, 50)) {
    put(g, chance(g.random, 50) ? " + " : " * ");
    if (chance(g.random, 50))
      known_name(g);
    else
      nonzero_numeral(g);
  }
}

void declaration_list(Generator &g, int depth) {
  indent(g, depth);
  if (!g.block_names.empty() && chance(g.random, 20)) {
    known_name(g);
    put(g, " = ");
    initialiser(g);
    put(g, ";\n");
    return;
  }
  put(g, "int ");
  for (int n = 1 + below(g.random, 6); n > 0; n--) {
    std::string name = long_name(g);
    put(g, name);
    if (chance(g.random, 60)) {
      put(g, " = ");
      initialiser(g);
    }
    g.block_names.push_back(std::move(name));
    if (n > 1) put(g, ", ");
  }
  put(g, ";\n");
}

// ---- Shape 5: control statements nested until the parse stack budget is spent.

enum NestForm { NEST_WHILE, NEST_IF, NEST_IF_ELSE, NEST_DO, NEST_FOR, NEST_BLOCK, NEST_BARE_WHILE, NEST_FORM_COUNT };

// Parse stack entries each form holds while its inner nest is parsed, the
// statement before the nest included: while ( expr ) { stmt ...
constexpr int nest_form_cost[NEST_FORM_COUNT] = {6, 6, 8, 3, 10, 2, 4};
constexpr int most_nest_form_cost = 10;

void short_condition(Generator &g, std::string_view keyword) {
  put(g, keyword);
  put(g, " (");
  variable(g);
  put(g, " ");
  put(g, pick(g, operator_levels[3].operators));
  put(g, " ");
  nonzero_numeral(g);
  put(g, ")");
}

// Writes the head of one nesting level and, inside a brace, the statement before the inner nest.
void open_nest_level(Generator &g, NestForm form, int depth) {
  indent(g, depth);
  switch (form) {
    case NEST_WHILE: short_condition(g, "while"), put(g, " {\n"); break;
    case NEST_IF: short_condition(g, "if"), put(g, " {\n"); break;
    case NEST_IF_ELSE:
      short_condition(g, "if");
      put(g, "\n");
      assignment(g, depth + 1);
      indent(g, depth);
      put(g, "else {\n");
      break;
    case NEST_DO: put(g, "do {\n"); break;
    case NEST_FOR: put(g, "for (i = 0; i < n; i = i + 1) {\n"); break;
    case NEST_BLOCK: put(g, "{\n"); break;
    case NEST_BARE_WHILE: short_condition(g, "while"), put(g, "\n"); return;
    case NEST_FORM_COUNT: break;  // a count, not a form
  }
  assignment(g, depth + 1);
}

void close_nest_level(Generator &g, NestForm form, int depth) {
  if (form == NEST_BARE_WHILE) return;
  if (chance(g.random, 50)) assignment(g, depth + 1);
  indent(g, depth);
  if (form != NEST_DO) return put(g, "}\n");
  put(g, "} ");
  short_condition(g, "while");
  put(g, ";\n");
}

void nest(Generator &g, int depth) {
  std::vector<NestForm> open;
  for (int budget = nest_stack_budget / 4 + below(g.random, nest_stack_budget * 3 / 4);
       budget >= most_nest_form_cost;) {
    auto form = NestForm(below(g.random, NEST_FORM_COUNT));
    open_nest_level(g, form, depth + int(open.size()));
    open.push_back(form);
    budget -= nest_form_cost[form];
  }
  assignment(g, depth + int(open.size()));
  while (!open.empty()) {
    NestForm form = open.back();
    open.pop_back();
    close_nest_level(g, form, depth + int(open.size()));
  }
}

// ---- The program frame.

void shape_item(Generator &g, Shape shape, int depth) {
  switch (shape) {
    case Shape::mixed: return mixed_statement(g, depth, true, 0);
    case Shape::expressions: return assignment(g, depth);
    case Shape::chains: return chain(g, depth);
    case Shape::declarations: return declaration_list(g, depth);
    case Shape::nesting: return nest(g, depth);
  }
}

// A statement list of at most fanout items, stopping once the target size is
// reached: the shape's statements at level 0, blocks of the level below above it.
void statement_list(Generator &g, Shape shape, int fanout, int level, int depth) {
  for (int n = 0; n < fanout && !done(g); n++) {
    if (level == 0) {
      shape_item(g, shape, depth);
      continue;
    }
    indent(g, depth);
    put(g, "{\n");
    if (level == 1) g.block_names.clear();
    statement_list(g, shape, fanout, level - 1, depth + 1);
    indent(g, depth);
    put(g, "}\n");
  }
}

void top_declaration(Generator &g) {
  put(g, "  int ");
  for (size_t v = 0; v < std::size(variables); v++) {
    if (v > 0) put(g, ", ");
    put(g, variables[v]);
    put(g, " = ");
    put_number(g, v + 1);
  }
  put(g, ";\n");
}

}  // namespace

const char *shape_name(Shape shape) {
  switch (shape) {
    case Shape::mixed: return "mixed";
    case Shape::expressions: return "expressions";
    case Shape::chains: return "chains";
    case Shape::declarations: return "declarations";
    case Shape::nesting: return "nesting";
  }
  return "?";
}

std::optional<Shape> shape_named(std::string_view name) {
  for (Shape shape : all_shapes)
    if (name == shape_name(shape)) return shape;
  return std::nullopt;
}

size_t generate_program(Shape shape, size_t target_bytes, uint64_t seed, FILE *out) {
  Generator g;
  g.file = out;
  g.target = target_bytes;
  g.random = Random{seed};
  if (shape == Shape::expressions) g.richness = 40;
  put(g, "int main() {\n");
  top_declaration(g);
  int fanout = shape == Shape::nesting ? nest_list_fanout : list_fanout;
  statement_list(g, shape, fanout, list_levels, 1);
  put(g, "}\n");
  flush(g);
  return g.written;
}

size_t generate_long_chain(uint64_t operators, FILE *out) {
  Generator g;
  g.file = out;
  put(g, "int main() {\n  int x, a = 1;\n  x = a");
  for (uint64_t n = 0; n < operators; n++) put(g, "+a");
  put(g, ";\n}\n");
  flush(g);
  return g.written;
}
