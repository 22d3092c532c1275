// The straightforward converter that the benchmark measures against: a
// line at a time with std::getline, each field cut out with substr and read
// with strtol, and printf with an fflush on every pass. It gives the same
// output as vesk-ip-convert for ordinary addresses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

std::uint8_t field_octet(const std::string& field) {
  return static_cast<std::uint8_t>(std::strtol(field.c_str(), nullptr, 10) & 0xff);
}

}  // namespace

int main() {
  std::printf("Vesk IP Convert\nRelease by: Quorin\n");
  for (;;) {
    std::printf("Please type the IP address to convert: ");
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line)) {
      break;
    }
    std::uint8_t octets[4] = {};
    std::size_t start = 0;
    for (auto& octet : octets) {
      if (start > line.size()) {
        break;
      }
      const std::size_t dot = line.find('.', start);
      octet = field_octet(
          line.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
      start = dot == std::string::npos ? line.size() + 1 : dot + 1;
    }
    const std::uint32_t value = std::uint32_t{octets[0]} << 24U | std::uint32_t{octets[1]} << 16U |
                                (std::uint32_t{octets[2]} ^ 0x38U) << 8U |
                                (std::uint32_t{octets[3]} ^ 0x40U);
    std::printf("%i.%i.%i.%i => %u (0x%x)\n\n", octets[0], octets[1], octets[2], octets[3], value,
                value);
  }
  std::printf("\n");
  return 0;
}
