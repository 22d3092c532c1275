#include "output_writer.hpp"

#include <algorithm>

namespace vesk {

output_writer::output_writer(output_sink sink) noexcept
    // Left uninitialised: only the bytes that callers commit are handed out.
    : sink_(sink), block_(allocate_block(capacity)), failed_(block_ == nullptr) {}

// Puts a CR before each line feed of the `size` bytes at `text`, in place,
// moving the bytes after it along: room for as many more bytes follows
// them. Returns their new number.
std::size_t output_writer::add_carriage_returns(char* text, std::size_t size) noexcept {
  const auto feeds = static_cast<std::size_t>(std::count(text, text + size, '\n'));
  // From the end, each byte moves by the CRs still to be put before it.
  for (std::size_t from = size, to = size + feeds; to != from;) {
    text[--to] = text[--from];
    if (text[from] == '\n') {
      text[--to] = '\r';
    }
  }
  return size + feeds;
}

// Text too long for one reserve(): with LF line ends, written out straight
// after the block, with no copy; with CR LF, copied into the block in
// pieces, where commit() adds the CRs.
void output_writer::write_long(std::string_view text) noexcept {
  if (sink_.ends == line_ends::lf) {
    write_block();
    put(text.data(), text.size());
    return;
  }
  while (!failed_ && !text.empty()) {
    std::string_view piece = text;
    piece.remove_suffix(text.size() - std::min(text.size(), largest_reserve));
    write(piece);
    text.remove_prefix(piece.size());
  }
}

void output_writer::put(const char* data, std::size_t size) noexcept {
  while (!failed_ && size > 0) {
    const std::ptrdiff_t written =
        sink_.write(sink_.context, data, std::min(size, sink_.largest_write));
    failed_ = written <= 0;
    if (!failed_) {
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  }
}

void output_writer::write_block() noexcept {
  put(block_.get(), used_);
  used_ = 0;
}

bool output_writer::flush() noexcept {
  write_block();
  return !failed_;
}

}  // namespace vesk
