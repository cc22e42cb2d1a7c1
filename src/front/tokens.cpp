#include "front/tokens.hpp"

#include <iterator>

// The fixed texts, in the order of FixedText.
alignas(tree_unit) const char fixed_texts[][tree_unit] = {
    "",    ".",  "VOID", "INT", "IF", "ELSE", "WHILE", "DO", "FOR", "=", "OR", "AND",
    "NOT", "==", "!=",   "<",   ">",  "<=",   ">=",    "+",  "-",   "*", "/",  "%",
};
static_assert(std::size(fixed_texts) == FIXED_TEXT_COUNT);
