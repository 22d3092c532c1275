#include "line_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_sink.hpp"

namespace vesk {
namespace {

// Hands out its text a few bytes per read, as a pipe or terminal does, and
// records how much output had reached the tied sink at every read.
struct trickle_source {
  std::string text;
  std::size_t piece;
  const std::string* watched;                    // the output that reached the sink
  std::vector<std::size_t> output_seen_at_read;  // its size at each read
  bool fail_at_end = false;
  bool failed_once = false;
  bool like_a_file = false;  // reports input as arrived, so the reader never waits
  bool control_z_ends_input = false;
  std::size_t pos = 0;

  input_source source() {
    const auto read = [](void* context, char* data, std::size_t size) -> std::ptrdiff_t {
      auto& self = *static_cast<trickle_source*>(context);
      self.output_seen_at_read.push_back(self.watched->size());
      if (self.pos == self.text.size()) {
        if (self.failed_once) {
          ADD_FAILURE() << "read again after a failed read";
          return 0;
        }
        self.failed_once = self.fail_at_end;
        return self.fail_at_end ? -1 : 0;
      }
      const std::size_t n = std::min({self.piece, size, self.text.size() - self.pos});
      self.text.copy(data, n, self.pos);
      self.pos += n;
      return static_cast<std::ptrdiff_t>(n);
    };
    const auto may_wait = [](void* context) {
      return !static_cast<trickle_source*>(context)->like_a_file;
    };
    return {read, may_wait, this, control_z_ends_input};
  }
};

struct reader_fixture : ::testing::Test {
  testing::recording_sink sink;
  output_writer out{sink.sink()};

  trickle_source trickle(std::string text, std::size_t piece) {
    return {std::move(text), piece, &sink.bytes, {}};
  }
  std::vector<std::string> read_all(trickle_source& source) {
    line_reader reader(source.source(), out);
    std::vector<std::string> lines;
    while (const auto line = reader.next_line()) {
      lines.emplace_back(*line);
    }
    EXPECT_FALSE(reader.next_line());  // the end stays the end
    failed = reader.failed();
    return lines;
  }
  bool failed = false;
};

// Lines of every length from 0 to 70 bytes, so that their line feeds fall
// on every bit of a look at many bytes and lines cross from one look into
// the next.
std::vector<std::string> lines_of_every_length() {
  std::vector<std::string> lines;
  for (std::size_t length = 0; length <= 70; ++length) {
    lines.emplace_back(length, static_cast<char>('a' + (length % 26)));
  }
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line + "\n";
  }
  return text;
}

TEST_F(reader_fixture, SplitsLinesWhateverPiecesTheyArriveIn) {
  const std::string big(std::size_t{300} * 1024, '7');  // several times the initial buffer
  const std::vector<std::string> every_length = lines_of_every_length();
  struct split_case {
    std::string input;
    std::vector<std::string> want;
  };
  const split_case cases[] = {
      {joined(every_length), every_length},
      {"", {}},
      {"\n", {""}},
      {"a\nb\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},  // the last line needs no line feed
      {"\n\n\n", {"", "", ""}},
      {"1.2\r\n\r\r\n", {"1.2\r", "\r\r"}},
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
      {"1\n\x1a\n2\n", {"1", "\x1a", "2"}},  // Ctrl-Z is an ordinary byte unless the source says
      {"1\n" + big + "\n2", {"1", big, "2"}},
      {big, {big}},
  };
  for (const std::size_t piece : {1U, 3U, 4096U, 1U << 20U}) {
    for (const auto& c : cases) {
      SCOPED_TRACE("piece " + std::to_string(piece) + ", input size " +
                   std::to_string(c.input.size()));
      trickle_source source = trickle(c.input, piece);
      EXPECT_EQ(read_all(source), c.want);
      EXPECT_FALSE(failed);
    }
  }
}

TEST_F(reader_fixture, FlushesOutputOnlyBeforeWaiting) {
  trickle_source source = trickle("1\n2\n3\n", 4);  // "1\n2\n", then "3\n", then the end
  line_reader reader(source.source(), out);
  out.write("p1");
  std::vector<std::size_t> seen_at_line;
  while (reader.next_line()) {
    seen_at_line.push_back(sink.bytes.size());
    out.write("pp");
  }
  // Every wait sees all output written before it...
  EXPECT_EQ(source.output_seen_at_read, (std::vector<std::size_t>{2, 6, 8}));
  // ...but a line that was already buffered is handed out without a flush.
  EXPECT_EQ(seen_at_line, (std::vector<std::size_t>{2, 2, 6}));
}

// Input from a file is always ready, so output is not flushed for a wait;
// answers must still go out before the buffer grows for a long line, so that
// none is lost if the system ends the program for the memory it takes.
TEST_F(reader_fixture, AnswersGoOutBeforeTheBufferGrows) {
  trickle_source source = trickle("1\n" + std::string(std::size_t{300} * 1024, '7') + "\n", 4096);
  source.like_a_file = true;
  line_reader reader(source.source(), out);
  ASSERT_TRUE(reader.next_line());
  out.write("answer");
  ASSERT_TRUE(reader.next_line());
  EXPECT_EQ(sink.writes, (std::vector<std::size_t>{6}));  // at the growth, the only flush
}

// A source for Windows console programs ends the input at a line that starts
// with Ctrl-Z.
TEST_F(reader_fixture, ControlZAtTheStartOfALineEndsTheInputWhereTheSourceSays) {
  // Arriving whole, the lines after Ctrl-Z were found in the same look.
  for (const std::size_t piece : {1U, 4096U}) {
    trickle_source source = trickle("1\n\x1a\n" + joined(lines_of_every_length()), piece);
    source.control_z_ends_input = true;
    EXPECT_EQ(read_all(source), (std::vector<std::string>{"1"}));
    EXPECT_FALSE(failed);
  }
}

// Also when the source had just reported input as arrived, as a device can
// fail after the system said that it was ready.
TEST_F(reader_fixture, TellsAFailedReadFromTheEnd) {
  for (const bool reported : {false, true}) {
    trickle_source source = trickle("1\n2", 2);
    source.fail_at_end = true;
    source.like_a_file = reported;
    EXPECT_EQ(read_all(source), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(failed);
  }
}

}  // namespace
}  // namespace vesk
