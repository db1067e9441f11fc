// Text the batch tool writes must stay text: UTF-8 checked strictly, invalid bytes replaced.
#pragma once

#include "cli/layer.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace ferolan::cli {

// Bytes of the well-formed UTF-8 character at the start of s, or 0 (an invalid byte, an
// overlong form, a surrogate, beyond U+10FFFF, cut short, or s empty).
size_t utf8_length(std::string_view s);

bool valid_utf8(std::string_view s);

// s with every byte that is not part of a well-formed character replaced by U+FFFD.
std::string utf8_safe(std::string_view s);

// s with A..Z as a..z and every other byte as it is: names, extensions and words matched
// whatever their case.
std::string ascii_lower(std::string_view s);

}  // namespace ferolan::cli
