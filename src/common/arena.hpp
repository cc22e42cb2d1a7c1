// Memory for the tree and the identifier copies: allocated in large chunks,
// never freed one by one, all released at once by arena_reset. Tree nodes come
// from chunks of their own, which can be reused: once the nodes of a part of
// the tree are no longer needed, the chunks that hold only such nodes serve
// for new nodes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

void *arena_alloc_slow(size_t size);

struct ArenaChunk {
  char *next;  // first free byte of the current chunk
  char *end;   // one past its last byte
};
extern constinit thread_local ArenaChunk arena;  // each thread allocates from chunks of its own

// size bytes aligned for any tree record; ends the run with "out of memory"
// when no memory can be obtained.
inline void *arena_alloc(size_t size) {
  size = (size + 7) & ~size_t(7);
  if (size_t(arena.end - arena.next) < size) return arena_alloc_slow(size);
  void *block = arena.next;
  arena.next += size;
  return block;
}

// A NUL-terminated copy of length bytes of text.
char *arena_copy_text(const char *text, size_t length);

// A NUL-terminated copy of a text shorter than short_text_bytes that is
// followed by enough readable bytes to make that many, copied as one block: far
// cheaper than a call of memcpy. The block's bytes past the copy land in free
// space of the chunk, which later allocations overwrite. Null when the chunk
// has not that much room left; arena_copy_text then does the copy.
constexpr size_t short_text_bytes = 16;
inline char *arena_copy_short_text(const char *text, size_t length) {
  if (length >= short_text_bytes || size_t(arena.end - arena.next) < short_text_bytes) return nullptr;
  char *copy = arena.next;
  std::memcpy(copy, text, short_text_bytes);
  copy[length] = '\0';
  arena.next += (length + 8) & ~size_t(7);  // as arena_alloc(length + 1)
  return copy;
}

// Node memory, for the parser's thread only. Its chunks are numbered in the
// order the nodes fill them.
void *node_alloc_slow(size_t size);
extern ArenaChunk node_space;
extern uint64_t node_chunk_number;  // the chunk that node_alloc takes from now

// size bytes (a multiple of 8, at most a chunk) for a tree node.
inline void *node_alloc(size_t size) {
  if (size_t(node_space.end - node_space.next) < size) return node_alloc_slow(size);
  void *block = node_space.next;
  node_space.next += size;
  return block;
}

// The nodes in chunks first to before - 1 are no longer needed: those chunks
// serve for new nodes. From any thread.
void reuse_node_chunks(uint64_t first, uint64_t before);

size_t arena_bytes();  // bytes of memory taken so far
void arena_reset();    // releases every allocation
