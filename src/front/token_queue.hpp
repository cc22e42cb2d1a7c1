// Scanning ahead: when standard input is not a terminal, a second thread runs
// yylex and hands its tokens to the parser through a ring, so that scanning
// and parsing run side by side. The parser sees the same tokens, values,
// line numbers, echoed bytes and fatal errors, in the same order, as if it
// called yylex itself.
#pragma once
#include <cstdint>

#include "front/scanner.hpp"

// Starts the scanning thread; false (and nothing started) when tokens should
// come straight from yylex: from a terminal, for a small file, or when no
// thread can be had.
bool start_scanning_ahead();

// Asks the scanning thread to stop after its next token; the parser then
// takes the tokens it has scanned and goes on calling yylex itself. For when
// the second core is wanted for other work.
void take_back_scanning();

// Lets the scanning thread stop at its next wait; it is not joined, since it
// may be blocked reading input that will never be needed. No token is taken
// after this.
void stop_scanning_ahead();

// One record of the ring: a token, bytes to echo before the next token, or a
// fatal error to raise in its place. 16 bytes, so that four share a cache line.
struct TokenRecord {
  YYSTYPE value;  // a token's yylval; the bytes to echo (malloc'd); the fatal message
  uint64_t tag;   // the low byte: a token's code less 256 (0 at end of input), or ECHO_RECORD or
                  // FATAL_RECORD; above it, a token's yylineno or the number of bytes to echo
};
constexpr uint64_t HANDED_BACK_RECORD = 0xfd;  // the scanning thread has stopped: the parser scans from here
constexpr uint64_t ECHO_RECORD = 0xfe;
constexpr uint64_t FATAL_RECORD = 0xff;
constexpr int record_kind_bits = 8;

// Counts of records wrap around at 2^32, which the ring size divides; 32-bit
// counters are what the system's wait and wake work on directly.
constexpr uint32_t ring_records = uint32_t(1) << 14;  // records the scanner may run ahead: 256 KiB
// Each side wakes the other once per batch, not per record: wake-ups are system calls.
constexpr uint32_t release_batch = ring_records / 4;  // records the parser takes before freeing their slots

// The parser's end of the ring. Without a scanning thread, records is null
// and the parser calls yylex itself.
struct RingReader {
  const TokenRecord *records = nullptr;
  uint32_t next = 0;      // the next record to take
  uint32_t readable = 0;  // records known to be written
};
extern RingReader ring_reader;

int next_token_slowly();  // with a scanning thread: waits, takes echoes, errors and the hand-back

// The next token, with yylval and yylineno set as yylex sets them. Inline for
// the common cases: no scanning thread, or a token already written and no
// batch of slots to release.
inline int next_token() {
  RingReader &r = ring_reader;
  if (!r.records) return yylex();  // no scanning thread, or no longer
  if (r.next != r.readable && (r.next + 1) % release_batch != 0) {
    const TokenRecord &record = r.records[r.next % ring_records];
    uint64_t kind = record.tag & ((1 << record_kind_bits) - 1);
    if (kind < HANDED_BACK_RECORD) {
      r.next++;
      yylval = record.value;
      yylineno = int64_t(record.tag >> record_kind_bits);
      return kind ? int(kind) + 256 : 0;
    }
  }
  return next_token_slowly();
}
