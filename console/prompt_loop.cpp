#include "prompt_loop.hpp"

#include <array>
#include <cstdlib>
#include <string_view>

#include "address_conversion.hpp"
#include "line_reader.hpp"
#include "output_writer.hpp"
#include "result_line.hpp"
#include "standard_streams.hpp"

namespace vesk {
namespace {

constexpr std::string_view banner = "Vesk IP Convert\nRelease by: Quorin\n";
// With its terminating NUL, which is not written.
constexpr auto prompt = std::to_array("Please type the IP address to convert: ");

// Converts every line that `in` hands out and returns the exit status.
int converse(line_reader& in, output_writer& out) {
  out.write(banner);
  out.write(prompt, prompt.size() - 1);
  while (const auto line = in.next_line()) {
    const address_octets octets = parse_address_line(*line);
    out.write_made<result_line>(
        [octets] { return format_result_line(octets, encode_address(octets)); });
    out.write(prompt, prompt.size() - 1);
    if (out.failed()) {
      return EXIT_FAILURE;  // the output is lost; stop reading at once
    }
  }
  out.write("\n");  // the input ended at a prompt: finish its line
  // Closing reports write errors that only show when the file is closed.
  const bool output_complete = out.flush() && close_standard_output();
  return output_complete && !in.failed() ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace

int run_prompt_loop() {
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
