#include "common/output.hpp"

#include <unistd.h>
#include <cerrno>

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

void write_error_bytes(const std::string &text) {
  if (captured_err)
    captured_err->append(text);
  else
    write_all(2, text.data(), text.size());
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
  write_error_bytes(std::string("error writing standard output: ") + std::strerror(errno) + "\n");
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

void out_number(int64_t value) {
  char digits[24];
  char *p = digits + sizeof digits;
  uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  do *--p = char('0' + magnitude % 10);
  while (magnitude /= 10);
  if (value < 0) *--p = '-';
  out_bytes(p, size_t(digits + sizeof digits - p));
}

void error_line(int64_t line, const char *message) {
  output_drain();
  write_error_bytes("Line: " + std::to_string(line) + " ;" + message + "\n");
}

void fatal(const char *message) {
  output_drain();
  write_error_bytes(std::string(message) + "\n");
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
