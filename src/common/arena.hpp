// Memory for the tree and the identifier copies: allocated in large chunks,
// never freed one by one, all released at once by arena_reset.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct ArenaChunk {
  char *next;  // first free byte of the current chunk
  char *end;   // one past its last byte
};
extern ArenaChunk arena;

void *arena_alloc_slow(size_t size);

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

void arena_reset();  // releases every allocation
