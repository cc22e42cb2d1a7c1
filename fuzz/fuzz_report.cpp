// libFuzzer target: r1tree's reader, which takes a report that anyone may
// hand it and draws its syntax tree as DOT. Besides the sanitizers' checks,
// every graph must say what the report said: read back (labels unescaped,
// children from the edges) and printed in r1c's layout, it is a tree that
// follows a title in the input; a violation aborts with a line naming it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "property.hpp"
#include "r1tree/dot.hpp"

namespace {

bool take(std::string_view &text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// A decimal number at the front of text, at most 18 digits; -1 if none.
int64_t take_number(std::string_view &text) {
  size_t n = 0;
  int64_t value = 0;
  while (n < text.size() && n < 18 && text[n] >= '0' && text[n] <= '9') value = value * 10 + (text[n++] - '0');
  text.remove_prefix(n);
  return n ? value : -1;
}

// Graphviz rejects a quoted string longer than this.
constexpr size_t longest_quoted = 16381;

// The text of a label: quoted pieces joined by " +\n    ", each within
// Graphviz's bound, with "\l" line ends and escaped bytes. Consumes the label
// and its attributes up to "];".
std::string take_label(std::string_view &line) {
  std::string text;
  require(take(line, "\""), "label is quoted", line);
  for (;;) {
    size_t start = line.size();
    while (!line.empty() && line[0] != '"') {
      unsigned char byte = line[0];
      require(byte >= 0x20 && byte != 0x7f, "label bytes are printable", line);
      if (take(line, "\\l")) continue;
      if (take(line, "\\\"")) {
        text += '"';
      } else if (take(line, "\\\\")) {
        text += '\\';
      } else if (take(line, "&amp;")) {
        text += '&';
      } else if (take(line, "&#")) {
        int64_t code = take_number(line);
        require(code >= 0 && code < 256 && take(line, ";"), "numeric entity", line);
        require(code < 0x20 || code == 0x7f, "numeric entity only for a control byte", line);
        text += char(code);
      } else {
        require(byte != '\\' && byte != '&', "backslash and ampersand are escaped", line);
        text += char(byte);
        line.remove_prefix(1);
      }
    }
    require(start - line.size() <= longest_quoted, "quoted piece within Graphviz's bound");
    require(take(line, "\""), "label ends in a quote", line);
    if (!take(line, " +\n    \"")) return text;
  }
}

struct GraphNode {
  std::string text;
  std::vector<size_t> children;
};

// Parses the graph; every node and edge in order, ids from 0, each node but
// the first the child of an earlier one, at most two children each.
std::vector<GraphNode> read_graph(std::string_view dot) {
  require(take(dot, "digraph syntax_tree {\n  graph [ordering=out];\n  node [shape=box fontname=\"Helvetica\"];\n"),
          "graph opening", dot);
  std::vector<GraphNode> nodes;
  while (!take(dot, "}\n")) {
    require(take(dot, "  n"), "node or edge line", dot);
    int64_t id = take_number(dot);
    if (take(dot, " -> n")) {
      int64_t child = take_number(dot);
      require(take(dot, ";\n"), "edge line ends", dot);
      require(id >= 0 && id < child && size_t(child) + 1 == nodes.size(), "edge from an earlier node to the last");
      nodes[size_t(id)].children.push_back(size_t(child));
      require(nodes[size_t(id)].children.size() <= 2, "at most two children");
      continue;
    }
    require(id >= 0 && size_t(id) == nodes.size(), "nodes numbered in order");
    require(take(dot, " [label="), "node has a label", dot);
    std::string text = take_label(dot);
    size_t end = dot.find("];\n");
    require(end != std::string_view::npos && dot.substr(0, 7) == " class=", "node's class follows its label", dot);
    dot.remove_prefix(end + 3);
    nodes.push_back({text, {}});
  }
  require(dot.empty(), "nothing after the graph", dot);
  return nodes;
}

// The tree below `node` as r1c prints it: its text and a blank, then its
// children's trees between "\n( " and ")". An explicit stack keeps deep trees
// off the call stack.
std::string printed_tree(const std::vector<GraphNode> &nodes) {
  std::string out;
  struct Open {
    size_t node;
    size_t next_child;
  };
  std::vector<Open> stack{{0, 0}};
  out += nodes[0].text + " ";
  if (!nodes[0].children.empty()) out += "\n( ";
  while (!stack.empty()) {
    Open &top = stack.back();
    const GraphNode &node = nodes[top.node];
    if (top.next_child == node.children.size()) {
      if (!node.children.empty()) out += ")";
      stack.pop_back();
      continue;
    }
    size_t child = node.children[top.next_child++];
    out += nodes[child].text + " ";
    if (!nodes[child].children.empty()) out += "\n( ";
    stack.push_back({child, 0});
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view report(reinterpret_cast<const char *>(data), size);
  std::string dot = "before";
  size_t nodes = 0;
  bool drawn = report_to_dot(report, dot, nodes);
  require(dot.substr(0, 6) == "before", "the graph is appended");
  if (!drawn) {
    require(dot == "before", "no tree leaves the output unchanged", dot);
    return 0;
  }
  std::vector<GraphNode> graph = read_graph(std::string_view(dot).substr(6));
  require(graph.size() == nodes && nodes > 0, "node count as returned");
  for (const GraphNode &node : graph)
    require(!node.text.empty() && node.text.find_first_of(" \n()") == std::string::npos,
            "a label is one text of the tree", node.text);
  std::string tree = "Abstract Syntax Tree:\n(" + printed_tree(graph) + ")\n";
  require(report.find(tree) != std::string_view::npos, "the graph is a tree in the input", tree);
  return 0;
}
