#include <cstdio>
#include <string>

#include "cli/svg.h"
#include "engine/analysis/residual_map.h"
#include "engine/analysis/speciation.h"
#include "engine/format/palette.h"
#include "engine/model/fit.h"

namespace ferolan::cli {

namespace {

// The window's colour of form j as "#rrggbb".
std::string form_colour(int j) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%06x",
                static_cast<unsigned>(palette_rgb(kFormColour[j >= 1 && j <= kForms ? j : 0])));
  return hex;
}

// From blue at the lowest pH to orange at the highest.
std::string ramp(size_t i, size_t n) {
  const double t = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0;
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(30 + t * 200),
                static_cast<int>(80 + t * 60), static_cast<int>(200 - t * 170));
  return buf;
}

std::string ph_span(double lo, double hi) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "pH %.2f–%.2f", lo, hi);
  return buf;
}

}  // namespace

std::vector<SvgFile> result_svgs(const DataSet& d, const analysis::KaSet& ka, double path_len,
                                 const analysis::Speciation* species,
                                 const analysis::ResidualDiagnostics* residuals) {
  std::vector<SvgFile> files;
  const std::vector<int> used = analysis::included_spectra(d);
  if (used.empty() || d.n_wavelengths < 1) return files;
  const auto fit = analysis::fit_full(d, ka);
  std::vector<double> nm;
  for (int w = 1; w <= d.n_wavelengths; ++w) nm.push_back(d.wavelengths[w]);
  const std::string span = ph_span(d.ph_values[used.front()], d.ph_values[used.back()]);

  SvgPlot spectra{"Measured and calculated spectra", "wavelength, nm", "absorbance", {}};
  for (size_t i = 0; i < used.size(); ++i) {
    SvgSeries m{i == 0 ? "measured, " + span : "", ramp(i, used.size()), nm, {}};
    SvgSeries c{i == 0 ? "calculated" : "", "#d00000", nm, {}, true};
    for (int w = 1; w <= d.n_wavelengths; ++w) {
      m.y.push_back(d.absorbance[w][used[i]]);
      c.y.push_back(calculated_absorbance(*fit, w, used[i]));
    }
    spectra.series.push_back(std::move(m));
    spectra.series.push_back(std::move(c));
  }
  files.push_back({"spectra.svg", svg_text(spectra)});

  SvgPlot forms{"Spectra of the forms", "wavelength, nm", "ε, L mol⁻¹ cm⁻¹", {}};
  for (int j = 1; j <= analysis::present_forms(ka); ++j) {
    SvgSeries s{analysis::form_name(j), form_colour(j), nm, {}};
    for (int w = 1; w <= d.n_wavelengths; ++w)
      s.y.push_back(static_cast<double>(fit->eps_forms[w][j]) / path_len);
    forms.series.push_back(std::move(s));
  }
  files.push_back({"forms.svg", svg_text(forms)});

  if (species && !species->ph.empty()) {
    SvgPlot p{"Fractions of the forms", "pH", "fraction of the acid", {}};
    for (size_t f = 0; f < species->forms.size(); ++f) {
      SvgSeries s{
          analysis::form_name(species->forms[f]), form_colour(species->forms[f]), species->ph, {}};
      for (size_t i = 0; i < species->ph.size(); ++i) s.y.push_back(species->at(i, f));
      p.series.push_back(std::move(s));
    }
    files.push_back({"speciation.svg", svg_text(p)});
  }
  if (residuals && !residuals->spectra.empty()) {
    SvgPlot p{"Residuals A(measured) − A(calculated)", "wavelength, nm", "residual absorbance", {}};
    std::vector<double> x(residuals->wavelengths.begin(), residuals->wavelengths.end());
    const size_t n = residuals->spectra.size();
    for (size_t i = 0; i < n; ++i) {
      SvgSeries s{i == 0 ? "one line per spectrum, " + span : "", ramp(i, n), x, {}};
      for (size_t w = 0; w < x.size(); ++w) s.y.push_back(residuals->at(i, w));
      p.series.push_back(std::move(s));
    }
    files.push_back({"residuals.svg", svg_text(p)});
  }
  return files;
}

}  // namespace ferolan::cli
