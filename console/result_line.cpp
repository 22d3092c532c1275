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
template <typename Word>
void put_word(char* out, Word word) noexcept {
  for (std::size_t i = 0; i < sizeof word; ++i) {
    out[i] = static_cast<char>(word >> (8 * (sizeof word - 1 - i)));
  }
}

// Writes `octet` in decimal, one to three digits with no leading zeros, and
// then `after`, with no branch: the digits and `after` are placed in a
// 32-bit word, which is shifted past the leading zeros and stored whole. Its
// bytes past `after` are overwritten by what is written next.
template <char after>
char* put_octet(char* out, unsigned octet) noexcept {
  const unsigned hundreds = (octet * 41) >> 12U;  // octet / 100, exact up to 255
  const unsigned rest = octet - (hundreds * 100);
  const unsigned tens = (rest * 103) >> 10U;  // rest / 10, exact below 100
  const unsigned length =
      1 + static_cast<unsigned>(octet >= 10) + static_cast<unsigned>(octet >= 100);
  const std::uint32_t word = (hundreds << 24U) | (tens << 16U) | ((rest - (tens * 10)) << 8U) |
                             0x3030'3000U | static_cast<unsigned char>(after);
  put_word(out, word << (8 * (3 - length)));
  return out + length + 1;
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
  out = put_octet<'.'>(out, octets.first);
  out = put_octet<'.'>(out, octets.second);
  out = put_octet<'.'>(out, octets.third);
  out = put_octet<' '>(out, octets.fourth);
  out = put_text(out, "=> ");
  out = put_decimal(out, value);
  out = put_text(out, " (0x");
  out = put_hex(out, value);
  out = put_text(out, ")\n\n");
  line.size = static_cast<std::uint8_t>(out - line.chars.data());
  return line;
}

}  // namespace vesk
