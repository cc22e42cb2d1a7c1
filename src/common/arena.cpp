#include "common/arena.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "common/output.hpp"

namespace {

constexpr size_t first_chunk_size = size_t(1) << 20;  // bytes; holds the identifiers of a program of about 2 MB
constexpr size_t last_chunk_size = size_t(16) << 20;  // chunks double in size up to this

struct ChunkHeader {
  ChunkHeader *previous;
};
std::mutex chunk_list_lock;  // the scanning thread and the parser both take chunks
ChunkHeader *newest_chunk = nullptr;
size_t bytes_taken = 0;                              // by every chunk so far
constexpr size_t node_chunk_size = size_t(2) << 20;  // bytes; 65,536 nodes

// The node chunks. Once statements are reported ahead, no node points into
// their chunks any more, so these lists are all that lead to them; they are
// never destroyed, so that the chunks stay reachable to the end of the run.
struct NodeChunks {
  std::deque<char *> in_use;  // numbered first on, oldest first; null once reused
  uint64_t first = 0;         // the number of in_use.front()
  std::vector<char *> spare;  // chunks whose nodes are no longer needed
};
NodeChunks &node_chunks = *new NodeChunks;
size_t chunk_size = first_chunk_size;  // bytes of the next chunk, header included

}  // namespace

constinit thread_local ArenaChunk arena = {nullptr, nullptr};
ArenaChunk node_space = {nullptr, nullptr};
uint64_t node_chunk_number = 0;

void *node_alloc_slow(size_t size) {
  std::lock_guard guard(chunk_list_lock);
  char *chunk = nullptr;
  if (!node_chunks.spare.empty()) {
    chunk = node_chunks.spare.back();
    node_chunks.spare.pop_back();
  } else {
    chunk = static_cast<char *>(std::malloc(node_chunk_size));
    if (!chunk) fatal("out of memory");
    bytes_taken += node_chunk_size;
  }
  node_chunks.in_use.push_back(chunk);
  node_chunk_number = node_chunks.first + node_chunks.in_use.size() - 1;
  node_space.next = chunk + size;
  node_space.end = chunk + node_chunk_size;
  return chunk;
}

void reuse_node_chunks(uint64_t first, uint64_t before) {
  std::lock_guard guard(chunk_list_lock);
  NodeChunks &c = node_chunks;
  for (uint64_t number = std::max(first, c.first); number < before; number++) {
    char *&chunk = c.in_use[number - c.first];
    if (chunk) c.spare.push_back(chunk);
    chunk = nullptr;
  }
  for (; !c.in_use.empty() && !c.in_use.front(); c.first++) c.in_use.pop_front();
}

void *arena_alloc_slow(size_t size) {
  std::lock_guard guard(chunk_list_lock);
  bool own_chunk = size > chunk_size / 4;  // a huge block gets a chunk of its own; the current one stays
  size_t bytes = own_chunk ? sizeof(ChunkHeader) + size : chunk_size;
  auto *chunk = static_cast<ChunkHeader *>(std::malloc(bytes));
  if (!chunk) fatal("out of memory");
  chunk->previous = newest_chunk;
  bytes_taken += bytes;
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
  arena.next = arena.end = nullptr;
  chunk_size = first_chunk_size;
  bytes_taken = 0;
  for (char *chunk : node_chunks.in_use) std::free(chunk);
  for (char *chunk : node_chunks.spare) std::free(chunk);
  node_chunks.in_use.clear();
  node_chunks.spare.clear();
  node_chunks.first = 0;
  node_chunk_number = 0;
  node_space = {nullptr, nullptr};
}

size_t arena_bytes() {
  std::lock_guard guard(chunk_list_lock);
  return bytes_taken;
}
