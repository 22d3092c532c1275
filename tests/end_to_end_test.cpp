// Runs the built program over real pipes and checks the exact bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "child_process.hpp"

namespace vesk::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string banner = "Vesk IP Convert\nRelease by: Quorin\n";
const std::string prompt = "Please type the IP address to convert: ";

// The output of a whole session whose lines give `results`, in order.
std::string session(const std::vector<std::string>& results) {
  std::string text = banner + prompt;
  for (const auto& r : results) text += r + "\n\n" + prompt;
  return text + "\n";
}

TEST(EndToEnd, SessionTranscriptIsExact) {
  const run_result run = run_converter("192.168.1.10\n300.1.1.1\n\n255.255.255.255\n8.8.8.8\n");
  EXPECT_EQ(run.output, banner +
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
                            "Please type the IP address to convert: \n");
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
  const std::string input = "1\0002.3.4.5\n"s + "\xff\xfe.200.\x80" "1.7\n" + "\r\n" + "1\r2.3.4.5\n" +
                            std::string(1000, '.') + "\n" + "0.0.0." + std::string(10000, '9') + "\n" +
                            "-" + std::string(10000, '9') + ".1.2.3\n" + "a.b.c.d\n";
  const run_result run = run_converter(input);
  EXPECT_EQ(run.output, session({"1.3.4.5 => 16989253 (0x1033c45)", "0.200.0.7 => 13121607 (0xc83847)",
                                 "0.0.0.0 => 14400 (0x3840)", "1.3.4.5 => 16989253 (0x1033c45)",
                                 "0.0.0.0 => 14400 (0x3840)", "0.0.0.255 => 14527 (0x38bf)",
                                 "0.1.2.3 => 80451 (0x13a43)", "0.0.0.0 => 14400 (0x3840)"}));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, ALineOfSeveralMegabytesIsReadWhole) {
  const std::string line = "10.20.30." + std::string(6 << 20, '9') + ".77";
  const run_result run = run_converter(line + "\n1.2.3.4\n");
  EXPECT_EQ(run.output, session({"10.20.30.255 => 169092799 (0xa1426bf)", "1.2.3.4 => 16923460 (0x1023b44)"}));
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

// The program answers a co-process that waits for each prompt before it
// types: every prompt must arrive without more input or the end of input.
TEST(EndToEnd, PromptArrivesBeforeTheProgramWaits) {
  child_process child({converter_path()}, {});
  EXPECT_EQ(child.read_output_until(prompt, 10s), banner + prompt);
  const std::pair<std::string, std::string> exchanges[] = {
      {"192.168.1.10\n", "192.168.1.10 => 3232250186 (0xc0a8394a)\n\n"},
      {"\n", "0.0.0.0 => 14400 (0x3840)\n\n"},
      {"10.1", ""},  // half a line: no answer yet
      {".2.3\n", "10.1.2.3 => 167852611 (0xa013a43)\n\n"},
  };
  for (const auto& [typed, answer] : exchanges) {
    child.write_input(typed);
    if (answer.empty()) continue;
    EXPECT_EQ(child.read_output_until(prompt, 10s), answer + prompt);
  }
  child.close_input();
  EXPECT_EQ(child.read_output_until("\n", 10s), "\n");
  EXPECT_EQ(child.wait(), 0);
}

}  // namespace
}  // namespace vesk::testing
