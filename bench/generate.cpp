// r1c_generate SHAPE MEGABYTES [SEED]: writes one generated program to standard output.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "generator.hpp"

int main(int argc, char **argv) {
  std::optional<Shape> shape = argc >= 3 ? shape_named(argv[1]) : std::nullopt;
  if (!shape) {
    std::fprintf(stderr, "usage: r1c_generate SHAPE MEGABYTES [SEED]\nshapes:");
    for (Shape s : all_shapes) std::fprintf(stderr, " %s", shape_name(s));
    std::fprintf(stderr, "\n");
    return 2;
  }
  double megabytes = std::atof(argv[2]);
  uint64_t seed = argc >= 4 ? std::strtoull(argv[3], nullptr, 10) : 1;
  generate_program(*shape, size_t(megabytes * 1e6), seed, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
