#include "output_writer.hpp"

#include <algorithm>

namespace vesk {

output_writer::output_writer(std::FILE* stream, line_ends ends, std::size_t largest_write)
    : stream_(stream),
      block_(std::make_unique_for_overwrite<char[]>(capacity)),
      ends_(ends),
      largest_write_(largest_write) {}

void output_writer::write_crlf(std::string_view text) noexcept {
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
    append(text.substr(0, lf));
    append("\r\n");
    text.remove_prefix(lf + 1);
  }
  append(text);
}

void output_writer::put(const char* data, std::size_t size) noexcept {
  while (!failed_ && size > 0) {
    const std::size_t piece = std::min(size, largest_write_);
    failed_ = std::fwrite(data, 1, piece, stream_) != piece;
    data += piece;
    size -= piece;
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
  if (!failed_ && std::fflush(stream_) != 0) {
    failed_ = true;
  }
  return !failed_;
}

}  // namespace vesk
