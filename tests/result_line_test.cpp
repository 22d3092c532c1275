#include "result_line.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vesk {
namespace {

// The text that format_result_line writes, in a room of its own.
std::string formatted(address_octets octets, encoded_address value) {
  std::array<char, result_line_room> room{};
  return std::string(format_result_line(octets, value, room.data()));
}

TEST(ResultLine, FormatsOctetsDecimalAndHex) {
  struct format_case {
    address_octets octets;
    encoded_address value;
    std::string want;
  };
  const format_case cases[] = {
      {{192, 168, 1, 10}, 3232250186, "192.168.1.10 => 3232250186 (0xc0a8394a)\n\n"},
      {{0, 0, 0, 0}, 14400, "0.0.0.0 => 14400 (0x3840)\n\n"},
      {{8, 8, 8, 8}, 134754376, "8.8.8.8 => 134754376 (0x8083048)\n\n"},
      {{44, 1, 1, 1}, 738277697, "44.1.1.1 => 738277697 (0x2c013941)\n\n"},
      {{0, 0, 0, 0}, 0, "0.0.0.0 => 0 (0x0)\n\n"},
      {{255, 255, 255, 255}, 4294952895, "255.255.255.255 => 4294952895 (0xffffc7bf)\n\n"},
      // The longest possible line fills the value exactly.
      {{255, 255, 255, 255}, 0xffffffff, "255.255.255.255 => 4294967295 (0xffffffff)\n\n"},
      {{100, 10, 9, 99}, 0x80000000, "100.10.9.99 => 2147483648 (0x80000000)\n\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatted(c.octets, c.value), c.want);
  }
}

// The text that snprintf makes of the same octets and value.
std::string printf_result_line(const std::array<std::uint8_t, 4>& o, encoded_address value) {
  std::array<char, 64> text{};
  const int n = std::snprintf(text.data(), text.size(), "%u.%u.%u.%u => %u (0x%x)\n\n",
                              unsigned{o[0]}, unsigned{o[1]}, unsigned{o[2]}, unsigned{o[3]},
                              unsigned{value}, unsigned{value});
  return {text.data(), static_cast<std::size_t>(n)};
}

// Values at both ends of every digit count, in decimal and in hex, and
// values with 9 and a in every hex position and every decimal digit.
std::vector<encoded_address> values_of_every_width() {
  std::vector<encoded_address> values{0,           0x80000000U, 0xffffffffU, 0x9a9a9a9aU,
                                      0xa9a9a9a9U, 1234567890U, 987654321U};
  for (const std::uint64_t base : {10U, 16U}) {
    for (std::uint64_t power = base; power <= 0xffffffffU; power *= base) {
      values.push_back(static_cast<encoded_address>(power - 1));
      values.push_back(static_cast<encoded_address>(power));
    }
  }
  return values;
}

TEST(ResultLine, EveryOctetInEveryPositionAndEveryWidthOfValue) {
  const std::vector<encoded_address> values = values_of_every_width();
  for (unsigned octet = 0; octet < 256; ++octet) {
    for (std::size_t position = 0; position < 4; ++position) {
      std::array<std::uint8_t, 4> o{7, 42, 199, 100};
      o[position] = static_cast<std::uint8_t>(octet);
      const encoded_address value = values[(std::size_t{octet} * 4 + position) % values.size()];
      EXPECT_EQ(formatted({o[0], o[1], o[2], o[3]}, value), printf_result_line(o, value));
    }
  }
}

}  // namespace
}  // namespace vesk
