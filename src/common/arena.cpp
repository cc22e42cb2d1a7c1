#include "common/arena.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#define R1C_MAP_CHUNKS 1
#endif

#include "common/output.hpp"

namespace {

constexpr size_t first_chunk_size = size_t(1) << 20;  // bytes; the tree of a program of about 350 KB
// Chunks double in size up to the most that offsets reach; a larger block
// (a long identifier) gets a chunk of its own.
constexpr size_t last_chunk_size = size_t(1) << (chunk_offset_bits + 2);
static_assert(last_chunk_size == (size_t(1) << chunk_offset_bits) * tree_unit);

// Each chunk begins with its size, for releasing it; its blocks follow.
struct ChunkHeader {
  size_t bytes;
};
constexpr size_t header_bytes = sizeof(ChunkHeader);
static_assert(header_bytes % tree_unit == 0);

uint32_t chunk_count = 1;  // chunk 0 is never used
size_t next_chunk_size = first_chunk_size;

#ifdef R1C_MAP_CHUNKS
constexpr size_t huge_page = size_t(2) << 20;  // bytes

// A chunk of 2 MiB or more starts at a huge-page boundary and asks for huge
// pages: the tree is touched page after page as it is built, and a fault per
// 2 MiB instead of per 4 KiB, with fewer misses in the address translation
// cache when it is walked, saves a third of a large compile's time.
char *map_chunk(size_t bytes) {
  size_t slack = bytes >= huge_page ? huge_page : 0;
  void *mapped = mmap(nullptr, bytes + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  char *start = static_cast<char *>(mapped);
  if (!slack) return start;
  char *aligned = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(start) + huge_page - 1) & ~(huge_page - 1));
  if (aligned != start) munmap(start, size_t(aligned - start));
  if (size_t after = slack - size_t(aligned - start)) munmap(aligned + bytes, after);
  madvise(aligned, bytes, MADV_HUGEPAGE);
  return aligned;
}

void unmap_chunk(char *chunk, size_t bytes) { munmap(chunk, bytes); }
#else
char *map_chunk(size_t bytes) { return static_cast<char *>(std::malloc(bytes)); }
void unmap_chunk(char *chunk, size_t) { std::free(chunk); }
#endif

}  // namespace

char *tree_chunks[chunk_limit];
ArenaChunk arena = {nullptr, nullptr, 0};

TreeBlock arena_alloc_slow(size_t size) {
  bool own_chunk = size > next_chunk_size / 4;  // the current chunk stays for the blocks after it
  size_t bytes = own_chunk ? header_bytes + size : next_chunk_size;
  char *chunk = chunk_count < chunk_limit ? map_chunk(bytes) : nullptr;
  if (!chunk) fatal("out of memory");
  reinterpret_cast<ChunkHeader *>(chunk)->bytes = bytes;
  uint32_t number = chunk_count++;
  tree_chunks[number] = chunk;
  TreeBlock block{chunk + header_bytes, number << chunk_offset_bits | TreeRef(header_bytes / tree_unit)};
  if (own_chunk) return block;
  arena = {block.at + size, chunk + bytes, block.ref + TreeRef(size / tree_unit)};
  next_chunk_size = std::min(next_chunk_size * 2, last_chunk_size);
  return block;
}

TreeRef arena_copy_text(const char *text, size_t length, size_t before) {
  TreeBlock block = arena_alloc(before + length + 1);
  std::memcpy(block.at + before, text, length);
  block.at[before + length] = '\0';
  return block.ref;
}

void arena_reset() {
  for (uint32_t number = 1; number < chunk_count; number++) {
    unmap_chunk(tree_chunks[number], reinterpret_cast<ChunkHeader *>(tree_chunks[number])->bytes);
    tree_chunks[number] = nullptr;
  }
  chunk_count = 1;
  arena = {nullptr, nullptr, 0};
  next_chunk_size = first_chunk_size;
}
