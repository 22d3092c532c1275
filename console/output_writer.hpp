// Buffered output to a C stream, with the first failure remembered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace vesk {

// How the writer ends lines: with the line feed as given, or with each line
// feed written as CR LF, as Windows text files and consoles end them.
enum class line_ends { lf, crlf };

// Collects output in one block and hands it to the stream in large writes:
// when the block is full and when flush() is called. After the first failed
// write, all further output is dropped and failed() stays true, so callers
// check once instead of after every write.
class output_writer {
 public:
  // Writes to `stream`, which should be unbuffered: this is the buffer.
  // No single write hands the stream more than `largest_write` bytes.
  explicit output_writer(std::FILE* stream, line_ends ends = line_ends::lf,
                         std::size_t largest_write = SIZE_MAX);

  // Appends `text`, with its line ends as the writer was asked to write
  // them; writes the block out first if it would not fit.
  void write(std::string_view text) noexcept {
    if (ends_ == line_ends::crlf) {
      write_crlf(text);
    } else {
      append(text);
    }
  }

  // Hands everything written so far to the stream and flushes it. Returns
  // false if any write, now or earlier, failed.
  bool flush() noexcept;

  // True once a write to the stream has failed.
  [[nodiscard]] bool failed() const noexcept { return failed_; }

  // The size of the block: large enough that batch output goes out in few
  // system calls, small enough to stay in cache.
  static constexpr std::size_t capacity = std::size_t{64} * 1024;

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

  std::FILE* stream_;
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
  line_ends ends_;
  std::size_t largest_write_;
  bool failed_ = false;
};

}  // namespace vesk
