// The fixed number masks of the window and the general number format of the export.
#pragma once

#include <string>
#include <string_view>

namespace ferolan {

// Masks: "#0.00", "0.00", "0.000", "#0.000", "0#.0", "0.00e+00", "#.#0e+00", "#000", "0",
// "0.0". dec is the decimal separator of the user's locale. Rounds half away from zero.
std::string format_mask(double value, std::string_view mask, char dec = '.');

// The same for a Single: rounded from its 7 significant digits, so a pH typed as 2.675 (stored
// as 2.67499995) shows as 2.68, as the user wrote it.
std::string format_single(float value, std::string_view mask, char dec = '.');

// Up to 7 significant digits, no trailing zeros, exponent form for very large or very small
// magnitudes ("1E-05", "1.234568E+07"), as a spreadsheet pastes it back.
std::string format_general(float value, char dec = '.');

}  // namespace ferolan
