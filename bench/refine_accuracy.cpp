// The accuracy figures of the refinement, the joint fit and the bootstrap over 100 seeds of
// generated acids with known constants (one run; the figures README quotes):
//   cmake --build build --target refine_accuracy && build/bench/refine_accuracy
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/analysis/bootstrap.h"
#include "engine/analysis/global_fit.h"

namespace {

using namespace ferolan;
using namespace ferolan::analysis;

SlotModes fitted(int k) {
  SlotModes m{};
  for (int j = 1; j <= kSlots; ++j) m[j] = j <= k ? SlotMode::Fitted : SlotMode::Removed;
  return m;
}

// One compound (molar spectra fixed) at a concentration and on a pH grid of its own.
Titration titration(const std::vector<double>& pk, double conc, double ph_lo, double ph_hi,
                    int spectra, int points, double noise, unsigned seed) {
  Titration t;
  std::mt19937 gen(seed);
  std::normal_distribution<double> gauss(0.0, noise);
  for (int w = 0; w < points; ++w) t.wavelengths.push_back(250 + w * 300.0 / (points - 1));
  for (int s = 0; s < spectra; ++s) {
    const double ph = ph_lo + (ph_hi - ph_lo) * s / (spectra - 1);
    t.ph.push_back(static_cast<float>(ph));
    t.conc.push_back(conc);
    std::vector<double> alpha(pk.size() + 1, 1.0);
    double sum = 1;
    for (size_t j = 1; j < alpha.size(); ++j)
      sum += alpha[j] = alpha[j - 1] * std::pow(10.0, ph - pk[j - 1]);
    for (double wl : t.wavelengths) {
      double a = 0;
      for (size_t j = 0; j < alpha.size(); ++j) {
        const double x = (wl - (300 + 50.0 * j)) / 35;
        a += conc * alpha[j] / sum * 15000 * (1 - 0.1 * j) * std::exp(-0.5 * x * x);
      }
      t.absorbance.push_back(static_cast<float>(a + gauss(gen)));
    }
  }
  return t;
}

Arr1<double, kSlots> pks(const std::vector<double>& v) {
  Arr1<double, kSlots> out{};
  for (size_t i = 0; i < v.size(); ++i) out[i + 1] = v[i];
  return out;
}

}  // namespace

int main() {
  const std::vector<double> truth = {4.3, 7.6};
  int within = 0, fits = 0, boot_cover = 0, boot_n = 0;
  double ratio_min = 1e9, ratio_max = 0;
  for (unsigned seed = 1; seed <= 100; ++seed) {
    std::vector<Titration> ts = {titration(truth, 4e-5, 2.0, 10.0, 21, 121, 0.003, seed * 3),
                                 titration(truth, 5e-5, 2.5, 11.0, 25, 121, 0.003, seed * 3 + 1),
                                 titration(truth, 6e-5, 1.5, 9.5, 17, 121, 0.003, seed * 3 + 2)};
    double inverse_variance[3] = {0, 0, 0};
    for (const Titration& t : ts) {
      const RefineResult one = refine_joint({t}, fitted(2), pks({4, 8}));
      for (int k = 1; k <= 2; ++k) inverse_variance[k] += 1 / (one.se[k] * one.se[k]);
    }
    const GlobalFit g = global_fit(ts, fitted(2), pks({4, 8}));
    if (g.fit.status != RefineStatus::Converged) continue;
    for (int k = 1; k <= 2; ++k) {
      ++fits;
      within += std::abs(g.fit.pk[k] - truth[k - 1]) <= 2 * g.fit.se[k];
      const double ratio = g.fit.se[k] * std::sqrt(inverse_variance[k]);
      ratio_min = std::min(ratio_min, ratio);
      ratio_max = std::max(ratio_max, ratio);
    }
    // Bootstrap of one titration (residuals), 200 replicates.
    const Titration& one_t = ts[1];
    const RefineResult one = refine_joint({one_t}, fitted(2), pks({4, 8}));
    BootstrapOptions bo;
    bo.replicates = 200;
    bo.seed = seed;
    const BootstrapResult b = bootstrap({one_t}, fitted(2), one, {}, bo);
    if (!b.ok) continue;
    for (int k = 1; k <= 2; ++k) {
      ++boot_n;
      boot_cover += b.lo[k] <= truth[k - 1] && truth[k - 1] <= b.hi[k];
    }
  }
  std::printf(
      "global fit of 3 replicates, 100 seeds: %d of %d constants within 2 se of the truth\n",
      within, fits);
  std::printf("global se / (1/sqrt(sum 1/se_t^2)): %.3f .. %.3f\n", ratio_min, ratio_max);
  std::printf("bootstrap 95 %% intervals (200 replicates) cover the truth: %d of %d (%.1f %%)\n",
              boot_cover, boot_n, 100.0 * boot_cover / std::max(boot_n, 1));
  return 0;
}
