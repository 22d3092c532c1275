// Nanoseconds per line for each step of a conversion.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "address_conversion.hpp"
#include "result_line.hpp"

namespace {

// Typical input: random dotted addresses from a fixed seed.
std::vector<std::string> typical_lines() {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> octet(0, 255);
  std::vector<std::string> lines(4096);
  for (auto& line : lines) {
    line = std::to_string(octet(random)) + '.' + std::to_string(octet(random)) + '.' +
           std::to_string(octet(random)) + '.' + std::to_string(octet(random));
  }
  return lines;
}

void parse_address_line(benchmark::State& state) {
  const auto lines = typical_lines();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vesk::parse_address_line(lines[i++ % 4096]));
  }
}
BENCHMARK(parse_address_line);

void encode_address(benchmark::State& state) {
  std::uint32_t seed = 1;
  for (auto _ : state) {
    seed = seed * 1664525U + 1013904223U;  // varying octets without a table
    const vesk::address_octets octets{.first = static_cast<std::uint8_t>(seed >> 24U),
                                      .second = static_cast<std::uint8_t>(seed >> 16U),
                                      .third = static_cast<std::uint8_t>(seed >> 8U),
                                      .fourth = static_cast<std::uint8_t>(seed)};
    benchmark::DoNotOptimize(vesk::encode_address(octets));
  }
}
BENCHMARK(encode_address);

void format_result_line(benchmark::State& state) {
  const auto lines = typical_lines();
  std::vector<vesk::address_octets> octets;
  octets.reserve(lines.size());
  for (const auto& line : lines) {
    octets.push_back(vesk::parse_address_line(line));
  }
  std::array<char, vesk::result_line_room> room{};
  std::size_t i = 0;
  for (auto _ : state) {
    const auto& o = octets[i++ % 4096];
    benchmark::DoNotOptimize(vesk::format_result_line(o, vesk::encode_address(o), room.data()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(format_result_line);

}  // namespace

BENCHMARK_MAIN();
