#include "acid_spectra.h"

#include <cmath>

namespace ferolan::testing {

namespace {

// xorshift64* with Box–Muller: the same numbers on every platform.
struct Noise {
  uint64_t x;
  double uniform() {
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    return static_cast<double>((x * 2685821657736338717ull) >> 11) * 0x1.0p-53;
  }
  double normal() {
    const double u = 1.0 - uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * M_PI * v);
  }
};

}  // namespace

double acid_eps(int j, double wl, const AcidRecipe& recipe) {
  const double span = recipe.wl_step * (recipe.n_points - 1);
  const double centre = recipe.wl_first + span * (0.15 + 0.14 * (j - 1));
  const double width = span * 0.12;
  const double height = 6000.0 + 1500.0 * j;
  const double d = (wl - centre) / width;
  return height * std::exp(-d * d) + 500.0;
}

DataSet make_acid_data(const AcidRecipe& recipe) {
  DataSet d(recipe.n_spectra, recipe.n_points);
  d.acid_conc = static_cast<float>(recipe.acid_conc);
  for (int w = 1; w <= recipe.n_points; ++w)
    d.wavelengths[w] = static_cast<int16_t>(recipe.wl_first + recipe.wl_step * (w - 1));
  const int forms = static_cast<int>(recipe.pka.size()) + 1;
  Noise noise{recipe.seed * 0x9E3779B97F4A7C15ull + 1};
  for (int s = 1; s <= recipe.n_spectra; ++s) {
    const double ph = recipe.n_spectra == 1
                          ? recipe.ph_first
                          : recipe.ph_first + (recipe.ph_last - recipe.ph_first) * (s - 1) /
                                                  (recipe.n_spectra - 1);
    d.ph_values[s] = static_cast<float>(ph);
    // Relative amounts of the forms: form j+1 over form j is 10^(pH - pKa_j).
    std::vector<double> rel(forms, 1.0);
    double sum = 1.0;
    for (int j = 1; j < forms; ++j) {
      rel[j] = rel[j - 1] * std::pow(10.0, ph - recipe.pka[j - 1]);
      sum += rel[j];
    }
    for (int w = 1; w <= recipe.n_points; ++w) {
      double a = 0;
      for (int j = 0; j < forms; ++j)
        a += recipe.acid_conc * rel[j] / sum * acid_eps(j + 1, d.wavelengths[w], recipe);
      if (recipe.noise > 0) a += recipe.noise * noise.normal();
      d.absorbance[w][s] = static_cast<float>(a);
      if (a > d.a_max) d.a_max = a;
    }
  }
  return d;
}

AcidRecipe recovery_acid(int n) {
  AcidRecipe recipe;
  recipe.pka = {3.2, 5.7, 8.1};
  recipe.pka.resize(n);
  recipe.n_spectra = 12;
  recipe.n_points = 100;
  recipe.noise = 0.001;
  recipe.seed = static_cast<uint64_t>(n);
  return recipe;
}

DataSet make_flat_data(int n_spectra, int n_points) {
  AcidRecipe recipe;
  recipe.pka = {5};
  recipe.n_spectra = n_spectra;
  recipe.n_points = n_points;
  DataSet d = make_acid_data(recipe);
  for (int w = 0; w < d.absorbance.rows(); ++w)
    for (float& a : d.absorbance[w]) a = 0.0f;
  d.a_max = 0;
  return d;
}

}  // namespace ferolan::testing
