#include "output_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vesk {
namespace {

#ifdef __GLIBC__
// A stream that records each write made to it and takes at most `room`
// bytes in all, as a full disk or pipe does. Unbuffered unless asked.
struct recording_stream {
  std::string bytes;
  std::vector<std::size_t> writes;  // the size of each write call
  std::size_t room = SIZE_MAX;
  std::FILE* file;

  explicit recording_stream(bool buffered = false) {
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
      auto& self = *static_cast<recording_stream*>(cookie);
      const std::size_t taken = std::min(size, self.room);
      self.room -= taken;
      self.writes.push_back(size);
      self.bytes.append(data, taken);
      return taken == 0 ? -1 : static_cast<ssize_t>(taken);
    };
    file = fopencookie(this, "w", io);
    if (!buffered) {
      std::setvbuf(file, nullptr, _IONBF, 0);
    }
  }
  ~recording_stream() { std::fclose(file); }
  recording_stream(const recording_stream&) = delete;
  recording_stream& operator=(const recording_stream&) = delete;
};

TEST(OutputWriter, SmallWritesLeaveAsOneBlockAndLargeOnesWholeInOrder) {
  constexpr std::size_t block = output_writer::capacity;
  const std::string line = "192.168.1.10 => 3232250186 (0xc0a8394a)\n\n";
  std::vector<std::string> many_lines(1000, line);
  std::string crlf_block;  // a block of line feeds, as CR LF
  std::string alphabet;    // more than a block, no piece of 8 KiB like the next
  for (std::size_t i = 0; i < block; ++i) {
    crlf_block += "\r\n";
    alphabet += static_cast<char>('a' + i % 26);
  }
  alphabet += "tail";
  struct write_case {
    const char* what;
    std::vector<std::string> writes;
    line_ends ends;
    std::string want;  // if empty, the writes as they are
    std::vector<std::size_t> want_writes;
    std::size_t largest_write = SIZE_MAX;  // 8 KiB for a Windows console
  };
  const write_case cases[] = {
      {"a thousand lines", many_lines, line_ends::lf, "", {1000 * line.size()}},
      {"one byte, then a block", {"a", std::string(block, 'b')}, line_ends::lf, "", {1, block}},
      {"more than a block", {std::string(block + 5, 'c')}, line_ends::lf, "", {block + 5}},
      {"a write that does not fit",
       {std::string(block - 100, 'd'), std::string(200, 'e')},
       line_ends::lf,
       "",
       {block - 100, 200}},
      {"CR LF",
       {"Vesk\nRelease\n", "p: ", "1 => 2\n\n", "\n"},
       line_ends::crlf,
       "Vesk\r\nRelease\r\np: 1 => 2\r\n\r\n\r\n",
       {30}},
      {"CR LF beyond a block",
       {std::string(block, '\n')},
       line_ends::crlf,
       crlf_block,
       {block, block}},
      {"a console, 8 KiB a write",
       {std::string(100, 'f'), alphabet},
       line_ends::lf,
       "",
       {100, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 4},
       8192},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    recording_stream stream;
    output_writer out(stream.file, c.ends, c.largest_write);
    std::string all;
    for (const auto& text : c.writes) {
      out.write(text);
      all += text;
    }
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(stream.writes, c.want_writes);
    // Not EXPECT_EQ: a failure would print megabytes.
    EXPECT_TRUE(stream.bytes == (c.want.empty() ? all : c.want));
  }
}

// A write that the stream takes only in part is a failure, which stays:
// nothing more is written and flush() keeps reporting it. On a buffered
// stream the failure shows only when the stream is flushed.
TEST(OutputWriter, AShortWriteIsAFailureThatStays) {
  for (const bool buffered : {false, true}) {
    for (const std::size_t size : {std::size_t{100}, output_writer::capacity + 100}) {
      SCOPED_TRACE(::testing::Message() << "buffered " << buffered << ", size " << size);
      recording_stream stream(buffered);
      stream.room = 10;
      output_writer out(stream.file);
      out.write(std::string(size, 'x'));
      EXPECT_FALSE(out.flush());
      EXPECT_TRUE(out.failed());
      const std::size_t writes = stream.writes.size();
      out.write(std::string(output_writer::capacity * 2, 'y'));
      EXPECT_FALSE(out.flush());
      EXPECT_EQ(stream.writes.size(), writes);
    }
  }
}
#endif

}  // namespace
}  // namespace vesk
