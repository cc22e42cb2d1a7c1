// How a fuzz target's checks fail: the property and a little of what broke
// it on standard error, then abort, which libFuzzer and the replay both catch.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string_view>

[[noreturn]] inline void violated(const char *property, std::string_view detail = {}) {
  std::fprintf(stderr, "property violated: %s: %.*s\n", property, int(detail.size() < 200 ? detail.size() : 200),
               detail.data());
  std::abort();
}

inline void require(bool holds, const char *property, std::string_view detail = {}) {
  if (!holds) violated(property, detail);
}
