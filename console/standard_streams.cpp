#include "standard_streams.hpp"

#include <cstdint>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <memory>
#include <streambuf>
#endif

namespace vesk {
namespace {

#ifdef _WIN32
// Consoles before Windows 8 pass every console read and write through a
// shared heap of 64 KiB, so one call that moves close to 64 KiB can fail
// with "not enough memory". A console is therefore read and written at most
// 8 KiB a call; files and pipes keep their large blocks.
constexpr unsigned console_io_limit = 8U * 1024U;

// Reads standard input in blocks of 64 KiB through the C runtime's _read,
// in text mode as before: the runtime turns CR LF into LF and ends the input
// at Ctrl-Z. std::cin would read 512 bytes at a time here.
class block_input : public std::streambuf {
 protected:
  // The stream turns the exception into its bad state: a failed read.
  int_type underflow() override {
    const int n = _read(_fileno(stdin), block_.get(), read_size_);
    if (n < 0) {
      throw std::ios_base::failure("cannot read standard input");
    }
    if (n == 0) {
      return traits_type::eof();
    }
    setg(block_.get(), block_.get(), block_.get() + n);
    return traits_type::to_int_type(block_[0]);
  }

 private:
  static constexpr unsigned block_size = 64U * 1024U;
  std::unique_ptr<char[]> block_ = std::make_unique_for_overwrite<char[]>(block_size);
  unsigned read_size_ = _isatty(_fileno(stdin)) != 0 ? console_io_limit : block_size;
};
#endif

}  // namespace

std::istream& standard_input() {
#ifdef _WIN32
  static block_input blocks;
  static std::istream input(&blocks);
  return input;
#else
  // Untied from C stdio, std::cin gets a buffer of its own, which reads
  // large blocks and asks the system how much input has arrived.
  std::ios_base::sync_with_stdio(false);
  return std::cin;
#endif
}

output_stream standard_output() {
#ifdef _WIN32
  // The output writer writes CR LF itself, and the C runtime's text mode is
  // turned off: to insert the CRs, the runtime splits every write into small
  // pieces, so batch output would reach the system in thousands of writes.
  _setmode(_fileno(stdout), _O_BINARY);
  const bool console = _isatty(_fileno(stdout)) != 0;
  const output_stream output{stdout, line_ends::crlf, console ? console_io_limit : SIZE_MAX};
#else
  const output_stream output{stdout, line_ends::lf, SIZE_MAX};
#endif
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  return output;
}

}  // namespace vesk
