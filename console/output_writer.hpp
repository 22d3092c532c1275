// Buffered output to a sink, with the first failure remembered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "heap_block.hpp"

namespace vesk {

// How the writer ends lines: with the line feed as given, or with each line
// feed written as CR LF, as Windows text files and consoles end them.
enum class line_ends : std::uint8_t { lf, crlf };

// Where the writer's blocks go: a plain value, so that tests can give the
// writer sinks that take little at a time, fill up or count their calls.
struct output_sink {
  // Writes at least one and at most `size` bytes from `data`, waiting for
  // room if it must. Returns how many it wrote, or -1 if writing failed.
  std::ptrdiff_t (*write)(void* context, const char* data, std::size_t size);
  void* context = nullptr;
  line_ends ends = line_ends::lf;
  std::size_t largest_write = SIZE_MAX;  // no call is handed more than this
};

// Collects output in one block and hands it to the sink in large writes:
// when the block is full and when flush() is called. A write that the sink
// takes in part goes on with the rest. After the first failed write, all
// further output is dropped and failed() stays true, so callers check once
// instead of after every write. A writer whose block could not be allocated
// has failed from the start.
//
// Text goes into the block through reserve() and commit(): room at the end
// of the block, which the caller fills and then keeps, so that a result
// line is made right there and never copied. write() copies short text in
// the same way, and hands long text to the sink past the block.
class output_writer {
 public:
  explicit output_writer(output_sink sink) noexcept;

  // The size of the block.
  static constexpr std::size_t capacity = block_size;
  // The most bytes that one reserve() may ask for.
  static constexpr std::size_t largest_reserve = capacity / 2;

  // Room for `size` bytes, at most largest_reserve, at the end of the block,
  // for the caller to fill and then commit(). The block is written out
  // first unless it has room for twice as many: with CR LF line ends, each
  // byte may be a line feed that needs a CR before it. Returns nullptr once
  // writing has failed, since nothing can reach the sink any more.
  char* reserve(std::size_t size) noexcept {
    if (capacity - used_ < 2 * size) {
      write_block();
    }
    return failed_ ? nullptr : block_.get() + used_;
  }

  // Keeps the first `size` of the bytes that the caller put where the last
  // reserve() pointed, with their line ends as the writer was asked to
  // write them. Only after a reserve() that gave room.
  void commit(std::size_t size) noexcept {
    if (sink_.ends == line_ends::crlf) {
      size = add_carriage_returns(block_.get() + used_, size);
    }
    used_ += size;
  }

  // Appends `text`, with its line ends as the writer was asked to write
  // them.
  void write(std::string_view text) noexcept {
    if (text.size() > largest_reserve) {
      write_long(text);
    } else if (char* const room = reserve(text.size())) {
      std::memcpy(room, text.data(), text.size());
      commit(text.size());
    }
  }

  // Hands everything written so far to the sink. Returns false if any
  // write, now or earlier, failed.
  bool flush() noexcept;

  // True once a write to the sink has failed, or if the block could not be
  // allocated.
  [[nodiscard]] bool failed() const noexcept { return failed_; }

 private:
  static std::size_t add_carriage_returns(char* text, std::size_t size) noexcept;
  void write_long(std::string_view text) noexcept;
  void write_block() noexcept;
  void put(const char* data, std::size_t size) noexcept;

  output_sink sink_;
  heap_block block_;
  std::size_t used_ = 0;
  bool failed_;
};

}  // namespace vesk
