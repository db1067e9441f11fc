// Reading numbers typed or pasted by the user.
#pragma once

#include <cstdint>
#include <string_view>

namespace ferolan {

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
// The blanks of a typed or pasted text: space, tab, CR, LF.
inline bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The whole text is [sign] digits [. digits] [E|e [sign] digits], with a digit before the
// exponent: a field of data.mdf, or a cell the leading-number rule reads completely.
bool is_number_text(std::string_view text);

// The strict reader of the grid searches' boxes. Sets parse_ok to 1 (accepted) or -1
// (rejected); a rejected text gives 0. Values outside the range of a float are rejected.
float parse_number(std::string_view text, int16_t& parse_ok);

// The leading-number rule of pasted cells and start values: blanks (space, tab, CR, LF)
// are ignored wherever they stand; the longest leading [sign] digits [. digits]
// [E|e [sign] digits] is read; a text without one gives 0. The result may be infinite
// when the text names a number beyond the range of a double.
double leading_number(std::string_view text);

}  // namespace ferolan
