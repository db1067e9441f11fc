// What the batch tool found and how it says it to people.
#pragma once

#include "cli/layer.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/pictures.h"
#include "cli/session.h"

namespace ferolan::cli {

struct Diagnostics;

class Report {
 public:
  Report(Session& s, const Options& o);

  // Factor analysis of the imported data (before any search).
  void factors();
  int suggested_constants() const;
  // --evaluate: scores the --pk set at full resolution and on the searches' grid.
  bool evaluate(std::string& code, std::string& problem);
  // A search has ended: remember its cost.
  void searched(long fits, double seconds);
  // --compare: 1..k constants by the automatic grid, compared by AIC and BIC. A model whose
  // search refuses is left out; when every one is, the first refusal is returned.
  std::optional<Refusal> compare(std::ostream* progress);
  // Standard errors, speciation, residuals and the pH scale at the result.
  void diagnose(const Arr1<double, kSlots>& ka);

  void print(std::ostream& out, const std::string& file) const;
  std::shared_ptr<const Diagnostics> diagnostics() const { return d_; }
  std::string forms_text();
  std::string calc_text() const;
  bool write_plots(PngPictures& pictures, const std::string& dir, std::ostream& err) const;

 private:
  Session& s_;
  const Options& o_;
  std::shared_ptr<Diagnostics> d_;
};

}  // namespace ferolan::cli
