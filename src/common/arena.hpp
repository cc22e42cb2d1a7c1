// Memory for the tree and the identifier copies: allocated in large chunks,
// never freed one by one, all released at once by arena_reset.
#pragma once
#include <cstddef>

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

size_t arena_bytes();  // bytes of memory taken so far
void arena_reset();    // releases every allocation
