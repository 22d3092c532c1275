// Looking at many bytes at once, for the line path: where the line feeds
// of one look are (64 bytes, or 32 on 32-bit processors), where the dots of
// a short line are, and whether it has anything but dots and digits. Both
// are given as masks in which bit i stands for byte i.
//
// Every function exists in portable code on the processor's widest
// integers, which every build has and the tests check. Where VESK_SIMD allows it, the same
// functions are also built with SSE2, which every x86-64 processor has, and
// `native` names those; otherwise `native` names the portable ones. This is
// the program's only use of vector instructions.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if VESK_SIMD && (defined(__SSE2__) || defined(_M_X64))
#include <emmintrin.h>
#define VESK_SSE2 1
#endif

namespace vesk::byte_scan {

// The dots of up to sixteen bytes, and whether any byte is neither a dot
// nor a decimal digit: `others` is not 0 if there is one.
struct marks {
  std::uint32_t dots = 0;
  std::uint32_t others = 0;
};

// The widest integer that the processor works on in one step: eight bytes
// at a time on 64-bit processors, four on 32-bit ones.
using word = std::conditional_t<sizeof(void*) >= 8, std::uint64_t, std::uint32_t>;

// The line feeds of one look, one bit for each byte: 64 bytes at once on
// 64-bit processors, 32 on others, where a wider mask costs more than it
// saves.
using feed_mask = word;
inline constexpr std::size_t line_feed_span = sizeof(feed_mask) * 8;

namespace portable {

inline constexpr std::size_t word_size = sizeof(word);
inline constexpr word each_byte = ~word{0} / 0xffU;
inline constexpr word high_bits = each_byte * 0x80U;

// The bytes at `data`, the first in the low byte, whatever the processor's
// byte order.
inline word load_word(const char* data) noexcept {
  word bytes = 0;
  std::memcpy(&bytes, data, word_size);
  if constexpr (std::endian::native == std::endian::big) {
    word swapped = 0;
    for (std::size_t i = 0; i < word_size; ++i, bytes >>= 8U) {
      swapped = swapped << 8U | (bytes & 0xffU);
    }
    bytes = swapped;
  }
  return bytes;
}

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

// The line feeds among the line_feed_span bytes at `data`: bit i is set
// where byte i is one.
inline feed_mask line_feeds(const char* data) noexcept {
  feed_mask feeds = 0;
  for (std::size_t i = 0; i < line_feed_span; i += word_size) {
    const word found = zero_bytes(load_word(data + i) ^ (each_byte * '\n'));
    feeds |= feed_mask{gather(found)} << i;
  }
  return feeds;
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
  found.others = static_cast<std::uint32_t>(others != 0);
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
  return {.dots = mask(dots), .others = ~mask(_mm_or_si128(dots, digits)) & 0xffffU};
}

}  // namespace sse2
namespace native = sse2;
#else
namespace native = portable;
#endif

}  // namespace vesk::byte_scan
