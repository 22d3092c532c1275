// Looking at many bytes at once, for the line path: where the dots of a
// short line are, and whether it has any byte but dots and digits; and,
// with SSE2, where the line feeds of one look at 64 bytes are. Where bytes
// are, is a mask in which bit i stands for byte i.
//
// classify() exists in portable code on the processor's word, which every
// build has and the tests check. Where VESK_SIMD allows it, it is also
// built with SSE2, which every x86-64 processor has, and `native` names
// that one; otherwise `native` names the portable one. line_feeds() exists
// with SSE2 alone: without it, the C library's memchr finds each line's end
// faster than portable code can look for many at once (see line_reader.cpp).
// This is the program's only use of vector instructions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "machine_word.hpp"

#if VESK_SIMD && (defined(__SSE2__) || defined(_M_X64))
#include <emmintrin.h>
#define VESK_SSE2 1
#endif

namespace vesk::byte_scan {

// The dots of sixteen bytes, as a mask, and whether any of them is neither
// a dot nor a decimal digit.
struct marks {
  std::uint32_t dots = 0;
  bool others = false;
};

// The line feeds of one look, one bit for each byte: a look is as many
// bytes as the processor's word has bits.
using feed_mask = machine_word;
inline constexpr std::size_t line_feed_span = sizeof(feed_mask) * 8;

namespace portable {

using word = machine_word;
inline constexpr std::size_t word_size = sizeof(word);
inline constexpr word each_byte = ~word{0} / 0xffU;
inline constexpr word high_bits = each_byte * 0x80U;

// The bytes at `data`, the first in the low byte.
inline word load_word(const char* data) noexcept { return load_low_first<word>(data); }

// The high bit of each byte of `bytes` that is zero. Exact: no byte carries
// into the next, so no other byte is marked.
constexpr word zero_bytes(word bytes) noexcept {
  return ~(((bytes & ~high_bits) + ~high_bits) | bytes) & high_bits;
}

// The high bit of each byte of `bytes` that is a digit, '0' to '9': a byte
// below 0x80 whose low seven bits reach 0x30 but not 0x3a.
constexpr word digit_bytes(word bytes) noexcept {
  const word low = bytes & ~high_bits;
  const word from_zero = low + (each_byte * (0x80U - '0'));
  const word past_nine = low + (each_byte * (0x80U - '9' - 1));
  return from_zero & ~past_nine & ~bytes & high_bits;
}

// The high bits of the word's bytes, gathered as its lowest bits: byte i's
// is moved to bit i of the top byte by its own power of two, and no two
// products overlap.
constexpr std::uint32_t gather(word high) noexcept {
  word factor = 0;
  for (std::size_t i = 0; i < word_size; ++i) {
    factor |= word{1} << ((8 * (word_size - 1)) - (7 * i));
  }
  return static_cast<std::uint32_t>(((high >> 7U) * factor) >> (8 * (word_size - 1)));
}

// The marks of the eight bytes at `first`, dots as bits 0 to 7, and of the
// eight at `second`, dots as bits 8 to 15.
inline marks classify(const char* first, const char* second) noexcept {
  marks found;
  word others = 0;
  for (std::size_t i = 0; i < 16; i += word_size) {
    const word bytes = load_word(i < 8 ? first + i : second + (i - 8));
    const word dot = zero_bytes(bytes ^ (each_byte * '.'));
    found.dots |= gather(dot) << i;
    others |= high_bits & ~(dot | digit_bytes(bytes));
  }
  found.others = others != 0;
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

// The line feeds among the line_feed_span bytes at `data`: bit i is set
// where byte i is one.
inline feed_mask line_feeds(const char* data) noexcept {
  const __m128i feed = _mm_set1_epi8('\n');
  feed_mask feeds = 0;
  for (std::size_t i = 0; i < line_feed_span; i += 16) {
    feeds |= feed_mask{mask(_mm_cmpeq_epi8(load(data + i), feed))} << i;
  }
  return feeds;
}

inline marks classify(const char* first, const char* second) noexcept {
  const __m128i bytes = load(first, second);
  const __m128i dots = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'));
  // Signed comparisons: bytes from 0x80 on are negative, so below '0'.
  const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
  return {.dots = mask(dots), .others = mask(_mm_or_si128(dots, digits)) != 0xffffU};
}

}  // namespace sse2
namespace native = sse2;
#else
namespace native = portable;
#endif

}  // namespace vesk::byte_scan
