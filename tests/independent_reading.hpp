// An independent reading of an input line, to check the converter against:
// the fields are split with find, and each is read by the C library's
// strtol, whose range is wider than int, clamped to the int range as the
// converter saturates.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "address_conversion.hpp"

namespace vesk::testing {

inline std::uint8_t independent_octet(std::string_view field) {
  const std::string text(field);  // strtol stops at a NUL byte, as atoi does
  const long value =
      std::clamp(std::strtol(text.c_str(), nullptr, 10), long{INT_MIN}, long{INT_MAX});
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xffU);
}

// A field that the line does not reach is empty.
inline address_octets independent_octets(std::string_view line) {
  std::uint8_t octets[4] = {};
  for (auto& octet : octets) {
    const std::size_t dot = line.find('.');
    octet = independent_octet(line.substr(0, dot));
    line.remove_prefix(dot == std::string_view::npos ? line.size() : dot + 1);
  }
  return {.first = octets[0], .second = octets[1], .third = octets[2], .fourth = octets[3]};
}

}  // namespace vesk::testing
