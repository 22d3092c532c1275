// Address conversion: turns one typed line into four octets and the 32-bit
// encoded value. Pure computation: no state, no input or output, and no
// failures. Every line, however malformed, gives four octets and one value.
#pragma once

#include <cstdint>
#include <string_view>

namespace vesk {

// The four octets of one input line, in the order their fields stand in the
// line, before any bit is inverted. Each is the low 8 bits of its field's
// number.
struct address_octets {
  std::uint8_t first = 0;
  std::uint8_t second = 0;
  std::uint8_t third = 0;
  std::uint8_t fourth = 0;

  // Equal when all four octets are equal.
  friend constexpr bool operator==(const address_octets&, const address_octets&) = default;
};

// The packed address: `first` in the most significant byte, then `second`,
// `third` XOR 0x38 and `fourth` XOR 0x40. Always unsigned.
using encoded_address = std::uint32_t;

// Splits `line` into four fields at its first three dots and reads each
// field as a decimal number. A field that the line does not reach is empty,
// and everything from a fourth dot on is ignored.
//
// Each field reads as the C runtime's atoi reads it: leading white space
// (space, \t, \n, \v, \f, \r) is skipped, one '+' or '-' is taken, then
// decimal digits up to the first other character. No digits give 0, and
// leading zeros or "0x" select no other base. A number beyond the signed
// 32-bit range reads as INT_MAX or INT_MIN, as Microsoft documents atoi in
// its current C runtime (Visual C++ 2005 on, and the Universal CRT); the
// older msvcrt.dll and glibc wrap instead, so that 4294967296 reads as 0
// there and as INT_MAX here. The octet is the low 8 bits of that signed
// number in two's complement: 300 gives 44, -1 gives 255.
address_octets parse_address_line(std::string_view line) noexcept;

// Inverts bits 0x38 of `third` and bit 0x40 of `fourth`, and packs the
// octets most significant first.
encoded_address encode_address(address_octets octets) noexcept;

}  // namespace vesk
