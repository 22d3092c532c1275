#include "result_line.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>

// Each writer below stores at `out` and returns the position after what it
// wrote. The result_line is sized for the longest line, so none can run out
// of room.
namespace vesk {
namespace {

char* put_text(char* out, std::string_view text) noexcept {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// An octet has one to three digits, so writing them directly is cheaper
// than the general conversion, which first counts the digits.
char* put_octet(char* out, unsigned octet) noexcept {
  if (octet >= 100) {
    *out++ = static_cast<char>('0' + octet / 100);
    octet %= 100;
    *out++ = static_cast<char>('0' + octet / 10);
  } else if (octet >= 10) {
    *out++ = static_cast<char>('0' + octet / 10);
  }
  *out++ = static_cast<char>('0' + octet % 10);
  return out;
}

char* put_number(char* out, char* end, std::uint32_t value, int base = 10) noexcept {
  return std::to_chars(out, end, value, base).ptr;  // cannot fail: there is room
}

}  // namespace

result_line format_result_line(address_octets octets, encoded_address value) noexcept {
  result_line line;
  char* const end = line.chars.data() + line.chars.size();
  char* out = line.chars.data();
  out = put_octet(out, octets.first);
  out = put_text(out, ".");
  out = put_octet(out, octets.second);
  out = put_text(out, ".");
  out = put_octet(out, octets.third);
  out = put_text(out, ".");
  out = put_octet(out, octets.fourth);
  out = put_text(out, " => ");
  out = put_number(out, end, value);
  out = put_text(out, " (0x");
  out = put_number(out, end, value, 16);
  out = put_text(out, ")\n\n");
  line.size = static_cast<std::size_t>(out - line.chars.data());
  return line;
}

}  // namespace vesk
