// The batch tool's PNG pictures: the window's three diagrams drawn by its own procedures, and
// the speciation and residual diagrams. Drawing them needs Qt, so they come from an optional
// module (src/cli_png) that the program installs; without it the batch tool writes its SVG
// pictures only.
#pragma once

#include "cli/layer.h"

#include <iosfwd>
#include <memory>
#include <string>

#include "engine/data/state.h"

namespace ferolan::analysis {
struct Speciation;
struct ResidualDiagnostics;
}  // namespace ferolan::analysis

namespace ferolan::cli {

// Every file --plots may write into a file's folder.
inline constexpr const char* kPictureNames[] = {
    "spectra.png", "forms.png", "dadph.png",      "speciation.png", "residuals.png",
    "spectra.svg", "forms.svg", "speciation.svg", "residuals.svg"};

class PngPictures {
 public:
  virtual ~PngPictures() = default;
  // The diagrams of the data and, when fit is given, of that fit as the window draws it.
  virtual void draw(const DataSet& data, const CalcState* fit) = 0;
  // spectra.png, forms.png, dadph.png, and, when given, speciation.png and residuals.png,
  // into the existing folder dir.
  virtual bool save(const std::string& dir, const analysis::Speciation* species,
                    const analysis::ResidualDiagnostics* residuals, std::ostream& err) = 0;
};

using PngMaker = std::unique_ptr<PngPictures> (*)();

// Installed by the program before any file is analysed; none: SVG pictures only.
void set_png_maker(PngMaker maker);
// A fresh set of PNG pictures, or null without the module.
std::unique_ptr<PngPictures> make_png_pictures();

}  // namespace ferolan::cli
