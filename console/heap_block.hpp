// Blocks of bytes from the C allocator, owned by a handle that frees them.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace vesk {

// The size of the line reader's first buffer and of the output writer's
// block: large enough that batch input and output take few system calls,
// small enough to stay in cache. The fuzz build sets a few hundred bytes,
// so that short inputs reach every path of the buffers' bookkeeping.
#ifdef VESK_BLOCK_SIZE
inline constexpr std::size_t block_size = VESK_BLOCK_SIZE;
#else
inline constexpr std::size_t block_size = std::size_t{64} * 1024;
#endif

// Gives a block back to the C allocator.
struct free_block {
  void operator()(char* block) const noexcept { std::free(block); }
};

// A block from std::malloc or std::realloc, freed with std::free; empty if
// the memory could not be had.
using heap_block = std::unique_ptr<char[], free_block>;

// A block of `size` bytes, left uninitialised so that its pages are touched
// only as they are filled; empty if memory is short.
inline heap_block allocate_block(std::size_t size) noexcept {
  return heap_block(static_cast<char*>(std::malloc(size)));
}

}  // namespace vesk
