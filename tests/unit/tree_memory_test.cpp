// The tree's memory: names of every length, numerals and nodes spread over
// many chunks, and names large enough to take a chunk of their own, come back
// out of the report exactly; blocks at the bounds of a chunk's reach, more
// large blocks than the chunk table has entries, and the table's last entry.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/arena.hpp"
#include "common/output.hpp"
#include "front/session.hpp"

namespace {

std::string code_section(const std::string &out) {
  std::string heading = "Code Generated:\n";
  size_t at = out.find(heading);
  return at == std::string::npos ? "" : out.substr(at + heading.size());
}

// A name of `length` bytes that differs from its neighbours.
std::string name_of_length(size_t length, size_t seed) {
  std::string name(length, 'a');
  for (size_t i = 0; i < length; i++) name[i] = char('a' + (seed * 7 + i * 13) % 26);
  return name;
}

struct Case {
  const char *what;
  int statements;    // `name = number;` statements in the body
  size_t longest;    // names run through the lengths 1 to longest
  size_t huge_name;  // every hundred-thousandth name is this long instead, if not 0
};

TEST(TreeMemory, NamesAndNumbersComeBackExactly) {
  const Case cases[] = {
      {"names across the short copy's bound", 2000, 40, 0},
      {"a tree over several chunks", 400'000, 24, 0},
      {"names that take chunks of their own", 250'000, 12, size_t(9) << 20},
  };
  for (const Case &c : cases) {
    // Blocks of 100 statements keep each list well inside the parse stack.
    std::string program = "int main() {\n";
    std::string expected;
    for (int i = 0; i < c.statements; i++) {
      if (i % 100 == 0) program += i ? "}\n{\n" : "{\n";
      bool huge = c.huge_name && i % 100'000 == 50'000;
      std::string name = name_of_length(huge ? c.huge_name : size_t(i) % c.longest + 1, size_t(i));
      std::string number = std::to_string(int64_t(i) * 7919 % 2147483647);
      program += name + " = " + number + ";\n";
      expected += "LOAD #" + number + ", R1\nSTORE R1, " + name + "\n";
    }
    program += "}\n}\n";
    CompileResult r = compile_text(program);
    ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
    EXPECT_TRUE(code_section(r.out) == expected) << c.what;
  }
}

// A number's leaf holds its text: numerals of every length, with and without
// leading zeros and past the largest value, print as their value in the tree
// and after '#' in the code, both as a load and as a right operand.
TEST(TreeMemory, NumbersPrintAsTheirValueAtEveryLength) {
  for (size_t digits = 1; digits <= 12; digits++)
    for (std::string zeros : {"", "0", "000"}) {
      std::string numeral = zeros + std::string("987654321012").substr(0, digits);
      std::string value = std::to_string(std::min<int64_t>(std::stoll(numeral), 2147483647));
      CompileResult r = compile_text("int main() {\n  int x;\n  x = " + numeral + ";\n  x = x - " + numeral + ";\n}\n");
      ASSERT_EQ(r.status, 0) << numeral << ": " << r.err;
      EXPECT_NE(r.out.find("\n( x " + value + " ). \n( = \n( x - \n( x " + value + " ))"), std::string::npos)
          << numeral << "\n"
          << r.out;
      EXPECT_EQ(code_section(r.out), "LOAD #" + value + ", R1\nSTORE R1, x\nLOAD x, R1\nNEG #" + value + "\nADD #" +
                                         value + ", R1\nSTORE R1, x\n")
          << numeral;
    }
}

// Names whose copy (the two bytes of the leaf's kind, the name, its NUL) is
// exactly a huge page, half a chunk's reach, the reach, a unit either side of
// it, or the reach and its overhang together: each follows and precedes small
// statements, and each comes back out exactly.
TEST(TreeMemory, NamesAtChunkBoundsComeBackExactly) {
  constexpr size_t reach = size_t(1) << (chunk_offset_bits + 2);
  const size_t copies[] = {reach / 4,         reach / 2, reach - tree_unit,    reach,
                           reach + tree_unit, 2 * reach, 2 * reach + tree_unit};
  std::string program = "int main() {\n";
  std::string expected;
  for (size_t i = 0; i < std::size(copies); i++) {
    std::string name = name_of_length(copies[i] - 3, i);
    std::string small = name_of_length(i % 5 + 1, i + 100);
    program += small + " = " + std::to_string(i) + ";\n" + name + " = " + small + ";\n" + name + ";\n";
    expected += "LOAD #" + std::to_string(i) + ", R1\nSTORE R1, " + small + "\nLOAD " + small + ", R1\nSTORE R1, " +
                name + "\nLOAD " + name + ", R1\n";
  }
  program += "}\n";
  CompileResult r = compile_text(program);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(code_section(r.out) == expected);
}

// Straight on the tree's memory: runs of blocks of one size each. Every
// block's ref leads back to it, blocks never overlap, each keeps what was
// written to its first and last byte (when `touched`), the address space
// taken exceeds the blocks' bytes by no more than `spare`, and arena_reset
// gives all of it back.
struct BlockRun {
  size_t bytes;
  int count;
};

struct AllocationCase {
  const char *what;
  std::vector<BlockRun> runs;
  bool touched;
  size_t spare;  // address space beyond the blocks': the current chunk, a page of each other
};

size_t address_space_bytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return size_t(std::stoull(line.substr(7))) * 1024;
  return 0;
}

struct Allocated {
  char *at;
  size_t bytes;
  char mark;  // written to the first and last byte of a touched block
};

// Allocates blocks of the given sizes in turn onto `blocks`, checking each
// one's ref; stops at "out of memory", and tells whether it came.
bool allocate_until_full(const std::vector<BlockRun> &runs, bool touched, std::vector<Allocated> &blocks) {
  std::string out, err;
  output_to_strings(&out, &err);
  bool ran_out = false;
  try {
    for (const BlockRun &run : runs)
      for (int i = 0; i < run.count; i++) {
        TreeBlock block = arena_alloc(run.bytes);
        EXPECT_EQ(tree_memory(block.ref), block.at) << run.bytes << "-byte block " << i;
        EXPECT_NE(block.ref, 0u);
        char mark = char(blocks.size() * 7 + 1);
        if (touched) block.at[0] = block.at[run.bytes - 1] = mark;
        blocks.push_back({block.at, run.bytes, mark});
      }
  } catch (const FatalExit &exit) {
    ran_out = true;
    EXPECT_EQ(exit.status, 2);
    EXPECT_EQ(err, "out of memory\n");
  }
  output_to_descriptors();
  return ran_out;
}

int block_count(const std::vector<BlockRun> &runs) {
  int count = 0;
  for (const BlockRun &run : runs) count += run.count;
  return count;
}

void expect_intact(std::vector<Allocated> &blocks, bool touched, const char *what) {
  for (const Allocated &block : blocks) {
    if (!touched) break;
    ASSERT_TRUE(block.at[0] == block.mark && block.at[block.bytes - 1] == block.mark) << what << ": block changed";
  }
  std::sort(blocks.begin(), blocks.end(), [](const Allocated &a, const Allocated &b) { return a.at < b.at; });
  for (size_t i = 1; i < blocks.size(); i++)
    ASSERT_LE(blocks[i - 1].at + blocks[i - 1].bytes, blocks[i].at) << what << ": blocks overlap";
}

TEST(TreeMemory, BlocksAtChunkBounds) {
  constexpr size_t reach = size_t(1) << (chunk_offset_bits + 2);
  constexpr size_t MiB = size_t(1) << 20;
  const AllocationCase cases[] = {
      {"blocks that end exactly at the first chunk's end", {{12, 87381}, {4, 1}, {12, 3}}, true, 3 * MiB},
      {"chunks of their own first, then small blocks", {{reach + tree_unit, 3}, {12, 5}}, true, 2 * MiB},
      {"a block larger than the first chunks, then small ones", {{3'000'004, 1}, {12, 5}}, true, 2 * MiB},
      {"a chunk's reach exactly, and a unit either side",
       {{reach, 2}, {12, 5}, {reach - tree_unit, 2}, {8, 3}, {reach + tree_unit, 2}, {12, 3}},
       true,
       18 * MiB},
      {"huge pages and half reaches exactly, after small blocks",
       {{12, 1000}, {reach / 4, 3}, {12, 1}, {reach / 2, 3}, {8, 1}, {2 * reach, 1}, {12, 2}},
       true,
       18 * MiB},
      {"copies of names of 3,000,001 bytes", {{3'000'004, 100}, {12, 10}}, false, 20 * MiB},
      {"more blocks of 512 KiB than the table has entries", {{(size_t(512) << 10) + 4, 2100}}, false, 20 * MiB},
  };
  for (const AllocationCase &c : cases) {
    arena_reset();
    std::vector<Allocated> blocks;
    blocks.reserve(size_t(block_count(c.runs)));  // before the measure: nothing else is mapped until after it
    size_t before = address_space_bytes();
    EXPECT_FALSE(allocate_until_full(c.runs, c.touched, blocks)) << c.what;
    size_t bytes = 0;
    for (const Allocated &block : blocks) bytes += block.bytes;
    EXPECT_LE(address_space_bytes() - before, bytes + c.spare) << c.what << ": address space beyond the blocks";
    expect_intact(blocks, c.touched, c.what);
    arena_reset();
    EXPECT_EQ(address_space_bytes(), before) << c.what << ": address space left after the reset";
  }
}

// However the tree's bytes are split into blocks, the chunk table holds the
// 16 GiB its refs reach but for five chunks' worth (chunk 0, the three
// smaller first chunks, the last one); then "out of memory". Only address
// space is taken: the blocks are never touched. Skipped where address space
// is limited or not overcommitted.
TEST(TreeMemory, TableHoldsTheWholeReachWhateverTheBlockSizes) {
  std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
  int policy = 0;
  overcommit >> policy;
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  if (policy == 2 || limit.rlim_cur != RLIM_INFINITY || sizeof(size_t) < 8)
    GTEST_SKIP() << "needs 16 GiB of address space";
  constexpr size_t reach = size_t(1) << (chunk_offset_bits + 2);
  constexpr size_t whole_reach = (size_t(1) << 32) * tree_unit;  // all that 32-bit refs reach
  const size_t block_sizes[] = {(size_t(512) << 10) + 4, reach / 2 + tree_unit, reach - tree_unit, reach,
                                reach + tree_unit,       3 * reach / 2};
  for (size_t bytes : block_sizes) {
    arena_reset();
    std::vector<Allocated> blocks;
    int most = 2 * int(std::max(whole_reach / bytes, whole_reach / reach)) + 2;  // more than can fit
    EXPECT_TRUE(allocate_until_full({{bytes, most}, {12, 1}}, false, blocks)) << bytes << "-byte blocks";
    EXPECT_GE(blocks.size() * bytes, whole_reach - 5 * reach) << bytes << "-byte blocks";
    if (bytes > reach) {
      EXPECT_EQ(blocks.size(), whole_reach / reach - 1) << "a table entry for each 8 MiB but chunk 0's";
    }
    // After "out of memory" a small block and a large one fail the same way.
    for (size_t more : {size_t(12), bytes})
      EXPECT_TRUE(allocate_until_full({{more, 1}}, false, blocks)) << more << "-byte block after the last entry";
  }
  arena_reset();
}

}  // namespace
