#include "common/arena.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/output.hpp"

namespace {

constexpr size_t first_chunk_size = size_t(1) << 20;  // bytes; the tree of a program of about 100 KB
constexpr size_t last_chunk_size = size_t(16) << 20;  // chunks double in size up to this

struct ChunkHeader {
  ChunkHeader *previous;
};
ChunkHeader *newest_chunk = nullptr;
size_t chunk_size = first_chunk_size;  // bytes of the next chunk, header included

}  // namespace

ArenaChunk arena = {nullptr, nullptr};

void *arena_alloc_slow(size_t size) {
  bool own_chunk = size > chunk_size / 4;  // a huge block gets a chunk of its own; the current one stays
  size_t bytes = own_chunk ? sizeof(ChunkHeader) + size : chunk_size;
  auto *chunk = static_cast<ChunkHeader *>(std::malloc(bytes));
  if (!chunk) fatal("out of memory");
  chunk->previous = newest_chunk;
  newest_chunk = chunk;
  char *start = reinterpret_cast<char *>(chunk + 1);
  if (own_chunk) return start;
  arena.next = start + size;
  arena.end = reinterpret_cast<char *>(chunk) + bytes;
  chunk_size = std::min(chunk_size * 2, last_chunk_size);
  return start;
}

char *arena_copy_text(const char *text, size_t length) {
  char *copy = static_cast<char *>(arena_alloc(length + 1));
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

void arena_reset() {
  while (newest_chunk) {
    ChunkHeader *previous = newest_chunk->previous;
    std::free(newest_chunk);
    newest_chunk = previous;
  }
  arena = {nullptr, nullptr};
  chunk_size = first_chunk_size;
}
