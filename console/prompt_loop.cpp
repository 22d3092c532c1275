#include "prompt_loop.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "address_conversion.hpp"
#include "line_reader.hpp"
#include "output_writer.hpp"
#include "result_line.hpp"

namespace vesk {
namespace {

constexpr std::string_view banner = "Vesk IP Convert\nRelease by: Quorin\n";
constexpr std::string_view prompt = "Please type the IP address to convert: ";

}  // namespace

int run_prompt_loop() {
  // Untied from C stdio, std::cin gets a buffer of its own, which lets the
  // line reader take everything that has arrived without waiting for more.
  std::ios_base::sync_with_stdio(false);
  // output_writer is the only output buffer; stdio passes its blocks on.
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  output_writer out(stdout);
  line_reader in(std::cin, out);
  out.write(banner);
  out.write(prompt);
  while (const auto line = in.next_line()) {
    const address_octets octets = parse_address_line(*line);
    out.write(format_result_line(octets, encode_address(octets)).text());
    out.write(prompt);
    if (out.failed()) {
      return EXIT_FAILURE;  // the output is lost; stop reading at once
    }
  }
  out.write("\n");  // the input ended at a prompt: finish its line
  // Closing reports write errors that only show when the file is closed.
  const bool output_complete = out.flush() && std::fclose(stdout) == 0;
  return output_complete && !in.failed() ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace vesk
