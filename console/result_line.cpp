#include "result_line.hpp"

#include <bit>
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

// The numbers are made several digits at a time, one digit in each byte of
// a 32- or 64-bit number, and stored with one whole-word store: with no
// division per digit, and no branch that varied values would make the
// processor mispredict. The whole word is always stored, also for a number
// with fewer digits; a word stored for a field starts no later than that
// field does in the longest line, where every byte of the word is used, so
// it never runs past the result_line's room.

// Stores the bytes of `word` at `out`, the most significant first,
// whatever the processor's byte order.
void put_word(char* out, std::uint64_t word) noexcept {
  for (std::size_t i = 0; i < sizeof word; ++i) {
    out[i] = static_cast<char>(word >> (8 * (sizeof word - 1 - i)));
  }
}

// Stores the bytes of `word` at `out`, the least significant first.
void put_little_endian(char* out, std::uint32_t word) noexcept {
  for (std::size_t i = 0; i < sizeof word; ++i) {
    out[i] = static_cast<char>(word >> (8 * i));
  }
}

// Writes the four octets in decimal with no leading zeros, each followed by
// its separator: "a.b.c.d ". Each octet has a 32-bit lane of its own, two
// lanes to a 64-bit number, and the lanes are worked on side by side: the
// hundreds, tens and ones become the lane's first three bytes as they stand
// in memory, and the separator its fourth. Then each lane is shifted past
// its leading zeros and stored whole, and `out` moves past what it keeps.
char* put_octets(char* out, address_octets octets) noexcept {
  constexpr std::uint64_t each_lane = 0x0000'0001'0000'0001U;
  constexpr std::uint64_t high_bit = each_lane << 31U;
  const std::uint64_t pairs[] = {octets.first | std::uint64_t{octets.second} << 32U,
                                 octets.third | std::uint64_t{octets.fourth} << 32U};
  const std::uint64_t separators[] = {each_lane * '.', '.' | std::uint64_t{' '} << 32U};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::uint64_t lanes = pairs[i];
    // Exact quotients for numbers this small; no lane's product reaches the next.
    const std::uint64_t hundreds = ((lanes * 41) >> 12U) & (each_lane * 0xf);  // lane / 100
    const std::uint64_t rest = lanes - (hundreds * 100);
    const std::uint64_t tens = ((rest * 103) >> 10U) & (each_lane * 0xf);  // rest / 10
    const std::uint64_t text = hundreds | tens << 8U | (rest - (tens * 10)) << 16U |
                               separators[i] << 24U | (each_lane * 0x30'3030);
    // The high bit of a lane stays set where the lane is at least 10, or
    // 100; it keeps the subtraction from borrowing from the next lane.
    const std::uint64_t from_ten = ((lanes | high_bit) - (each_lane * 10)) & high_bit;
    const std::uint64_t from_hundred = ((lanes | high_bit) - (each_lane * 100)) & high_bit;
    const std::uint64_t zeros =
        ((high_bit & ~from_ten) >> 31U) + ((high_bit & ~from_hundred) >> 31U);
    for (unsigned lane = 0; lane < 2; ++lane) {
      const auto leading = static_cast<unsigned>(zeros >> (32 * lane)) & 3U;
      put_little_endian(out, static_cast<std::uint32_t>(text >> (32 * lane)) >> (8 * leading));
      out += 4 - leading;
    }
  }
  return out;
}

// The eight decimal digits of `value` (less than 10^8), with leading zeros,
// as numbers 0 to 9, one in each byte and the first in the most significant.
// The number is split into lanes side by side in one 64-bit number: two of
// four digits, then four of two, then eight of one. Each split divides every
// lane at once by a multiplication and a shift, exact for lanes this small,
// and no lane's product reaches into the next.
std::uint64_t decimal_digits(std::uint32_t value) noexcept {
  std::uint64_t lanes = (std::uint64_t{value / 10'000} << 32U) | (value % 10'000);
  const std::uint64_t hundreds = ((lanes * 5243) >> 19U) & 0x0000'007f'0000'007fU;  // lane / 100
  lanes = (hundreds << 16U) | (lanes - (hundreds * 100));
  const std::uint64_t tens = ((lanes * 103) >> 10U) & 0x000f'000f'000f'000fU;  // lane / 10
  return (tens << 8U) | (lanes - (tens * 10));
}

// Writes `value` in decimal with no leading zeros: the digits before the
// last eight (none, or one or two, since 2^32 has ten), then the last eight,
// whose leading zeros are dropped when nothing stands before them. Both
// leading digits are stored and the pointer moves past as many as there
// are, so that no branch depends on the value.
char* put_decimal(char* out, std::uint32_t value) noexcept {
  constexpr std::uint32_t hundred_million = 100'000'000;
  const std::uint32_t high = value / hundred_million;   // 0 to 42
  const std::uint32_t high_tens = (high * 103) >> 10U;  // high / 10
  const std::uint32_t high_ones = high - (high_tens * 10);
  const std::uint32_t high_length =
      static_cast<unsigned>(high > 0) + static_cast<unsigned>(high >= 10);
  out[0] = static_cast<char>('0' + (high_length == 2 ? high_tens : high_ones));
  out[1] = static_cast<char>('0' + high_ones);
  out += high_length;
  std::uint64_t low = decimal_digits(value % hundred_million);
  // A byte of zero bits is a leading zero; they count only without high digits.
  const int zeros = high_length == 0 ? std::countl_zero(low | 1U) / 8 : 0;
  low <<= 8 * zeros;
  put_word(out, low + 0x3030'3030'3030'3030U);  // '0' added to every digit
  return out + 8 - zeros;
}

// Writes `value` in lowercase hexadecimal with no leading zeros: one digit
// for each four bits up to the highest one that is set. Each four bits are
// spread into a byte of their own; then '0' is added to every byte, and the
// distance from '9' + 1 to 'a' as well to each byte above 9, which adding 6
// carries into the byte's upper half.
char* put_hex(char* out, std::uint32_t value) noexcept {
  const int bits = 32 - std::countl_zero(value | 1U);  // up to the highest set bit
  const int length = (bits + 3) / 4;
  std::uint64_t digits = value;
  digits = (digits | digits << 16U) & 0x0000'ffff'0000'ffffU;
  digits = (digits | digits << 8U) & 0x00ff'00ff'00ff'00ffU;
  digits = (digits | digits << 4U) & 0x0f0f'0f0f'0f0f'0f0fU;
  const std::uint64_t above_nine =
      ((digits + 0x0606'0606'0606'0606U) >> 4U) & 0x0101'0101'0101'0101U;
  digits += 0x3030'3030'3030'3030U + (above_nine * ('a' - '0' - 10));
  put_word(out, digits << (8 * (8 - length)));
  return out + length;
}

}  // namespace

result_line format_result_line(address_octets octets, encoded_address value) noexcept {
  result_line line;
  char* out = line.chars.data();
  out = put_octets(out, octets);
  out = put_text(out, "=> ");
  out = put_decimal(out, value);
  out = put_text(out, " (0x");
  out = put_hex(out, value);
  out = put_text(out, ")\n\n");
  line.size = static_cast<std::uint8_t>(out - line.chars.data());
  return line;
}

}  // namespace vesk
