// The line reading of parse_address_line with the plain-line test built from
// portable code, as builds without vector instructions have it. Tests check
// it beside parse_address_line, so that every build tests both.
#pragma once

#include <string_view>

#include "address_conversion.hpp"

namespace vesk {

// What parse_address_line gives, without vector instructions.
address_octets parse_address_line_portable(std::string_view line) noexcept;

}  // namespace vesk
