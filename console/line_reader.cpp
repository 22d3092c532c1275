#include "line_reader.hpp"

#include <algorithm>
#include <cstdint>
#include <new>

namespace vesk {
namespace {

constexpr std::size_t initial_capacity = std::size_t{64} * 1024;

// On Windows, Ctrl-Z at the start of a line ends console input. The C
// runtime ends file and pipe input at a Ctrl-Z itself, but whether a console
// reports it as the end depends on the console, so it is checked here too.
// Elsewhere Ctrl-Z is an ordinary character.
constexpr bool ends_input([[maybe_unused]] std::string_view line) noexcept {
#ifdef _WIN32
  return line.starts_with('\x1a');
#else
  return false;
#endif
}

}  // namespace

line_reader::line_reader(std::istream& in, output_writer& tie)
    : in_(in),
      tie_(tie),
      buffer_(std::make_unique_for_overwrite<char[]>(initial_capacity)),
      capacity_(initial_capacity) {}

std::optional<std::string_view> line_reader::next_line() {
  for (;;) {
    const std::string_view unscanned(buffer_.get() + scanned_, tail_ - scanned_);
    const std::size_t line_feed = unscanned.find('\n');
    if (line_feed != std::string_view::npos) {
      return hand_out(take_line(scanned_ + line_feed));
    }
    // Remember how far we looked, so that a long line arriving in many
    // pieces is searched once, not once per piece.
    scanned_ = tail_;
    if (at_end_) {
      if (head_ == tail_) {
        return std::nullopt;
      }
      return hand_out(take_line(tail_));  // the last line had no line feed
    }
    if (!refill()) {
      return std::nullopt;
    }
  }
}

// Returns `line`, unless it ends the input; then nothing more is read.
std::optional<std::string_view> line_reader::hand_out(std::string_view line) noexcept {
  if (ends_input(line)) {
    at_end_ = true;
    head_ = scanned_ = tail_;
    return std::nullopt;
  }
  return line;
}

// Hands out the bytes from head_ to `end` and skips the line feed at `end`,
// if there is one.
std::string_view line_reader::take_line(std::size_t end) noexcept {
  const std::string_view line(buffer_.get() + head_, end - head_);
  head_ = std::min(end + 1, tail_);
  scanned_ = head_;
  return line;
}

// Reads whatever the stream has ready, waiting if it has nothing. Returns
// false if the tied writer failed, in which case nothing is read.
bool line_reader::refill() {
  if (!make_room()) {
    return false;
  }
  if (at_end_) {
    return true;  // the line did not fit in memory
  }
  // in_avail() counts what the stream holds and, where the system can tell,
  // what has arrived but not yet been read. While there is any, reading does
  // not wait, so the output need not be seen yet: batch input is answered
  // in large blocks. Only before a read that may wait is the output flushed.
  if (in_.rdbuf()->in_avail() <= 0) {
    if (!tie_.flush()) {
      return false;
    }
    if (in_.peek() == std::istream::traits_type::eof()) {
      at_end_ = true;
      failed_ = in_.bad();
      return true;
    }
  }
  const auto space = static_cast<std::streamsize>(capacity_ - tail_);
  tail_ += static_cast<std::size_t>(in_.readsome(buffer_.get() + tail_, space));
  if (in_.bad()) {
    at_end_ = true;
    failed_ = true;
  }
  return true;
}

// Moves the unread bytes to the front of the buffer, and doubles the buffer
// when a single line fills it. Once a long line has been handed out, the
// buffer returns to its first size, so that one long line does not hold its
// memory for the rest of the session. Returns false if the tied writer failed.
bool line_reader::make_room() {
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
      return false;
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
  return true;
}

// Moves the unread bytes into a buffer of `capacity` bytes. Returns false,
// leaving the buffer as it was, if the memory could not be had.
bool line_reader::resize(std::size_t capacity) noexcept {
  try {
    // Left uninitialised, so pages are touched only as a line fills them.
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::copy(buffer_.get(), buffer_.get() + tail_, buffer.get());
    buffer_ = std::move(buffer);
    capacity_ = capacity;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace vesk
