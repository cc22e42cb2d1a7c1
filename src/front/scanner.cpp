#include "front/scanner.hpp"

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/arena.hpp"
#include "common/output.hpp"

constinit thread_local YYSTYPE yylval;
constinit thread_local int64_t yylineno = 1;
constinit thread_local char *yytext = nullptr;
constinit thread_local size_t yyleng = 0;

namespace {

constexpr size_t initial_capacity = 16384;    // bytes of input the buffer first holds
constexpr size_t end_marker_bytes = 2;        // room past the data for the NUL ending yytext
constexpr size_t read_block = 8192;           // most bytes asked of one read
constexpr int32_t numeral_limit = INT32_MAX;  // numerals saturate here

enum ByteClass : uint8_t { ECHO, BLANK, NEWLINE, LETTER, DIGIT, SINGLE, PAIRED };

// What a byte begins. SINGLE bytes are one-byte tokens; PAIRED bytes may join
// the next byte into a two-byte operator.
constexpr auto byte_classes = [] {
  std::array<ByteClass, 256> classes{};
  for (int c = 'a'; c <= 'z'; c++) classes[c] = classes[c - 'a' + 'A'] = LETTER;
  for (int c = '0'; c <= '9'; c++) classes[c] = DIGIT;
  for (unsigned char c : std::string_view("+-*/%(){},;")) classes[c] = SINGLE;
  for (unsigned char c : std::string_view("<>=!&|")) classes[c] = PAIRED;
  classes[' '] = classes['\t'] = BLANK;
  classes['\n'] = NEWLINE;
  return classes;
}();

bool continues_word(unsigned char c) { return byte_classes[c] == LETTER || byte_classes[c] == DIGIT || c == '_'; }

struct Scanner {
  char *data = nullptr;          // the input buffer, capacity + end_marker_bytes long
  size_t capacity = 0;           // bytes of input it can hold
  size_t pos = 0;                // start of the next token
  size_t end = 0;                // end of the data read so far
  bool at_eof = false;           // the input has reported end of file
  bool interactive = false;      // standard input is a terminal: read line by line
  size_t held_at = 0;            // where yytext's terminating NUL replaced a byte
  char held = 0;                 // the byte it replaced
  const char *memory = nullptr;  // in-memory input, when not reading standard input
  size_t memory_size = 0;
  size_t memory_read = 0;
};
Scanner scan;
std::string *echo_capture = nullptr;  // where echoed bytes go instead of the output, if anywhere
void (*before_reading)() = nullptr;   // called before each read of standard input, if set

void echo(const char *bytes, size_t n) {
  if (echo_capture)
    echo_capture->append(bytes, n);
  else
    out_bytes(bytes, n);
}

size_t read_memory(char *into, size_t room) {
  size_t n = std::min({room, read_block, scan.memory_size - scan.memory_read});
  std::memcpy(into, scan.memory + scan.memory_read, n);
  scan.memory_read += n;
  return n;
}

ssize_t read_retrying(char *into, size_t n) {
  ssize_t got;
  do got = read(0, into, n);
  while (got < 0 && errno == EINTR);
  if (got < 0) fatal("input in flex scanner failed");
  return got;
}

// From a terminal, one line at a time, so each line is scanned once entered;
// pending output is shown before waiting for it.
size_t read_line(char *into, size_t room) {
  output_drain();
  size_t n = 0;
  while (n < room && read_retrying(into + n, 1) == 1)
    if (into[n++] == '\n') break;
  return n;
}

size_t read_input(char *into, size_t room) {
  if (scan.memory) return read_memory(into, room);
  if (scan.interactive) return read_line(into, room);
  if (before_reading) before_reading();
  return size_t(read_retrying(into, std::min(room, read_block)));
}

void create_buffer() {
  scan.data = static_cast<char *>(std::malloc(initial_capacity + end_marker_bytes));
  if (!scan.data) fatal("out of dynamic memory in yy_create_buffer()");
  scan.capacity = initial_capacity;
  scan.interactive = !scan.memory && isatty(0);
}

// Moves the unfinished token at pos to the front, doubling the buffer when it
// fills it to within one byte, and reads more input behind it. False at end
// of input.
bool refill() {
  if (scan.at_eof) return false;
  size_t pending = scan.end - scan.pos;
  std::memmove(scan.data, scan.data + scan.pos, pending);
  scan.pos = 0;
  scan.end = pending;
  while (scan.end + 1 >= scan.capacity) {
    size_t doubled = scan.capacity * 2;
    char *grown = static_cast<char *>(std::realloc(scan.data, doubled + end_marker_bytes));
    if (!grown) fatal("fatal error - scanner input buffer overflow");
    scan.data = grown;
    scan.capacity = doubled;
  }
  size_t got = read_input(scan.data + scan.end, scan.capacity - scan.end);
  scan.end += got;
  scan.at_eof = got == 0;
  return got > 0;
}

// The byte offset bytes after the token start, reading more input if needed;
// -1 at end of input.
int peek(size_t offset) {
  while (scan.pos + offset >= scan.end)
    if (!refill()) return -1;
  return (unsigned char)scan.data[scan.pos + offset];
}

// Ends the current token after length bytes: sets yytext and yyleng.
void take_token(size_t length) {
  yytext = scan.data + scan.pos;
  yyleng = length;
  scan.pos += length;
  scan.held_at = scan.pos;
  scan.held = scan.data[scan.pos];
  scan.data[scan.pos] = '\0';
}

// Length of the run of bytes from the token start on that satisfy accepts.
template <typename Accepts>
size_t run_length(size_t from, Accepts accepts) {
  size_t length = from;
  for (;;) {
    while (scan.pos + length < scan.end && accepts((unsigned char)scan.data[scan.pos + length])) length++;
    if (scan.pos + length < scan.end || !refill()) return length;
  }
}

int keyword_or_id(const char *text, size_t length) {
  struct Keyword {
    std::string_view word;
    int token;
    const char *value;
  };
  static constexpr Keyword keywords[] = {
      {"void", VOID, "VOID"},    {"int", INT, "INT"}, {"if", IF, "IF"},    {"else", ELSE, "ELSE"},
      {"while", WHILE, "WHILE"}, {"do", DO, "DO"},    {"for", FOR, "FOR"},
  };
  if (length <= 5)
    for (const Keyword &k : keywords)
      if (k.word == std::string_view(text, length)) {
        yylval.text = k.value;
        return k.token;
      }
  yylval.text = arena_copy_text(text, length);
  return ID;
}

int scan_word() {
  take_token(run_length(1, continues_word));
  return keyword_or_id(yytext, yyleng);
}

int scan_numeral() {
  take_token(run_length(1, [](unsigned char c) { return byte_classes[c] == DIGIT; }));
  int64_t value = 0;
  for (size_t i = 0; i < yyleng; i++) value = std::min<int64_t>(value * 10 + (yytext[i] - '0'), numeral_limit);
  yylval.num = int32_t(value);
  return NUM;
}

int scan_single(char c) {
  take_token(1);
  switch (c) {
    case '+': yylval.text = "+"; return ADDOP;
    case '-': yylval.text = "-"; return ADDOP;
    case '*': yylval.text = "*"; return MULOP;
    case '/': yylval.text = "/"; return MULOP;
    case '%': yylval.text = "%"; return MULOP;
    case '(': return LPAREN;
    case ')': return RPAREN;
    case '{': return LBRACE;
    case '}': return RBRACE;
    case ',': return COMMA;
    default: return SEMI;
  }
}

// Operators that may be two bytes long. Returns 0 for a lone '&' or '|',
// which is echoed.
int scan_paired(char c) {
  struct Operator {
    char first, second;
    int token;
    const char *value;
  };
  static const Operator operators[] = {
      {'<', '=', RELOP, "<="}, {'>', '=', RELOP, ">="}, {'!', '=', EQUOP, "!="}, {'=', '=', EQUOP, "=="},
      {'&', '&', AND, "AND"},  {'|', '|', OR, "OR"},    {'<', 0, RELOP, "<"},    {'>', 0, RELOP, ">"},
      {'=', 0, ASSIGN, "="},   {'!', 0, NOT, "NOT"},
  };
  int next = peek(1);
  for (const Operator &op : operators) {
    if (op.first != c || (op.second && op.second != next)) continue;
    take_token(op.second ? 2 : 1);
    yylval.text = op.value;
    return op.token;
  }
  return 0;
}

// Skips the run of blanks, tabs and newlines at pos, counting the newlines.
void skip_white_space() {
  const char *p = scan.data + scan.pos;
  const char *end = scan.data + scan.end;
  int64_t newlines = 0;
  for (; p < end; p++) {
    if (*p == '\n')
      newlines++;
    else if (byte_classes[(unsigned char)*p] != BLANK)
      break;
  }
  yylineno += newlines;
  scan.pos = size_t(p - scan.data);
}

// Echoes the run of unrecognised bytes at pos.
void echo_run() {
  size_t length = 1;
  while (scan.pos + length < scan.end && byte_classes[(unsigned char)scan.data[scan.pos + length]] == ECHO) length++;
  echo(scan.data + scan.pos, length);
  scan.pos += length;
}

}  // namespace

int yywrap() { return 1; }

int yylex() {
  if (!scan.data) create_buffer();
  if (yytext) scan.data[scan.held_at] = scan.held;  // undo the NUL that ended the last token
  for (;;) {
    if (scan.pos == scan.end && !refill()) {
      if (yywrap()) return END_OF_INPUT;
    }
    char c = scan.data[scan.pos];
    switch (byte_classes[(unsigned char)c]) {
      case BLANK:
      case NEWLINE: skip_white_space(); break;
      case LETTER: return scan_word();
      case DIGIT: return scan_numeral();
      case SINGLE: return scan_single(c);
      case PAIRED:
        if (int token = scan_paired(c)) return token;
        echo(&c, 1);
        scan.pos++;
        break;
      case ECHO: echo_run(); break;
    }
  }
}

void scanner_capture_echo(std::string *into) { echo_capture = into; }

void scanner_before_reading(void (*call)()) { before_reading = call; }

void scanner_read_from_stdin() { scan.memory = nullptr; }

void scanner_read_from_memory(const char *bytes, size_t size) {
  scan.memory = bytes;
  scan.memory_size = size;
  scan.memory_read = 0;
}

void scanner_reset() {
  std::free(scan.data);
  const char *memory = scan.memory;
  size_t memory_size = scan.memory_size;
  scan = Scanner{};
  scanner_read_from_memory(memory, memory_size);
  yylval.text = nullptr;
  yylineno = 1;
  yytext = nullptr;
  yyleng = 0;
}
