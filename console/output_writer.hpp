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
class output_writer {
 public:
  explicit output_writer(output_sink sink) noexcept;

  // Appends `text`, with its line ends as the writer was asked to write
  // them; writes the block out first if it would not fit.
  void write(std::string_view text) noexcept {
    if (failed_) {
      return;  // nothing can reach the sink any more
    }
    if (sink_.ends == line_ends::crlf) {
      write_crlf(text);
    } else {
      append(text);
    }
  }

  // Hands everything written so far to the sink. Returns false if any
  // write, now or earlier, failed.
  bool flush() noexcept;

  // True once a write to the sink has failed, or if the block could not be
  // allocated.
  [[nodiscard]] bool failed() const noexcept { return failed_; }

  // The size of the block.
  static constexpr std::size_t capacity = block_size;

 private:
  void append(std::string_view text) noexcept {
    if (text.size() <= capacity - used_) {
      std::memcpy(block_.get() + used_, text.data(), text.size());
      used_ += text.size();
    } else {
      write_through(text);
    }
  }
  void write_crlf(std::string_view text) noexcept;
  void write_through(std::string_view text) noexcept;
  void put(const char* data, std::size_t size) noexcept;

  output_sink sink_;
  heap_block block_;
  std::size_t used_ = 0;
  bool failed_;
};

}  // namespace vesk
