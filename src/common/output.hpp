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
extern constinit thread_local OutputBuffer output;  // each thread writes through its own

void output_drain();  // writes out the buffer and empties it
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

// A NUL-terminated text of unknown length, such as a name: copied byte by byte,
// which for the few bytes of most names costs less than measuring it first.
inline void out_name(const char *text) {
  for (; *text; text++) out_byte(*text);
}

void out_number(int64_t value);  // signed decimal

// Writes "Line: N ;message" and a newline to standard error.
void error_line(int64_t line, const char *message);

// Thrown by fatal to end the run with a status; the entry point catches it.
struct FatalExit {
  int status;
  const char *message;  // when deferred: the message still to be reported; otherwise null
};

// Writes the message and a newline to standard error and ends the run with status 2.
[[noreturn]] void fatal(const char *message);

// On a helper thread: fatal only throws, with the message in the FatalExit,
// for the main thread to report in its turn.
void defer_fatal_messages();

// Output written on a second thread while this one writes something else:
// the second thread's buffer fills chunks, which are handed over and written
// to standard output later, in order, by out_chunks.
struct OutputChunks;
OutputChunks *output_chunks_create();
void output_into_chunks(OutputChunks *chunks);  // the calling thread's output goes into chunks from now on
// The writing thread has ended, after output_drain; failure is the message of
// the fatal error that ended it, or null.
void output_chunks_close(OutputChunks *chunks, const char *failure);
void output_chunks_cancel(OutputChunks *chunks);  // the writing thread ends at its next hand-over
// Writes the chunks as they come until the writing thread has ended; then
// reports its failure, if any, as fatal does.
void out_chunks(OutputChunks *chunks);
void output_chunks_destroy(OutputChunks *chunks);  // after the writing thread has ended

// Where output goes: file descriptors 1 and 2, or strings (for tests).
void output_to_descriptors();
void output_to_strings(std::string *out, std::string *err);
void output_reset();  // drops pending output and restores the start state
