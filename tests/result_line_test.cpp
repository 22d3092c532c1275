#include "result_line.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vesk {
namespace {

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
    EXPECT_EQ(format_result_line(c.octets, c.value).text(), c.want);
  }
  EXPECT_EQ(format_result_line({255, 255, 255, 255}, 0xffffffff).size, result_line::max_size);
}

}  // namespace
}  // namespace vesk
