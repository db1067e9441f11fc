// The batch tool's pictures: the window's three diagrams drawn by the same procedures onto
// offscreen canvases, and the speciation and residual diagrams of the diagnostics.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "window/platform/canvas.h"

namespace ferolan::analysis {
struct Speciation;
struct ResidualDiagnostics;
}  // namespace ferolan::analysis

namespace ferolan::cli {

// Every file --plots may write into a file's folder.
inline constexpr const char* kPictureNames[] = {
    "spectra.png", "forms.png", "dadph.png",      "speciation.png", "residuals.png",
    "spectra.svg", "forms.svg", "speciation.svg", "residuals.svg"};

class Pictures {
 public:
  // Without drawing, the canvases record nothing (no Qt needed).
  explicit Pictures(bool draw);
  ~Pictures();

  Canvas& spectrs();
  Canvas& pict_e();
  Canvas& picture1();

  // spectra.png, forms.png, dadph.png, and, when given, speciation.png and residuals.png.
  bool save(const std::string& dir, const analysis::Speciation* species,
            const analysis::ResidualDiagnostics* residuals, std::ostream& err);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace ferolan::cli
