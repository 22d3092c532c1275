#include "prompt_loop.hpp"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "address_conversion.hpp"
#include "line_reader.hpp"
#include "output_writer.hpp"
#include "result_line.hpp"
#include "standard_streams.hpp"

namespace vesk {
namespace {

constexpr std::string_view banner = "Vesk IP Convert\nRelease by: Quorin\n";
constexpr std::string_view prompt = "Please type the IP address to convert: ";
static_assert(result_line_room + prompt.size() <= output_writer::largest_reserve);

// Converts every line that `in` hands out and returns the exit status.
int converse(line_reader& in, output_writer& out) {
  out.write(banner);
  out.write(prompt);
  while (const auto line = in.next_line()) {
    const address_octets octets = parse_address_line(*line);
    // The result line is made in the output block itself, and the next
    // prompt follows it.
    if (char* const room = out.reserve(result_line_room + prompt.size())) {
      const std::size_t size = format_result_line(octets, encode_address(octets), room).size();
      std::memcpy(room + size, prompt.data(), prompt.size());
      out.commit(size + prompt.size());
    }
  }
  // The input has ended, or the output was lost: the reader then reads no
  // more, and the failed flush below gives the status.
  out.write("\n");  // the input ended at a prompt: finish its line
  // Closing reports write errors that only show when the file is closed.
  const bool output_complete = out.flush() && close_standard_output();
  return output_complete && !in.failed() ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace

int run_prompt_loop() {
  set_up_standard_streams();
  output_writer out(standard_output());
  line_reader in(standard_input(), out);
  // Without the streams' first buffers nothing can be answered, so nothing
  // is written. Later, a line that does not fit in memory ends the input.
  if (out.failed() || in.failed()) {
    return EXIT_FAILURE;
  }
  return converse(in, out);
}

}  // namespace vesk
