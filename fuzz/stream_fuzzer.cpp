// Drives the line reader and the output writer as the prompt loop does, over
// a source and a sink whose every answer the fuzzer's bytes choose: how much
// each read hands over, whether it may wait, when the input ends or reading
// fails, how much each write takes and when writing fails, the largest
// write, the line ends, whether Ctrl-Z ends the input, and whether a text
// goes into the writer through write() or through reserve() and commit(),
// with how much room. A plain model of each is the oracle; any difference
// aborts. The fuzz build gives both buffers a few hundred bytes, so that
// short inputs make the reader's buffer grow, move its bytes to the front
// and shrink, and fill the writer's block.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "line_reader.hpp"
#include "output_writer.hpp"

namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// A choice byte of this value fails the call, and the one below it ends the
// input; every other value hands over or takes some bytes. When the choices
// run out, calls hand over or take all they can.
constexpr std::uint8_t fail_call = 255;
constexpr std::uint8_t end_input = 254;

// How many of `most` bytes (at least one) a call moves for `choice`.
std::size_t amount(FuzzedDataProvider& choices, std::uint8_t choice, std::size_t most) {
  return choices.remaining_bytes() == 0 ? most : 1 + (choice % most);
}

// What the sink has received, and what it must have received: everything
// given to the writer, with its line ends as the writer was asked to write
// them.
struct output_model {
  output_model(FuzzedDataProvider& choices, std::size_t largest_write, vesk::line_ends ends)
      : choices(&choices), largest_write(largest_write), ends(ends) {}

  FuzzedDataProvider* choices;
  std::size_t largest_write;
  vesk::line_ends ends;
  std::string given;     // everything handed to the writer, line ends applied
  std::string received;  // everything the sink took
  bool failed = false;

  static std::ptrdiff_t write(void* context, const char* data, std::size_t size) {
    auto& self = *static_cast<output_model*>(context);
    require(!self.failed, "nothing is written after a failed write");
    require(size >= 1 && size <= self.largest_write, "a write hands 1 to largest_write bytes");
    const auto choice = self.choices->ConsumeIntegral<std::uint8_t>();
    if (choice == fail_call) {
      self.failed = true;
      return -1;
    }
    const std::size_t taken = amount(*self.choices, choice, size);
    self.received.append(data, taken);
    return static_cast<std::ptrdiff_t>(taken);
  }

  void give(vesk::output_writer& out, std::string_view text) {
    using writer = vesk::output_writer;
    if (text.size() <= writer::largest_reserve && choices->ConsumeBool()) {
      const auto room = choices->ConsumeIntegralInRange(text.size(), writer::largest_reserve);
      char* const reserved = out.reserve(room);
      require((reserved == nullptr) == out.failed(), "reserve() gives room unless writing failed");
      if (reserved != nullptr) {
        std::ranges::copy(text, reserved);
        out.commit(text.size());
      }
    } else {
      out.write(text);
    }
    for (const char c : text) {
      if (c == '\n' && ends == vesk::line_ends::crlf) {
        given += '\r';
      }
      given += c;
    }
  }

  // Everything given has reached the sink, unless writing has failed.
  [[nodiscard]] bool caught_up() const { return failed || received == given; }
};

// The input, handed over in pieces that the fuzzer chooses.
struct input_model {
  input_model(FuzzedDataProvider& choices, std::string_view input, const output_model& output)
      : choices(&choices), left(input), output(&output) {}

  FuzzedDataProvider* choices;
  std::string_view left;  // not yet handed over
  const output_model* output;
  std::string delivered;  // every byte handed over
  bool ended = false;     // a read gave the end or failed
  bool failed = false;
  bool may_have_waited = false;  // what may_wait said before this read

  static bool may_wait(void* context) {
    auto& self = *static_cast<input_model*>(context);
    self.may_have_waited = self.choices->remaining_bytes() == 0 || self.choices->ConsumeBool();
    return self.may_have_waited;
  }

  static std::ptrdiff_t read(void* context, char* data, std::size_t size) {
    auto& self = *static_cast<input_model*>(context);
    require(!self.ended, "no read after the end of the input or a failed read");
    require(!self.output->failed, "no read once writing has failed");
    require(size >= 1, "a read has room for a byte");
    require(!self.may_have_waited || self.output->caught_up(),
            "all output has reached the sink before a read that may wait");
    self.may_have_waited = false;
    const auto choice = self.choices->ConsumeIntegral<std::uint8_t>();
    if (choice == fail_call) {
      self.ended = self.failed = true;
      return -1;
    }
    if (choice == end_input || self.left.empty()) {
      self.ended = true;
      return 0;
    }
    const std::string_view piece =
        self.left.substr(0, amount(*self.choices, choice, std::min(size, self.left.size())));
    std::ranges::copy(piece, data);
    self.delivered += piece;
    self.left.remove_prefix(piece.size());
    return static_cast<std::ptrdiff_t>(piece.size());
  }

  // The lines in what was handed over: split at line feeds, a last line
  // without one included, up to a line that starts with Ctrl-Z if it ends
  // the input.
  [[nodiscard]] std::vector<std::string> lines(bool control_z_ends_input) const {
    std::vector<std::string> lines;
    std::string_view rest = delivered;
    while (!rest.empty()) {
      const std::size_t end = std::min(rest.find('\n'), rest.size());
      if (control_z_ends_input && rest.starts_with('\x1a')) {
        break;
      }
      lines.emplace_back(rest.substr(0, end));
      rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return lines;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider choices(data, size);
  const auto ends = choices.ConsumeBool() ? vesk::line_ends::crlf : vesk::line_ends::lf;
  const bool control_z_ends_input = choices.ConsumeBool();
  const std::size_t largest_write =
      choices.ConsumeBool() ? SIZE_MAX : choices.ConsumeIntegralInRange<std::size_t>(1, 40);
  const std::string input = choices.ConsumeBytesAsString(
      choices.ConsumeIntegralInRange<std::size_t>(0, choices.remaining_bytes()));

  output_model output(choices, largest_write, ends);
  vesk::output_writer out({.write = output_model::write,
                           .context = &output,
                           .ends = ends,
                           .largest_write = largest_write});
  input_model input_side(choices, input, output);
  vesk::line_reader in({.read = input_model::read,
                        .may_wait = input_model::may_wait,
                        .context = &input_side,
                        .control_z_ends_input = control_z_ends_input},
                       out);
  require(!out.failed() && !in.failed(), "the first buffers are there");

  // As the prompt loop does: a prompt, then for each line an answer (here
  // the line itself, so that long lines make long writes) and a prompt.
  // Once writing has failed, the reader hands out no more lines, even where
  // it holds some already.
  std::vector<std::string> lines;
  output.give(out, "> ");
  while (const auto line = in.next_line()) {
    require(!out.failed(), "no line is handed out once writing has failed");
    lines.emplace_back(*line);
    output.give(out, *line);
    output.give(out, "\n> ");
  }
  require(!in.next_line(), "the end of the input stays the end");
  const bool flushed = out.flush();

  const std::vector<std::string> want = input_side.lines(control_z_ends_input);
  require(flushed == !output.failed && out.failed() == output.failed,
          "the writer has failed exactly when a write failed");
  require(output.given.starts_with(output.received), "the sink took what was given, in order");
  if (output.failed) {
    require(lines.size() <= want.size() && std::equal(lines.begin(), lines.end(), want.begin()),
            "the lines before output failed are the input's");
  } else {
    require(lines == want, "every line of the input is handed out, whole and in order");
    require(output.received == output.given, "everything given reaches the sink");
    require(in.failed() == input_side.failed, "the reader has failed exactly when a read failed");
  }
  return 0;
}
