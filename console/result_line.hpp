// The result line that answers one input line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "address_conversion.hpp"

namespace vesk {

// One result line, held by value so that formatting allocates nothing.
struct result_line {
  // The longest line: "255.255.255.255 => 4294967295 (0xffffffff)\n\n".
  static constexpr std::size_t max_size = 44;

  // The text, and room for a word stored past its end. Left uninitialised:
  // the formatter writes every byte of the text, and nothing reads past it.
  std::array<char, max_size + 4> chars;
  // One byte, so that a result_line needs no alignment and can be made in
  // place, anywhere in the output block.
  std::uint8_t size = 0;

  // The formatted text, valid while this value lives.
  [[nodiscard]] std::string_view text() const noexcept { return {chars.data(), size}; }
};

// Formats "a.b.c.d => value (0xhex)" and two line ends: the octets as parsed
// in decimal, then the value in unsigned decimal and in lowercase hex, with
// no leading zeros and no padding.
result_line format_result_line(address_octets octets, encoded_address value) noexcept;

}  // namespace vesk
