#include "output_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "recording_sink.hpp"

namespace vesk {
namespace {

using testing::recording_sink;

TEST(OutputWriter, SmallWritesLeaveAsOneBlockAndLargeOnesWholeInOrder) {
  constexpr std::size_t block = output_writer::capacity;
  const std::string line = "192.168.1.10 => 3232250186 (0xc0a8394a)\n\n";
  std::vector<std::string> many_lines(1000, line);
  std::string crlf_block;  // a block of line feeds, as CR LF
  std::string alphabet;    // more than a block, no piece of 8 KiB like the next
  for (std::size_t i = 0; i < block; ++i) {
    crlf_block += "\r\n";
    alphabet += static_cast<char>('a' + (i % 26));
  }
  alphabet += "tail";
  struct write_case {
    const char* what;
    std::vector<std::string> writes;
    line_ends ends;
    std::string want;  // if empty, the writes as they are
    std::vector<std::size_t> want_writes;
    std::size_t largest_write = SIZE_MAX;  // 8 KiB for a Windows console
    std::size_t per_call = SIZE_MAX;       // what the sink takes of one call
    bool reserved = false;                 // put in through reserve() and commit()
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
      {"a sink that takes part of each write",
       {"Vesk IP Convert\n", alphabet.substr(0, 20)},
       line_ends::lf,
       "",
       {36, 21, 6},
       SIZE_MAX,
       15},
      {"reserved room, CR LF",
       {"1 => 2\n\n", "p: ", "\n3\n"},
       line_ends::crlf,
       "1 => 2\r\n\r\np: \r\n3\r\n",
       {18},
       SIZE_MAX,
       SIZE_MAX,
       true},
      {"reserved room that the block lacks: the block goes out first",
       {std::string(block / 2, 'g'), std::string((block / 2) - 1, 'h'), "i"},
       line_ends::lf,
       "",
       {block / 2, block / 2},
       SIZE_MAX,
       SIZE_MAX,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    recording_sink sink;
    sink.per_call = c.per_call;
    output_writer out(sink.sink(c.ends, c.largest_write));
    std::string all;
    for (const auto& text : c.writes) {
      if (c.reserved) {
        char* const room = out.reserve(text.size());
        ASSERT_NE(room, nullptr);
        text.copy(room, text.size());
        out.commit(text.size());
      } else {
        out.write(text);
      }
      all += text;
    }
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(sink.writes, c.want_writes);
    // Not EXPECT_EQ: a failure would print megabytes.
    EXPECT_TRUE(sink.bytes == (c.want.empty() ? all : c.want));
  }
}

// A sink that fails ends the output for good: nothing more is written and
// flush() keeps reporting the failure.
TEST(OutputWriter, AFailedWriteIsAFailureThatStays) {
  for (const std::size_t size : {std::size_t{100}, output_writer::capacity + 100}) {
    SCOPED_TRACE(::testing::Message() << "size " << size);
    recording_sink sink;
    sink.room = 10;
    output_writer out(sink.sink());
    out.write(std::string(size, 'x'));
    EXPECT_FALSE(out.flush());
    EXPECT_TRUE(out.failed());
    EXPECT_EQ(sink.bytes, std::string(10, 'x'));
    const std::size_t writes = sink.writes.size();
    out.write(std::string(output_writer::capacity * 2, 'y'));
    EXPECT_FALSE(out.flush());
    EXPECT_EQ(out.reserve(10), nullptr);
    EXPECT_EQ(sink.writes.size(), writes);
  }
}

}  // namespace
}  // namespace vesk
