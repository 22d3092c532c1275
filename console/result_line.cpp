#include "result_line.hpp"

#include <bit>
#include <cstdint>
#include <string_view>

#include "machine_word.hpp"

// Each writer below stores at `out` and returns the position after what it
// wrote. The numbers are made several digits at a time, one digit in each
// byte of a 32- or 64-bit number, and stored with one whole-word store: with
// no division per digit, and no branch that varied values would make the
// processor mispredict. The whole word is always stored, also for a number
// with fewer digits; its bytes past the number are overwritten by what is
// written next, and the room has space past the longest text for the last
// word's.
namespace vesk {
namespace {

// Stores the bytes of `word` at `out`, the least significant first,
// whatever the processor's byte order. Compilers make this one store.
template <typename Word>
void put_low_first(char* out, Word word) noexcept {
  for (std::size_t i = 0; i < sizeof word; ++i) {
    out[i] = static_cast<char>(word >> (8 * i));
  }
}

// Stores the bytes of `word` at `out`, the most significant first.
template <typename Word>
void put_high_first(char* out, Word word) noexcept {
  for (std::size_t i = 0; i < sizeof word; ++i) {
    out[i] = static_cast<char>(word >> (8 * (sizeof word - 1 - i)));
  }
}

// The bits taken by the leading zeros of `digits`, a number's digits one in
// each byte from the low byte up: a multiple of 8, at most `most`, so that
// the digit at bit `most` stays even when it is zero.
template <unsigned most, typename Word>
unsigned leading_zero_bits(Word digits) noexcept {
  return static_cast<unsigned>(std::countr_zero(digits | Word{1} << most)) & ~7U;
}

// Octets are made two at a time where the processor's word has 64 bits, and
// one at a time on others.
using lanes = machine_word;

// The decimal digits of the octets in each 32-bit half of `octets`: each
// octet's hundreds, tens and ones in bytes 0 to 2 of its half. The halves
// are divided at once, exactly: no product reaches into the next half.
lanes octet_digits(lanes octets) noexcept {
  constexpr auto low_nibbles = static_cast<lanes>(0x0000'000f'0000'000fU);
  const lanes hundreds = ((octets * 41) >> 12U) & low_nibbles;  // octet / 100
  const lanes rest = octets - (hundreds * 100);
  const lanes tens = ((rest * 103) >> 10U) & low_nibbles;  // rest / 10
  return hundreds | (tens << 8U) | ((rest - (tens * 10)) << 16U);
}

// Writes an octet, given as its digits in bytes 0 to 2 of `digits`, with no
// leading zeros, and then `after`: `after` goes into byte 3, and the word is
// shifted down past the leading zeros.
template <char after>
char* put_octet(char* out, std::uint32_t digits) noexcept {
  const unsigned zeros = leading_zero_bits<16>(digits);
  put_low_first(
      out,
      (digits | 0x0030'3030U | std::uint32_t{static_cast<unsigned char>(after)} << 24U) >> zeros);
  return out + 4 - (zeros / 8);
}

// The eight decimal digits of `value` (less than 10^8), with leading zeros,
// as numbers 0 to 9, one in each byte and the first in the lowest. The
// number is split into lanes side by side in one 64-bit number: two of four
// digits, then four of two, then eight of one. Each split divides every lane
// at once by a multiplication and a shift, exact for lanes this small, and
// no lane's product reaches into the next.
std::uint64_t decimal_digits(std::uint32_t value) noexcept {
  std::uint64_t lanes = (value / 10'000) | (std::uint64_t{value % 10'000} << 32U);
  const std::uint64_t hundreds = ((lanes * 5243) >> 19U) & 0x0000'007f'0000'007fU;  // lane / 100
  lanes = hundreds | ((lanes - (hundreds * 100)) << 16U);
  const std::uint64_t tens = ((lanes * 103) >> 10U) & 0x000f'000f'000f'000fU;  // lane / 10
  return tens | ((lanes - (tens * 10)) << 8U);
}

// Writes `value` in decimal with no leading zeros: the digits before the
// last eight (none, or one or two, since 2^32 has ten), then the last eight,
// whose leading zeros are dropped when nothing stands before them. The two
// leading digits are stored even where there are fewer, and the position
// moves past as many as there are.
char* put_decimal(char* out, std::uint32_t value) noexcept {
  constexpr std::uint32_t hundred_million = 100'000'000;
  const std::uint32_t high = value / hundred_million;   // 0 to 42
  const std::uint32_t high_tens = (high * 103) >> 10U;  // high / 10
  const std::uint32_t high_digits = high_tens | ((high - (high_tens * 10)) << 8U);
  const unsigned high_zeros = leading_zero_bits<16>(high_digits);  // 16 when high is 0
  put_low_first(out, static_cast<std::uint16_t>((high_digits + 0x3030U) >> high_zeros));
  out += 2 - (high_zeros / 8);
  const std::uint64_t low = decimal_digits(value - (high * hundred_million));
  const unsigned low_zeros = high == 0 ? leading_zero_bits<56>(low) : 0;
  put_low_first(out, (low + 0x3030'3030'3030'3030U) >> low_zeros);
  return out + 8 - (low_zeros / 8);
}

// Writes `value` in lowercase hexadecimal with no leading zeros: one digit
// for each four bits up to the highest one that is set. Each four bits are
// spread into a byte of their own, the last in the lowest; then '0' is added
// to every byte, and the distance from '9' + 1 to 'a' as well to each byte
// above 9, which adding 6 carries into the byte's upper half. The digits are
// shifted up past the leading zeros and stored the highest first.
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
  put_high_first(out, digits << (8 * (8 - length)));
  return out + length;
}

// Writes `text`, at most four bytes, with one 4-byte store: bytes past the
// text are overwritten by what is written next, or lie past the line's end.
char* put_text(char* out, std::string_view text) noexcept {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    word |= std::uint32_t{static_cast<unsigned char>(text[i])} << (8 * i);
  }
  put_low_first(out, word);
  return out + text.size();
}

}  // namespace

std::string_view format_result_line(address_octets octets, encoded_address value,
                                    char* room) noexcept {
  char* out = room;
  if constexpr (sizeof(lanes) == 8) {
    const lanes first_two = octet_digits(octets.first | (lanes{octets.second} << 32U));
    const lanes last_two = octet_digits(octets.third | (lanes{octets.fourth} << 32U));
    out = put_octet<'.'>(out, static_cast<std::uint32_t>(first_two));
    out = put_octet<'.'>(out, static_cast<std::uint32_t>(first_two >> 32U));
    out = put_octet<'.'>(out, static_cast<std::uint32_t>(last_two));
    out = put_octet<' '>(out, static_cast<std::uint32_t>(last_two >> 32U));
  } else {
    out = put_octet<'.'>(out, octet_digits(octets.first));
    out = put_octet<'.'>(out, octet_digits(octets.second));
    out = put_octet<'.'>(out, octet_digits(octets.third));
    out = put_octet<' '>(out, octet_digits(octets.fourth));
  }
  out = put_text(out, "=> ");
  out = put_decimal(out, value);
  out = put_text(out, " (0x");
  out = put_hex(out, value);
  out = put_text(out, ")\n\n");
  return {room, static_cast<std::size_t>(out - room)};
}

}  // namespace vesk
