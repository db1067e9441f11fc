#include "synthetic_data.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <sstream>

namespace ferolan::testing {

namespace {

// Standard normal deviates from mt19937 alone, so that the data are the same with any
// standard library.
class Gauss {
 public:
  explicit Gauss(uint32_t seed) : gen_(seed) {}
  double operator()() {
    const double u1 = (gen_() + 0.5) / 4294967296.0;
    const double u2 = (gen_() + 0.5) / 4294967296.0;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
  }

 private:
  std::mt19937 gen_;
};

double band(double wl, double centre, double width) {
  const double x = (wl - centre) / width;
  return std::exp(-0.5 * x * x);
}

}  // namespace

analysis::KaSet ka_of(const std::vector<double>& pk) {
  analysis::KaSet ka{};
  for (size_t k = 0; k < pk.size(); ++k) ka[k + 1] = std::pow(10.0, -pk[k]);
  return ka;
}

Synthetic make_synthetic(const SyntheticRecipe& recipe) {
  Synthetic out;
  out.data = std::make_unique<DataSet>(recipe.spectra, recipe.points);
  DataSet& d = *out.data;
  out.ka = ka_of(recipe.pk);
  const int forms = static_cast<int>(recipe.pk.size()) + 1;
  d.acid_conc = static_cast<float>(recipe.acid_conc);
  for (int w = 1; w <= recipe.points; ++w)
    d.wavelengths[w] = static_cast<int16_t>(recipe.wl_first + (w - 1) * recipe.wl_step);

  Gauss noise(recipe.seed);
  const double span = recipe.wl_step * (recipe.points - 1.0);
  for (int s = 1; s <= recipe.spectra; ++s) {
    const double ph =
        recipe.ph_lo + (recipe.ph_hi - recipe.ph_lo) * (s - 1) / (recipe.spectra - 1.0);
    d.ph_values[s] = static_cast<float>(ph);
    d.spectrum_used[s] = 1;
    // Fractions by the same terms as the fit: h^(6-j)·Ka1·…·Ka(j-1).
    std::vector<double> t(forms);
    double sum = 0;
    for (int j = 1; j <= forms; ++j) {
      double v = std::pow(10.0, -(kForms - j) * ph);
      for (int k = 1; k < j; ++k) v *= out.ka[k];
      sum += t[j - 1] = v;
    }
    for (int w = 1; w <= recipe.points; ++w) {
      const double wl = d.wavelengths[w];
      double a = 0;
      for (int j = 1; j <= forms; ++j) {
        // Each form its own main band moving to the red and a weaker one of fixed place.
        const double centre =
            recipe.wl_first + span * (0.2 + 0.6 * (j - 1) / std::max(forms - 1, 1));
        const double eps = (0.9 - 0.08 * j) * band(wl, centre, span / 8) +
                           (0.1 + 0.07 * j) * band(wl, recipe.wl_first + 0.1 * span, span / 12);
        a += t[j - 1] / sum * eps;  // eps scaled so that a pure form peaks near 1
      }
      d.absorbance[w][s] = static_cast<float>(a + recipe.noise * noise());
    }
  }
  d.a_max = 0;
  for (int w = 1; w <= recipe.points; ++w)
    for (int s = 1; s <= recipe.spectra; ++s)
      d.a_max = std::max<double>(d.a_max, d.absorbance[w][s]);
  return out;
}

void corrupt_spectrum(DataSet& data, int s, double sigma, uint32_t seed) {
  Gauss noise(seed);
  for (int w = 1; w <= data.n_wavelengths; ++w)
    data.absorbance[w][s] = static_cast<float>(data.absorbance[w][s] + sigma * noise());
}

std::string table_text(const DataSet& d) {
  std::ostringstream t;
  t.precision(9);
  t << d.acid_conc;
  for (int s = 1; s <= d.n_spectra; ++s) t << "\t" << d.ph_values[s];
  t << "\n";
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    t << d.wavelengths[w];
    for (int s = 1; s <= d.n_spectra; ++s) t << "\t" << d.absorbance[w][s];
    t << "\n";
  }
  return t.str();
}

}  // namespace ferolan::testing
