// parse_address_line as builds without vector instructions have it: the
// plain-line reading with byte_scan's portable code. The tests and the line
// fuzzer check it beside parse_address_line, so that every build checks
// both.
#pragma once

#include <string_view>

#include "address_conversion.hpp"

namespace vesk {

// What parse_address_line gives, without vector instructions.
address_octets parse_address_line_portable(std::string_view line) noexcept;

}  // namespace vesk
