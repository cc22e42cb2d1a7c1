#include "front/token_queue.hpp"

#include <sys/stat.h>
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

constexpr uint32_t handover_batch = 1024;  // records the scanner writes before waking the parser

struct Ring {
  TokenRecord records[ring_records];
  alignas(64) std::atomic<uint32_t> written{0};  // records the scanning thread has filled
  alignas(64) std::atomic<uint32_t> taken{0};    // records the parser has released
  alignas(64) std::atomic<bool> stopping{false};
  std::atomic<bool> handing_back{false};  // the parser will scan from the next token on
};

Ring *ring = nullptr;  // the parser's ring, while scanning ahead

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
bool put(Writer &w, const TokenRecord &record) {
  if (!wait_for_slot(w)) return false;
  w.ring->records[w.index % ring_records] = record;
  w.ring->written.store(++w.index, std::memory_order_release);
  if (w.index % handover_batch == 0 || record.tag == FATAL_RECORD || (record.tag & 0xff) == 0)
    w.ring->written.notify_one();
  return true;
}

TokenRecord fatal_record(const char *message) { return {{.text = message}, FATAL_RECORD}; }

// Scanning thread: the bytes echoed while scanning the last token, handed
// over ahead of it.
bool put_echo(Writer &w, std::string &echo) {
  char *bytes = static_cast<char *>(std::malloc(echo.size()));
  if (!bytes) return put(w, fatal_record("out of memory"));
  std::memcpy(bytes, echo.data(), echo.size());
  TokenRecord record{{.text = bytes}, uint64_t(echo.size()) << record_kind_bits | ECHO_RECORD};
  echo.clear();
  return put(w, record);
}

void clear_scanner_hooks() {
  scanner_capture_echo(nullptr);
  scanner_before_reading(nullptr);
}

// Scanning thread: stops scanning, so that the parser's thread can go on
// from the next token. The scanner's hooks are cleared first: after the last
// record, the scanner is the parser's.
void hand_back(Writer &w) {
  clear_scanner_hooks();
  put(w, {{.num = 0}, HANDED_BACK_RECORD});
  w.ring->written.notify_one();
}

// Scanning thread: hands over tokens to the end of input, a fatal error, a
// stop or a hand-back.
void hand_over_tokens(Writer &w, std::string &echo) {
  for (;;) {
    TokenRecord record;
    try {
      int token = yylex();
      record = {yylval, uint64_t(yylineno) << record_kind_bits | uint64_t(token ? token - 256 : 0)};
    } catch (const FatalExit &exit) {
      record = fatal_record(exit.message);
    } catch (const std::bad_alloc &) {
      record = fatal_record("out of memory");
    }
    if (!echo.empty() && !put_echo(w, echo)) return clear_scanner_hooks();
    if (!put(w, record) || record.tag == FATAL_RECORD || (record.tag & 0xff) == 0) return clear_scanner_hooks();
    if (w.ring->handing_back.load(std::memory_order_relaxed)) return hand_back(w);
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
}

// Parser: waits until a record past those it has seen is written.
void wait_for_record() {
  RingReader &r = ring_reader;
  ring->taken.store(r.next, std::memory_order_release);  // frees every slot read so far
  ring->taken.notify_one();
  while ((r.readable = ring->written.load(std::memory_order_acquire)) == r.next)
    ring->written.wait(r.next, std::memory_order_acquire);
}

}  // namespace

// A regular file smaller than this is scanned in less time than a thread takes to start.
constexpr off_t smallest_file_worth_a_thread = off_t(256) << 10;

bool start_scanning_ahead() {
  if (isatty(0)) return false;  // a terminal is read line by line as the parser asks
  struct stat input;
  if (fstat(0, &input) == 0 && S_ISREG(input.st_mode) && input.st_size < smallest_file_worth_a_thread) return false;
  ring = new (std::nothrow) Ring;
  if (!ring) return false;
  try {
    std::thread(scan_ahead, ring).detach();
  } catch (const std::system_error &) {
    delete ring;
    ring = nullptr;
    return false;
  }
  ring_reader.records = ring->records;
  return true;
}

RingReader ring_reader;

namespace {

// Parser: a record other than a token.
void take_other(const TokenRecord &record) {
  if (record.tag == FATAL_RECORD) fatal(record.value.text);
  if (record.tag == HANDED_BACK_RECORD) {
    ring_reader = RingReader{};  // the ring stays, as the ended thread may still be waking this one
    return;
  }
  out_bytes(record.value.text, size_t(record.tag >> record_kind_bits));
  std::free(const_cast<char *>(record.value.text));
}

}  // namespace

int next_token_slowly() {
  RingReader &r = ring_reader;
  for (;;) {
    if (r.next == r.readable) wait_for_record();
    const TokenRecord &record = r.records[r.next % ring_records];
    if (++r.next % release_batch == 0) {
      ring->taken.store(r.next - 1, std::memory_order_release);  // this record stays in use until copied
      ring->taken.notify_one();
    }
    uint64_t kind = record.tag & ((1 << record_kind_bits) - 1);
    if (kind >= HANDED_BACK_RECORD) {
      take_other(record);
      if (!r.records) return yylex();
      continue;
    }
    yylval = record.value;
    yylineno = int64_t(record.tag >> record_kind_bits);
    return kind ? int(kind) + 256 : 0;
  }
}

void take_back_scanning() {
  if (ring) ring->handing_back.store(true, std::memory_order_relaxed);
}

void stop_scanning_ahead() {
  if (!ring) return;
  ring->stopping.store(true, std::memory_order_relaxed);
  ring->taken.store(ring_reader.next, std::memory_order_release);
  ring->taken.notify_one();
}
