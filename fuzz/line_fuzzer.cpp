// Sends arbitrary bytes down the line path, parse, encode and format, and
// checks what must hold for every line. Any failed check aborts, and the
// sanitizers turn reads outside the line and undefined behaviour into
// findings as well.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "address_conversion.hpp"
#include "address_conversion_portable.hpp"
#include "independent_reading.hpp"
#include "result_line.hpp"

namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// Reads a number from the front of `text` and skips `then` after it.
std::uint32_t read_number(std::string_view& text, int base, std::string_view then) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  require(error == std::errc{}, "result text holds a number where expected");
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  require(text.starts_with(then), "result text has its separators");
  text.remove_prefix(then.size());
  return value;
}

void check_result_text(std::string_view text, vesk::address_octets octets,
                       vesk::encoded_address value) {
  const std::uint32_t first = read_number(text, 10, ".");
  const std::uint32_t second = read_number(text, 10, ".");
  const std::uint32_t third = read_number(text, 10, ".");
  const std::uint32_t fourth = read_number(text, 10, " => ");
  const std::uint32_t decimal = read_number(text, 10, " (0x");
  const std::uint32_t hex = read_number(text, 16, ")\n\n");
  require(text.empty(), "result text ends after its two line ends");
  require(first == octets.first && second == octets.second && third == octets.third &&
              fourth == octets.fourth,
          "result text shows the parsed octets");
  require(decimal == value && hex == value, "result text shows the encoded value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that reading one byte past the line is caught.
  const auto copy = std::make_unique<char[]>(size);
  std::copy_n(data, size, copy.get());
  const std::string_view line(copy.get(), size);

  const vesk::address_octets octets = vesk::parse_address_line(line);
  const vesk::encoded_address value = vesk::encode_address(octets);
  require(octets == vesk::testing::independent_octets(line), "octets match an independent reading");
  require(vesk::parse_address_line_portable(line) == octets, "the portable reading agrees");
  require(value >> 24U == octets.first && (value >> 16U & 0xffU) == octets.second,
          "the high two bytes are the first two octets");
  require(
      ((value >> 8U & 0xffU) ^ octets.third) == 0x38U && ((value & 0xffU) ^ octets.fourth) == 0x40U,
      "the low two bytes differ from the last two octets by 0x38 and 0x40");
  // In a room of exactly its size, so that a store past it is caught.
  const auto room = std::make_unique<char[]>(vesk::result_line_room);
  check_result_text(vesk::format_result_line(octets, value, room.get()), octets, value);

  // Whatever stands after a fourth dot is ignored.
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0, from = 0; i < 4; ++i, from = dot + 1) {
    dot = line.find('.', from);
    if (dot == std::string_view::npos) {
      break;
    }
  }
  if (dot != std::string_view::npos) {
    const std::string replaced = std::string(line.substr(0, dot + 1)) + "-9.x 77";
    require(vesk::parse_address_line(replaced) == octets, "text after the fourth dot is ignored");
  }
  return 0;
}
