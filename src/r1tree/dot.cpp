#include "r1tree/dot.hpp"

#include <charconv>
#include <cstdint>
#include <vector>

namespace {

constexpr std::string_view tree_title = "Abstract Syntax Tree:\n(";
constexpr std::string_view children_opening = "\n( ";
// Graphviz rejects a quoted string of more than 16,381 bytes, so a longer
// label is written as quoted pieces joined by "+", each at most this long
// plus one escaped byte and a line end.
constexpr std::size_t label_piece_bytes = 4096;
constexpr std::size_t label_line_bytes = 64;  // about 500 points: a wide node, well within Graphviz's limits

constexpr std::string_view graph_opening =
    "digraph syntax_tree {\n"
    "  graph [ordering=out];\n"
    "  node [shape=box fontname=\"Helvetica\"];\n";
constexpr std::string_view graph_closing = "}\n";

// How each kind of node is drawn; `class` also names the kind in SVG output.
constexpr std::string_view identifier_style = "class=identifier";
constexpr std::string_view number_style = "class=number style=rounded";
constexpr std::string_view operator_style = "class=operator shape=ellipse style=filled fillcolor=lightyellow";
constexpr std::string_view control_style = "class=control shape=diamond style=filled fillcolor=lightblue";
constexpr std::string_view type_style = "class=type shape=hexagon style=filled fillcolor=palegreen";
constexpr std::string_view link_style = "class=link shape=circle fixedsize=true width=0.3 color=gray50";

bool is_number(std::string_view text) {
  if (text.front() == '-') text.remove_prefix(1);
  if (text.empty()) return false;
  for (char byte : text)
    if (byte < '0' || byte > '9') return false;
  return true;
}

// The kind is told by the text and by whether the node has children: a name
// may read "IF" or "INT", but a name is always a leaf, and every control
// statement, type and operator has a child.
std::string_view style_of(std::string_view text, bool has_children) {
  if (text == ".") return link_style;
  if (!has_children) return is_number(text) ? number_style : identifier_style;
  if (text == "IF" || text == "WHILE" || text == "DO" || text == "FOR") return control_style;
  if (text == "INT" || text == "VOID") return type_style;
  return operator_style;
}

void append_number(std::string &dot, std::uint64_t number) {
  char digits[20];
  auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  dot.append(digits, end);
}

// One byte of a label inside DOT quotes. Graphviz reads a backslash as the
// start of an escape (\N is the node's name) and "&...;" as an entity, so
// both are escaped too; control bytes go as numeric entities.
void append_label_byte(std::string &dot, char byte) {
  unsigned char code = static_cast<unsigned char>(byte);
  if (byte == '"' || byte == '\\') {
    dot += '\\';
    dot += byte;
  } else if (byte == '&') {
    dot += "&amp;";
  } else if (code < 0x20 || code == 0x7f) {
    dot += "&#";
    append_number(dot, code);
    dot += ';';
  } else {
    dot += byte;
  }
}

// A label longer than one line is drawn as lines of `label_line_bytes`, each
// left-justified ("\l"): Graphviz fails on a node tens of thousands of points
// wide. Its pieces break only between escaped bytes.
void append_label(std::string &dot, std::string_view text) {
  bool wrapped = text.size() > label_line_bytes;
  dot += '"';
  std::size_t piece_start = dot.size();
  for (std::size_t i = 0; i < text.size(); i++) {
    if (dot.size() - piece_start >= label_piece_bytes) {
      dot += "\" +\n    \"";
      piece_start = dot.size();
    }
    if (wrapped && i > 0 && i % label_line_bytes == 0) dot += "\\l";
    append_label_byte(dot, text[i]);
  }
  if (wrapped) dot += "\\l";
  dot += '"';
}

void append_node(std::string &dot, std::uint64_t id, std::string_view text, std::string_view style) {
  dot += "  n";
  append_number(dot, id);
  dot += " [label=";
  append_label(dot, text);
  dot += ' ';
  dot += style;
  dot += "];\n";
}

void append_edge(std::string &dot, std::uint64_t parent, std::uint64_t child) {
  dot += "  n";
  append_number(dot, parent);
  dot += " -> n";
  append_number(dot, child);
  dot += ";\n";
}

// A node's text runs to the blank after it; these bytes never belong to one.
bool is_text_byte(char byte) { return byte != ' ' && byte != '\n' && byte != '(' && byte != ')'; }

constexpr std::uint64_t no_parent = UINT64_MAX;  // the report's own bracket, around the root

// A bracket being read: the node whose children it holds, and how many of
// them have been read. A node has at most two children; the report's own
// bracket holds the root alone.
struct OpenBracket {
  std::uint64_t parent;
  int children;
};

// Reads the tree that starts at `at`, right after the title's "(", appending
// its nodes and edges to `dot`. Returns the number of nodes, or 0 when no
// complete tree and ")\n" follow. Each node is "text ", then "\n( " children
// ")" if it has any; an explicit stack of open brackets keeps any depth off
// the call stack.
std::size_t append_tree(std::string_view report, std::size_t at, std::string &dot) {
  std::vector<OpenBracket> open{{no_parent, 0}};
  std::uint64_t next_id = 0;
  for (;;) {
    std::size_t end = at;
    while (end < report.size() && is_text_byte(report[end])) end++;
    if (end == at || end == report.size() || report[end] != ' ') return 0;
    std::uint64_t parent = open.back().parent;
    if (++open.back().children > (parent == no_parent ? 1 : 2)) return 0;
    std::string_view text = report.substr(at, end - at);
    at = end + 1;
    bool has_children = report.substr(at, children_opening.size()) == children_opening;
    std::uint64_t id = next_id++;
    append_node(dot, id, text, style_of(text, has_children));
    if (parent != no_parent) append_edge(dot, parent, id);
    if (has_children) {
      open.push_back({id, 0});
      at += children_opening.size();
      continue;
    }
    while (at < report.size() && report[at] == ')') {
      open.pop_back();
      at++;
      if (open.empty()) return at < report.size() && report[at] == '\n' ? next_id : 0;
    }
  }
}

}  // namespace

// Each title is tried in turn until one is followed by a complete tree. A try
// that fails stops at the latest within the next title (whose "Tree:" is
// followed by a line break, not a blank), so the whole search is linear.
bool report_to_dot(std::string_view report, std::string &dot, std::size_t &nodes) {
  std::size_t dot_size = dot.size();
  for (std::size_t title = report.find(tree_title); title != std::string_view::npos;
       title = report.find(tree_title, title + 1)) {
    dot += graph_opening;
    if (std::size_t count = append_tree(report, title + tree_title.size(), dot)) {
      dot += graph_closing;
      nodes = count;
      return true;
    }
    dot.resize(dot_size);
  }
  return false;
}

bool report_to_dot(std::string_view report, std::string &dot) {
  std::size_t nodes;
  return report_to_dot(report, dot, nodes);
}
