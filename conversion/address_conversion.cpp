#include "address_conversion.hpp"

#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

#include "address_conversion_portable.hpp"
#include "byte_scan.hpp"
#include "machine_word.hpp"

namespace vesk {
namespace {

// The characters that the C locale's isspace accepts: the space, and \t, \n,
// \v, \f and \r, which are the consecutive codes 9 to 13. Spelled out
// because std::isspace depends on the locale and is undefined for negative
// chars.
constexpr bool is_c_space(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Walks a line field by field. Each field is read once, from its start to
// the dot that closes it; past the line's last dot no text is left, so a
// field that the line does not reach reads as 0.
class field_cursor {
 public:
  explicit field_cursor(std::string_view line) noexcept
      : pos_(line.data()), end_(line.data() + line.size()) {}

  // Reads the next field as atoi does, saturating outside the int range as
  // Microsoft documents for its current C runtime (glibc's atoi wraps),
  // moves past the dot that closes it, and returns the number's low 8 bits.
  std::uint8_t take_octet() noexcept {
    bool negative = false;
    // A field that starts with a digit has no white space or sign to skip,
    // and most do; testing that first spares them the other checks.
    if (pos_ != end_ && !is_digit(*pos_)) {
      while (pos_ != end_ && is_c_space(*pos_)) {
        ++pos_;
      }
      if (pos_ != end_ && (*pos_ == '+' || *pos_ == '-')) {
        negative = *pos_ == '-';
        ++pos_;
      }
    }
    const std::uint64_t magnitude = take_digits(negative ? 0x8000'0000U : 0x7fff'ffffU);
    // Whatever follows the number up to the next dot is ignored. A long
    // rest, such as the digits after a number that saturated, is searched
    // by memchr, many bytes at a time; a short one byte by byte, which costs
    // less than the call.
    if (end_ - pos_ > 16) {
      const void* dot = std::memchr(pos_, '.', static_cast<std::size_t>(end_ - pos_));
      pos_ = dot != nullptr ? static_cast<const char*>(dot) : end_;
    }
    while (pos_ != end_ && *pos_ != '.') {
      ++pos_;
    }
    if (pos_ != end_) {
      ++pos_;
    }
    // Negating in unsigned arithmetic gives the two's complement bits.
    const std::uint64_t bits = negative ? std::uint64_t{0} - magnitude : magnitude;
    return static_cast<std::uint8_t>(bits & 0xffU);
  }

 private:
  // Reads decimal digits into a magnitude that saturates at `limit`. Once
  // past the limit no further digit can bring the number back, so reading
  // stops there; checking with a branch rather than clamping every step
  // keeps each digit's work to a multiply and an add, and a magnitude of at
  // most 2^31 times 10 plus 9 cannot overflow.
  std::uint64_t take_digits(std::uint32_t limit) noexcept {
    std::uint64_t magnitude = 0;
    for (; pos_ != end_; ++pos_) {
      // Characters below '0' wrap to large values and end the number too.
      const auto digit = static_cast<unsigned char>(*pos_) - unsigned{'0'};
      if (digit > 9) {
        break;
      }
      magnitude = magnitude * 10 + digit;
      if (magnitude > limit) {
        return limit;
      }
    }
    return magnitude;
  }

  const char* pos_;
  const char* end_;
};

// The four bytes at `data`, the first in the low byte.
std::uint32_t load_four(const char* data) noexcept { return load_low_first<std::uint32_t>(data); }

// The numbers in fields of one to four digits, one in each 32-bit half of
// `digits`, each given as its digits' values, one in each byte, the last in
// the half's high byte and zeros before the first: pairs of digits are
// combined in every other byte, then the two pairs. Each half's low 8 bits
// are its number's; no product reaches into the next half.
template <typename Word>
Word four_digit_numbers(Word digits) noexcept {
  const Word pairs = ((digits * 10) + (digits >> 8U)) & static_cast<Word>(0x00ff'00ff'00ff'00ffU);
  return (pairs * 100) + (pairs >> 16U);
}

// The octets of two fields, given as four_digit_numbers takes them: both
// at once where the processor's word has 64 bits, otherwise one at a time.
std::pair<std::uint8_t, std::uint8_t> two_octets(std::uint32_t first,
                                                 std::uint32_t second) noexcept {
  if constexpr (sizeof(machine_word) == 8) {
    const std::uint64_t numbers = four_digit_numbers(first | (std::uint64_t{second} << 32U));
    return {static_cast<std::uint8_t>(numbers), static_cast<std::uint8_t>(numbers >> 32U)};
  } else {
    return {static_cast<std::uint8_t>(four_digit_numbers(first)),
            static_cast<std::uint8_t>(four_digit_numbers(second))};
  }
}

constexpr std::uint32_t ascii_zeros = 0x3030'3030;

// A field of `length` digits that starts at `start`, as its digits' values
// for four_digit_numbers, read from the four bytes there: the bytes after it
// fall off the top. A byte below '0' after the field borrows only from the
// bytes above it, which fall off too.
std::uint32_t field_at_start(const char* start, std::uint32_t length) noexcept {
  return (load_four(start) - ascii_zeros) << (8 * (4 - length));
}

// A field of `length` digits that ends before `end`, read in the same way
// from the four bytes before it: those before the field are cleared before
// '0' is taken away.
std::uint32_t field_at_end(const char* end, std::uint32_t length) noexcept {
  const std::uint32_t field = ~std::uint32_t{0} << (8 * (4 - length));
  return (load_four(end - 4) & field) - (ascii_zeros & field);
}

// Reads a plain line, the usual kind: 8 to 16 bytes that are four fields
// of one to four digits and three dots. One look at the line's bytes marks
// its dots and everything else, and each field is read from one 4-byte load,
// with no branch per digit. Returns whether the line was plain, and then its
// octets in `octets`; any other line is left to the general reading, which
// gives the same octets for a plain line, only more slowly. The octets are
// handed back in place rather than in an optional value, which compilers
// kept in memory, byte by byte.
template <byte_scan::marks (*classify)(const char*, const char*)>
bool parse_plain_line(std::string_view line, address_octets& octets) noexcept {
  const auto size = static_cast<std::uint32_t>(line.size());
  if (line.size() < 8 || line.size() > 16) {
    return false;
  }
  const char* const text = line.data();
  // The first eight bytes and the last eight, which overlap unless the line
  // has sixteen: the marks of the last eight move up to their place.
  const byte_scan::marks marks = classify(text, text + size - 8);
  const std::uint32_t dots = (marks.dots & 0xffU) | (marks.dots >> 8U << (size - 8));
  // The first three dots; a missing one is taken to be at 16, past the
  // line, which also spares the count a test for no bits at all.
  constexpr std::uint32_t missing = 1U << 16U;
  const auto first_dot = static_cast<std::uint32_t>(std::countr_zero(dots | missing));
  std::uint32_t rest = dots & (dots - 1);
  const auto second_dot = static_cast<std::uint32_t>(std::countr_zero(rest | missing));
  rest &= rest - 1;
  const auto third_dot = static_cast<std::uint32_t>(std::countr_zero(rest | missing));
  rest &= rest - 1;
  // Each field's length; a missing dot makes one of them wrap past four.
  const std::uint32_t first = first_dot;
  const std::uint32_t second = second_dot - first_dot - 1;
  const std::uint32_t third = third_dot - second_dot - 1;
  const std::uint32_t fourth = size - third_dot - 1;
  // Together the two halves hold every byte: any mark of another byte counts.
  if (marks.others || rest != 0 || ((first - 1) | (second - 1) | (third - 1) | (fourth - 1)) > 3) {
    return false;
  }
  // The loads stay inside the line: a field is followed by at least four
  // bytes, or preceded by them, as the line's shortest layout shows.
  const auto [first_octet, second_octet] =
      two_octets(field_at_start(text, first), field_at_start(text + first_dot + 1, second));
  const auto [third_octet, fourth_octet] =
      two_octets(field_at_end(text + third_dot, third), field_at_end(text + size, fourth));
  octets = {
      .first = first_octet, .second = second_octet, .third = third_octet, .fourth = fourth_octet};
  return true;
}

// Reads any line, field by field.
address_octets parse_general_line(std::string_view line) noexcept {
  field_cursor fields(line);
  address_octets octets;
  octets.first = fields.take_octet();
  octets.second = fields.take_octet();
  octets.third = fields.take_octet();
  octets.fourth = fields.take_octet();
  return octets;
}

}  // namespace

address_octets parse_address_line(std::string_view line) noexcept {
  address_octets octets;
  if (parse_plain_line<byte_scan::native::classify>(line, octets)) {
    return octets;
  }
  return parse_general_line(line);
}

address_octets parse_address_line_portable(std::string_view line) noexcept {
  address_octets octets;
  if (parse_plain_line<byte_scan::portable::classify>(line, octets)) {
    return octets;
  }
  return parse_general_line(line);
}

encoded_address encode_address(address_octets octets) noexcept {
  constexpr std::uint32_t third_mask = 0x38;   // bits 0x20, 0x10 and 0x08
  constexpr std::uint32_t fourth_mask = 0x40;  // bit 0x40
  // Packed first and inverted after, so that compilers see the packing as
  // the octets' bytes in reverse order: one instruction on most processors.
  return (std::uint32_t{octets.first} << 24U | std::uint32_t{octets.second} << 16U |
          std::uint32_t{octets.third} << 8U | std::uint32_t{octets.fourth}) ^
         (third_mask << 8U | fourth_mask);
}

}  // namespace vesk
