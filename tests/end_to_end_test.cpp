// Runs the built program over real pipes and checks the exact bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "child_process.hpp"

namespace vesk::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// Sanitizers reserve shadow memory, so memory limits are not checked there.
#ifdef VESK_SANITIZED
constexpr bool memory_is_measurable = false;
#else
constexpr bool memory_is_measurable = true;
#endif

const std::string banner = "Vesk IP Convert\nRelease by: Quorin\n";
const std::string prompt = "Please type the IP address to convert: ";

// The output of a whole session whose lines give `results`, in order.
std::string session(const std::vector<std::string>& results) {
  std::string text = banner + prompt;
  for (const auto& r : results) {
    text += r;
    text += "\n\n";
    text += prompt;
  }
  return native_line_ends(text + "\n");
}

TEST(EndToEnd, SessionTranscriptIsExact) {
  const run_result run = run_converter("192.168.1.10\n300.1.1.1\n\n255.255.255.255\n8.8.8.8\n");
  EXPECT_EQ(
      run.output,
      native_line_ends(
          banner +
          "Please type the IP address to convert: 192.168.1.10 => 3232250186 (0xc0a8394a)\n"
          "\n"
          "Please type the IP address to convert: 44.1.1.1 => 738277697 (0x2c013941)\n"
          "\n"
          "Please type the IP address to convert: 0.0.0.0 => 14400 (0x3840)\n"
          "\n"
          "Please type the IP address to convert: 255.255.255.255 => 4294952895 (0xffffc7bf)\n"
          "\n"
          "Please type the IP address to convert: 8.8.8.8 => 134754376 (0x8083048)\n"
          "\n"
          "Please type the IP address to convert: \n"));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, EndOfInputFinishesThePromptLine) {
  struct end_case {
    std::string input;
    std::vector<std::string> results;
  };
  const end_case cases[] = {
      {"", {}},
      {"1.2.3.4\n", {"1.2.3.4 => 16923460 (0x1023b44)"}},
      {"1.2.3.4", {"1.2.3.4 => 16923460 (0x1023b44)"}},
      {"5\n1.2", {"5.0.0.0 => 83900480 (0x5003840)", "1.2.0.0 => 16922688 (0x1023840)"}},
      {"\n", {"0.0.0.0 => 14400 (0x3840)"}},
      {"1.2.3.4\r\n", {"1.2.3.4 => 16923460 (0x1023b44)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    const run_result run = run_converter(c.input);
    EXPECT_EQ(run.output, session(c.results));
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.status, 0);
  }
}

TEST(EndToEnd, EveryHostileLineGetsOneResult) {
  const std::string input = "1\0002.3.4.5\n"s +
                            "\xff\xfe.200.\x80"
                            "1.7\n" +
                            "\r\n" + "1\r2.3.4.5\n" + std::string(1000, '.') + "\n" + "0.0.0." +
                            std::string(10000, '9') + "\n" + "-" + std::string(10000, '9') +
                            ".1.2.3\n" + "a.b.c.d\n";
  const run_result run = run_converter(input);
  EXPECT_EQ(run.output,
            session({"1.3.4.5 => 16989253 (0x1033c45)", "0.200.0.7 => 13121607 (0xc83847)",
                     "0.0.0.0 => 14400 (0x3840)", "1.3.4.5 => 16989253 (0x1033c45)",
                     "0.0.0.0 => 14400 (0x3840)", "0.0.0.255 => 14527 (0x38bf)",
                     "0.1.2.3 => 80451 (0x13a43)", "0.0.0.0 => 14400 (0x3840)"}));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, 0);
}

// The Windows C runtime reads Ctrl-Z (0x1A) as the end of text input, as a
// console user types it; elsewhere it is an ordinary byte of a line.
TEST(EndToEnd, ControlZEndsTheInputOnlyOnWindows) {
  const run_result run = run_converter(
      "1.2.3.4\n\x1a"
      "5.6.7.8\n9\n");
  const std::string first = "1.2.3.4 => 16923460 (0x1023b44)";
  EXPECT_EQ(run.output, converter_is_windows() ? session({first})
                                               : session({first, "0.6.7.8 => 409416 (0x63f48)",
                                                          "9.0.0.0 => 151009344 (0x9003840)"}));
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, ALineOfSeveralMegabytesIsReadWhole) {
  const std::string line = "10.20.30." + std::string(6 << 20, '9') + ".77";
  const run_result run = run_converter(line + "\n1.2.3.4\n");
  EXPECT_EQ(run.output,
            session({"10.20.30.255 => 169092799 (0xa1426bf)", "1.2.3.4 => 16923460 (0x1023b44)"}));
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, ArgumentsAreIgnored) {
  const std::string input = "127.0.0.1\n";
  const run_result plain = run_converter(input);
  const run_result with_arguments = run_converter(input, {"--help", "-v", "8.8.8.8", ""});
  EXPECT_EQ(with_arguments.output, plain.output);
  EXPECT_EQ(with_arguments.errors, "");
  EXPECT_EQ(with_arguments.status, 0);
}

TEST(EndToEnd, FailingStreamsEndWithStatusOne) {
  struct failure_case {
    const char* what;
    child_streams streams;
  };
  const failure_case cases[] = {
      {"output to a full device", {"", "/dev/full"}},
      {"input from a directory", {"/", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const run_result run = run_converter("1.2.3.4\n", {}, c.streams);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "");
  }
}

// Endless input into a stream that fails or goes away: the program must
// notice and stop promptly, not convert on into the void.
TEST(EndToEnd, EndlessInputStopsWhenTheOutputFails) {
  struct pipeline_case {
    std::string shell_command;  // with the program's path in place of %
    std::size_t output_size;
    int status;
  };
  const pipeline_case cases[] = {
      {"yes 1.2.3.4 | % > /dev/full", 0, 1},
      {"yes 1.2.3.4 | % | head -c 100", 100, 0},  // the program ends by SIGPIPE
  };
  for (const auto& c : cases) {
    std::string command = c.shell_command;
    command.replace(command.find('%'), 1, converter_shell_command());
    SCOPED_TRACE(command);
    const auto start = std::chrono::steady_clock::now();
    child_process shell({"/bin/sh", "-c", command}, {});
    ASSERT_TRUE(shell.communicate("", 10s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(shell.wait(), c.status);
    EXPECT_LT(elapsed, converter_is_emulated() ? 30s : 1s);
    EXPECT_EQ(shell.output.size(), c.output_size);
    EXPECT_EQ(shell.errors, "");
  }
}

// With a file as input there is always more to read, so a failed write is
// the only reason to stop: the program must stop within its first blocks,
// not convert the whole file, or read a long line to its end, into the void.
TEST(EndToEnd, OutputFailureStopsReadingAFileAtOnce) {
  for (const char fill : {'\n', '9'}) {  // many lines of output, or one 16 MiB line
    SCOPED_TRACE(fill == '\n' ? "short lines" : "one long line");
    std::FILE* input = std::tmpfile();
    ASSERT_NE(input, nullptr);
    const std::string mebibyte(std::size_t{1} << 20, fill);
    for (int i = 0; i < 16; ++i) {
      ASSERT_EQ(std::fwrite(mebibyte.data(), 1, mebibyte.size(), input), mebibyte.size());
    }
    ASSERT_EQ(std::fflush(input), 0);
    ASSERT_EQ(::lseek(::fileno(input), 0, SEEK_SET), 0);
    child_streams streams{"", "/dev/full"};
    streams.input_fd = ::fileno(input);
    const run_result run = run_converter("", {}, streams);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "");
    EXPECT_LE(::lseek(::fileno(input), 0, SEEK_CUR), 1 << 20);
    std::fclose(input);
  }
}

// A line larger than the memory the program may have ends the input as a
// failed read does: every answer already made goes out, the prompt's line is
// finished, and the status is 1, from a file as from a pipe.
TEST(EndToEnd, ALineLargerThanMemoryEndsTheInputWithEveryAnswerWritten) {
  std::string limit;  // shell text that limits the program's address space
  off_t line_size = 400'000'000;
  if (converter_is_32_bit()) {
    line_size = 1'200'000'000;  // beyond what a 32-bit address space can hold
  } else if (memory_is_measurable && !converter_is_emulated()) {
    limit = "ulimit -v 300000; ";
  } else {
    GTEST_SKIP() << "an address-space limit cannot be set here: the sanitizers and Wine "
                    "need far more address space themselves";
  }
  char path[] = "/tmp/vesk-huge-line-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string lines;
  for (int i = 0; i < 1000; ++i) {
    lines += "192.168.1.10\n";
  }
  ASSERT_EQ(::write(fd, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  // The file's hole reads as zero bytes and no line feed: one huge last line.
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(lines.size()) + line_size), 0);
  ::close(fd);
  const std::string want =
      session(std::vector<std::string>(1000, "192.168.1.10 => 3232250186 (0xc0a8394a)"));
  const std::string program = converter_shell_command();
  for (const std::string& source :
       {program + " < " + path, "cat " + std::string(path) + " | " + program}) {
    SCOPED_TRACE(source);
    child_process shell({"/bin/sh", "-c", limit + source}, {});
    ASSERT_TRUE(shell.communicate("", 120s));
    EXPECT_EQ(shell.wait(), 1);
    EXPECT_EQ(shell.output.size(), want.size());
    EXPECT_TRUE(shell.output == want);  // not EXPECT_EQ: a failure would print 80 KB
    EXPECT_EQ(shell.errors, "");
  }
  ::unlink(path);
}

// The program answers a co-process that waits for each prompt before it
// types: every prompt must arrive without more input or the end of input.
TEST(EndToEnd, PromptArrivesBeforeTheProgramWaits) {
  child_process child(converter_command(), {});
  const std::string greeting = native_line_ends(banner + prompt);
  EXPECT_EQ(child.read_output(greeting.size(), 30s), greeting);
  std::string burst_answer;
  for (int i = 0; i < 1000; ++i) {
    burst_answer += "0.0.0.0 => 14400 (0x3840)\n\n" + prompt;
  }
  const std::pair<std::string, std::string> exchanges[] = {
      {"192.168.1.10\n", "192.168.1.10 => 3232250186 (0xc0a8394a)\n\n" + prompt},
      {"\n", "0.0.0.0 => 14400 (0x3840)\n\n" + prompt},
      {"10.1", ""},  // half a line: no answer yet
      {".2.3\n", "10.1.2.3 => 167852611 (0xa013a43)\n\n" + prompt},
      {std::string(1000, '\n'), burst_answer},
      {"1." + std::string(1 << 20, ' ') + "2\n", "1.2.0.0 => 16922688 (0x1023840)\n\n" + prompt},
  };
  for (const auto& [typed, answer] : exchanges) {
    child.write_input(typed);
    const std::string want = native_line_ends(answer);
    EXPECT_EQ(child.read_output(want.size(), 10s), want);
  }
  child.close_input();
  const std::string last = native_line_ends("\n");
  EXPECT_EQ(child.read_output(last.size() + 1, 10s), last);  // the line end, then the end
  EXPECT_EQ(child.wait(), 0);
}

// Memory grows with the longest line, not with the number of lines.
TEST(EndToEnd, PeakMemoryDoesNotGrowWithTheInput) {
  if (!memory_is_measurable || converter_is_emulated()) {
    GTEST_SKIP() << "memory is not the program's own here";
  }
  const std::string line = "1.2.3.4\n";
  const std::size_t answer =
      std::string("1.2.3.4 => 16923460 (0x1023b44)\n\n").size() + prompt.size();
  // Forty megabytes of input: a buffer that kept what it had read would
  // pass the limit.
  for (const std::size_t lines : {1000U, 5000000U}) {
    SCOPED_TRACE(std::to_string(lines) + " lines");
    child_process child(converter_command(), {});
    std::string input;
    for (std::size_t i = 0; i < lines; ++i) {
      input += line;
    }
    const std::size_t expected = banner.size() + prompt.size() + lines * answer;
    EXPECT_EQ(child.exchange(input, expected, 60s), expected);
    EXPECT_LE(child.peak_memory_kib(), 16 * 1024);
  }
}

// A long line takes memory while it is read and gives it back once it has
// been answered.
TEST(EndToEnd, ASixtyFourMebibyteLineStaysUnder200MiBAndGivesItBack) {
  child_process child(converter_command(), {});
  const std::string huge = "1.2.3." + std::string(64 << 20, '9') + "\n";
  const std::string answer = "1.2.3.255 => 16923583 (0x1023bbf)\n\n" + prompt;
  const std::string want = native_line_ends(banner + prompt + answer);
  child.write_input(huge);
  EXPECT_EQ(child.read_output(want.size(), 60s), want);
  child.write_input("1.2.3.4\n");
  const std::string short_answer = native_line_ends("1.2.3.4 => 16923460 (0x1023b44)\n\n" + prompt);
  EXPECT_EQ(child.read_output(short_answer.size(), 10s), short_answer);
  if (memory_is_measurable && !converter_is_emulated()) {
    EXPECT_LT(child.peak_memory_kib(), 200 * 1024);
    EXPECT_LE(child.resident_memory_kib(), 16 * 1024);
  }
}

}  // namespace
}  // namespace vesk::testing
