#include "line_reader.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesk {
namespace {

// Hands out its text a few bytes per read, as a pipe or terminal does, and
// records what the tied output file held at every read that had to wait.
class trickle_buf : public std::streambuf {
 public:
  trickle_buf(std::string text, std::size_t piece, std::FILE* watched)
      : text_(std::move(text)), piece_(piece), watched_(watched) {}

  std::vector<long> output_seen_at_wait;  // bytes in the watched file
  bool fail_at_end = false;
  bool like_a_file = false;  // reports the rest as ready, so the reader never waits

 protected:
  std::streamsize showmanyc() override {
    return like_a_file ? static_cast<std::streamsize>(text_.size() - pos_) : 0;
  }
  int_type underflow() override {
    output_seen_at_wait.push_back(std::ftell(watched_));
    if (pos_ == text_.size()) {
      if (fail_at_end) {
        throw std::runtime_error("read failed");
      }
      return traits_type::eof();
    }
    const std::size_t n = std::min(piece_, text_.size() - pos_);
    setg(text_.data() + pos_, text_.data() + pos_, text_.data() + pos_ + n);
    pos_ += n;
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string text_;
  std::size_t piece_;
  std::size_t pos_ = 0;
  std::FILE* watched_;
};

struct reader_fixture : ::testing::Test {
  std::FILE* file = std::tmpfile();
  output_writer out{file};
  ~reader_fixture() override { std::fclose(file); }

  std::vector<std::string> read_all(trickle_buf& buf) {
    std::istream in(&buf);
    line_reader reader(in, out);
    std::vector<std::string> lines;
    while (const auto line = reader.next_line()) {
      lines.emplace_back(*line);
    }
    failed = reader.failed();
    return lines;
  }
  bool failed = false;
};

TEST_F(reader_fixture, SplitsLinesWhateverPiecesTheyArriveIn) {
  const std::string big(std::size_t{300} * 1024, '7');  // several times the initial buffer
  struct split_case {
    std::string input;
    std::vector<std::string> want;
  };
  const split_case cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a\nb\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},  // the last line needs no line feed
      {"\n\n\n", {"", "", ""}},
      {"1.2\r\n\r\r\n", {"1.2\r", "\r\r"}},
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
      {"1\n" + big + "\n2", {"1", big, "2"}},
      {big, {big}},
  };
  for (const std::size_t piece : {1U, 3U, 4096U, 1U << 20U}) {
    for (const auto& c : cases) {
      SCOPED_TRACE("piece " + std::to_string(piece) + ", input size " +
                   std::to_string(c.input.size()));
      trickle_buf buf(c.input, piece, file);
      EXPECT_EQ(read_all(buf), c.want);
      EXPECT_FALSE(failed);
    }
  }
}

TEST_F(reader_fixture, FlushesOutputOnlyBeforeWaiting) {
  trickle_buf buf("1\n2\n3\n", 4, file);  // "1\n2\n", then "3\n", then the end
  std::istream in(&buf);
  line_reader reader(in, out);
  out.write("p1");
  std::vector<long> seen_at_line;
  while (reader.next_line()) {
    seen_at_line.push_back(std::ftell(file));
    out.write("pp");
  }
  // Every wait sees all output written before it...
  EXPECT_EQ(buf.output_seen_at_wait, (std::vector<long>{2, 6, 8}));
  // ...but a line that was already buffered is handed out without a flush.
  EXPECT_EQ(seen_at_line, (std::vector<long>{2, 2, 6}));
}

// Input from a file is always ready, so output is not flushed for a wait;
// answers must still go out before the buffer grows for a long line, so that
// none is lost if the system ends the program for the memory it takes.
TEST_F(reader_fixture, AnswersGoOutBeforeTheBufferGrows) {
  trickle_buf buf("1\n" + std::string(std::size_t{300} * 1024, '7') + "\n", 4096, file);
  buf.like_a_file = true;
  std::istream in(&buf);
  line_reader reader(in, out);
  ASSERT_TRUE(reader.next_line());
  out.write("answer");
  ASSERT_TRUE(reader.next_line());
  EXPECT_EQ(buf.output_seen_at_wait.front(), 0);  // batch input is not flushed line by line
  EXPECT_EQ(buf.output_seen_at_wait.back(), 6);
}

// Windows console programs end their input at a line that starts with
// Ctrl-Z; elsewhere it is an ordinary character.
TEST_F(reader_fixture, ControlZAtTheStartOfALineEndsTheInputOnWindows) {
  trickle_buf buf("1\n\x1a\n2\n", 1, file);
#ifdef _WIN32
  const std::vector<std::string> want{"1"};
#else
  const std::vector<std::string> want{"1", "\x1a", "2"};
#endif
  EXPECT_EQ(read_all(buf), want);
  EXPECT_FALSE(failed);
}

TEST_F(reader_fixture, TellsAFailedReadFromTheEnd) {
  trickle_buf buf("1\n2", 2, file);
  buf.fail_at_end = true;
  EXPECT_EQ(read_all(buf), (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(failed);
}

// Reports input pending and then fails the read, as a device can after the
// system said that it was ready.
class pending_then_failing_buf : public std::streambuf {
 public:
  explicit pending_then_failing_buf(std::string text) : text_(std::move(text)) {}

 protected:
  std::streamsize showmanyc() override {
    if (++asked_ > 10) {
      ADD_FAILURE() << "asked for more input after the read failed";
      return -1;
    }
    return 1;
  }
  int_type underflow() override {
    if (served_) {
      throw std::runtime_error("read failed");
    }
    served_ = true;
    setg(text_.data(), text_.data(), text_.data() + text_.size());
    return traits_type::to_int_type(text_.front());
  }

 private:
  std::string text_;
  bool served_ = false;
  int asked_ = 0;
};

TEST_F(reader_fixture, AReadThatFailsAfterInputWasReportedEndsTheInputAsAFailure) {
  pending_then_failing_buf buf("1\n2");
  std::istream in(&buf);
  line_reader reader(in, out);
  std::vector<std::string> lines;
  while (const auto line = reader.next_line()) {
    lines.emplace_back(*line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(reader.failed());
}

}  // namespace
}  // namespace vesk
