// Reading numbers typed or pasted by the user.
#pragma once

#include <cstdint>
#include <string_view>

namespace ferolan {

// The strict reader of the grid searches' boxes. Sets parse_ok to 1 (accepted) or -1
// (rejected); a rejected text gives 0. Values outside the range of a float are rejected.
float parse_number(std::string_view text, int16_t& parse_ok);

// The leading-number rule of pasted cells and start values: blanks (space, tab, CR, LF)
// are ignored wherever they stand; the longest leading [sign] digits [. digits]
// [E|e [sign] digits] is read; a text without one gives 0. The result may be infinite
// when the text names a number beyond the range of a double.
double leading_number(std::string_view text);

}  // namespace ferolan
