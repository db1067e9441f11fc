// Pieces the two imports share: range checks of the stored types and the problem texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/data/state.h"

namespace ferolan {

// Every problem text of an import starts with this, so a later success can clear it.
inline constexpr std::string_view kImportProblem = "Помилка імпорту: ";
inline std::string import_problem(std::string_view what) {
  return std::string(kImportProblem) + std::string(what);
}

// v as a float; false when it is not finite as a float (including inf and nan).
bool to_single(double v, float& out);
// v rounded to nearest, halves to even; false outside the 16-bit signed range.
bool to_wavelength(double v, int16_t& out);

}  // namespace ferolan
