// Deterministic generator of large r1c programs in several shapes, for the
// benchmark. Every shape is also valid C: all variables of the expressions
// are declared at the top of `int main() { ... }`, no name is a C keyword,
// and statement lists stay short enough for r1c's parse stack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

enum class Shape {
  mixed,         // every statement form and operator
  expressions,   // straight-line assignments of large expressions
  chains,        // long left-leaning chains of one operator level
  declarations,  // declaration lists with long identifiers
  nesting,       // control statements nested as deep as the parse stack allows
};

constexpr Shape all_shapes[] = {Shape::mixed, Shape::expressions, Shape::chains, Shape::declarations, Shape::nesting};

const char *shape_name(Shape shape);
std::optional<Shape> shape_named(std::string_view name);

// Writes one program of about target_bytes (a little more: open blocks are
// closed once the target is reached) to out; the same seed gives the same bytes.
// Returns the number of bytes written.
size_t generate_program(Shape shape, size_t target_bytes, uint64_t seed, FILE *out);

// Writes one statement, x = a+a+...+a, with the given number of operators and
// nothing between them: the smallest input for the largest single tree.
// Returns the number of bytes written.
size_t generate_long_chain(uint64_t operators, FILE *out);
