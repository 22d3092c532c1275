// Looking at eight or sixteen bytes at once, for the line path: where the
// line feeds are, and which bytes of a short line are dots, digits or
// anything else. Each answer is a mask in which bit i stands for byte i.
//
// Every function exists in portable code on 64-bit integers, which every
// build has and the tests check. Where VESK_SIMD allows it, the same
// functions are also built with SSE2, which every x86-64 processor has, and
// `native` names those; otherwise `native` names the portable ones. This is
// the program's only use of vector instructions.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if VESK_SIMD && (defined(__SSE2__) || defined(_M_X64))
#include <emmintrin.h>
#define VESK_SSE2 1
#endif

namespace vesk::byte_scan {

// The dots of up to sixteen bytes, and the bytes that are neither dots nor
// decimal digits.
struct marks {
  std::uint32_t dots = 0;
  std::uint32_t others = 0;
};

namespace portable {

inline constexpr std::uint64_t each_byte = 0x0101'0101'0101'0101U;
inline constexpr std::uint64_t high_bits = each_byte * 0x80U;

// The eight bytes at `data`, the first in the low byte, whatever the
// processor's byte order.
inline std::uint64_t load_eight(const char* data) noexcept {
  std::uint64_t word = 0;
  std::memcpy(&word, data, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i, word >>= 8U) {
      swapped = swapped << 8U | (word & 0xffU);
    }
    word = swapped;
  }
  return word;
}

// The high bit of each byte of `word` that is zero. Exact: no byte carries
// into the next, so no other byte is marked.
constexpr std::uint64_t zero_bytes(std::uint64_t word) noexcept {
  return ~(((word & ~high_bits) + ~high_bits) | word) & high_bits;
}

// The high bit of each byte of `word` that is a digit, '0' to '9': a byte
// below 0x80 whose low seven bits reach 0x30 but not 0x3a.
constexpr std::uint64_t digit_bytes(std::uint64_t word) noexcept {
  const std::uint64_t low = word & ~high_bits;
  const std::uint64_t from_zero = low + (each_byte * (0x80U - '0'));
  const std::uint64_t past_nine = low + (each_byte * (0x80U - '9' - 1));
  return from_zero & ~past_nine & ~word & high_bits;
}

// The high bits of the eight bytes, gathered as bits 0 to 7: each is moved
// to bit 56 + i by its own power of two, and no two products overlap.
constexpr std::uint32_t gather(std::uint64_t high) noexcept {
  return static_cast<std::uint32_t>(((high >> 7U) * 0x0102'0408'1020'4080U) >> 56U);
}

// The line feeds among the sixteen bytes at `data`.
inline std::uint32_t line_feeds(const char* data) noexcept {
  const std::uint64_t feeds = each_byte * '\n';
  return gather(zero_bytes(load_eight(data) ^ feeds)) |
         gather(zero_bytes(load_eight(data + 8) ^ feeds)) << 8U;
}

// The marks of the eight bytes at `first` as bits 0 to 7, and of the eight
// at `second` as bits 8 to 15.
inline marks classify(const char* first, const char* second) noexcept {
  const std::uint64_t dots = each_byte * '.';
  const std::uint64_t words[] = {load_eight(first), load_eight(second)};
  marks found;
  for (unsigned i = 0; i < 2; ++i) {
    const std::uint64_t dot = zero_bytes(words[i] ^ dots);
    found.dots |= gather(dot) << (8 * i);
    found.others |= gather(high_bits & ~(dot | digit_bytes(words[i]))) << (8 * i);
  }
  return found;
}

}  // namespace portable

#ifdef VESK_SSE2
namespace sse2 {

// The sixteen bytes at `first`, or the eight at `first` and then the eight
// at `second`; unaligned loads, as SSE2 allows.
inline __m128i load(const char* first) noexcept {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));  // NOLINT: the intrinsic's type
}
inline __m128i load(const char* first, const char* second) noexcept {
  return _mm_unpacklo_epi64(
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)),    // NOLINT: the intrinsic's type
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second)));  // NOLINT: the intrinsic's type
}

inline std::uint32_t mask(__m128i bytes) noexcept {
  return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes));
}

inline std::uint32_t line_feeds(const char* data) noexcept {
  return mask(_mm_cmpeq_epi8(load(data), _mm_set1_epi8('\n')));
}

inline marks classify(const char* first, const char* second) noexcept {
  const __m128i bytes = load(first, second);
  const __m128i dots = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'));
  // Signed comparisons: bytes from 0x80 on are negative, so below '0'.
  const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
  return {.dots = mask(dots), .others = ~mask(_mm_or_si128(dots, digits)) & 0xffffU};
}

}  // namespace sse2
namespace native = sse2;
#else
namespace native = portable;
#endif

}  // namespace vesk::byte_scan
