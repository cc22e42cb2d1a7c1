// The output buffer's number formatter and name copy, at the values and the
// buffer positions where they could go wrong.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "common/output.hpp"

namespace {

std::string formatted(int64_t value) {
  char text[longest_number + 8];  // room for the bytes written past a number
  return std::string(text, write_number(text, value));
}

// Runs `write` with standard output captured, after `filler` bytes already in
// the buffer, and returns what came out after the filler.
template <typename Write>
std::string written_after(size_t filler, Write write) {
  std::string out, err;
  output_to_strings(&out, &err);
  output_reset();
  out_bytes(std::string(filler, '.').data(), filler);
  write();
  output_flush();
  output_reset();
  output_to_descriptors();
  return out.substr(filler);
}

TEST(Output, NumbersInSignedDecimal) {
  constexpr int64_t int64_min = std::numeric_limits<int64_t>::min();
  constexpr int64_t int64_max = std::numeric_limits<int64_t>::max();
  struct Case {
    int64_t value;
    const char *text;
  } cases[] = {
      {0, "0"},
      {1, "1"},
      {9, "9"},
      {10, "10"},
      {99, "99"},
      {100, "100"},
      {101, "101"},
      {999, "999"},
      {1000, "1000"},
      {9999, "9999"},
      {10000, "10000"},
      {10001, "10001"},
      {99999, "99999"},
      {100000, "100000"},
      {999999, "999999"},
      {1000000, "1000000"},
      {9999999, "9999999"},
      {10000000, "10000000"},
      {10203040, "10203040"},
      {12345678, "12345678"},
      {90000009, "90000009"},
      {99999999, "99999999"},
      {100000000, "100000000"},
      {100000001, "100000001"},
      {999999999, "999999999"},
      {1000000000, "1000000000"},
      {2147483647, "2147483647"},
      {2147483648, "2147483648"},
      {4294967295, "4294967295"},
      {4294967296, "4294967296"},
      {1000000000000000000, "1000000000000000000"},
      {int64_max, "9223372036854775807"},
      {-1, "-1"},
      {-10, "-10"},
      {-99999999, "-99999999"},
      {-100000000, "-100000000"},
      {-2147483648, "-2147483648"},
      {int64_min + 1, "-9223372036854775807"},
      {int64_min, "-9223372036854775808"},
  };
  for (const Case &c : cases) EXPECT_EQ(formatted(c.value), c.text);
}

TEST(Output, EveryNumberNearTheDigitBoundariesMatchesToString) {
  for (int64_t value = 0; value <= 100000; value++) ASSERT_EQ(formatted(value), std::to_string(value));
  int64_t power = 1;
  for (int digits = 1; digits <= 18; digits++) {
    power *= 10;
    for (int64_t value = power - 1000; value <= power + 1000; value++) {
      ASSERT_EQ(formatted(value), std::to_string(value));
      ASSERT_EQ(formatted(-value), std::to_string(-value));
    }
  }
}

TEST(Output, NumbersAndNamesAcrossTheEndOfTheBuffer) {
  const std::string long_name(3 * output_buffer_size + 5, 'n');
  struct Case {
    const char *what;
    std::string text;
    void (*write)();
  } cases[] = {
      {"number", "-9223372036854775808", [] { out_number(std::numeric_limits<int64_t>::min()); }},
      {"short number", "7", [] { out_number(7); }},
      {"name", "a_name_of_twenty_bytes", [] { out_name("a_name_of_twenty_bytes"); }},
      {"empty name", "", [] { out_name(""); }},
  };
  for (const Case &c : cases) {
    for (size_t filler = output_buffer_size - 40; filler <= output_buffer_size; filler++)
      ASSERT_EQ(written_after(filler, c.write), c.text) << c.what << " after " << filler << " bytes";
  }
  for (size_t filler : {size_t(0), output_buffer_size - 3, output_buffer_size}) {
    std::string got = written_after(filler, [&] { out_name(long_name.c_str()); });
    ASSERT_TRUE(got == long_name) << "a name longer than the buffer, after " << filler << " bytes";
  }
}

}  // namespace
