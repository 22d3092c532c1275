// Standard input and output, set up for the prompt loop.
#pragma once

#include <cstdio>
#include <istream>

#include "output_writer.hpp"

namespace vesk {

// Standard input as a stream that reads large blocks and whose in_avail()
// counts input that has arrived but not yet been read, where the system can
// tell; the line reader flushes output only before a read that may wait.
std::istream& standard_input();

// Standard output, unbuffered, so that the output writer's blocks reach the
// system whole. Its lines are to end in `platform_line_ends`.
std::FILE* standard_output();

#ifdef _WIN32
inline constexpr line_ends platform_line_ends = line_ends::crlf;
#else
inline constexpr line_ends platform_line_ends = line_ends::lf;
#endif

}  // namespace vesk
