// Standard input and output, set up for the prompt loop.
#pragma once

#include <cstddef>
#include <cstdio>
#include <istream>

#include "output_writer.hpp"

namespace vesk {

// Standard input as a stream that reads large blocks and whose in_avail()
// counts input that has arrived but not yet been read, where the system can
// tell; the line reader flushes output only before a read that may wait.
std::istream& standard_input();

// Standard output, and how the output writer is to write to it.
struct output_stream {
  std::FILE* file;            // unbuffered, so that the writer's blocks reach the system whole
  line_ends ends;             // how lines end on this platform
  std::size_t largest_write;  // the most that one write may hand to the system
};
output_stream standard_output();

}  // namespace vesk
