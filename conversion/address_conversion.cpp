#include "address_conversion.hpp"

#include <cstddef>

namespace vesk {
namespace {

// The characters that the C locale's isspace accepts: the space, and \t, \n,
// \v, \f and \r, which are the consecutive codes 9 to 13. Spelled out
// because std::isspace depends on the locale and is undefined for negative
// chars.
constexpr bool is_c_space(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Walks a line field by field. Each field is read once, from its start to
// the dot that closes it; past the line's last dot no text is left, so a
// field that the line does not reach reads as 0.
class field_cursor {
 public:
  explicit field_cursor(std::string_view line) noexcept
      : pos_(line.data()), end_(line.data() + line.size()) {}

  // Reads the next field as atoi does, saturating outside the int range as
  // Microsoft documents for its current C runtime (glibc's atoi wraps),
  // moves past the dot that closes it, and returns the number's low 8 bits.
  std::uint8_t take_octet() noexcept {
    bool negative = false;
    // A field that starts with a digit has no white space or sign to skip,
    // and most do; testing that first spares them the other checks.
    if (pos_ != end_ && !is_digit(*pos_)) {
      while (pos_ != end_ && is_c_space(*pos_)) {
        ++pos_;
      }
      if (pos_ != end_ && (*pos_ == '+' || *pos_ == '-')) {
        negative = *pos_ == '-';
        ++pos_;
      }
    }
    const std::uint64_t magnitude = take_digits(negative ? 0x8000'0000U : 0x7fff'ffffU);
    // Whatever follows the number up to the next dot is ignored.
    while (pos_ != end_ && *pos_ != '.') {
      ++pos_;
    }
    if (pos_ != end_) {
      ++pos_;
    }
    // Negating in unsigned arithmetic gives the two's complement bits.
    const std::uint64_t bits = negative ? std::uint64_t{0} - magnitude : magnitude;
    return static_cast<std::uint8_t>(bits & 0xffU);
  }

 private:
  // Reads decimal digits into a magnitude that saturates at `limit`. Once
  // past the limit no further digit can bring the number back, so reading
  // stops there; checking with a branch rather than clamping every step
  // keeps each digit's work to a multiply and an add, and a magnitude of at
  // most 2^31 times 10 plus 9 cannot overflow.
  std::uint64_t take_digits(std::uint32_t limit) noexcept {
    std::uint64_t magnitude = 0;
    for (; pos_ != end_; ++pos_) {
      // Characters below '0' wrap to large values and end the number too.
      const auto digit = static_cast<unsigned char>(*pos_) - unsigned{'0'};
      if (digit > 9) {
        break;
      }
      magnitude = magnitude * 10 + digit;
      if (magnitude > limit) {
        return limit;
      }
    }
    return magnitude;
  }

  const char* pos_;
  const char* end_;
};

}  // namespace

address_octets parse_address_line(std::string_view line) noexcept {
  field_cursor fields(line);
  address_octets octets;
  octets.first = fields.take_octet();
  octets.second = fields.take_octet();
  octets.third = fields.take_octet();
  octets.fourth = fields.take_octet();
  return octets;
}

encoded_address encode_address(address_octets octets) noexcept {
  constexpr std::uint32_t third_mask = 0x38;   // bits 0x20, 0x10 and 0x08
  constexpr std::uint32_t fourth_mask = 0x40;  // bit 0x40
  return std::uint32_t{octets.first} << 24U | std::uint32_t{octets.second} << 16U |
         (std::uint32_t{octets.third} ^ third_mask) << 8U |
         (std::uint32_t{octets.fourth} ^ fourth_mask);
}

}  // namespace vesk
