// The searches' refusals: the window's Ukrainian message and title, a stable code and an
// English sentence for the batch tool.
#pragma once

#include <string>

namespace ferolan {

enum class Msg {
  TooFewSpectra,  // all searches
  StartValues,    // optimisation, final stage of the automatic grid
  HeldValue,      // manual grid
  HeldValueAuto,  // automatic grid
  RangeStart,
  RangeEnd,
  RangeOrder,
  Step,
  PhOutOfRange,        // the forms' concentrations are not finite
  AbsorbanceTooLarge,  // the score is not finite as a float
};

std::string message_text(Msg msg, int n);  // Ukrainian, as the window shows it
const char* message_title(Msg msg);
const char* message_code(Msg msg);  // e.g. "too_few_spectra"
std::string message_english(Msg msg, int n);

}  // namespace ferolan
