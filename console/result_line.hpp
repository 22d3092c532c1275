// The result line that answers one input line.
#pragma once

#include <cstddef>
#include <string_view>

#include "address_conversion.hpp"

namespace vesk {

// The room that format_result_line writes in: 44 bytes for the longest
// line, "255.255.255.255 => 4294967295 (0xffffffff)\n\n", and four past it,
// since its last store is of a whole 4-byte word.
inline constexpr std::size_t result_line_room = 48;

// Writes "a.b.c.d => value (0xhex)" and two line ends at `room`, which has
// result_line_room bytes, and returns that text: the octets as parsed in
// decimal, then the value in unsigned decimal and in lowercase hex, with no
// leading zeros and no padding. The bytes of the room past the text are
// left as the writing left them.
std::string_view format_result_line(address_octets octets, encoded_address value,
                                    char* room) noexcept;

}  // namespace vesk
