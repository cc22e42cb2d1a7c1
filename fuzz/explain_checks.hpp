// The properties that the map of any compile, r1explain's listing of it, and
// its stepped parse and diagnostic must have, checked against facts found
// apart from them: the same compile without the map, the input's bytes, and
// the report's text. Shared by the fuzz target, its replay over the test
// inputs, and the unit tests.
#pragma once
#include <string>
#include <string_view>

// Compiles input with its map, lists it and steps through its parse; returns
// "" when every property holds, else the first one violated and what
// violated it.
std::string explain_violation(std::string_view input);
