#include "common/arena.hpp"

#include <cstdlib>
#include <cstring>

#include "common/output.hpp"

namespace {

constexpr size_t chunk_size = size_t(1) << 20;  // large enough to make chunk allocation rare

struct ChunkHeader {
  ChunkHeader *previous;
};
ChunkHeader *newest_chunk = nullptr;

}  // namespace

ArenaChunk arena = {nullptr, nullptr};

void *arena_alloc_slow(size_t size) {
  size_t payload = size > chunk_size / 4 ? size : chunk_size;  // a huge block gets a chunk of its own
  auto *chunk = static_cast<ChunkHeader *>(std::malloc(sizeof(ChunkHeader) + payload));
  if (!chunk) fatal("out of memory");
  chunk->previous = newest_chunk;
  newest_chunk = chunk;
  char *start = reinterpret_cast<char *>(chunk + 1);
  if (payload != chunk_size) return start;  // keep filling the current chunk
  arena.next = start + size;
  arena.end = start + payload;
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
  arena.next = arena.end = nullptr;
}
