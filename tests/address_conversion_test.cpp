#include "address_conversion.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "address_conversion_portable.hpp"
#include "byte_scan.hpp"
#include "independent_reading.hpp"

namespace vesk {

// Shows octets as a dotted address in failure messages.
void PrintTo(const address_octets& o, std::ostream* os) {
  *os << +o.first << '.' << +o.second << '.' << +o.third << '.' << +o.fourth;
}

namespace {

struct conversion_case {
  std::string line;
  address_octets octets;
  encoded_address value;
};

// Both ways of reading a line: this build's, and the portable one that
// builds without vector instructions use.
address_octets (*const parsers[])(std::string_view) noexcept = {parse_address_line,
                                                                parse_address_line_portable};

void expect_converts(const conversion_case& c) {
  SCOPED_TRACE(::testing::PrintToString(c.line));
  for (const auto parse : parsers) {
    const address_octets octets = parse(c.line);
    EXPECT_EQ(octets, c.octets);
    EXPECT_EQ(encode_address(octets), c.value);
  }
}

TEST(AddressConversion, DocumentedExamples) {
  const conversion_case cases[] = {
      {"127.0.0.1", {127, 0, 0, 1}, 2130720833},
      {"192.168.1.10", {192, 168, 1, 10}, 0xc0a8394a},
      {"8.8.8.8", {8, 8, 8, 8}, 0x8083048},
      {"0.0.0.0", {0, 0, 0, 0}, 14400},
      {"255.255.255.255", {255, 255, 255, 255}, 4294952895},
      {"300.1.1.1", {44, 1, 1, 1}, 738277697},
      {"256.256.256.256", {0, 0, 0, 0}, 0x3840},
      {"-1.0.0.0", {255, 0, 0, 0}, 4278204480},
      {"+7.0.0.0", {7, 0, 0, 0}, 117454912},
      {"1.2.3.4.5", {1, 2, 3, 4}, 16923460},
      {"10..0.5", {10, 0, 0, 5}, 167786565},
      {"1.2.3.", {1, 2, 3, 0}, 16923456},
      {"....", {0, 0, 0, 0}, 0x3840},
      {"a.b.c.d", {0, 0, 0, 0}, 0x3840},
      {"1x.2.3.4", {1, 2, 3, 4}, 0x1023b44},
      {"1. 2. 3. 4", {1, 2, 3, 4}, 0x1023b44},
      {"010.0.0.1", {10, 0, 0, 1}, 167786561},
      {"0x10.0.0.1", {0, 0, 0, 1}, 14401},
      {"1.2.3.4\r", {1, 2, 3, 4}, 0x1023b44},
      {"", {0, 0, 0, 0}, 14400},
      // The edges of the plain lines that are read sixteen bytes at a time.
      {"9999.255.256.0", {15, 255, 0, 0}, 0x0fff3840},
      {"1234.5678.9012.3", {210, 46, 52, 3}, 0xd22e0c43},
      {"1234.5678.9012.34", {210, 46, 52, 34}, 0xd22e0c62},
      {"12345.1.1.1", {57, 1, 1, 1}, 0x39013941},
      {"1.2.3.45678", {1, 2, 3, 110}, 0x01023b2e},
      {"001.002.003.04", {1, 2, 3, 4}, 0x1023b44},
      {"1.2.+3.4", {1, 2, 3, 4}, 0x1023b44},
      {"1.2.3.4\r\r", {1, 2, 3, 4}, 0x1023b44},
      {"1.2.3.4.", {1, 2, 3, 4}, 0x1023b44},
      {".1.2.3.4", {0, 1, 2, 3}, 0x00013a43},
      {"1..2.3.4", {1, 0, 2, 3}, 0x01003a43},
  };
  for (const auto& c : cases) {
    expect_converts(c);
  }
}

TEST(AddressConversion, FieldsTheLineDoesNotReachAreZero) {
  const conversion_case cases[] = {
      {"1.2", {1, 2, 0, 0}, 0x01023840},   {"5", {5, 0, 0, 0}, 0x05003840},
      {"  42", {42, 0, 0, 0}, 0x2a003840}, {"10.1", {10, 1, 0, 0}, 0x0a013840},
      {"1.2.3", {1, 2, 3, 0}, 0x01023b40}, {".7", {0, 7, 0, 0}, 0x00073840},
      {"9.", {9, 0, 0, 0}, 0x09003840},
  };
  for (const auto& c : cases) {
    expect_converts(c);
  }
}

TEST(AddressConversion, NumbersSaturateAtTheSignedRange) {
  const conversion_case cases[] = {
      {"2147483647", {255, 0, 0, 0}, 0xff003840},
      {"2147483648", {255, 0, 0, 0}, 0xff003840},
      {"4294967296", {255, 0, 0, 0}, 0xff003840},
      {"99999999999", {255, 0, 0, 0}, 0xff003840},
      {"-2147483648", {0, 0, 0, 0}, 0x3840},
      {"-2147483647", {1, 0, 0, 0}, 0x01003840},
      {"-2147483649", {0, 0, 0, 0}, 0x3840},
      {"-99999999999", {0, 0, 0, 0}, 0x3840},
      {std::string("0.0.0.").append(10000, '9'), {0, 0, 0, 255}, 0x38bf},
      {std::string("0.0.0.-").append(10000, '9'), {0, 0, 0, 0}, 0x3840},
      {std::string(10000, '0').append("300"), {44, 0, 0, 0}, 0x2c003840},
      // A long rest after a number, then more fields.
      {std::string(40, '9').append("x..7.8"), {255, 0, 7, 8}, 0xff003f48},
  };
  for (const auto& c : cases) {
    expect_converts(c);
  }
}

TEST(AddressConversion, FieldsReadLikeAtoi) {
  const conversion_case cases[] = {
      {" \t\n\v\f\r7", {7, 0, 0, 0}, 0x07003840},
      {"-129", {127, 0, 0, 0}, 0x7f003840},
      {"-256", {0, 0, 0, 0}, 0x3840},
      {"- 5", {0, 0, 0, 0}, 0x3840},  // white space after the sign ends it
      {"+-5", {0, 0, 0, 0}, 0x3840},  // one sign only
      {"--5", {0, 0, 0, 0}, 0x3840},
      {"1 2", {1, 0, 0, 0}, 0x01003840},  // digits stop at the space
      {"1e3", {1, 0, 0, 0}, 0x01003840},
      {"0x7f", {0, 0, 0, 0}, 0x3840},
      {"\xa0"
       "5",
       {0, 0, 0, 0},
       0x3840},  // only ASCII white space is skipped
      {"\x1c"
       "5",
       {0, 0, 0, 0},
       0x3840},
  };
  for (const auto& c : cases) {
    expect_converts(c);
  }
}

TEST(AddressConversion, HostileBytesStayInsideTheirField) {
  using namespace std::string_literals;
  const conversion_case cases[] = {
      {"1\0002.3.4.5"s, {1, 3, 4, 5}, 0x01033c45},
      {"\0"s, {0, 0, 0, 0}, 0x3840},
      {"\xff\xfe.200.\x80"
       "1.7",
       {0, 200, 0, 7},
       0x00c83847},
      {"1\r2.3.4.5", {1, 3, 4, 5}, 0x01033c45},
      {"\r", {0, 0, 0, 0}, 0x3840},
      {std::string(1000, '.'), {0, 0, 0, 0}, 0x3840},
      {"1.2.3.4" + std::string(1000, '.') + "99", {1, 2, 3, 4}, 0x1023b44},
  };
  for (const auto& c : cases) {
    expect_converts(c);
  }
}

// Every byte value before a digit and between two digits, in every field.
// The first field's octet is worked out from <cctype>, on the unsigned
// char, and the whole line is compared with the independent reading.
TEST(AddressConversion, EveryByteValueBeforeAndBetweenDigits) {
  for (int code = 0; code < 256; ++code) {
    const char b = static_cast<char>(code);
    const auto u = static_cast<unsigned char>(b);
    const int digit = std::isdigit(u) != 0 ? code - '0' : -1;
    int before = 0;  // the field b + "5"
    if (std::isspace(u) != 0 || b == '+') {
      before = 5;
    } else if (b == '-') {
      before = -5;
    } else if (digit >= 0) {
      before = (digit * 10) + 5;
    }
    const int between = digit >= 0 ? 500 + (digit * 10) + 3 : 5;  // the field "5" + b + "3"
    const std::string before_field = std::string(1, b) + "5";
    const std::string between_field = "5" + std::string(1, b) + "3";
    const struct {
      std::string line;
      int first;
    } cases[] = {
        {before_field + ".1.2.3", before}, {between_field + ".1.2.3", between},
        {"1." + before_field + ".2.3", 1}, {"1.2." + between_field + ".3", 1},
        {"1.2.3." + before_field, 1},      {"1.2.3." + between_field, 1},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(c.line));
      for (const auto parse : parsers) {
        const address_octets octets = parse(c.line);
        EXPECT_EQ(octets.first, static_cast<std::uint8_t>(c.first));
        EXPECT_EQ(octets, vesk::testing::independent_octets(c.line));
      }
    }
  }
}

// Every line of up to six characters over an alphabet of boundary bytes:
// the neighbours of the digits, the dot and the white space range, signs,
// the 'x' of a hex prefix, NUL and 0xFF.
TEST(AddressConversion, EveryShortLineOverBoundaryBytesReadsIndependently) {
  constexpr std::string_view alphabet("/09:. \t\r\x08\x0e+-x\0\xff", 15);
  int mismatches = 0;
  // The empty line has no byte to read at all.
  EXPECT_EQ(parse_address_line(std::string_view()), vesk::testing::independent_octets(""));
  // Counts through every line of each length, as numbers in base 15. Each
  // line is an exact-size heap block, so that under AddressSanitizer a read
  // past its end is caught.
  for (std::size_t length = 1; length <= 6; ++length) {
    std::vector<std::size_t> digits(length, 0);
    std::string text(length, alphabet[0]);
    std::vector<char> block(length);
    const std::string_view line(block.data(), length);
    for (;;) {
      std::memcpy(block.data(), text.data(), length);
      if (parse_address_line(line) != vesk::testing::independent_octets(line) &&
          ++mismatches <= 5) {
        ADD_FAILURE() << "line " << ::testing::PrintToString(line);
      }
      std::size_t i = 0;
      for (; i < length && ++digits[i] == alphabet.size(); ++i) {
        digits[i] = 0;
        text[i] = alphabet[0];
      }
      if (i == length) {
        break;
      }
      text[i] = alphabet[digits[i]];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Lines of every layout of four fields of one to four digits, 7 to 19
// bytes, with each byte in turn replaced by each boundary byte: whether the
// plain-line reading takes a line or leaves it to the general one, both
// ways agree with the independent reading. Each line is an exact-size heap
// block, so that under AddressSanitizer a read past its end is caught.
TEST(AddressConversion, PlainLayoutsWithEveryBoundaryByteAnywhere) {
  constexpr std::string_view alphabet("/09:.\r+-\0\xff", 10);
  int mismatches = 0;
  for (unsigned layout = 0; layout < 256; ++layout) {
    std::string plain;
    for (unsigned field = 0; field < 4; ++field) {
      const unsigned digits = 1 + ((layout >> (2 * field)) & 3U);
      plain += std::string("7259").substr(4 - digits, digits) + (field < 3 ? "." : "");
    }
    // Also with the CR of a Windows line end, itself replaced in turn.
    std::vector<std::string> lines;
    for (const std::string& base : {plain, plain + '\r'}) {
      lines.push_back(base);
      for (std::size_t at = 0; at < base.size(); ++at) {
        for (const char b : alphabet) {
          lines.push_back(std::string(base).replace(at, 1, 1, b));
        }
      }
    }
    for (const auto& text : lines) {
      const std::vector<char> block(text.begin(), text.end());
      const std::string_view line(block.data(), block.size());
      for (const auto parse : parsers) {
        if (parse(line) != vesk::testing::independent_octets(line) && ++mismatches <= 5) {
          ADD_FAILURE() << "line " << ::testing::PrintToString(line);
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The marks of sixteen bytes, from the portable code and from this build's,
// and the line feeds of one look with SSE2, every byte value at every
// position, against a plain reading. The look holds the sixteen and then three line
// feeds and the same byte again further on, so that a mark in the wrong
// place shows.
TEST(ByteScan, MarksEveryByteValueAtEveryPosition) {
  for (std::size_t at = 0; at < 16; ++at) {
    for (int code = 0; code < 256; ++code) {
      std::string bytes = "0123456789.98765";
      bytes[at] = static_cast<char>(code);
      constexpr std::size_t size = byte_scan::line_feed_span;
      std::string span = bytes + "\n" + std::string(size - 19, 'x') + "\n\n";
      span[size - 1 - at] = static_cast<char>(code);
      struct {
        std::uint32_t dots = 0;
        bool others = false;
        byte_scan::feed_mask feeds = 0;
      } want;
      for (std::size_t i = 0; i < span.size(); ++i) {
        want.feeds |= static_cast<byte_scan::feed_mask>(span[i] == '\n') << i;
        if (i < 16) {
          want.dots |= static_cast<std::uint32_t>(bytes[i] == '.') << i;
          want.others = want.others || (bytes[i] != '.' && (bytes[i] < '0' || bytes[i] > '9'));
        }
      }
      SCOPED_TRACE(::testing::Message() << "byte " << code << " at " << at);
      for (const auto classify : {byte_scan::portable::classify, byte_scan::native::classify}) {
        const byte_scan::marks got = classify(bytes.data(), bytes.data() + 8);
        EXPECT_EQ(got.dots, want.dots);
        EXPECT_EQ(got.others, want.others);
      }
#ifdef VESK_SSE2
      EXPECT_EQ(byte_scan::sse2::line_feeds(span.data()), want.feeds);
#endif
    }
  }
}

}  // namespace
}  // namespace vesk
