#include "line_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>

#include "byte_scan.hpp"

namespace vesk {
namespace {

constexpr std::size_t initial_capacity = block_size;

}  // namespace

line_reader::line_reader(input_source source, output_writer& tie) noexcept
    : source_(source),
      tie_(tie),
      buffer_(allocate_block(initial_capacity)),
      capacity_(buffer_ ? initial_capacity : 0),
      at_end_(buffer_ == nullptr),
      failed_(buffer_ == nullptr) {}

std::optional<std::string_view> line_reader::next_line() noexcept {
  for (;;) {
    if (tie_.failed()) {
      return std::nullopt;  // no answer could reach the reader
    }
#ifdef VESK_SSE2
    // The fast path, with SSE2. Most lines are short: one look at the next
    // 64 bytes, where as many have been read, marks the line feeds of
    // several lines at once, and each line takes the next mark. Finding a
    // line's end then does not wait for the loads and compares that found
    // the line before it. Without SSE2 the plain path below, the C
    // library's memchr for each line, serves alone: a look in portable code
    // took 1.06 times as long as memchr on the hostile mix, whose lines are
    // longer, for 0.97 times on typical lines (x86-64 without intrinsics),
    // and the C libraries' memchr is vector code on most processors.
    constexpr std::size_t span = byte_scan::line_feed_span;
    if (feeds_ != 0) {
      const auto feed = static_cast<std::size_t>(std::countr_zero(feeds_));
      feeds_ &= feeds_ - 1;
      return unless_control_z(take_line(scanned_ - span + feed));
    }
    if (tail_ - scanned_ >= span) {
      feeds_ = byte_scan::sse2::line_feeds(buffer_.get() + scanned_);
      scanned_ += span;
      if (feeds_ != 0) {
        continue;
      }
      // A line longer than a look: memchr finds its end, many bytes a step.
    }
#endif
    const std::string_view unscanned(buffer_.get() + scanned_, tail_ - scanned_);
    const std::size_t line_feed = unscanned.find('\n');
    if (line_feed != std::string_view::npos) {
      const std::string_view line = take_line(scanned_ + line_feed);
      scanned_ = head_;
      return unless_control_z(line);
    }
    // Remember how far we looked, so that a long line arriving in many
    // pieces is searched once, not once per piece.
    scanned_ = tail_;
    if (at_end_) {
      if (head_ == tail_) {
        return std::nullopt;
      }
      const std::string_view last(buffer_.get() + head_, tail_ - head_);  // with no line feed
      head_ = tail_;
      return unless_control_z(last);
    }
    refill();
  }
}

// Returns `line`, unless it starts with Ctrl-Z where the source says that
// such a line ends the input: then nothing more is read or handed out.
std::optional<std::string_view> line_reader::unless_control_z(std::string_view line) noexcept {
  if (source_.control_z_ends_input && line.starts_with('\x1a')) {
    at_end_ = true;
    head_ = scanned_ = tail_;
    feeds_ = 0;
    return std::nullopt;
  }
  return line;
}

// Hands out the bytes from head_ to `end`, where a line feed stands, and
// moves past that line feed.
std::string_view line_reader::take_line(std::size_t end) noexcept {
  const std::string_view line(buffer_.get() + head_, end - head_);
  head_ = end + 1;
  return line;
}

// Reads whatever the source has ready, waiting if it has nothing, or ends
// the input: at its end, when reading fails, and when the line does not fit
// in memory. Reads nothing if the tied writer fails first.
void line_reader::refill() noexcept {
  make_room();
  // While input is known to have arrived, reading does not wait, so the
  // output need not be seen yet: batch input is answered in large blocks.
  // Only before a read that may wait is the output flushed.
  if (at_end_ || tie_.failed() || (source_.may_wait(source_.context) && !tie_.flush())) {
    return;
  }
  const std::ptrdiff_t read =
      source_.read(source_.context, buffer_.get() + tail_, capacity_ - tail_);
  if (read > 0) {
    tail_ += static_cast<std::size_t>(read);
  } else {
    at_end_ = true;
    failed_ = read < 0;
  }
}

// Moves the unread bytes to the front of the buffer, and doubles the buffer
// when a single line fills it. Once a long line has been handed out, the
// buffer returns to its first size, so that one long line does not hold its
// memory for the rest of the session.
void line_reader::make_room() noexcept {
  if (head_ > 0) {
    std::copy(buffer_.get() + head_, buffer_.get() + tail_, buffer_.get());
    tail_ -= head_;
    scanned_ -= head_;
    head_ = 0;
  }
  if (tail_ == capacity_) {
    // Every answer made so far goes out before the buffer grows, so that
    // none is lost if the system ends the program for the memory it takes.
    if (!tie_.flush()) {
      return;  // nothing can be answered any more
    }
    if (capacity_ > SIZE_MAX / 2 || !resize(capacity_ * 2)) {
      // The line does not fit in memory. It is dropped, and reading ends
      // as after a failed read: the answers made so far still go out.
      head_ = scanned_ = tail_;
      at_end_ = failed_ = true;
    }
  } else if (capacity_ > initial_capacity && tail_ <= initial_capacity / 2) {
    (void)resize(initial_capacity);  // if memory is short, the larger buffer serves as well
  }
}

// Makes the buffer `capacity` bytes long, keeping the bytes read so far.
// Returns false, leaving the buffer as it was, if the memory could not be
// had. realloc can grow a large block by moving its pages rather than
// copying them, and leaves the new part untouched until a line fills it.
bool line_reader::resize(std::size_t capacity) noexcept {
  char* const resized = static_cast<char*>(std::realloc(buffer_.get(), capacity));
  if (resized == nullptr) {
    return false;  // the old block is unchanged and still ours
  }
  (void)buffer_.release();  // realloc has freed or reused it
  buffer_.reset(resized);
  capacity_ = capacity;
  return true;
}

}  // namespace vesk
