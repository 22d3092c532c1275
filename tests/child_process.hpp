// Runs the built program as a child process over real pipes, for the
// end-to-end tests. POSIX only.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::testing {

// Where the child's standard input and output come from and go to. An
// empty path means a pipe to the test. An `input_fd` of the test's own is
// shared with the child, so the test sees how far the child read.
struct child_streams {
  std::string input_path;
  std::string output_path;
  int input_fd = -1;
};

// A started child process. Destroying it kills the child if it still runs.
class child_process {
 public:
  child_process(const std::vector<std::string>& argv, const child_streams& streams);
  ~child_process();
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  // Writes all of `text` to the child's standard input pipe.
  void write_input(std::string_view text) const;
  // Closes the standard input pipe: the child sees the end of its input.
  void close_input();
  // Reads `size` bytes of standard output, or less if `timeout` passes or
  // the output ends first.
  std::string read_output(std::size_t size, std::chrono::milliseconds timeout);
  // Writes `input` while reading and dropping standard output, until all
  // input is written and `output_size` bytes were read, or `timeout`
  // passes. Returns the number of output bytes read. Keeps input open.
  std::size_t exchange(std::string_view input, std::size_t output_size,
                       std::chrono::milliseconds timeout);
  // The child's peak resident memory so far, in KiB (Linux only).
  [[nodiscard]] long peak_memory_kib() const { return memory_kib("VmHWM:"); }
  // The child's resident memory now, in KiB (Linux only).
  [[nodiscard]] long resident_memory_kib() const { return memory_kib("VmRSS:"); }
  // Feeds `input`, collects both output pipes until they close, and waits.
  // Returns false if that took longer than `timeout`; the child is killed.
  bool communicate(std::string_view input, std::chrono::milliseconds timeout);
  // Waits for the child and returns its exit status, or 128 + the signal.
  int wait();

  std::string output;  // standard output collected by communicate()
  std::string errors;  // standard error collected by communicate()

 private:
  [[nodiscard]] long memory_kib(std::string_view name) const;

  int pid_ = -1;
  int input_fd_ = -1;
  int output_fd_ = -1;
  int error_fd_ = -1;
};

// The outcome of one complete run.
struct run_result {
  std::string output;
  std::string errors;
  int status = -1;
};

// Runs the program under test with `arguments` and `input`, to completion.
run_result run_converter(std::string_view input, const std::vector<std::string>& arguments = {},
                         const child_streams& streams = {});

// The command that runs the program under test: the program built beside
// the tests, or VESK_CONVERTER_COMMAND split at spaces when that is set, to
// run another build, such as a Windows one under an emulator.
std::vector<std::string> converter_command();

// The same as one line of shell text.
std::string converter_shell_command();

// True when VESK_CONVERTER_COMMAND is set: the program runs under another
// command, whose start-up time and memory are not the program's own.
bool converter_is_emulated();

// True when VESK_CONVERTER_LINE_END is "crlf": the program under test is a
// Windows build, whose C runtime reads and writes text with CR LF.
bool converter_is_windows();

// True when VESK_CONVERTER_ADDRESS_BITS is "32": the program under test is a
// 32-bit build, whose address space runs out long before this machine's memory.
bool converter_is_32_bit();

// `text` with every line feed written as the program under test writes it.
std::string native_line_ends(std::string_view text);

}  // namespace vesk::testing
