// Token streams of the scanner: codes, values, line numbers and echoed bytes,
// including tokens that straddle the input's read blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/output.hpp"
#include "front/scanner.hpp"
#include "front/session.hpp"

namespace {

struct Scanned {
  std::vector<std::string> tokens;  // "ID:name", "NUM:7", "RELOP:<=", "LPAREN", ...
  std::string echoed;
};

std::string describe(int token) {
  switch (token) {
    case ID: return std::string("ID:") + identifier_text(yylval.text);
    case NUM: return "NUM:" + std::to_string(yylval.num);
    case LPAREN: return "LPAREN";
    case RPAREN: return "RPAREN";
    case LBRACE: return "LBRACE";
    case RBRACE: return "RBRACE";
    case COMMA: return "COMMA";
    case SEMI: return "SEMI";
    default: return std::to_string(token) + ":" + fixed_texts[yylval.text];
  }
}

Scanned scan_all(const std::string &input, std::vector<int64_t> *lines = nullptr) {
  Scanned result;
  std::string err;
  output_to_strings(&result.echoed, &err);
  scanner_read_from_memory(input.data(), input.size());
  reset_compiler();
  while (int token = yylex()) {
    result.tokens.push_back(describe(token));
    if (lines) lines->push_back(yylineno);
  }
  output_flush();
  reset_compiler();
  output_to_descriptors();
  return result;
}

using Tokens = std::vector<std::string>;

TEST(Scanner, LongestMatchAndKeywordPriority) {
  struct Case {
    std::string input;
    Tokens tokens;
  } cases[] = {
      {"void int if else while do for",
       {"257:VOID", "258:INT", "268:IF", "280:ELSE", "270:WHILE", "271:DO", "269:FOR"}},
      {"whilex elsee dox iff fore intx voidx int_",
       {"ID:whilex", "ID:elsee", "ID:dox", "ID:iff", "ID:fore", "ID:intx", "ID:voidx", "ID:int_"}},
      {"While VOID If whil i", {"ID:While", "ID:VOID", "ID:If", "ID:whil", "ID:i"}},
      {"yf lo acc fnt vord elsf qhile", {"ID:yf", "ID:lo", "ID:acc", "ID:fnt", "ID:vord", "ID:elsf", "ID:qhile"}},
      {"007 99999999999 2147483647 2147483648", {"NUM:7", "NUM:2147483647", "NUM:2147483647", "NUM:2147483647"}},
      {"9999999999999999999 18446744073709551616 000000000000000000000000000000042",
       {"NUM:2147483647", "NUM:2147483647", "NUM:42"}},
      {"12ab 9x", {"NUM:12", "ID:ab", "NUM:9", "ID:x"}},
      {"===", {"264:==", "260:="}},
      {"!==", {"264:!=", "260:="}},
      {"<==", {"265:<=", "260:="}},
      {">=>", {"265:>=", "265:>"}},
      {"=<", {"260:=", "265:<"}},
      {"<>", {"265:<", "265:>"}},
      {"&&& |||", {"262:AND", "261:OR"}},
      {"! && ||", {"263:NOT", "262:AND", "261:OR"}},
      {"+-*/%", {"266:+", "266:-", "267:*", "267:/", "267:%"}},
      {"// /*", {"267:/", "267:/", "267:/", "267:*"}},
      {"(){},;", {"LPAREN", "RPAREN", "LBRACE", "RBRACE", "COMMA", "SEMI"}},
      {"", {}},
  };
  for (const Case &c : cases) EXPECT_EQ(scan_all(c.input).tokens, c.tokens) << c.input;
}

TEST(Scanner, UnrecognisedBytesAreEchoedUnchanged) {
  struct Case {
    std::string input;
    Tokens tokens;
    std::string echoed;
  } cases[] = {
      {"a.b", {"ID:a", "ID:b"}, "."},
      {"_x", {"ID:x"}, "_"},
      {std::string("int\0main", 8), {"258:INT", "ID:main"}, std::string(1, '\0')},
      {"\xe9t\xe9", {"ID:t"}, "\xe9\xe9"},
      {"a\r\nb\r\n", {"ID:a", "ID:b"}, "\r\r"},
      {"& | &| #$@\"'[]^~\\:?`", {}, "&|&|#$@\"'[]^~\\:?`"},
      {"\f\v\x7f\x80\xff", {}, "\f\v\x7f\x80\xff"},
      {"&&&", {"262:AND"}, "&"},
  };
  for (const Case &c : cases) {
    Scanned s = scan_all(c.input);
    EXPECT_EQ(s.tokens, c.tokens) << c.input;
    EXPECT_EQ(s.echoed, c.echoed) << c.input;
  }
}

TEST(Scanner, LineNumberIsTheLineOfEachToken) {
  std::vector<int64_t> lines;
  scan_all("a\n\nb c\r\nd\n", &lines);
  EXPECT_EQ(lines, (std::vector<int64_t>{1, 3, 3, 4}));
}

// Input arrives in blocks of 8192 bytes into a buffer of 16384: tokens that
// cross a block end, and tokens longer than the buffer, stay whole.
TEST(Scanner, TokensAcrossReadBlocksStayWhole) {
  for (size_t at : {8190u, 8191u, 8192u, 16383u, 16384u, 24575u}) {
    std::string pad(at - 1, ' ');
    EXPECT_EQ(scan_all(pad + "x<=yy").tokens, (Tokens{"ID:x", "265:<=", "ID:yy"})) << at;
    EXPECT_EQ(scan_all(pad + "&&12345").tokens, (Tokens{"262:AND", "NUM:12345"})) << at;
    EXPECT_EQ(scan_all(pad + "ab==").tokens, (Tokens{"ID:ab", "264:=="})) << at;
    EXPECT_EQ(scan_all(pad + "#&#").echoed, "#&#") << at;
  }
  for (size_t length : {16382u, 16383u, 16384u, 20000u, 100000u}) {
    std::string word(length, 'w');
    EXPECT_EQ(scan_all(" " + word + " v").tokens, (Tokens{"ID:" + word, "ID:v"})) << length;
    EXPECT_EQ(scan_all(word).tokens, (Tokens{"ID:" + word})) << length;
  }
  std::string digits(50000, '0');
  EXPECT_EQ(scan_all(digits + "42").tokens, (Tokens{"NUM:42"}));
}

// The data read so far ends at a block boundary; every kind of token, placed
// so that it starts, ends or is cut there, comes out as it does on its own.
TEST(Scanner, TokensCutAtEveryByteOfABlockEnd) {
  struct Case {
    std::string input;
    Tokens tokens;
    std::string echoed;
  } cases[] = {
      {"whilex", {"ID:whilex"}, ""},
      {"while(", {"270:WHILE", "LPAREN"}, ""},
      {"do", {"271:DO"}, ""},
      {"int_9", {"ID:int_9"}, ""},
      {"abcdefghijklmno", {"ID:abcdefghijklmno"}, ""},
      {"abcdefghijklmnop", {"ID:abcdefghijklmnop"}, ""},
      {"abcdefghijklmnopq", {"ID:abcdefghijklmnopq"}, ""},
      {"2147483648", {"NUM:2147483647"}, ""},
      {"0000000000000000000000042", {"NUM:42"}, ""},
      {"18446744073709551617", {"NUM:2147483647"}, ""},
      {"<=", {"265:<="}, ""},
      {"<", {"265:<"}, ""},
      {"!x", {"263:NOT", "ID:x"}, ""},
      {"==", {"264:=="}, ""},
      {"&&", {"262:AND"}, ""},
      {"&", {}, "&"},
      {"|x", {"ID:x"}, "|"},
      {std::string("a\0b", 3), {"ID:a", "ID:b"}, std::string(1, '\0')},
      {"@#$x", {"ID:x"}, "@#$"},
      {"a\t \tb", {"ID:a", "ID:b"}, ""},
  };
  for (const Case &c : cases) {
    std::vector<int64_t> alone_lines;
    Scanned alone = scan_all(c.input, &alone_lines);
    ASSERT_EQ(alone.tokens, c.tokens) << c.input;
    ASSERT_EQ(alone.echoed, c.echoed) << c.input;
    for (size_t block_end : {8192u, 16384u}) {
      for (size_t start = block_end - c.input.size() - 1; start <= block_end + 1; start++) {
        // Blanks only, or lines of indentation: the newlines before the case add to its lines.
        std::string indented;
        while (indented.size() + 16 <= start) indented += "\n" + std::string(15, ' ');
        int64_t newlines = int64_t(indented.size() / 16);
        indented += std::string(start - indented.size(), ' ');
        for (const std::string &before : {std::string(start, ' '), indented}) {
          for (const char *after : {"", " ;"}) {
            std::vector<int64_t> lines;
            Scanned s = scan_all(before + c.input + after, &lines);
            std::string where = c.input + " at " + std::to_string(start) + (after[0] ? " then ;" : "");
            Tokens expected = c.tokens;
            if (after[0]) expected.push_back("SEMI");
            EXPECT_EQ(s.tokens, expected) << where;
            EXPECT_EQ(s.echoed, c.echoed) << where;
            int64_t added = before[0] == '\n' ? newlines : 0;
            for (size_t i = 0; i < alone_lines.size() && i < lines.size(); i++)
              EXPECT_EQ(lines[i], alone_lines[i] + added) << where;
          }
        }
      }
    }
  }
}

// Identifiers of every length up to beyond the short copy, enough of them to
// fill several arena chunks: each copy stays whole and NUL-terminated while
// the copies after it are made.
TEST(Scanner, IdentifierCopiesAreWholeAcrossArenaChunks) {
  std::string input;
  std::vector<std::string> words;
  for (int i = 0; i < 150000; i++) {
    words.push_back(std::string("v").append(size_t(i % 40), char('a' + i % 26)));
    input += words.back() + (i % 7 ? " " : "\n");
  }
  std::string out, err;
  output_to_strings(&out, &err);
  scanner_read_from_memory(input.data(), input.size());
  reset_compiler();
  std::vector<const char *> copies;
  while (yylex() == ID) copies.push_back(identifier_text(yylval.text));
  ASSERT_EQ(copies.size(), words.size());
  for (size_t i = 0; i < words.size(); i++) ASSERT_STREQ(copies[i], words[i].c_str()) << i;
  reset_compiler();
  output_to_descriptors();
}

// Words and numerals of 1 to 20 bytes, each followed by a byte of another
// kind, against the rules read one byte at a time: the scanner looks at eight
// bytes at once, so every length and every neighbour meets its eight-byte
// boundaries.
TEST(Scanner, WordsAndNumeralsOfEveryLengthEndWhereTheirBytesDo) {
  const std::string word_bytes = "abcxyzABCXYZ0189_", digits = "0123456789";
  const std::string after[] = {" ", "\t", "\n", ".", "@", "[", "`", "#", "\x7f", "\xe9", std::string(1, '\0')};
  std::mt19937 random(5);
  std::string input;
  Tokens expected;
  for (int i = 0; i < 3000; i++) {
    size_t length = 1 + random() % 20;
    std::string token(1, i % 2 ? "aZqK"[random() % 4] : digits[random() % 10]);  // no keyword's first letter
    const std::string &more = i % 2 ? word_bytes : digits;
    while (token.size() < length) token += more[random() % more.size()];
    if (i % 2) {
      expected.push_back("ID:" + token);
    } else {
      int64_t value = 0;
      for (char digit : token) value = std::min<int64_t>(value * 10 + (digit - '0'), INT32_MAX);
      expected.push_back("NUM:" + std::to_string(value));
    }
    input += token + after[random() % std::size(after)];
  }
  EXPECT_EQ(scan_all(input).tokens, expected);
}

TEST(Scanner, ValueOfPunctuationIsTheTokenBefore) {
  std::string err, out;
  output_to_strings(&out, &err);
  std::string input = "x (";
  scanner_read_from_memory(input.data(), input.size());
  reset_compiler();
  EXPECT_EQ(yylex(), ID);
  EXPECT_EQ(yylex(), LPAREN);
  EXPECT_STREQ(identifier_text(yylval.text), "x");
  EXPECT_EQ(yylex(), 0);
  reset_compiler();
  output_to_descriptors();
}

}  // namespace
