// The processor's word, and how bytes are loaded into a number: the one
// place that decides either for the line path.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vesk {

// The widest integer that the processor works on in one step: 64 bits on
// 64-bit processors, 32 on others, where a 64-bit number takes two
// registers and costs more than it saves.
using machine_word = std::conditional_t<sizeof(void*) >= 8, std::uint64_t, std::uint32_t>;

// The sizeof(Word) bytes at `data` as a number whose lowest byte is the
// first of them, whatever the processor's byte order. Compilers make this
// one load, and a byte swap on big-endian processors.
template <typename Word>
Word load_low_first(const char* data) noexcept {
  Word bytes = 0;
  std::memcpy(&bytes, data, sizeof bytes);
  if constexpr (std::endian::native == std::endian::big) {
    Word swapped = 0;
    for (std::size_t i = 0; i < sizeof bytes; ++i, bytes >>= 8U) {
      swapped = static_cast<Word>(swapped << 8U | (bytes & 0xffU));
    }
    bytes = swapped;
  }
  return bytes;
}

}  // namespace vesk
