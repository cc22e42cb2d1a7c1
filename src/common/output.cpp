#include "common/output.hpp"

#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <initializer_list>
#include <string_view>

namespace {

constexpr size_t buffer_size = 1 << 16;  // bytes per write to standard output

char buffer[buffer_size];
std::string *captured_out = nullptr;  // null: write to descriptor 1
std::string *captured_err = nullptr;  // null: write to descriptor 2
bool output_lost = false;             // a write to standard output failed

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

// Sends the buffer on; on failure, reports it once and ends the run.
void send_buffer() {
  size_t n = size_t(output.next - buffer);
  output.next = buffer;
  if (output_lost || n == 0) return;
  if (captured_out) {
    captured_out->append(buffer, n);
    return;
  }
  if (write_all(1, buffer, n)) return;
  output_lost = true;
  write_error_line({"error writing standard output: ", std::strerror(errno)});
  throw FatalExit{2};
}

}  // namespace

OutputBuffer output = {buffer, buffer + buffer_size};

void output_drain() { send_buffer(); }

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

// Converts straight into the buffer, which is made to have room for the longest number.
void out_number(int64_t value) {
  constexpr size_t longest_number = 20;  // "-9223372036854775808"
  if (size_t(output.end - output.next) < longest_number) output_drain();
  output.next = std::to_chars(output.next, output.end, value).ptr;
}

void error_line(int64_t line, const char *message) {
  output_drain();
  char digits[24];
  char *digits_end = std::to_chars(digits, digits + sizeof digits, line).ptr;
  write_error_line({"Line: ", std::string_view(digits, size_t(digits_end - digits)), " ;", message});
}

void fatal(const char *message) {
  output_drain();
  write_error_line({message});
  throw FatalExit{2};
}

void output_to_descriptors() { captured_out = captured_err = nullptr; }

void output_to_strings(std::string *out, std::string *err) {
  captured_out = out;
  captured_err = err;
}

void output_reset() {
  output.next = buffer;
  output_lost = false;
}
