// The one standard-output path: echoed bytes, the report and the code all go
// through one buffer, in the order they are produced. Messages go to standard
// error through error_line and fatal, which flush standard output first so a
// merged stream keeps that order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

struct OutputBuffer {
  char *next;  // where the next byte goes
  char *end;   // one past the last usable byte
};
extern OutputBuffer output;

constexpr size_t output_buffer_size = 1 << 16;  // bytes per write to standard output

void output_drain();  // writes out the buffer and empties it; makes it at the first call
bool output_flush();  // as output_drain at the end of a run; false if output was lost

inline void out_byte(char c) {
  if (output.next == output.end) output_drain();
  *output.next++ = c;
}

void out_bytes_slow(const char *bytes, size_t n);

inline void out_bytes(const char *bytes, size_t n) {
  if (size_t(output.end - output.next) < n) return out_bytes_slow(bytes, n);
  std::memcpy(output.next, bytes, n);
  output.next += n;
}

inline void out_text(std::string_view text) { out_bytes(text.data(), text.size()); }

// Writing through a cursor: a local `char *at` that starts at output.next and
// is stored back to output.next when a piece of output is done. Held in a
// local variable the cursor can stay in a register, where output.next itself
// would be reloaded after every byte written (a store through a char pointer
// may change any object). make_room(at, n) makes room for n bytes at the
// cursor, n at most the buffer size, draining the buffer up to the cursor when
// it must; the write_* functions then write without checking for room and
// return the cursor past what they wrote.
char *drain_to(char *at);  // writes out the buffer up to `at`; returns the emptied buffer

inline char *make_room(char *at, size_t n) {
  if (size_t(output.end - at) < n) return drain_to(at);
  return at;
}

// A long piece of output, such as a walk of the tree, keeps the buffer's end
// in a register too: output_end makes the buffer if it is not made yet, and
// the end then stays where it is until output_reset.
inline char *output_end() {
  if (!output.end) output_drain();
  return output.end;
}
inline char *make_room(char *at, const char *end, size_t n) {
  if (size_t(end - at) < n) return drain_to(at);
  return at;
}

// A string literal without its NUL: a copy of fixed length, done in a few moves.
template <size_t N>
inline char *write_literal(char *at, const char (&text)[N]) {
  std::memcpy(at, text, N - 1);
  return at + N - 1;
}

// A NUL-terminated text of any length, such as a name, at a cursor with room
// for name_group + room_after bytes; leaves room for room_after bytes behind
// it. Names are short, so the bytes are copied one by one up to the NUL
// (copied too, and later written over), name_group of them per check for
// room; that costs less than measuring the name first. The buffer is drained
// as often as a long name fills it.
constexpr size_t name_group = 8;

inline char *write_name(char *at, const char *text, size_t room_after) {
  for (;;) {
    for (size_t i = 0; i < name_group; i++) {
      char c = text[i];
      at[i] = c;
      if (!c) return at + i;
    }
    at = make_room(at + name_group, name_group + room_after);
    text += name_group;
  }
}

inline void out_name(const char *text) { output.next = write_name(make_room(output.next, name_group), text, 0); }

constexpr size_t longest_number = 20;  // "-9223372036854775808"

// Signed decimal, at most longest_number bytes; writes up to eight bytes past
// the number (room for longest_number covers them), which what follows
// writes over.
char *write_number(char *at, int64_t value);

inline void out_number(int64_t value) {  // signed decimal
  output.next = write_number(make_room(output.next, longest_number), value);
}

// Writes "Line: N ;message" and a newline to standard error.
void error_line(int64_t line, const char *message);

// Thrown by fatal to end the run with a status; the entry point catches it.
struct FatalExit {
  int status;
};

// Writes the message and a newline to standard error and ends the run with status 2.
[[noreturn]] void fatal(const char *message);

// Where output goes: file descriptors 1 and 2, or strings (for tests).
void output_to_descriptors();
void output_to_strings(std::string *out, std::string *err);
void output_reset();

// Bytes of standard output written so far in this run, the buffered ones
// included: where the next byte will stand in the whole output.
size_t output_position();  // drops pending output and restores the start state
