#include "r1explain/listing.hpp"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t line_number_width = 6;  // columns before source_mark; lines up to 999999 align

// What the listing knows of each statement: how deep it is, the statements
// directly inside it in source order, and whether its first lines are out.
struct StatementInfo {
  int depth = 0;
  int holder = -1;  // the statement it is directly inside, -1 for none
  std::vector<int> inner;
  bool shown = false;
};

struct Listing {
  std::string_view source;
  const CompileMap &map;
  std::vector<size_t> line_starts;
  std::vector<StatementInfo> statements;  // by node index; used for statements only
  std::string text;
};

void index_lines(Listing &listing) {
  listing.line_starts.push_back(0);
  for (size_t i = 0; i < listing.source.size(); i++)
    if (listing.source[i] == '\n') listing.line_starts.push_back(i + 1);
}

// Nodes come parents first, so each statement's holder is known before it.
void index_statements(Listing &listing) {
  const std::vector<MappedNode> &nodes = listing.map.nodes;
  listing.statements.resize(nodes.size());
  for (size_t i = 0; i < nodes.size(); i++) {
    if (!nodes[i].is_statement || nodes[i].parent < 0) continue;
    int holder = nodes[size_t(nodes[i].parent)].statement;
    if (holder < 0) continue;
    listing.statements[i].holder = holder;
    listing.statements[i].depth = listing.statements[size_t(holder)].depth + 1;
    listing.statements[size_t(holder)].inner.push_back(int(i));
  }
  for (StatementInfo &info : listing.statements)
    std::sort(info.inner.begin(), info.inner.end(),
              [&](int a, int b) { return nodes[size_t(a)].source_begin < nodes[size_t(b)].source_begin; });
}

void write_source_lines(Listing &listing, int64_t first, int64_t last) {
  for (int64_t line = first; line <= last; line++) {
    size_t begin = listing.line_starts[size_t(line - 1)];
    size_t end = listing.source.find('\n', begin);
    if (end == std::string_view::npos) end = listing.source.size();
    std::string number = std::to_string(line);
    if (number.size() < line_number_width) listing.text.append(line_number_width - number.size(), ' ');
    listing.text += number;
    listing.text += source_mark;
    listing.text += listing.source.substr(begin, end - begin);
    listing.text += '\n';
  }
}

// The statement directly inside `holder` that holds `statement`, or -1.
int inner_holding(const Listing &listing, int holder, int statement) {
  while (statement >= 0 && listing.statements[size_t(statement)].holder != holder)
    statement = listing.statements[size_t(statement)].holder;
  return statement;
}

// The source lines before a run of code lines of `statement`, the code
// before them being `previous`'s. The first run shows the statement's lines
// up to its first inner statement; a later run, after an inner statement,
// shows its lines from there to the next inner statement or its end, or,
// when there are none (the code goes back to a header, as a loop's jump
// does), its first line again.
void write_statement_lines(Listing &listing, int statement, int previous) {
  const MappedNode &node = listing.map.nodes[size_t(statement)];
  StatementInfo &info = listing.statements[size_t(statement)];
  const std::vector<MappedNode> &nodes = listing.map.nodes;
  int64_t first = node.first.line;
  int64_t last = node.last.line;
  int came_from = info.shown ? inner_holding(listing, statement, previous) : -1;
  if (came_from < 0) {
    if (!info.inner.empty()) last = std::max(first, nodes[size_t(info.inner.front())].first.line - 1);
  } else {
    auto next = std::upper_bound(info.inner.begin(), info.inner.end(), came_from, [&](int a, int b) {
      return nodes[size_t(a)].source_begin < nodes[size_t(b)].source_begin;
    });
    int64_t after = nodes[size_t(came_from)].last.line + 1;
    int64_t before = next == info.inner.end() ? last : nodes[size_t(*next)].first.line - 1;
    if (after <= before)
      first = after, last = before;
    else
      last = first;
  }
  info.shown = true;
  write_source_lines(listing, first, last);
}

}  // namespace

std::string make_listing(std::string_view source, const CompileMap &map) {
  Listing listing{source, map, {}, {}, {}};
  index_lines(listing);
  index_statements(listing);
  std::string_view out = map.result.out;
  int previous = -1;
  for (const MappedCodeLine &line : map.code) {
    if (line.statement >= 0 && line.statement != previous) write_statement_lines(listing, line.statement, previous);
    previous = line.statement;
    int depth = line.statement >= 0 ? listing.statements[size_t(line.statement)].depth : 0;
    listing.text.append(code_indent + nesting_indent * size_t(std::min(depth, deepest_indent)), ' ');
    listing.text += out.substr(line.begin, line.end - line.begin);
    listing.text += '\n';
  }
  return listing.text;
}
