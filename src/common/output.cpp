#include "common/output.hpp"

#include <unistd.h>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

namespace {

char *buffer = nullptr;               // made at the first write, so that nothing that can fail runs before main
std::string *captured_out = nullptr;  // null: write to descriptor 1
std::string *captured_err = nullptr;  // null: write to descriptor 2
bool output_lost = false;             // a write to standard output failed
size_t sent_bytes = 0;                // bytes sent to standard output since the last reset

// Writes all bytes to a descriptor; false on failure.
bool write_all(int fd, const char *bytes, size_t n) {
  while (n > 0) {
    ssize_t written = write(fd, bytes, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    n -= size_t(written);
  }
  return true;
}

// Writes the parts and a newline to standard error as one line in one write.
// The line is built on the stack, so a message still gets out when memory has
// run out.
void write_error_line(std::initializer_list<std::string_view> parts) {
  char line[512];
  size_t n = 0;
  for (std::string_view part : parts) {
    size_t room = sizeof line - 1 - n;
    size_t length = part.size() < room ? part.size() : room;
    std::memcpy(line + n, part.data(), length);
    n += length;
  }
  line[n++] = '\n';
  if (captured_err)
    captured_err->append(line, n);
  else
    write_all(2, line, n);
}

// Sends bytes to standard output; on failure, reports it once and ends the run.
void send(const char *bytes, size_t n) {
  if (output_lost || n == 0) return;
  sent_bytes += n;
  if (captured_out) {
    captured_out->append(bytes, n);
    return;
  }
  if (write_all(1, bytes, n)) return;
  output_lost = true;
  write_error_line({"error writing standard output: ", std::strerror(errno)});
  throw FatalExit{2};
}

// Writes out the buffer, if there is one yet, and empties it.
void send_buffer() {
  if (!buffer) return;
  size_t n = size_t(output.next - buffer);
  output.next = buffer;
  send(buffer, n);
}

}  // namespace

OutputBuffer output = {nullptr, nullptr};

// Without memory for the buffer the run ends as fatal ends it; there is
// nothing to write out before the message.
void output_drain() {
  if (buffer) return send_buffer();
  buffer = static_cast<char *>(std::malloc(output_buffer_size));
  if (!buffer) {
    write_error_line({"out of memory"});
    throw FatalExit{2};
  }
  output = {buffer, buffer + output_buffer_size};
}

char *drain_to(char *at) {
  output.next = at;
  output_drain();
  return output.next;
}

bool output_flush() {
  try {
    send_buffer();
  } catch (const FatalExit &) {
  }
  return !output_lost;
}

void out_bytes_slow(const char *bytes, size_t n) {
  while (n > 0) {
    if (output.next == output.end) output_drain();
    size_t room = size_t(output.end - output.next);
    size_t part = n < room ? n : room;
    std::memcpy(output.next, bytes, part);
    output.next += part;
    bytes += part;
    n -= part;
  }
}

namespace {

// The digits are put together in integers whose lowest byte is written
// first.
static_assert(std::endian::native == std::endian::little);

// Numbers below 1000, most constants among them, come ready-made: each entry
// holds up to three digits in its low bytes and their count in its top byte.
constexpr uint32_t small_limit = 1000;

constexpr std::array<uint32_t, small_limit> make_small_numbers() {
  std::array<uint32_t, small_limit> texts{};
  for (uint32_t value = 0; value < small_limit; value++) {
    uint32_t text = 0;
    uint32_t length = 0;
    for (uint32_t rest = value;; rest /= 10) {
      text = text << 8 | ('0' + rest % 10);
      length++;
      if (rest < 10) break;
    }
    texts[value] = text | length << 24;
  }
  return texts;
}
constexpr std::array<uint32_t, small_limit> small_numbers = make_small_numbers();

char *write_small_number(char *at, uint32_t value) {
  uint32_t text = small_numbers[value];
  std::memcpy(at, &text, 4);
  return at + (text >> 24);
}

// Below 10^8 (nearly every other number) all eight digits are worked out at
// once, one per byte of a 64-bit word, the first digit in the lowest byte: the
// value splits into two halves of four digits, each half into two pairs, each
// pair into two digits, every split done for all parts by one multiplication
// (the parts are spaced so that no product reaches the next part). The
// leading zeros are then the lowest zero bytes.
constexpr uint32_t eight_digit_limit = 100'000'000;

char *write_eight_digits(char *at, uint32_t value) {
  uint64_t halves = value / 10000 | uint64_t(value % 10000) << 32;
  // x / 100 is x * 10486 >> 20 for x < 10^4; x / 10 is x * 103 >> 10 for x < 100.
  uint64_t hundreds = (halves * 10486 >> 20) & 0x0000007F0000007F;
  uint64_t pairs = hundreds | (halves - hundreds * 100) << 16;
  uint64_t tens = (pairs * 103 >> 10) & 0x000F000F000F000F;
  uint64_t digits = tens | (pairs - tens * 10) << 8;
  unsigned zero_bits = std::countr_zero(digits | uint64_t(1) << 56) & ~7u;  // the last digit always stays
  uint64_t text = (digits + 0x3030303030303030) >> zero_bits;
  std::memcpy(at, &text, 8);
  return at + 8 - zero_bits / 8;
}

// Nine digits or more, rare enough to be written one digit at a time.
char *write_long_number(char *at, uint64_t value) {
  char digits[longest_number];
  char *first = digits + sizeof digits;
  do {
    *--first = char('0' + value % 10);
    value /= 10;
  } while (value > 0);
  size_t length = size_t(digits + sizeof digits - first);
  std::memcpy(at, first, length);
  return at + length;
}

}  // namespace

char *write_number(char *at, int64_t value) {
  uint64_t magnitude = uint64_t(value);
  if (value < 0) {
    *at++ = '-';
    magnitude = 0 - magnitude;
  }
  if (magnitude < small_limit) return write_small_number(at, uint32_t(magnitude));
  if (magnitude < eight_digit_limit) return write_eight_digits(at, uint32_t(magnitude));
  return write_long_number(at, magnitude);
}

void error_line(int64_t line, const char *message) {
  send_buffer();
  char digits[longest_number];
  char *digits_end = write_number(digits, line);
  write_error_line({"Line: ", std::string_view(digits, size_t(digits_end - digits)), " ;", message});
}

void fatal(const char *message) {
  send_buffer();
  write_error_line({message});
  throw FatalExit{2};
}

void output_to_descriptors() { captured_out = captured_err = nullptr; }

void output_to_strings(std::string *out, std::string *err) {
  captured_out = out;
  captured_err = err;
}

size_t output_position() { return sent_bytes + (buffer ? size_t(output.next - buffer) : 0); }

void output_reset() {
  sent_bytes = 0;
  output.next = buffer;
  output_lost = false;
}
