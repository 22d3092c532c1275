#include "address_conversion.hpp"

#include <algorithm>
#include <cstddef>

namespace vesk {
namespace {

// The characters that the C locale's isspace accepts. Spelled out because
// std::isspace depends on the locale and is undefined for negative chars.
constexpr bool is_c_space(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Reads `field` as atoi does, saturating outside the int range, and returns
// the low 8 bits of the result.
std::uint8_t octet_from_field(std::string_view field) noexcept {
  std::size_t i = 0;
  while (i < field.size() && is_c_space(field[i])) {
    ++i;
  }
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  // The magnitude is clamped after every digit, so it never exceeds 2^31
  // and the next step never exceeds 2^35: no overflow, whatever the length.
  const std::uint64_t limit = negative ? 0x8000'0000U : 0x7fff'ffffU;
  std::uint64_t magnitude = 0;
  for (; i < field.size(); ++i) {
    // Characters below '0' wrap to large values and end the number too.
    const auto digit = static_cast<unsigned char>(field[i]) - unsigned{'0'};
    if (digit > 9) {
      break;
    }
    magnitude = std::min(magnitude * 10 + digit, limit);
  }
  // Negating in unsigned arithmetic gives the two's complement bits.
  const std::uint64_t bits = negative ? std::uint64_t{0} - magnitude : magnitude;
  return static_cast<std::uint8_t>(bits & 0xffU);
}

// Returns the text of `rest` up to its first dot and removes that text and
// the dot from `rest`. Without a dot the whole of `rest` is the field and
// `rest` becomes empty, so later fields read as empty: no text is read twice.
std::string_view take_field(std::string_view& rest) noexcept {
  const std::size_t dot = rest.find('.');
  const std::string_view field = rest.substr(0, dot);
  rest.remove_prefix(dot == std::string_view::npos ? rest.size() : dot + 1);
  return field;
}

}  // namespace

address_octets parse_address_line(std::string_view line) noexcept {
  address_octets octets;
  octets.first = octet_from_field(take_field(line));
  octets.second = octet_from_field(take_field(line));
  octets.third = octet_from_field(take_field(line));
  octets.fourth = octet_from_field(take_field(line));
  return octets;
}

encoded_address encode_address(address_octets octets) noexcept {
  constexpr std::uint32_t third_mask = 0x38;   // bits 0x20, 0x10 and 0x08
  constexpr std::uint32_t fourth_mask = 0x40;  // bit 0x40
  return std::uint32_t{octets.first} << 24U |
         std::uint32_t{octets.second} << 16U |
         (std::uint32_t{octets.third} ^ third_mask) << 8U |
         (std::uint32_t{octets.fourth} ^ fourth_mask);
}

}  // namespace vesk
