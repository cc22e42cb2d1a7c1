#include "front/scanner.hpp"

#include <unistd.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/arena.hpp"
#include "common/output.hpp"

YYSTYPE yylval;
int64_t yylineno = 1;
char *yytext = nullptr;
size_t yyleng = 0;

namespace {

constexpr size_t initial_capacity = 16384;    // bytes of input the buffer first holds
constexpr size_t read_block = 8192;           // most bytes asked of one read
constexpr int32_t numeral_limit = INT32_MAX;  // numerals saturate here
constexpr size_t exact_digits = 19;           // numerals this long still fit uint64_t
// Past the data, the buffer holds the end marker and then room for the
// fixed-size reads that may run past it: eight bytes for a keyword test or a
// run of blanks, short_text_bytes for an identifier copy.
constexpr size_t padding_bytes = short_text_bytes;
// The end marker and the bytes after it that eight-byte reads may see, zeroed
// so that no read sees undefined memory.
constexpr size_t zeroed_bytes = 8;

enum ByteClass : uint8_t {
  ECHO,
  END_OR_NUL,  // the end marker after the data, or a NUL of the input
  BLANK,
  NEWLINE,
  LETTER,
  DIGIT,
  OPERATOR,           // a one-byte token with a text value
  PUNCTUATION,        // a one-byte token that leaves yylval alone
  PAIRS_WITH_EQUALS,  // a one-byte operator, or a two-byte one with '=' after it
  DOUBLED,            // a two-byte operator when doubled, else unrecognised
};

// The tokens that operator and punctuation bytes begin.
struct OperatorToken {
  int token = 0;  // of the byte alone; 0 when it is no token alone
  TreeRef text = TEXT_NONE;
  char second = 0;       // the byte that makes a two-byte token with it, if any
  int paired_token = 0;  // of the two bytes
  TreeRef paired_text = TEXT_NONE;
};

struct OperatorSpelling {
  char byte;
  OperatorToken tokens;
};

// Every operator and punctuation token, once.
constexpr OperatorSpelling operator_spellings[] = {
    {'+', {ADDOP, TEXT_ADD}},
    {'-', {ADDOP, TEXT_SUBTRACT}},
    {'*', {MULOP, TEXT_MULTIPLY}},
    {'/', {MULOP, TEXT_DIVIDE}},
    {'%', {MULOP, TEXT_REMAINDER}},
    {'(', {LPAREN}},
    {')', {RPAREN}},
    {'{', {LBRACE}},
    {'}', {RBRACE}},
    {',', {COMMA}},
    {';', {SEMI}},
    {'<', {RELOP, TEXT_LESS, '=', RELOP, TEXT_LESS_EQUAL}},
    {'>', {RELOP, TEXT_GREATER, '=', RELOP, TEXT_GREATER_EQUAL}},
    {'=', {ASSIGN, TEXT_ASSIGN, '=', EQUOP, TEXT_EQUAL}},
    {'!', {NOT, TEXT_NOT, '=', EQUOP, TEXT_NOT_EQUAL}},
    {'&', {0, TEXT_NONE, '&', AND, TEXT_AND}},
    {'|', {0, TEXT_NONE, '|', OR, TEXT_OR}},
};

constexpr auto operator_tokens = [] {
  std::array<OperatorToken, 128> tokens{};
  for (const OperatorSpelling &op : operator_spellings) tokens[size_t(op.byte)] = op.tokens;
  return tokens;
}();

// The class of an operator byte, from its tokens. yylex takes a byte alone
// or followed by '=', or a doubled byte alone; no other pair.
constexpr ByteClass operator_class(char byte, const OperatorToken &op) {
  if (!op.second) return op.text == TEXT_NONE ? PUNCTUATION : OPERATOR;
  if (op.token && op.second == '=') return PAIRS_WITH_EQUALS;
  if (!op.token && op.second == byte) return DOUBLED;
  throw "an operator yylex cannot scan";
}

// What a byte begins.
constexpr auto byte_classes = [] {
  std::array<ByteClass, 256> classes{};
  for (int c = 'a'; c <= 'z'; c++) classes[c] = classes[c - 'a' + 'A'] = LETTER;
  for (int c = '0'; c <= '9'; c++) classes[c] = DIGIT;
  for (const OperatorSpelling &op : operator_spellings)
    classes[(unsigned char)op.byte] = operator_class(op.byte, op.tokens);
  classes[' '] = classes['\t'] = BLANK;
  classes['\n'] = NEWLINE;
  classes[0] = END_OR_NUL;
  return classes;
}();

constexpr auto word_bytes = [] {
  std::array<bool, 256> continues{};
  for (size_t c = 0; c < continues.size(); c++)
    continues[c] = byte_classes[c] == LETTER || byte_classes[c] == DIGIT || c == '_';
  return continues;
}();

// The first eight bytes of text as one number, zero-padded: a word's bytes
// loaded the same way compare with a keyword in one step. The builtin is
// std::bit_cast, which the C++ library of Debian's Emscripten lacks.
constexpr uint64_t eight_bytes(std::string_view text) {
  std::array<char, 8> bytes{};
  std::copy(text.begin(), text.end(), bytes.begin());
  return __builtin_bit_cast(uint64_t, bytes);
}

struct Keyword {
  uint64_t spelling = 0;  // eight_bytes of the keyword
  uint64_t mask = 0;      // selects its length's bytes of a word's first eight
  int token = 0;
  TreeRef value = TEXT_NONE;
};

// No two keywords share a length and the low three bits of their first byte,
// so that pair picks the one keyword a word can be.
constexpr size_t longest_keyword = 5;
constexpr size_t keyword_slot(size_t length, unsigned char first) { return length * 8 + (first & 7); }

struct KeywordTable {
  std::array<Keyword, (longest_keyword + 1) * 8> slots{};
  uint64_t used = 0;  // bit n: slot n holds a keyword
};

struct KeywordSpelling {
  std::string_view word;
  int token;
  TreeRef value;
};

// Every keyword, once.
constexpr KeywordSpelling keyword_spellings[] = {
    {"void", VOID, TEXT_VOID},    {"int", INT, TEXT_INT}, {"if", IF, TEXT_IF},    {"else", ELSE, TEXT_ELSE},
    {"while", WHILE, TEXT_WHILE}, {"do", DO, TEXT_DO},    {"for", FOR, TEXT_FOR},
};

// Every token the grammar knows is one yylex returns: a name, a numeral, a
// keyword or an operator spelled above. A token added without its spelling
// fails to compile.
constexpr bool scans_every_token() {
  for (TokenCode code : token_codes) {
    bool spelled = code == ID || code == NUM;
    for (const KeywordSpelling &k : keyword_spellings) spelled = spelled || k.token == code;
    for (const OperatorSpelling &op : operator_spellings)
      spelled = spelled || op.tokens.token == code || op.tokens.paired_token == code;
    if (!spelled) return false;
  }
  return true;
}
static_assert(scans_every_token(), "every token has a spelling that yylex scans");

constexpr KeywordTable keywords = [] {
  KeywordTable table;
  for (const KeywordSpelling &k : keyword_spellings) {
    size_t slot = keyword_slot(k.word.size(), k.word[0]);
    if (table.used >> slot & 1) throw "two keywords share a slot";
    table.used |= uint64_t(1) << slot;
    table.slots[slot] = {eight_bytes(k.word),
                         eight_bytes(std::string_view("\xff\xff\xff\xff\xff\xff\xff\xff", k.word.size())), k.token,
                         k.value};
  }
  return table;
}();
static_assert(keywords.slots.size() <= 64, "a slot for each bit of used");

// The input buffer before it exists: an end marker, so the first call finds no
// data and creates the buffer.
char no_input[zeroed_bytes] = {};

// The data read so far always ends with the end marker, a NUL byte: the loops
// over words, numerals and blanks stop there without checking where the data
// ends, and only a NUL byte leads to that check.
struct Scanner {
  char *data = nullptr;          // the input buffer, capacity + padding_bytes long
  size_t capacity = 0;           // bytes of input it can hold
  char *next = no_input;         // where yylex starts: past the last token and one blank
  unsigned char next_byte = 0;   // the byte at next
  char *limit = no_input;        // end of the data read so far, where the end marker is
  bool at_eof = false;           // the input has reported end of file
  bool interactive = false;      // standard input is a terminal: read line by line
  const char *memory = nullptr;  // in-memory input, when not reading standard input
  size_t memory_size = 0;
  size_t memory_read = 0;
  size_t data_offset = 0;  // bytes of input before data[0], for positions
};
Scanner scan;
void echo(const char *bytes, size_t n) { out_bytes(bytes, n); }

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
  return size_t(read_retrying(into, std::min(room, read_block)));
}

void create_buffer() {
  scan.data = static_cast<char *>(std::malloc(initial_capacity + padding_bytes));
  if (!scan.data) fatal("out of dynamic memory in yy_create_buffer()");
  scan.capacity = initial_capacity;
  scan.interactive = !scan.memory && isatty(0);
}

void set_limit(size_t data_bytes) {
  scan.limit = scan.data + data_bytes;
  std::memset(scan.limit, 0, zeroed_bytes);
}

// Moves the unfinished token at token_start to the front, doubling the buffer
// when it fills it to within one byte, and reads more input behind it. False
// at end of input. Afterwards the token starts at scan.next.
bool refill(char *token_start) {
  scan.next = token_start;
  if (scan.at_eof) return false;
  if (scan.data) scan.data_offset += size_t(token_start - scan.data);
  if (!scan.data) create_buffer();
  size_t pending = size_t(scan.limit - token_start);
  std::memmove(scan.data, token_start, pending);
  scan.next = scan.data;
  set_limit(pending);
  while (pending + 1 >= scan.capacity) {
    size_t doubled = scan.capacity * 2;
    char *grown = static_cast<char *>(std::realloc(scan.data, doubled + padding_bytes));
    if (!grown) fatal("fatal error - scanner input buffer overflow");
    scan.data = scan.next = grown;
    scan.capacity = doubled;
    set_limit(pending);
  }
  size_t got = read_input(scan.data + pending, scan.capacity - pending);
  set_limit(pending + got);
  scan.at_eof = got == 0;
  return got > 0;
}

// Sets where the next call of yylex starts: past one blank (most tokens are
// followed by one), with the byte there read already. The call then takes its
// way from a byte in hand, without first waiting for three reads in a row.
void set_next(char *p) {
  p += *p == ' ';  // at most to the end marker
  scan.next = p;
  scan.next_byte = (unsigned char)*p;
}

// Ends the current token: sets yytext and yyleng. The buffer is left as it
// is: nothing reads yytext past yyleng, and a NUL written after each token
// would have to be put back on the next call.
void end_token(char *start, char *end) {
  yytext = start;
  yyleng = size_t(end - start);
  set_next(end);
}

constexpr uint64_t eight_blanks = eight_bytes("        ");

// The eight-byte tests below take the first byte as the lowest, as the
// output's number writing does.
static_assert(std::endian::native == std::endian::little);

// Eight bytes from p, the first in the lowest byte.
uint64_t load_eight(const char *p) {
  uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);  // at most to the zeroed bytes past the end marker
  return bytes;
}

// Index of the first of eight bytes from load_eight that is not zero.
int first_nonzero_byte(uint64_t bytes) { return std::countr_zero(bytes) / 8; }

// Skips the spaces at p, eight at a time: lines start with long runs of them.
char *skip_spaces(char *p) {
  for (;;) {
    if (uint64_t differs = load_eight(p) ^ eight_blanks) return p + first_nonzero_byte(differs);
    p += 8;
  }
}

constexpr uint64_t each_byte = 0x0101010101010101;  // times a byte value: that value in every byte
constexpr uint64_t high_bits = each_byte * 0x80;

// The high bit of each byte of bytes that is at least `low`, for bytes below 0x80.
constexpr uint64_t at_least(uint64_t bytes, unsigned low) { return bytes + each_byte * (0x80 - low); }

// The high bit of each byte of bytes within [low, high], for bytes below 0x80.
constexpr uint64_t within(uint64_t bytes, unsigned low, unsigned high) {
  return at_least(bytes, low) & ~at_least(bytes, high + 1);
}

// The high bit of each of eight bytes that can continue a word: a letter, a
// digit or '_'. Eight bytes at once, so a word's end costs no branch per byte.
constexpr uint64_t word_byte_bits(uint64_t bytes) {
  uint64_t ascii = bytes & ~high_bits;
  uint64_t folded = ascii | each_byte * 0x20;  // upper case to lower
  uint64_t word = within(folded, 'a', 'z') | within(ascii, '0', '9') | within(ascii, '_', '_');
  return word & ~bytes & high_bits;
}

// The high bit of each of eight bytes that cannot continue a word.
constexpr uint64_t non_word_bits(uint64_t bytes) { return ~word_byte_bits(bytes) & high_bits; }

// The high bit of each of eight bytes that is a digit.
constexpr uint64_t digit_bits(uint64_t bytes) { return within(bytes & ~high_bits, '0', '9') & ~bytes & high_bits; }

// The value of the first `count` bytes of bytes, 1 to 8 decimal digits. The
// digits are moved to the top, zeros below them standing for leading zeros,
// and then joined pairwise: to two-digit, then four-digit, then eight-digit
// numbers.
constexpr uint32_t digits_value(uint64_t bytes, size_t count) {
  uint64_t value = (bytes - each_byte * '0') << (8 * (8 - count));  // what lies past the digits goes
  value = value * 10 + (value >> 8);
  constexpr uint64_t pairs = 0x000000ff000000ff;
  value =
      ((value & pairs) * (100 + (uint64_t(1000000) << 32)) + (value >> 16 & pairs) * (1 + (uint64_t(10000) << 32))) >>
      32;
  return uint32_t(value);
}

// The eight-byte tests agree with the byte classes on every byte, in each position.
constexpr bool eight_byte_tests_agree() {
  for (unsigned c = 0; c < 256; c++)
    for (unsigned at = 0; at < 8; at++) {
      uint64_t bytes = uint64_t(c) << (8 * at);
      bool word = word_byte_bits(bytes) >> (8 * at + 7) & 1, digit = digit_bits(bytes) >> (8 * at + 7) & 1;
      if (word != word_bytes[c] || digit != (byte_classes[c] == DIGIT)) return false;
    }
  for (std::string_view numeral : {"0", "7", "42", "100", "999", "1234567", "9999999", "0012", "5050505"})
    for (char after : {'\0', ';', ' ', 'a', '\xff'}) {
      std::array<char, 8> bytes{};
      std::copy(numeral.begin(), numeral.end(), bytes.begin());
      bytes[numeral.size()] = after;
      uint32_t value = 0;
      for (char digit : numeral) value = value * 10 + uint32_t(digit - '0');
      if (digits_value(__builtin_bit_cast(uint64_t, bytes), numeral.size()) != value) return false;
    }
  return true;
}
static_assert(eight_byte_tests_agree());

char *word_end(char *p) {
  for (;;) {
    if (uint64_t other = non_word_bits(load_eight(p))) return p + first_nonzero_byte(other);
    p += 8;
  }
}

const Keyword *keyword_spelled(const char *text, size_t length) {
  if (length > longest_keyword) return nullptr;
  size_t slot = keyword_slot(length, (unsigned char)text[0]);
  if (!(keywords.used >> slot & 1)) return nullptr;
  const Keyword &keyword = keywords.slots[slot];
  uint64_t first_bytes;
  std::memcpy(&first_bytes, text, sizeof first_bytes);  // at most to the zeroed bytes past the end marker
  return (first_bytes & keyword.mask) == keyword.spelling ? &keyword : nullptr;
}

// An identifier too long for a short copy, or met when the arena needs a new chunk.
[[gnu::noinline]] int identifier_token(char *start, char *end) {
  yylval.text = arena_copy_text(start, size_t(end - start), identifier_text_offset);
  end_token(start, end);
  return ID;
}

// The keyword or identifier from start to end. An identifier's copy is the
// block that becomes its tree leaf (front/tree.hpp).
inline int word_token(char *start, char *end) {
  size_t length = size_t(end - start);
  if (const Keyword *keyword = keyword_spelled(start, length)) {
    end_token(start, end);
    yylval.text = keyword->value;
    return keyword->token;
  }
  TreeRef copy = arena_copy_short_text(start, length, identifier_text_offset);  // reads within the padding
  if (!copy) return identifier_token(start, end);
  end_token(start, end);
  yylval.text = copy;
  return ID;
}

int numeral_token(char *start, char *end, int64_t value) {
  end_token(start, end);
  yylval.num = int32_t(value);
  return NUM;
}

// yylex itself takes only the common cases, and calls nothing but in tail
// position, so that it needs no stack frame. The slow paths below handle every
// case, the end of the data read so far included.

// Continues a token that reaches the end of the data read so far: reads more
// input behind it and extends it with `extend` until it ends before the data
// does or the input ends. Refilling may move the token; start follows it.
template <typename Extend>
char *extend_across_reads(char *&start, char *end, Extend extend) {
  while (end == scan.limit) {
    size_t length = size_t(end - start);
    bool more = refill(start);
    start = scan.next;
    end = start + length;
    if (!more) break;
    end = extend(end);
  }
  return end;
}

// A word longer than nine bytes, or one that reaches the end of the data read
// so far.
[[gnu::noinline]] int scan_word(char *start) {
  char *end = extend_across_reads(start, word_end(start + 1), word_end);
  return word_token(start, end);
}

// Adds the digits from p on to value, which saturates at numeral_limit;
// returns where they end.
char *saturating_numeral_end(char *p, int64_t &value) {
  for (unsigned digit; (digit = unsigned((unsigned char)*p) - '0') < 10; p++)
    value = std::min<int64_t>(value * 10 + digit, numeral_limit);
  return p;
}

// A numeral that reaches the end of the data read so far, or too long for
// yylex's quick conversion.
[[gnu::noinline]] int scan_numeral(char *start) {
  int64_t value = 0;
  char *end = extend_across_reads(start, saturating_numeral_end(start, value),
                                  [&](char *p) { return saturating_numeral_end(p, value); });
  return numeral_token(start, end, value);
}

// Whether the byte after the one at p is second, reading more input when the
// data ends at p. p follows the byte if it moves.
bool next_byte_is(char *&p, char second) {
  if (p[1] == second) return true;
  if (p + 1 != scan.limit) return false;
  refill(p);
  p = scan.next;
  return p[1] == second;  // the end marker at end of input
}

int operator_token(char *start, size_t length, int token, TreeRef text) {
  end_token(start, start + length);
  yylval.text = text;
  return token;
}

// A byte that pairs with '=' and ends the data read so far.
[[gnu::noinline]] int scan_operator(char *p) {
  const OperatorToken &op = operator_tokens[(unsigned char)*p];
  if (next_byte_is(p, '=')) return operator_token(p, 2, op.paired_token, op.paired_text);
  return operator_token(p, 1, op.token, op.text);
}

// Echoes the run of unrecognised bytes at start; returns its end.
char *echo_run(char *start) {
  char *end = start + 1;
  while (byte_classes[(unsigned char)*end] == ECHO) end++;
  echo(start, size_t(end - start));
  return end;
}

// Passes over what is no token from p on: blanks, newlines, unrecognised bytes
// (echoed) and the end of the data read so far (reading more). Returns where
// the next token starts, or null at end of input.
char *skip_to_token(char *p) {
  for (;;) {
    unsigned char c = (unsigned char)*p;
    switch (byte_classes[c]) {
      case BLANK: p++; break;
      case NEWLINE:
        yylineno++;
        p++;
        break;
      case ECHO: p = echo_run(p); break;
      case DOUBLED:
        if (next_byte_is(p, char(c))) return p;
        echo(p, 1);  // a lone '&' or '|'
        p++;
        break;
      case END_OR_NUL:
        if (p != scan.limit) {
          echo(p, 1);
          p++;
          break;
        }
        if (!refill(p)) return nullptr;
        p = scan.next;
        break;
      case LETTER:
      case DIGIT:
      case OPERATOR:
      case PUNCTUATION:
      case PAIRS_WITH_EQUALS: return p;
    }
  }
}

// Scanning from p on needs more than yylex does itself. Calls yylex again at
// the start of a token, where it takes none of the ways back here.
[[gnu::noinline]] int skip_then_scan(char *p) {
  p = skip_to_token(p);
  if (!p) {
    yywrap();  // 1: the end of file is final
    set_next(scan.next);
    return END_OF_INPUT;
  }
  set_next(p);
  return yylex();
}

}  // namespace

int yywrap() { return 1; }

int yylex() {
  char *p = scan.next;
  unsigned char c = scan.next_byte;
  for (;;) {
    switch (byte_classes[c]) {
      case BLANK:
        p = skip_spaces(p + 1);
        c = (unsigned char)*p;
        continue;
      case NEWLINE:
        yylineno++;
        p = skip_spaces(p + 1);
        c = (unsigned char)*p;
        continue;
      case LETTER: {
        // Words of up to nine bytes; longer ones go to scan_word, so that no
        // loop here keeps the tests' constants in registers yylex must save.
        uint64_t other = non_word_bits(load_eight(p + 1));
        char *end = p + 1 + first_nonzero_byte(other);
        if (!other || end == scan.limit) return scan_word(p);
        return word_token(p, end);
      }
      case DIGIT: {
        uint64_t bytes = load_eight(p);
        if (uint64_t other = ~digit_bits(bytes) & high_bits) {  // under eight digits, converted at once
          char *end = p + first_nonzero_byte(other);
          if (end == scan.limit) return scan_numeral(p);
          return numeral_token(p, end, int64_t(digits_value(bytes, size_t(end - p))));
        }
        uint64_t value = c - '0';  // wraps past exact_digits, where scan_numeral takes over
        char *end = p + 1;
        for (unsigned digit; (digit = unsigned((unsigned char)*end) - '0') < 10; end++) value = value * 10 + digit;
        if (end == scan.limit || size_t(end - p) > exact_digits) return scan_numeral(p);
        return numeral_token(p, end, int64_t(std::min<uint64_t>(value, numeral_limit)));
      }
      case OPERATOR: {
        const OperatorToken &op = operator_tokens[c];
        return operator_token(p, 1, op.token, op.text);
      }
      case PUNCTUATION: end_token(p, p + 1); return operator_tokens[c].token;
      case PAIRS_WITH_EQUALS: {
        const OperatorToken &op = operator_tokens[c];
        if (p[1] == '=') return operator_token(p, 2, op.paired_token, op.paired_text);
        if (p + 1 == scan.limit) return scan_operator(p);
        return operator_token(p, 1, op.token, op.text);
      }
      case DOUBLED: {
        if (p[1] != char(c)) return skip_then_scan(p);
        const OperatorToken &op = operator_tokens[c];
        return operator_token(p, 2, op.paired_token, op.paired_text);
      }
      case ECHO:
      case END_OR_NUL: return skip_then_scan(p);
    }
    __builtin_unreachable();  // every class returns or continues above; spares a bounds check per token
  }
}

size_t scanner_offset(const char *at) { return scan.data_offset + size_t(at - scan.data); }

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
  yylval.text = TEXT_NONE;
  yylineno = 1;
  yytext = nullptr;
  yyleng = 0;
}
