#include "child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vesk::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string(what) + " failed, errno " + std::to_string(errno));
  }
}

void close_fd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

// Reads up to `limit` bytes that are ready on `fd` into `sink`; closes `fd`
// at end of file.
void drain(int& fd, std::string& sink, std::size_t limit = 65536) {
  char chunk[65536];
  const ssize_t n = ::read(fd, chunk, std::min(limit, sizeof chunk));
  if (n > 0) {
    sink.append(chunk, static_cast<std::size_t>(n));
  } else if (n == 0 || errno != EINTR) {
    close_fd(fd);
  }
}

int remaining_ms(steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

child_process::child_process(const std::vector<std::string>& argv, const child_streams& streams) {
  ::signal(SIGPIPE, SIG_IGN);  // the test must survive a child that exits early
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  check(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0 && ::pipe2(err, O_CLOEXEC) == 0,
        "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (streams.input_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, streams.input_fd, 0);
  } else if (streams.input_path.empty()) {
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, streams.input_path.c_str(), O_RDONLY, 0);
  }
  if (streams.output_path.empty()) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, streams.output_path.c_str(), O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  // The test ignores SIGPIPE; the child gets the default, as from a shell.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t default_signals;
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &default_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const int rc = ::posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  input_fd_ = in[1];
  output_fd_ = out[0];
  error_fd_ = err[0];
  check(rc == 0, "posix_spawn");
}

child_process::~child_process() {
  close_fd(input_fd_);
  close_fd(output_fd_);
  close_fd(error_fd_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void child_process::write_input(std::string_view text) const {
  while (!text.empty()) {
    const ssize_t n = ::write(input_fd_, text.data(), text.size());
    check(n > 0 || errno == EINTR, "write");
    text.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
  }
}

void child_process::close_input() { close_fd(input_fd_); }

std::string child_process::read_output(std::size_t size, milliseconds timeout) {
  const auto deadline = steady_clock::now() + timeout;
  std::string got;
  while (output_fd_ >= 0 && got.size() < size) {
    pollfd ready{output_fd_, POLLIN, 0};
    if (::poll(&ready, 1, remaining_ms(deadline)) == 0) {
      break;
    }
    std::string chunk;
    drain(output_fd_, chunk, size - got.size());
    got += chunk;
  }
  return got;
}

std::size_t child_process::exchange(std::string_view input, std::size_t output_size,
                                    milliseconds timeout) {
  const auto deadline = steady_clock::now() + timeout;
  ::fcntl(input_fd_, F_SETFL, O_NONBLOCK);
  std::size_t got = 0;
  std::string chunk;
  while (output_fd_ >= 0 && (got < output_size || !input.empty())) {
    pollfd fds[2] = {{output_fd_, POLLIN, 0}, {input.empty() ? -1 : input_fd_, POLLOUT, 0}};
    if (::poll(fds, 2, remaining_ms(deadline)) == 0) {
      break;
    }
    if (fds[0].revents != 0) {
      chunk.clear();
      drain(output_fd_, chunk, 65536);
      got += chunk.size();
    }
    if (fds[1].revents != 0) {
      const ssize_t n =
          ::write(input_fd_, input.data(), std::min<std::size_t>(input.size(), 65536));
      input.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
  }
  return got;
}

long child_process::memory_kib(std::string_view name) const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string field;
  long kib = -1;
  while (status >> field) {
    if (field == name) {
      status >> kib;
    }
  }
  return kib;
}

bool child_process::communicate(std::string_view input, milliseconds timeout) {
  const auto deadline = steady_clock::now() + timeout;
  if (input.empty()) {
    close_input();
  } else {
    // A partial write must never block while the child waits for us to
    // read its output.
    ::fcntl(input_fd_, F_SETFL, O_NONBLOCK);
  }
  while (output_fd_ >= 0 || error_fd_ >= 0) {
    pollfd fds[3] = {{output_fd_, POLLIN, 0}, {error_fd_, POLLIN, 0}, {input_fd_, POLLOUT, 0}};
    if (::poll(fds, 3, remaining_ms(deadline)) == 0) {
      return false;
    }
    if (fds[0].revents != 0) {
      drain(output_fd_, output);
    }
    if (fds[1].revents != 0) {
      drain(error_fd_, errors);
    }
    if ((fds[2].revents & (POLLERR | POLLHUP)) != 0) {
      close_input();  // the child closed its input early
    } else if (fds[2].revents != 0) {
      const ssize_t n =
          ::write(input_fd_, input.data(), std::min<std::size_t>(input.size(), 65536));
      input.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
      if (input.empty() || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        close_input();
      }
    }
  }
  return true;
}

int child_process::wait() {
  int status = 0;
  check(::waitpid(pid_, &status, 0) == pid_, "waitpid");
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> converter_command() {
  const char* const command = std::getenv("VESK_CONVERTER_COMMAND");
  if (command == nullptr || *command == '\0') {
    return {VESK_CONVERTER_PATH};
  }
  std::vector<std::string> words;
  std::istringstream split(command);
  for (std::string word; split >> word;) {
    words.push_back(word);
  }
  return words;
}

std::string converter_shell_command() {
  std::string line;
  for (const auto& word : converter_command()) {
    line += (line.empty() ? "'" : " '") + word + "'";
  }
  return line;
}

bool converter_is_emulated() { return std::getenv("VESK_CONVERTER_COMMAND") != nullptr; }

bool converter_is_windows() {
  const char* const line_end = std::getenv("VESK_CONVERTER_LINE_END");
  return line_end != nullptr && std::string_view(line_end) == "crlf";
}

bool converter_is_32_bit() {
  const char* const bits = std::getenv("VESK_CONVERTER_ADDRESS_BITS");
  return bits != nullptr && std::string_view(bits) == "32";
}

std::string native_line_ends(std::string_view text) {
  if (!converter_is_windows()) {
    return std::string(text);
  }
  std::string converted;
  for (const char c : text) {
    if (c == '\n') {
      converted += '\r';
    }
    converted += c;
  }
  return converted;
}

run_result run_converter(std::string_view input, const std::vector<std::string>& arguments,
                         const child_streams& streams) {
  std::vector<std::string> argv = converter_command();
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  child_process child(argv, streams);
  const bool finished = child.communicate(input, std::chrono::seconds(60));
  run_result result{std::move(child.output), std::move(child.errors), -1};
  if (finished) {
    result.status = child.wait();
  }
  return result;
}

}  // namespace vesk::testing
