// Build-time tool: writes the parser's tables for the language grammar (and,
// given a second file, every state's items, for r1explain; given a third, the
// states as code, for r1c's own parse), or, with
// --describe, a readable listing of the states. Fails on any conflict
// that the grammar does not resolve.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "lalr.hpp"

int main(int argc, char **argv) {
  if (argc < 2 || argc > 4) {
    std::cerr << "usage: lalr_gen TABLES.cpp [ITEMS.cpp [STATES.inc]] | --describe\n";
    return 2;
  }
  ParseTables tables = build_lalr_tables(language_grammar);
  if (std::strcmp(argv[1], "--describe") == 0) {
    std::cout << describe_tables(language_grammar, tables);
    return tables.conflicts.empty() ? 0 : 1;
  }
  for (const std::string &conflict : tables.conflicts) std::cerr << "lalr_gen: " << conflict << "\n";
  if (!tables.conflicts.empty()) return 1;
  std::ofstream out(argv[1], std::ios::binary);
  out << tables_source(tables);
  if (argc >= 3) {
    std::ofstream items(argv[2], std::ios::binary);
    items << items_source(language_grammar, tables);
    if (!items.good()) return 1;
  }
  if (argc == 4) {
    std::ofstream states(argv[3], std::ios::binary);
    states << states_source(language_grammar, tables);
    if (!states.good()) return 1;
  }
  return out.good() ? 0 : 1;
}
