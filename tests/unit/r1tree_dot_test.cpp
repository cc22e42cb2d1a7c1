// r1tree's conversion of a report's syntax tree to DOT: the nodes, their kinds
// and edges for trees of every node kind; finding the tree among other output;
// labels Graphviz must not misread (any length, escapes, entities); trees deep
// enough to break a recursive reader. Where Graphviz is installed, `dot` must
// accept each graph and draw the same labels and edges.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "r1tree/dot.hpp"

namespace {

std::string report_of(const std::string &tree) {
  return "Abstract Syntax Tree:\n(" + tree + ")\n\nTotal No Of Lines:1\n\nCode Generated:\n";
}

// The graph with its attributes left out but the class: "id label class" for
// each node and "parent->child" for each edge, one a line, in DOT order.
std::string summary_of(const std::string &dot) {
  std::istringstream lines(dot);
  std::string line, summary;
  while (std::getline(lines, line)) {
    if (line.rfind("  n", 0) != 0 || !std::isdigit(static_cast<unsigned char>(line[3]))) continue;
    std::size_t arrow = line.find(" -> n");
    if (arrow != std::string::npos) {
      summary += line.substr(3, arrow - 3) + "->" + line.substr(arrow + 5, line.size() - arrow - 6) + "\n";
      continue;
    }
    std::size_t label = line.find(" [label=\"");
    std::size_t label_end = line.find("\" class=");
    std::size_t class_end = line.find_first_of(" ]", label_end + 8);
    summary += line.substr(3, label - 3) + " " + line.substr(label + 9, label_end - label - 9) + " " +
               line.substr(label_end + 8, class_end - label_end - 8) + "\n";
  }
  return summary;
}

// Tree texts in prefix order, straight from the printed tree.
std::vector<std::string> texts_of(const std::string &tree) {
  std::vector<std::string> texts;
  std::string text;
  for (char byte : tree) {
    if (byte == ' ' && !text.empty()) texts.push_back(text);
    if (byte == ' ' || byte == '\n' || byte == '(' || byte == ')')
      text.clear();
    else
      text += byte;
  }
  return texts;
}

struct TreeCase {
  const char *name;
  const char *tree;  // as r1c prints it between the report's brackets
  const char *summary;
};

// Each tree is r1c's for the program in the name.
const TreeCase tree_cases[] = {
    {"void f() { }", ". \n( VOID \n( f ))", "0 . link\n1 VOID type\n0->1\n2 f identifier\n1->2\n"},
    {"int main() { int a, b = 1; IF; INT; }: names that read as keywords are leaves",
     ". \n( INT \n( main ). \n( INT \n( a . \n( = \n( b 1 ))). \n( IF . \n( INT ))))",
     "0 . link\n1 INT type\n0->1\n2 main identifier\n1->2\n3 . link\n0->3\n4 INT type\n3->4\n5 a identifier\n4->5\n"
     "6 . link\n4->6\n7 = operator\n6->7\n8 b identifier\n7->8\n9 1 number\n7->9\n10 . link\n3->10\n"
     "11 IF identifier\n10->11\n12 . link\n10->12\n13 INT identifier\n12->13\n"},
    {"a = -b * 2 + 3 / 4 % 5 - +c;: arithmetic, unary with one child",
     ". \n( VOID \n( f ). \n( = \n( a - \n( + \n( * \n( - \n( b )2 )% \n( / \n( 3 4 )5 ))+ \n( c )))))",
     "0 . link\n1 VOID type\n0->1\n2 f identifier\n1->2\n3 . link\n0->3\n4 = operator\n3->4\n5 a identifier\n4->5\n"
     "6 - operator\n4->6\n7 + operator\n6->7\n8 * operator\n7->8\n9 - operator\n8->9\n10 b identifier\n9->10\n"
     "11 2 number\n8->11\n12 % operator\n7->12\n13 / operator\n12->13\n14 3 number\n13->14\n15 4 number\n13->15\n"
     "16 5 number\n12->16\n17 + operator\n6->17\n18 c identifier\n17->18\n"},
    {"a = !(a || b) && c == d != e < f > g <= h >= i;: logic and comparisons",
     ". \n( VOID \n( f ). \n( = \n( a AND \n( NOT \n( OR \n( a b ))!= \n( == \n( c d )>= \n( <= \n( > \n( < \n( e f "
     ")g )h )i ))))))",
     "0 . link\n1 VOID type\n0->1\n2 f identifier\n1->2\n3 . link\n0->3\n4 = operator\n3->4\n5 a identifier\n4->5\n"
     "6 AND operator\n4->6\n7 NOT operator\n6->7\n8 OR operator\n7->8\n9 a identifier\n8->9\n10 b identifier\n8->10\n"
     "11 != operator\n6->11\n12 == operator\n11->12\n13 c identifier\n12->13\n14 d identifier\n12->14\n"
     "15 >= operator\n11->15\n16 <= operator\n15->16\n17 > operator\n16->17\n18 < operator\n17->18\n"
     "19 e identifier\n18->19\n20 f identifier\n18->20\n21 g identifier\n17->21\n22 h identifier\n16->22\n"
     "23 i identifier\n15->23\n"},
    {"if (a) b; else { c; } while (a) {} do b; while (a);: IF, WHILE, DO",
     ". \n( VOID \n( f ). \n( IF \n( a . \n( b . \n( c ))). \n( WHILE \n( a ). \n( DO \n( b a )))))",
     "0 . link\n1 VOID type\n0->1\n2 f identifier\n1->2\n3 . link\n0->3\n4 IF control\n3->4\n5 a identifier\n4->5\n"
     "6 . link\n4->6\n7 b identifier\n6->7\n8 . link\n6->8\n9 c identifier\n8->9\n10 . link\n3->10\n"
     "11 WHILE control\n10->11\n12 a identifier\n11->12\n13 . link\n10->13\n14 DO control\n13->14\n"
     "15 b identifier\n14->15\n16 a identifier\n14->16\n"},
    {"for (;;) {} for (int i = 0; i < 3; i = i + 1, j) s;: FOR, a childless link",
     ". \n( VOID \n( f ). \n( FOR \n( . ). \n( FOR \n( . \n( INT \n( = \n( i 0 )). \n( < \n( i 3 ). \n( = \n( i + "
     "\n( i 1 )). \n( j ))))s ))))",
     "0 . link\n1 VOID type\n0->1\n2 f identifier\n1->2\n3 . link\n0->3\n4 FOR control\n3->4\n5 . link\n4->5\n"
     "6 . link\n3->6\n7 FOR control\n6->7\n8 . link\n7->8\n9 INT type\n8->9\n10 = operator\n9->10\n"
     "11 i identifier\n10->11\n12 0 number\n10->12\n13 . link\n8->13\n14 < operator\n13->14\n15 i identifier\n14->15\n"
     "16 3 number\n14->16\n17 . link\n13->17\n18 = operator\n17->18\n19 i identifier\n18->19\n20 + operator\n18->20\n"
     "21 i identifier\n20->21\n22 1 number\n20->22\n23 . link\n17->23\n24 j identifier\n23->24\n25 s "
     "identifier\n7->25\n"},
};

TEST(R1treeDot, EveryNodeKindGivesItsNodesClassesAndEdges) {
  for (const TreeCase &test : tree_cases) {
    std::string dot;
    std::size_t nodes = 0;
    ASSERT_TRUE(report_to_dot(report_of(test.tree), dot, nodes)) << test.name;
    EXPECT_EQ(summary_of(dot), test.summary) << test.name;
    EXPECT_EQ(nodes, texts_of(test.tree).size()) << test.name;
  }
}

TEST(R1treeDot, WholeGraphOfTheSmallestProgram) {
  std::string dot;
  ASSERT_TRUE(report_to_dot(report_of(". \n( VOID \n( f ))"), dot));
  EXPECT_EQ(dot,
            "digraph syntax_tree {\n"
            "  graph [ordering=out];\n"
            "  node [shape=box fontname=\"Helvetica\"];\n"
            "  n0 [label=\".\" class=link shape=circle fixedsize=true width=0.3 color=gray50];\n"
            "  n1 [label=\"VOID\" class=type shape=hexagon style=filled fillcolor=palegreen];\n"
            "  n0 -> n1;\n"
            "  n2 [label=\"f\" class=identifier];\n"
            "  n1 -> n2;\n"
            "}\n");
}

TEST(R1treeDot, AppendsToWhatTheStringHolds) {
  std::string dot = "before\n";
  ASSERT_TRUE(report_to_dot(report_of(". "), dot));
  EXPECT_EQ(dot.rfind("before\ndigraph syntax_tree {\n", 0), 0u);
}

struct LocateCase {
  const char *name;
  std::string input;
  const char *summary;  // null: no complete tree
};

const std::string small_tree = report_of("x \n( y )");
const char *const small_summary = "0 x operator\n1 y identifier\n0->1\n";

const LocateCase locate_cases[] = {
    {"echoed bytes before the report", "#@\"_\r\x80" + small_tree, small_summary},
    {"echoed bytes on the title's line", "##" + small_tree + "##", small_summary},
    {"a message after the report", small_tree + "LOAD a, R1\nLine: 3 ;syntax error\n", small_summary},
    {"the first of two reports", small_tree + report_of("p \n( q )"), small_summary},
    {"a title without a tree, then a report", "Abstract Syntax Tree:\n(oops\n" + small_tree, small_summary},
    {"a title inside a broken tree, then a report", "Abstract Syntax Tree:\n(a \n( " + small_tree, small_summary},
    {"a title inside a text", "Abstract Syntax Tree:\n(Abstract Syntax Tree:\n(x \n( y ))\n", small_summary},
    {"a childless root", "Abstract Syntax Tree:\n(. )\n", "0 . link\n"},
    {"no input", "", nullptr},
    {"no title", "(. \n( VOID \n( f )))\n", nullptr},
    {"a title alone", "Abstract Syntax Tree:\n(", nullptr},
    {"an empty tree", "Abstract Syntax Tree:\n()\n", nullptr},
    {"the tree cut short", "Abstract Syntax Tree:\n(. \n( VOID \n( f )", nullptr},
    {"the report's bracket not closed", "Abstract Syntax Tree:\n(. \n( VOID \n( f )))", nullptr},
    {"a line break missing after the tree", "Abstract Syntax Tree:\n(. \n( VOID \n( f ))).", nullptr},
    {"a bracket too many", "Abstract Syntax Tree:\n(. \n( VOID \n( f ))))\n", nullptr},
    {"three children", "Abstract Syntax Tree:\n(x \n( a b c ))\n", nullptr},
    {"two roots", "Abstract Syntax Tree:\n(x y )\n", nullptr},
    {"a text without its blank", "Abstract Syntax Tree:\n(x)\n", nullptr},
    {"two blanks after a text", "Abstract Syntax Tree:\n(x  )\n", nullptr},
    {"empty brackets", "Abstract Syntax Tree:\n(x \n( ))\n", nullptr},
    {"carriage returns before the line breaks", "Abstract Syntax Tree:\r\n(x \r\n( y ))\r\n", nullptr},
};

TEST(R1treeDot, FindsTheFirstCompleteTreeAmongOtherOutput) {
  for (const LocateCase &test : locate_cases) {
    std::string dot = "kept";
    bool found = report_to_dot(test.input, dot);
    EXPECT_EQ(found, test.summary != nullptr) << test.name;
    EXPECT_EQ(found ? summary_of(dot) : dot, test.summary ? test.summary : "kept") << test.name;
  }
}

// Reads the labels of a graph back from `dot -Tplain`: "node NAME X Y W H
// LABEL ...", the label quoted with backslash escapes when it needs to be;
// the lines of a wrapped label are joined.
struct PlainGraph {
  std::vector<std::string> labels;
  std::vector<std::string> edges;  // "tail->head"
};

PlainGraph parse_plain(const std::string &plain) {
  PlainGraph graph;
  std::istringstream lines(plain);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind, name, tail, head, skipped;
    fields >> kind;
    if (kind == "edge") {
      fields >> tail >> head;
      graph.edges.push_back(tail + "->" + head);
    }
    if (kind != "node") continue;
    fields >> name >> skipped >> skipped >> skipped >> skipped >> std::ws;
    std::string label;
    if (fields.peek() == '"') {
      fields.get();
      for (char byte; fields.get(byte) && byte != '"';) {
        if (byte != '\\') {
          label += byte;
        } else if (fields.get(byte) && byte != 'l') {  // "\l" ends a line of a wrapped label
          label += byte;
        }
      }
    } else {
      fields >> label;
    }
    graph.labels.push_back(label);
  }
  return graph;
}

std::string read_file(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool graphviz_installed() { return std::system("command -v dot > /dev/null 2>&1") == 0; }

// Runs `dot -Tplain` on the graph; fails the test on any message from dot.
PlainGraph drawn_by_graphviz(const std::string &dot) {
  // Named after the process: tests run side by side, each in a process of its own.
  std::string base = testing::TempDir() + "r1tree_dot_test_" + std::to_string(getpid());
  std::ofstream(base + ".dot", std::ios::binary) << dot;
  std::string command = "dot -Tplain '" + base + ".dot' > '" + base + ".plain' 2> '" + base + ".err'";
  EXPECT_EQ(std::system(command.c_str()), 0) << read_file(base + ".err");
  EXPECT_EQ(read_file(base + ".err"), "");
  return parse_plain(read_file(base + ".plain"));
}

TEST(R1treeDot, GraphvizDrawsEveryLabelAndEdge) {
  if (!graphviz_installed()) GTEST_SKIP() << "Graphviz's dot is not installed";
  for (const TreeCase &test : tree_cases) {
    std::string dot;
    ASSERT_TRUE(report_to_dot(report_of(test.tree), dot)) << test.name;
    PlainGraph graph = drawn_by_graphviz(dot);
    EXPECT_EQ(graph.labels, texts_of(test.tree)) << test.name;
    std::vector<std::string> edges;
    std::istringstream summary(test.summary);
    for (std::string line; std::getline(summary, line);)
      if (line.find("->") != std::string::npos) {
        // Appended piece by piece: g++ 12's -Wrestrict misreads "n" + std::string at -O3.
        std::string edge = "n";
        edge += line.substr(0, line.find('-'));
        edge += "->n";
        edge += line.substr(line.find('>') + 1);
        edges.push_back(edge);
      }
    std::sort(edges.begin(), edges.end());
    std::sort(graph.edges.begin(), graph.edges.end());
    EXPECT_EQ(graph.edges, edges) << test.name;
  }
}

// Texts r1c never prints, but which Graphviz would otherwise change: its
// escapes and entities, quotes, and a control byte.
TEST(R1treeDot, LabelsGraphvizWouldMisreadAreEscaped) {
  struct Label {
    std::string text, quoted;
  };
  const Label labels[] = {
      {"\"", R"("\"")"},
      {"\\N", R"("\\N")"},
      {"a\\", R"("a\\")"},
      {"&amp;", "\"&amp;amp;\""},
      {"&#65;", "\"&amp;#65;\""},
      {"a&b", "\"a&amp;b\""},
      {"tab\tbyte", "\"tab&#9;byte\""},
      {"<=", "\"<=\""},
      {"{x}", "\"{x}\""},
  };
  for (const Label &label : labels) {
    std::string dot;
    ASSERT_TRUE(report_to_dot(report_of(label.text + " "), dot)) << label.text;
    EXPECT_NE(dot.find("  n0 [label=" + label.quoted + " class="), std::string::npos) << dot;
    if (graphviz_installed()) {
      EXPECT_EQ(drawn_by_graphviz(dot).labels, std::vector<std::string>{label.text}) << dot;
    }
  }
}

// Graphviz rejects a quoted string of more than 16,381 bytes, and fails to
// lay out a node tens of thousands of points wide.
TEST(R1treeDot, LongNamesAreSplitIntoQuotedPiecesAndDrawnInLines) {
  constexpr std::size_t line_bytes = 64;
  for (std::size_t length : {16'381, 16'382, 20'000, 1'000'000}) {
    std::string name(length, 'n');
    name.back() = 'z';
    std::string dot;
    ASSERT_TRUE(report_to_dot(report_of("= \n( " + name + " 1 )"), dot)) << length;
    std::size_t quote = dot.find("[label=\"", dot.find("n1 ")) + 7;
    std::string label;
    for (std::size_t end;; quote = dot.find('"', end + 1)) {
      end = dot.find('"', quote + 1);
      EXPECT_LE(end - quote - 1, 16'381u) << length;
      label += dot.substr(quote + 1, end - quote - 1);
      if (dot.compare(end + 1, 2, " +") != 0) break;
    }
    std::string unwrapped;
    for (std::size_t line = 0; line < label.size(); line += line_bytes + 2) {
      EXPECT_EQ(label.compare(std::min(line + line_bytes, label.size() - 2), 2, "\\l"), 0) << length << " at " << line;
      unwrapped += label.substr(line, std::min(line_bytes, label.size() - 2 - line));
    }
    EXPECT_EQ(unwrapped, name) << length;
    if (graphviz_installed() && length < 1'000'000) {
      EXPECT_EQ(drawn_by_graphviz(dot).labels, (std::vector<std::string>{"=", name, "1"})) << length;
    }
  }
}

// A million operators in a chain, leaning left (a + a + ... + a) and right.
TEST(R1treeDot, MillionOperatorChainsConvertWithoutRecursion) {
  constexpr std::size_t operators = 1'000'000;
  std::string left_chain, right_chain;
  for (std::size_t i = 0; i < operators; i++) left_chain += "+ \n( ";
  left_chain += "a a )";
  for (std::size_t i = 1; i < operators; i++) left_chain += "a )";
  for (std::size_t i = 0; i < operators; i++) right_chain += "OR \n( a ";
  right_chain += "a " + std::string(operators, ')');
  for (const std::string &chain : {left_chain, right_chain}) {
    std::string dot;
    std::size_t nodes = 0;
    ASSERT_TRUE(report_to_dot(report_of(chain), dot, nodes));
    EXPECT_EQ(nodes, 2 * operators + 1);
    EXPECT_EQ(std::count(dot.begin(), dot.end(), '>'), std::ptrdiff_t(2 * operators));
    bool left = chain == left_chain;
    EXPECT_NE(dot.find(left ? "\n  n999999 -> n1000000;\n" : "\n  n999998 -> n1000000;\n"), std::string::npos);
    EXPECT_TRUE(dot.ends_with("  n2000000 [label=\"a\" class=identifier];\n  n" + std::string(left ? "0" : "1999998") +
                              " -> n2000000;\n}\n"));
  }
}

}  // namespace
