// Standard input and output through the system's own calls: the one place
// that knows the platform.
#pragma once

#include "line_reader.hpp"
#include "output_writer.hpp"

namespace vesk {

// Prepares the standard streams for standard_input() and
// standard_output(): on Windows, puts standard output in binary mode, since
// the writer writes CR LF itself. Once, before either is used.
void set_up_standard_streams();

// Standard input, read in large blocks, no call asking for more than every
// system accepts. On POSIX systems a read that a signal interrupts is tried
// again, and a stream left non-blocking is waited for. On Windows each read
// is made once, and a line that starts with Ctrl-Z ends the input.
input_source standard_input();

// Standard output, with this platform's line ends and the largest write that
// it takes at once. On POSIX systems a write that a signal interrupts, or
// that a non-blocking stream refuses, is tried again once it can go on; on
// Windows each write is made once.
output_sink standard_output();

// Closes standard output. Returns false if that fails: some file systems
// report a write error only when the file is closed.
bool close_standard_output();

}  // namespace vesk
