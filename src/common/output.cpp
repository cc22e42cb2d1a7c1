#include "common/output.hpp"

#include <sys/mman.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace {

char buffer[output_buffer_size];
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

thread_local bool fatal_deferred = false;  // fatal only throws; another thread reports it

// Sends bytes to standard output; on failure, reports it once and ends the run.
void send(const char *bytes, size_t n) {
  if (output_lost || n == 0) return;
  if (captured_out) {
    captured_out->append(bytes, n);
    return;
  }
  if (write_all(1, bytes, n)) return;
  output_lost = true;
  write_error_line({"error writing standard output: ", std::strerror(errno)});
  throw FatalExit{2, nullptr};
}

// A chunk of output written on a thread of its own.
struct Chunk {
  char *bytes;
  size_t size;
};

thread_local OutputChunks *chunk_sink = nullptr;  // where this thread's output goes, if not to standard output
thread_local char *chunk_start = nullptr;         // the chunk this thread is filling
thread_local size_t chunks_handed_over = 0;       // bytes this thread has handed over to chunk_sink

void send_buffer();

}  // namespace

// Bytes of output per chunk handed over.
constexpr size_t chunk_bytes = size_t(2) << 20;

struct OutputChunks {
  std::mutex lock;
  std::condition_variable changed;  // a chunk handed over, or the writing thread ended
  std::condition_variable taken;    // a chunk written out, or the output cancelled
  size_t most_full = 0;             // chunks handed over and not yet written before the writing thread waits
  std::deque<Chunk> full;           // handed over, oldest first
  size_t front_taken = 0;           // bytes of the oldest chunk already written out
  std::vector<char *> spare;        // already written out, for reuse
  bool closed = false;              // the writing thread has ended
  bool cancelled = false;           // the output will not be written: the writing thread should end
  const char *failure = nullptr;    // the fatal message that ended the writing thread, if any
};

namespace {

// A chunk's pages are all written, so they are mapped in one go when the
// chunk is made, which costs far less than a fault for each page. Not huge
// pages: on a virtual machine, memory the host has not backed yet takes
// about twice as long to map in huge pages as in small ones.
char *new_chunk() {
  void *chunk = mmap(nullptr, chunk_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return chunk == MAP_FAILED ? nullptr : static_cast<char *>(chunk);
}

void free_chunk(char *chunk) { munmap(chunk, chunk_bytes); }

// Writing thread: hands the filled part of its chunk over and starts another.
void hand_over_chunk() {
  OutputChunks &c = *chunk_sink;
  std::unique_lock guard(c.lock);
  if (c.cancelled) throw FatalExit{2, nullptr};
  if (output.next != chunk_start) {
    c.full.push_back({chunk_start, size_t(output.next - chunk_start)});
    chunks_handed_over += size_t(output.next - chunk_start);
    c.changed.notify_one();
    chunk_start = nullptr;
    c.taken.wait(guard, [&] { return c.full.size() < c.most_full || c.cancelled; });
    if (c.cancelled) throw FatalExit{2, nullptr};
  }
  if (!chunk_start && !c.spare.empty()) {
    chunk_start = c.spare.back();
    c.spare.pop_back();
  }
  guard.unlock();
  if (!chunk_start) chunk_start = new_chunk();
  if (!chunk_start) fatal("out of memory");
  output.next = chunk_start;
  output.end = chunk_start + chunk_bytes;
}

void send_buffer() {
  if (chunk_sink) return hand_over_chunk();
  size_t n = size_t(output.next - buffer);
  output.next = buffer;
  send(buffer, n);
}

}  // namespace

constinit thread_local OutputBuffer output = {buffer, buffer + output_buffer_size};

void output_drain() { send_buffer(); }

char *drain_to(char *at) {
  output.next = at;
  send_buffer();
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
  output_drain();
  char digits[longest_number];
  char *digits_end = write_number(digits, line);
  write_error_line({"Line: ", std::string_view(digits, size_t(digits_end - digits)), " ;", message});
}

void fatal(const char *message) {
  if (fatal_deferred) throw FatalExit{2, message};
  output_drain();
  write_error_line({message});
  throw FatalExit{2, nullptr};
}

void defer_fatal_messages() { fatal_deferred = true; }

OutputChunks *output_chunks_create(size_t most_bytes) {
  auto *chunks = new OutputChunks;
  chunks->most_full = std::max<size_t>(2, most_bytes / chunk_bytes);
  return chunks;
}

void output_into_chunks(OutputChunks *chunks) {
  chunk_sink = chunks;
  chunk_start = nullptr;
  chunks_handed_over = 0;
  output.next = output.end = nullptr;
  hand_over_chunk();
}

void output_chunks_close(OutputChunks *chunks, const char *failure) {
  std::lock_guard guard(chunks->lock);
  if (chunk_start) chunks->spare.push_back(chunk_start);
  chunk_sink = nullptr;
  chunk_start = nullptr;
  chunks->closed = true;
  chunks->failure = failure;
  chunks->changed.notify_one();
}

void output_chunks_cancel(OutputChunks *chunks) {
  std::lock_guard guard(chunks->lock);
  chunks->cancelled = true;
  chunks->taken.notify_one();
}

void out_chunks(OutputChunks *chunks) {
  output_drain();
  for (;;) {
    std::unique_lock guard(chunks->lock);
    chunks->changed.wait(guard, [&] { return !chunks->full.empty() || chunks->closed; });
    if (chunks->full.empty()) {
      if (chunks->failure) fatal(chunks->failure);
      return;
    }
    Chunk chunk = chunks->full.front();
    chunks->full.pop_front();
    size_t skip = std::exchange(chunks->front_taken, 0);
    chunks->taken.notify_one();
    guard.unlock();
    send(chunk.bytes + skip, chunk.size - skip);
    guard.lock();
    chunks->spare.push_back(chunk.bytes);
  }
}

void output_chunks_destroy(OutputChunks *chunks) {
  for (const Chunk &chunk : chunks->full) free_chunk(chunk.bytes);
  for (char *bytes : chunks->spare) free_chunk(bytes);
  delete chunks;
}

void out_held_bytes(OutputChunks *chunks, size_t n) {
  while (n > 0) {
    std::unique_lock guard(chunks->lock);
    Chunk chunk = chunks->full.front();
    guard.unlock();
    size_t part = std::min(n, chunk.size - chunks->front_taken);
    out_bytes(chunk.bytes + chunks->front_taken, part);
    chunks->front_taken += part;
    n -= part;
    if (chunks->front_taken < chunk.size) return;
    guard.lock();
    chunks->full.pop_front();
    chunks->front_taken = 0;
    if (chunks->closed)
      free_chunk(chunk.bytes);  // no more chunks will be filled
    else
      chunks->spare.push_back(chunk.bytes);
    chunks->taken.notify_one();
  }
}

void output_swap_place(OutputPlace &other) {
  std::swap(output, other.buffer);
  std::swap(chunk_sink, other.sink);
  std::swap(chunk_start, other.chunk_start);
  std::swap(chunks_handed_over, other.handed_over);
}

size_t output_written() { return chunks_handed_over + size_t(output.next - chunk_start); }

void output_to_descriptors() { captured_out = captured_err = nullptr; }

void output_to_strings(std::string *out, std::string *err) {
  captured_out = out;
  captured_err = err;
}

void output_reset() {
  output.next = buffer;
  output_lost = false;
}
