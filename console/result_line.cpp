#include "result_line.hpp"

#include <charconv>
#include <cstdint>

namespace vesk {
namespace {

// Appends text and numbers to a result_line; its capacity is sized for the
// longest line, so no append can run out of room.
class line_builder {
 public:
  explicit line_builder(result_line& line) noexcept
      : line_(line), end_(line.chars.data() + line.chars.size()) {}

  void put(std::string_view text) noexcept {
    for (const char c : text) {
      line_.chars[line_.size++] = c;
    }
  }

  void put_number(std::uint32_t value, int base) noexcept {
    char* const begin = line_.chars.data() + line_.size;
    const auto [next, error] = std::to_chars(begin, end_, value, base);
    static_cast<void>(error);  // cannot fail: the buffer always has room
    line_.size += static_cast<std::size_t>(next - begin);
  }

 private:
  result_line& line_;
  char* end_;
};

}  // namespace

result_line format_result_line(address_octets octets,
                               encoded_address value) noexcept {
  result_line line;
  line_builder out(line);
  out.put_number(octets.first, 10);
  out.put(".");
  out.put_number(octets.second, 10);
  out.put(".");
  out.put_number(octets.third, 10);
  out.put(".");
  out.put_number(octets.fourth, 10);
  out.put(" => ");
  out.put_number(value, 10);
  out.put(" (0x");
  out.put_number(value, 16);
  out.put(")\n\n");
  return line;
}

}  // namespace vesk
