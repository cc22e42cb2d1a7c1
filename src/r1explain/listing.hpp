// r1explain's listing: the generated code of one program with the source
// lines of each statement before the code they produced.
#pragma once
#include <string>
#include <string_view>

#include "front/source_map.hpp"

// Source lines are written "NUMBER| text"; code lines are indented by eight
// blanks and two more for each statement they are nested in, up to
// deepest_indent statements: deeper code is indented as that, so that the
// listing of a program nested thousands deep stays in proportion to its code.
constexpr std::string_view source_mark = "| ";
constexpr size_t code_indent = 8;
constexpr size_t nesting_indent = 2;
constexpr int deepest_indent = 20;

// The listing of a compile's map, its program's source being `source`.
std::string make_listing(std::string_view source, const CompileMap &map);
