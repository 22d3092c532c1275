// Line-at-a-time input that waits for the stream only when it must.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "byte_scan.hpp"
#include "heap_block.hpp"
#include "output_writer.hpp"

namespace vesk {

// Where the line reader's bytes come from: a plain value, so that tests can
// give the reader sources that trickle, fail or report what has arrived.
struct input_source {
  // Reads into `data` at most `size` bytes of whatever input has arrived,
  // waiting if none has. Returns how many it read, 0 at the end of the
  // input, or -1 if reading failed.
  std::ptrdiff_t (*read)(void* context, char* data, std::size_t size);
  // False only if input is known to have arrived, so that a read would not
  // wait. Where that cannot be told, true: the answer only decides when
  // output is flushed, and a needless flush costs a write, not correctness.
  bool (*may_wait)(void* context);
  void* context = nullptr;
  // Whether a line that starts with Ctrl-Z ends the input, as it does for
  // console programs on Windows.
  bool control_z_ends_input = false;
};

// Reads lines from a source through a buffer of its own. It takes from the
// source whatever has already arrived, hands out every complete line in it,
// and asks the source for more only when no complete line is left. Just
// before a read that may wait for the user, it flushes the tied writer, so
// a prompt is always seen before the program waits. Batch input thus
// produces output in large blocks through the same code path.
//
// The buffer grows to hold a long line and shrinks again once it has been
// handed out; it never holds the whole input. A line that does not fit in
// memory ends the input as a failed read does, and so does a reader whose
// first buffer could not be allocated.
class line_reader {
 public:
  line_reader(input_source source, output_writer& tie) noexcept;

  // Returns the next line without its line feed. A last line without a line
  // feed is returned too. The view stays valid until the next call.
  // Returns nothing at the end of the input (a line that starts with Ctrl-Z
  // included, where the source says so), after a failed read, for a line
  // that does not fit in memory, and when the tied writer has failed, since
  // no answer could reach the reader then.
  std::optional<std::string_view> next_line() noexcept;

  // True once reading failed or a line did not fit in memory, as opposed to
  // reaching the end of the input; true from the start if the first buffer
  // could not be allocated.
  [[nodiscard]] bool failed() const noexcept { return failed_; }

 private:
  std::optional<std::string_view> unless_control_z(std::string_view line) noexcept;
  std::string_view take_line(std::size_t end) noexcept;
  void refill() noexcept;
  void make_room() noexcept;
  bool resize(std::size_t capacity) noexcept;

  input_source source_;
  output_writer& tie_;
  heap_block buffer_;
  std::size_t capacity_;
  std::size_t head_ = 0;     // first byte not yet handed out
  std::size_t scanned_ = 0;  // bytes before this hold no unread line feed but those in feeds_
  std::size_t tail_ = 0;     // end of the bytes read so far
  // With SSE2, the unread line feeds of the last look at many bytes, which
  // ended at scanned_: bit i stands for the byte at scanned_ - line_feed_span + i.
  byte_scan::feed_mask feeds_ = 0;
  bool at_end_;
  bool failed_;
};

}  // namespace vesk
