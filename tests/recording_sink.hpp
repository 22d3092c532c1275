// An output sink for tests that records what reaches it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output_writer.hpp"

namespace vesk::testing {

// Records each write call and the bytes it took. Takes at most `per_call`
// bytes a call, as a pipe or a terminal may, and `room` bytes in all, as a
// full disk does; a call that finds no room fails.
struct recording_sink {
  std::string bytes;
  std::vector<std::size_t> writes;  // the size asked for in each call
  std::size_t per_call = SIZE_MAX;
  std::size_t room = SIZE_MAX;

  output_sink sink(line_ends ends = line_ends::lf, std::size_t largest_write = SIZE_MAX) {
    const auto write = [](void* context, const char* data, std::size_t size) -> std::ptrdiff_t {
      auto& self = *static_cast<recording_sink*>(context);
      self.writes.push_back(size);
      const std::size_t taken = std::min({size, self.per_call, self.room});
      self.room -= taken;
      self.bytes.append(data, taken);
      return taken == 0 ? -1 : static_cast<std::ptrdiff_t>(taken);
    };
    return {write, this, ends, largest_write};
  }
};

}  // namespace vesk::testing
