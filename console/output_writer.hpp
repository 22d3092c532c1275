// Buffered output to a sink, with the first failure remembered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

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

  // Appends the first `size` bytes of `chars`. When the block has room for
  // all of `chars`, all are copied and only `size` kept: a copy of a fixed
  // length is a few moves, where one of a varying length is a call.
  template <std::size_t N>
  void write(const std::array<char, N>& chars, std::size_t size) noexcept {
    if (!failed_ && sink_.ends == line_ends::lf && N <= capacity - used_) {
      copy_all(block_.get() + used_, chars);
      used_ += size;
    } else {
      write(std::string_view(chars.data(), size));
    }
  }

  // Appends the text of the value that `make` returns, a type with text().
  // When the block has room for the whole value, the value is made right
  // there, so that its bytes are stored once and not copied: a copy that
  // reads bytes just stored in pieces waits until the stores are done.
  // Otherwise it is made apart and written as usual. Either way `make` is
  // called in one place, so that compilers can put it inline.
  template <typename Text, typename Make>
  void write_made(Make make) noexcept {
    static_assert(alignof(Text) == 1 && std::is_trivially_destructible_v<Text>);
    const bool in_place =
        !failed_ && sink_.ends == line_ends::lf && sizeof(Text) <= capacity - used_;
    std::array<char, sizeof(Text)> apart;  // where the value is made when the block lacks room
    const Text* made = ::new (in_place ? block_.get() + used_ : apart.data()) Text(make());
    if (in_place) {
      used_ += made->text().size();
    } else {
      write(made->text());
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
  // Copies `chars` in moves of eight bytes, the last one overlapping the one
  // before it. Given one memcpy of the whole, compilers may use a string
  // instruction (rep movsb), whose start costs more than this whole copy.
  template <std::size_t N>
  static void copy_all(char* to, const std::array<char, N>& chars) noexcept {
    static_assert(N >= 8);
    for (std::size_t i = 0; i + 8 < N; i += 8) {
      std::memcpy(to + i, chars.data() + i, 8);
    }
    std::memcpy(to + N - 8, chars.data() + N - 8, 8);
  }

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
