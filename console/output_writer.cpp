#include "output_writer.hpp"

#include <algorithm>

namespace vesk {
namespace {

// The first `size` bytes of `text`, where `size` is at most its length: what
// substr gives, without the range check that would throw.
std::string_view head(std::string_view text, std::size_t size) noexcept {
  text.remove_suffix(text.size() - size);
  return text;
}

}  // namespace

output_writer::output_writer(output_sink sink) noexcept
    // Left uninitialised: every byte is written before it is handed out.
    : sink_(sink), block_(allocate_block(capacity)), failed_(block_ == nullptr) {}

void output_writer::write_crlf(std::string_view text) noexcept {
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
    append(head(text, lf));
    append("\r\n");
    text.remove_prefix(lf + 1);
  }
  append(text);
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

void output_writer::write_through(std::string_view text) noexcept {
  put(block_.get(), used_);
  used_ = 0;
  if (text.size() < capacity) {
    std::memcpy(block_.get(), text.data(), text.size());
    used_ = text.size();
  } else {
    put(text.data(), text.size());
  }
}

bool output_writer::flush() noexcept {
  put(block_.get(), used_);
  used_ = 0;
  return !failed_;
}

}  // namespace vesk
