// Memory for the tree and the identifier copies: allocated in chunks, never
// freed one by one, all released at once by arena_reset. A place in it is a
// TreeRef of 32 bits, half the size of a pointer: the tree is most of a
// compile's memory, and every page of it costs a fault.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// A chunk number and an offset in the chunk in 4-byte units. Chunk 0 is
// never used, so the ref 0 means none. A ref reaches only the start of a
// block: a block may run on past the offsets' reach, and a name larger than
// the reach takes a chunk of its own.
using TreeRef = uint32_t;
constexpr int chunk_offset_bits = 21;  // offsets reach 8 MiB into a chunk
constexpr uint32_t chunk_offset_mask = (uint32_t(1) << chunk_offset_bits) - 1;
constexpr uint32_t chunk_limit = uint32_t(1) << (32 - chunk_offset_bits);  // table entries: 2048 of 8 MiB, 16 GiB
constexpr size_t tree_unit = 4;  // bytes per offset step, the alignment of every block

extern char *tree_chunks[chunk_limit];  // where each chunk starts

inline char *tree_memory(TreeRef ref) {
  return tree_chunks[ref >> chunk_offset_bits] + size_t(ref & chunk_offset_mask) * tree_unit;
}

// A block just allocated: where it is and its ref.
struct TreeBlock {
  char *at;
  TreeRef ref;
};

struct ArenaChunk {
  char *next;   // first free byte of the current chunk
  char *end;    // the end of the offsets' reach in it: no block starts there or later
  TreeRef ref;  // the ref of next
};
extern ArenaChunk arena;

TreeBlock arena_alloc_slow(size_t size);

// size bytes aligned to tree_unit; ends the run with "out of memory" when no
// memory can be obtained.
inline TreeBlock arena_alloc(size_t size) {
  size = (size + tree_unit - 1) & ~(tree_unit - 1);
  if (size_t(arena.end - arena.next) < size) return arena_alloc_slow(size);
  TreeBlock block{arena.next, arena.ref};
  arena.next += size;
  arena.ref += TreeRef(size / tree_unit);
  return block;
}

// A new block holding `before` bytes for the caller, then a NUL-terminated
// copy of length bytes of text; returns the block's ref.
TreeRef arena_copy_text(const char *text, size_t length, size_t before);

// As arena_copy_text for a text shorter than short_text_bytes that is
// followed by enough readable bytes to make that many, copied as one block: far
// cheaper than a call of memcpy. The block's bytes past the copy land in free
// space of the chunk, which later allocations overwrite. 0 when the chunk has
// not that much room left; arena_copy_text then does the copy.
constexpr size_t short_text_bytes = 16;
inline TreeRef arena_copy_short_text(const char *text, size_t length, size_t before) {
  if (length >= short_text_bytes || size_t(arena.end - arena.next) < before + short_text_bytes) return 0;
  char *copy = arena.next + before;
  TreeRef ref = arena.ref;
  std::memcpy(copy, text, short_text_bytes);
  copy[length] = '\0';
  size_t units = (before + length) / tree_unit + 1;  // as arena_alloc(before + length + 1)
  arena.next += units * tree_unit;
  arena.ref += TreeRef(units);
  return ref;
}

void arena_reset();  // releases every allocation
