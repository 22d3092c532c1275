#include "standard_streams.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vesk {
namespace {

constexpr int input_fd = 0;
constexpr int output_fd = 1;

// The most that one read or write asks for: INT_MAX rounded down to a whole
// MiB. macOS's read(2) and write(2) fail with EINVAL when asked for more
// than INT_MAX bytes, POSIX leaves counts above SSIZE_MAX to the system, and
// Windows' _read and _write count in int; gnulib's sys-limits.h caps every
// call at this size for those reasons.
constexpr std::size_t mebibyte = std::size_t{1024} * 1024;
constexpr std::size_t largest_call = std::size_t{INT_MAX} / mebibyte * mebibyte;

#ifdef _WIN32
// Files and pipes are read in blocks of 64 KiB.
constexpr std::size_t file_read_size = std::size_t{64} * 1024;

// Consoles before Windows 8 pass every console read and write through a
// shared heap of 64 KiB, so one call that moves close to 64 KiB can fail
// with "not enough memory" (Microsoft's WriteConsole documentation). A
// console is therefore read and written at most 8 KiB a call.
constexpr std::size_t console_io_limit = std::size_t{8} * 1024;

// The C runtime's _read keeps standard input in text mode: it turns CR LF
// into LF and ends file and pipe input at a Ctrl-Z (Microsoft's _read
// documentation). _isatty only looks up the runtime's own record of the
// descriptor, so asking at every read costs nothing.
std::ptrdiff_t read_input(void* /*context*/, char* data, std::size_t size) {
  const std::size_t limit = _isatty(input_fd) != 0 ? console_io_limit : file_read_size;
  return _read(input_fd, data, static_cast<unsigned>(std::min(size, limit)));
}

// Windows has no cheap way to tell that a console read would not wait, so
// every read may: the output is flushed before each block of input.
bool input_may_wait(void* /*context*/) { return true; }

// Output is in binary mode, and the writer writes CR LF itself: to insert
// the CRs, the runtime's text mode splits every write into small pieces, so
// batch output would reach the system in thousands of writes.
std::ptrdiff_t write_output(void* /*context*/, const char* data, std::size_t size) {
  const int written = _write(output_fd, data, static_cast<unsigned>(std::min(size, largest_call)));
  return written > 0 ? written : -1;
}
#else
// Waits until `fd` is ready to be read or written. A stream that the parent
// left non-blocking answers EAGAIN instead of waiting; its flag is shared
// with the parent, so it is left alone and select() does the waiting.
// select(), not poll(): macOS's poll() does not support terminals (its
// manual, under BUGS).
bool wait_until_ready(int fd, bool for_writing) {
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    const int ready = ::select(fd + 1, for_writing ? nullptr : &set, for_writing ? &set : nullptr,
                               nullptr, nullptr);
    if (ready >= 0 || errno != EINTR) {
      return ready > 0;
    }
  }
}

// Whether a read or write on `fd` that has just failed may be tried again:
// after a signal interrupted it, as gnulib's safe_read and full_write do,
// and once a stream that refused it for being non-blocking is ready.
bool may_try_again(int fd, bool for_writing) {
  if (errno == EINTR) {
    return true;
  }
  return (errno == EAGAIN || errno == EWOULDBLOCK) && wait_until_ready(fd, for_writing);
}

std::ptrdiff_t read_input(void* /*context*/, char* data, std::size_t size) {
  for (;;) {
    const ssize_t read = ::read(input_fd, data, std::min(size, largest_call));
    if (read >= 0) {
      return read;
    }
    if (!may_try_again(input_fd, false)) {
      return -1;
    }
  }
}

// FIONREAD counts what a read would return at once, for pipes, terminals
// (only completed lines, in canonical mode), sockets and regular files on
// Linux, macOS and the BSDs. Where it fails, a read may wait.
bool input_may_wait(void* /*context*/) {
  int arrived = 0;
  return ::ioctl(input_fd, FIONREAD, &arrived) != 0 || arrived <= 0;
}

// Writing nothing is a failure: the write would only be tried forever.
std::ptrdiff_t write_output(void* /*context*/, const char* data, std::size_t size) {
  for (;;) {
    const ssize_t written = ::write(output_fd, data, std::min(size, largest_call));
    if (written > 0) {
      return written;
    }
    if (written == 0 || !may_try_again(output_fd, true)) {
      return -1;
    }
  }
}
#endif

}  // namespace

void set_up_standard_streams() {
#ifdef _WIN32
  _setmode(output_fd, _O_BINARY);
#endif
}

input_source standard_input() {
#ifdef _WIN32
  // The runtime ends file and pipe input at a Ctrl-Z, but whether a console
  // reports Ctrl-Z and Enter as the end depends on the console, so a line
  // that starts with Ctrl-Z ends the input too.
  return {.read = read_input, .may_wait = input_may_wait, .control_z_ends_input = true};
#else
  return {.read = read_input, .may_wait = input_may_wait};
#endif
}

output_sink standard_output() {
#ifdef _WIN32
  const bool console = _isatty(output_fd) != 0;
  return {.write = write_output,
          .ends = line_ends::crlf,
          .largest_write = console ? console_io_limit : SIZE_MAX};
#else
  return {.write = write_output};
#endif
}

bool close_standard_output() {
#ifdef _WIN32
  return _close(output_fd) == 0;
#else
  return ::close(output_fd) == 0;
#endif
}

}  // namespace vesk
