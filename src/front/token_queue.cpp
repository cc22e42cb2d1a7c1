#include "front/token_queue.hpp"

#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "common/output.hpp"
#include "front/scanner.hpp"

namespace {

// Counts of records wrap around at 2^32, which the ring size divides; 32-bit
// counters are what the system's wait and wake work on directly.
constexpr uint32_t ring_records = uint32_t(1) << 14;  // records the scanner may run ahead: 384 KiB
// Each side wakes the other once per batch, not per record: wake-ups are system calls.
constexpr uint32_t release_batch = ring_records / 4;  // records the parser takes before freeing their slots
constexpr uint32_t handover_batch = 1024;             // records the scanner writes before waking the parser

// What the scanning thread hands over: a token, bytes to echo before the
// next token, or a fatal error to raise in its place.
enum RecordKind : int32_t { TOKEN, ECHO, FATAL };

struct Record {
  RecordKind kind;
  int32_t token;   // TOKEN: the token code
  YYSTYPE value;   // TOKEN: yylval; ECHO: the bytes (malloc'd); FATAL: the message
  int64_t number;  // TOKEN: yylineno; ECHO: the byte count
};

struct Ring {
  Record records[ring_records];
  alignas(64) std::atomic<uint32_t> written{0};  // records the scanning thread has filled
  alignas(64) std::atomic<uint32_t> taken{0};    // records the parser has released
  alignas(64) std::atomic<bool> stopping{false};
};

Ring *ring = nullptr;      // the parser's ring, while scanning ahead
uint32_t next_record = 0;  // the parser's next record
uint32_t readable = 0;     // records the parser knows to be written

// The scanning thread's end of the ring.
struct Writer {
  Ring *ring;
  uint32_t index;  // the next slot to fill
};
thread_local Writer *writer = nullptr;  // on the scanning thread

// Scanning thread: wakes the parser if it waits for records.
void wake_parser() { writer->ring->written.notify_one(); }

// Scanning thread: waits until the next slot is free; false when stopping.
bool wait_for_slot(Writer &w) {
  for (;;) {
    uint32_t taken = w.ring->taken.load(std::memory_order_acquire);
    if (w.index - taken < ring_records) return true;
    if (w.ring->stopping.load(std::memory_order_relaxed)) return false;
    w.ring->taken.wait(taken, std::memory_order_acquire);
  }
}

// Scanning thread: fills the next slot and shows it to the parser.
bool put(Writer &w, const Record &record) {
  if (!wait_for_slot(w)) return false;
  w.ring->records[w.index % ring_records] = record;
  w.ring->written.store(++w.index, std::memory_order_release);
  if (w.index % handover_batch == 0 || record.kind == FATAL || record.token == END_OF_INPUT)
    w.ring->written.notify_one();
  return true;
}

// Scanning thread: the bytes echoed while scanning the last token, handed
// over ahead of it.
bool put_echo(Writer &w, std::string &echo) {
  char *bytes = static_cast<char *>(std::malloc(echo.size()));
  if (!bytes) return put(w, {FATAL, 0, {.text = "out of memory"}, 0});
  std::memcpy(bytes, echo.data(), echo.size());
  Record record{ECHO, 0, {.text = bytes}, int64_t(echo.size())};
  echo.clear();
  return put(w, record);
}

// Scanning thread: hands over tokens to the end of input, a fatal error, or a stop.
void hand_over_tokens(Writer &w, std::string &echo) {
  for (;;) {
    Record record{TOKEN, 0, {}, 0};
    try {
      record.token = yylex();
      record.value = yylval;
      record.number = yylineno;
    } catch (const FatalExit &exit) {
      record = {FATAL, 0, {.text = exit.message}, 0};
    } catch (const std::bad_alloc &) {
      record = {FATAL, 0, {.text = "out of memory"}, 0};
    }
    if (!echo.empty() && !put_echo(w, echo)) return;
    if (!put(w, record) || record.kind == FATAL || record.token == END_OF_INPUT) return;
  }
}

// Scanning thread: echoed bytes and fatal errors wait in the ring for their turn.
// Before the scanner waits for input, the parser gets every record written.
void scan_ahead(Ring *into) {
  Writer w{into, 0};
  writer = &w;
  std::string echo;
  scanner_capture_echo(&echo);
  scanner_before_reading(wake_parser);
  defer_fatal_messages();
  hand_over_tokens(w, echo);
  scanner_capture_echo(nullptr);
  scanner_before_reading(nullptr);
}

// Parser: waits until a record past those it has seen is written.
void wait_for_record() {
  ring->taken.store(next_record, std::memory_order_release);  // frees every slot read so far
  ring->taken.notify_one();
  while ((readable = ring->written.load(std::memory_order_acquire)) == next_record)
    ring->written.wait(next_record, std::memory_order_acquire);
}

}  // namespace

bool start_scanning_ahead() {
  if (isatty(0)) return false;  // a terminal is read line by line as the parser asks
  ring = new (std::nothrow) Ring;
  if (!ring) return false;
  try {
    std::thread(scan_ahead, ring).detach();
  } catch (const std::system_error &) {
    delete ring;
    ring = nullptr;
    return false;
  }
  return true;
}

namespace {

// Parser: a record other than a token.
void take_other(const Record &record) {
  if (record.kind == FATAL) fatal(record.value.text);
  out_bytes(record.value.text, size_t(record.number));
  std::free(const_cast<char *>(record.value.text));
}

}  // namespace

int next_token() {
  if (!ring) return yylex();
  for (;;) {
    if (next_record == readable) wait_for_record();
    const Record &record = ring->records[next_record % ring_records];
    if (++next_record % release_batch == 0) {
      ring->taken.store(next_record - 1, std::memory_order_release);  // this record stays in use until copied
      ring->taken.notify_one();
    }
    if (record.kind != TOKEN) {
      take_other(record);
      continue;
    }
    yylval = record.value;
    yylineno = record.number;
    return record.token;
  }
}

void stop_scanning_ahead() {
  if (!ring) return;
  ring->stopping.store(true, std::memory_order_relaxed);
  ring->taken.store(next_record, std::memory_order_release);
  ring->taken.notify_one();
}
