// The explicit stack of a walk over the tree, which keeps the tree's depth off
// the call stack. Its memory is one block, doubled by realloc when full, so
// that only as many pages are touched as the tree is deep; it is kept for the
// next walk until released.
#pragma once
#include <cstddef>
#include <cstdlib>

#include "common/output.hpp"

// The entries in use, innermost last. Held as plain pointers so that they can
// stay in registers during the walk.
template <typename T>
struct WalkStack {
  T *first;
  T *end;    // one past the innermost entry
  T *limit;  // one past the last slot
};

template <typename T>
struct WalkStackMemory {
  T *block = nullptr;
  size_t capacity = 0;
  ~WalkStackMemory() { std::free(block); }
};

// An empty stack in the memory as it stands.
template <typename T>
WalkStack<T> empty_stack(const WalkStackMemory<T> &memory) {
  return {memory.block, memory.block, memory.block + memory.capacity};
}

// Doubles the memory, to first_size entries the first time; ends the run with
// "out of memory" when it cannot.
template <typename T>
WalkStack<T> grow(WalkStackMemory<T> &memory, WalkStack<T> stack, size_t first_size) {
  size_t size = size_t(stack.end - stack.first);
  size_t capacity = size ? 2 * size : first_size;
  auto *block = static_cast<T *>(std::realloc(memory.block, capacity * sizeof(T)));
  if (!block) fatal("out of memory");
  memory.block = block;
  memory.capacity = capacity;
  return {block, block + size, block + capacity};
}

template <typename T>
void release(WalkStackMemory<T> &memory) {
  std::free(memory.block);
  memory = WalkStackMemory<T>{};
}
