// Standard input and output through the system's own calls: the one place
// that knows the platform.
#pragma once

#include "line_reader.hpp"
#include "output_writer.hpp"

namespace vesk {

// Standard input, read in large blocks. A read is retried when a signal
// interrupts it, and waits when the stream was left non-blocking.
input_source standard_input();

// Standard output, written whole, with this platform's line ends and the
// largest write that it takes at once.
output_sink standard_output();

// Closes standard output. Returns false if that fails: some file systems
// report a write error only when the file is closed.
bool close_standard_output();

}  // namespace vesk
