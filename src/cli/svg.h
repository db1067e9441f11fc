// Publication pictures of the batch tool: line plots as SVG with axes, ticks, units and a
// legend, drawn from numbers alone (no Qt).
#pragma once

#include "cli/layer.h"

#include <string>
#include <vector>

#include "engine/analysis/fit_access.h"

namespace ferolan::analysis {
struct Speciation;
struct ResidualDiagnostics;
}  // namespace ferolan::analysis

namespace ferolan::cli {

struct SvgSeries {
  std::string name;    // legend text; empty: not in the legend
  std::string colour;  // "#rrggbb"
  std::vector<double> x, y;
  bool dashed = false;
};

struct SvgPlot {
  std::string title, x_label, y_label;
  std::vector<SvgSeries> series;
};

// Tick positions for an axis over [lo, hi], from one at or below lo to one at or above hi:
// steps of 1, 2 or 5 times a power of ten, about `target` of them, never more than 12
// whatever the numbers (a flat or an enormous range included).
std::vector<double> tick_values(double lo, double hi, int target = 6);

std::string svg_text(const SvgPlot& plot);

struct SvgFile {
  std::string name, text;
};

// spectra.svg (measured and calculated), forms.svg (ε of the forms), speciation.svg and
// residuals.svg of a fit at ka; the last two only when given.
std::vector<SvgFile> result_svgs(const DataSet& data, const analysis::KaSet& ka, double path_len,
                                 const analysis::Speciation* species,
                                 const analysis::ResidualDiagnostics* residuals);

}  // namespace ferolan::cli
