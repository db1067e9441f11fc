// The window's module as the batch tool drives it, one per file.
#pragma once

#include <memory>
#include <string>

#include "cli/cli_platform.h"
#include "cli/options.h"
#include "window/state/module.h"

namespace ferolan::cli {

// A canvas that draws nothing, for runs without pictures.
class NullCanvas : public Canvas {
 public:
  void clear() override {}
  void point(double, double, int) override {}
  void line_to(double, double, int) override {}
  void set_scale(double, double, double, double) override {}
};

struct Session {
  Session(Canvas& spectrs, Canvas& pict_e, Canvas& picture1);
  CliPlatform pf;
  std::unique_ptr<Module> m;
};

// Ticks or clears a box as the user would, running its handler only when it changes.
void user_check(Module& m, Control& c, bool on);

// Sets the window's controls from the options (path length, level, slots, ranges, spectra).
// constants is the number of constants to keep when neither --pk, --constants nor --zero
// decides it. On a mistake returns false with a stable code and an English sentence.
bool apply_options(Session& s, const Options& o, int constants, std::string& code,
                   std::string& problem);

// Runs the chosen search; false when it refused to start (messages are in s.pf.messages).
bool run_search(Session& s, Search search);

// The window's message box text as a stable code and its English meaning; false for a text
// that is not one of the searches' refusals.
bool refusal_of(const std::string& text, std::string& code, std::string& english);

}  // namespace ferolan::cli
