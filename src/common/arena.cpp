#include "common/arena.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#include <unistd.h>
#define R1C_MAP_CHUNKS 1
#endif

#include "common/output.hpp"

namespace {

constexpr size_t first_chunk_size = size_t(1) << 20;  // bytes; the tree of a program of about 350 KB
// Chunks double in size up to the most that offsets reach.
constexpr size_t last_chunk_size = size_t(1) << (chunk_offset_bits + 2);
static_assert(last_chunk_size == (size_t(1) << chunk_offset_bits) * tree_unit);
// A full-size chunk maps this much beyond the offsets' reach: a block only
// needs to start within reach, so one of up to this size that meets the end
// of the reach runs on past it and the chunk is full. Every full-size chunk
// but the current one thus holds at least last_chunk_size bytes of blocks, and
// the chunk table the 16 GiB its refs can reach, however the blocks are sized.
// Memory from malloc cannot give back an unused tail, and where chunks come
// from malloc the address space is far smaller than the refs' reach: no
// overhang there, and a block that does not fit starts the next chunk.
#ifdef R1C_MAP_CHUNKS
constexpr size_t chunk_overhang = last_chunk_size;
#else
constexpr size_t chunk_overhang = 0;
#endif
// A larger block (a name of more than 8 MiB) gets a chunk of its own, which
// its one ref reaches at offset 0; it is larger than the reach it uses.
constexpr size_t largest_shared_block = last_chunk_size;

size_t chunk_bytes[chunk_limit];  // each chunk's mapped size, for releasing it
uint32_t chunk_count = 1;         // chunk 0 is never used
uint32_t current_chunk = 0;       // the chunk arena allocates from, 0 for none
char *current_end = nullptr;      // one past the current chunk's overhang
size_t next_chunk_size = first_chunk_size;

#ifdef R1C_MAP_CHUNKS
size_t page_rounded(size_t bytes) {
  static const size_t page = size_t(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) & ~(page - 1);
}

// A chunk in small pages, rounding bytes up to whole pages. Huge pages are
// not asked for: on a virtual machine a fresh huge page can cost hundreds of
// milliseconds of system time to find and clear, where small pages cost about
// 0.6 ms per MB, steadily.
char *map_chunk(size_t &bytes) {
  bytes = page_rounded(bytes);
  void *mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return mapped == MAP_FAILED ? nullptr : static_cast<char *>(mapped);
}

void unmap_chunk(char *chunk, size_t bytes) { munmap(chunk, bytes); }

// Gives back the whole pages of a chunk past its first `used` bytes.
void trim_chunk(uint32_t number, size_t used) {
  size_t kept = page_rounded(used);
  if (kept >= chunk_bytes[number]) return;
  munmap(tree_chunks[number] + kept, chunk_bytes[number] - kept);
  chunk_bytes[number] = kept;
}
#else
// A chunk from malloc has a word more than its blocks can use, where a name
// at its end can be read a word at a time (write_leaf_name).
char *map_chunk(size_t &bytes) { return static_cast<char *>(std::malloc(bytes + sizeof(uint64_t))); }
void unmap_chunk(char *chunk, size_t) { std::free(chunk); }
void trim_chunk(uint32_t, size_t) {}  // a shrinking realloc might move the chunk
#endif

// Maps a chunk of at least `bytes` and enters it in the table; ends the run
// when the table is full or no memory is left.
uint32_t new_chunk(size_t bytes) {
  char *chunk = chunk_count < chunk_limit ? map_chunk(bytes) : nullptr;
  if (!chunk) fatal("out of memory");
  uint32_t number = chunk_count++;
  tree_chunks[number] = chunk;
  chunk_bytes[number] = bytes;
  return number;
}

// Ends allocation from the current chunk, whose blocks end at used_end.
void close_current_chunk(char *used_end) {
  if (current_chunk) trim_chunk(current_chunk, size_t(used_end - tree_chunks[current_chunk]));
  current_chunk = 0;
  current_end = nullptr;
  arena = {nullptr, nullptr, 0};
}

}  // namespace

char *tree_chunks[chunk_limit];
ArenaChunk arena = {nullptr, nullptr, 0};

TreeBlock arena_alloc_slow(size_t size) {
  if (arena.next < arena.end && size <= size_t(current_end - arena.next)) {
    TreeBlock block{arena.next, arena.ref};
    close_current_chunk(block.at + size);
    return block;
  }
  if (size > largest_shared_block) {  // the current chunk stays for the blocks after it
    uint32_t number = new_chunk(size);
    return {tree_chunks[number], number << chunk_offset_bits};
  }
  close_current_chunk(arena.next);
  // A block too large for the next chunk in the doubling skips to the first
  // size that holds it.
  size_t reach = next_chunk_size;
  while (reach < size) reach *= 2;
  size_t overhang = reach == last_chunk_size ? chunk_overhang : 0;
  uint32_t number = new_chunk(reach + overhang);
  char *chunk = tree_chunks[number];
  current_chunk = number;
  current_end = chunk + reach + overhang;
  arena = {chunk + size, chunk + reach, number << chunk_offset_bits | TreeRef(size / tree_unit)};
  next_chunk_size = std::min(reach * 2, last_chunk_size);
  return {chunk, number << chunk_offset_bits};
}

TreeRef arena_copy_text(const char *text, size_t length, size_t before) {
  TreeBlock block = arena_alloc(before + length + 1);
  std::memcpy(block.at + before, text, length);
  block.at[before + length] = '\0';
  return block.ref;
}

void arena_reset() {
  for (uint32_t number = 1; number < chunk_count; number++) {
    unmap_chunk(tree_chunks[number], chunk_bytes[number]);
    tree_chunks[number] = nullptr;
  }
  chunk_count = 1;
  current_chunk = 0;
  current_end = nullptr;
  arena = {nullptr, nullptr, 0};
  next_chunk_size = first_chunk_size;
}
