// libFuzzer target: r1explain of arbitrary bytes. The map of the compile,
// the listing made from it, the stepped parse and its diagnostic must have
// every property that explain_violation checks; a violation aborts with a
// line naming it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "explain_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string found = explain_violation(std::string_view(reinterpret_cast<const char *>(data), size));
  if (!found.empty()) {
    std::fprintf(stderr, "property violated: %s\n", found.c_str());
    std::abort();
  }
  return 0;
}
