// One batch determination: import, settings, search, results.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "cli/cli_platform.h"
#include "cli/options.h"
#include "window/state/module.h"

namespace ferolan::cli {

enum ExitCode : int { kOk = 0, kUsage = 1, kInput = 2, kRefused = 3, kOutput = 4 };

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

// Detects the layout of an input text: a tab means a pasted table, anything else data.mdf.
InputFormat detect_format(std::string_view text);

// Loads text into the session's module as the chosen import would. On failure returns
// false with the hint line's sentence in problem.
bool import_text(Session& s, std::string_view text, InputFormat format, std::string& problem);

// Ticks or clears a box as the user would, running its handler only when it changes.
void user_check(Module& m, Control& c, bool on);

// Sets the window's controls from the options (path length, level, slots, ranges, spectra).
// constants is the number of constants to keep when neither --pk nor --zero decides it.
bool apply_options(Session& s, const Options& o, int constants, std::string& problem);

// Runs the chosen search; false when it refused to start (messages are in s.pf.messages).
bool run_search(Session& s, Search search);

// The whole tool: returns the exit status.
int run_batch(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
              bool err_is_terminal);

}  // namespace ferolan::cli
