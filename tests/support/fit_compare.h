// Comparing a fit with the per-point reference, bit for bit, from a start state with
// leftovers in every array, so that entries the fit must not touch are compared too.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "engine/data/state.h"

namespace ferolan::testing {

// A random data set of ns spectra, every one included, with pH over 1..13 (ascending when
// `sorted`) and absorbances from `lowest` to 2 at every point of its room, which is at least
// the window's 50 × 1000: the entries beyond the counts must not reach the fit.
inline std::unique_ptr<DataSet> random_data(std::mt19937& rng, int ns, int nw, float lowest,
                                            bool sorted) {
  auto d = std::make_unique<DataSet>();
  const int room_s = std::max(ns, 50), room_w = std::max(nw, 1000);
  d->resize(room_s, room_w);
  std::uniform_real_distribution<float> a(lowest, 2), ph(1, 13);
  d->acid_conc = 1e-4f;
  d->n_spectra = ns;
  d->n_wavelengths = nw;
  for (int s = 1; s <= ns; ++s) {
    d->ph_values[s] = ph(rng);
    d->spectrum_used[s] = 1;
  }
  if (sorted) std::sort(d->ph_values.begin() + 1, d->ph_values.begin() + 1 + ns);
  for (int w = 1; w <= room_w; ++w)
    for (int s = 1; s <= room_s; ++s) d->absorbance[w][s] = a(rng);
  return d;
}

inline std::unique_ptr<CalcState> start_state(std::mt19937& rng) {
  auto c = std::make_unique<CalcState>();
  std::uniform_real_distribution<float> junk(-5, 5);
  c->form_conc.resize(51, kForms + 1);
  c->eps_forms.resize(1001, kForms + 1);
  for (int s = 0; s < c->form_conc.rows(); ++s)
    for (auto& v : c->form_conc[s]) v = junk(rng);
  for (int w = 0; w < c->eps_forms.rows(); ++w)
    for (auto& v : c->eps_forms[w]) v = junk(rng);
  for (auto& row : c->norm_matrix)
    for (auto& v : row) v = junk(rng);
  for (auto& v : c->norm_rhs) v = junk(rng);
  for (auto& v : c->lsq_solution) v = junk(rng);
  c->system_size = 3;
  c->s_a_sq = 7;
  return c;
}

template <typename T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}
template <typename T>
bool same_bits(const RowMatrix<T>& a, const RowMatrix<T>& b) {
  const size_t n = static_cast<size_t>(a.rows()) * static_cast<size_t>(a.pitch());
  return a.rows() == b.rows() && a.cols() == b.cols() && a.pitch() == b.pitch() &&
         (n == 0 || std::memcmp(a.data(), b.data(), sizeof(T) * n) == 0);
}

inline void expect_identical(const CalcState& fast, const CalcState& ref) {
  EXPECT_TRUE(same_bits(fast.s_a_sq, ref.s_a_sq)) << fast.s_a_sq << " vs " << ref.s_a_sq;
  EXPECT_TRUE(same_bits(fast.form_conc, ref.form_conc)) << "form_conc";
  EXPECT_TRUE(same_bits(fast.eps_forms, ref.eps_forms)) << "eps_forms";
  EXPECT_TRUE(same_bits(fast.norm_matrix, ref.norm_matrix)) << "norm_matrix";
  EXPECT_TRUE(same_bits(fast.norm_rhs, ref.norm_rhs)) << "norm_rhs";
  EXPECT_TRUE(same_bits(fast.lsq_solution, ref.lsq_solution)) << "lsq_solution";
  EXPECT_EQ(fast.system_size, ref.system_size);
  EXPECT_EQ(fast.fits, ref.fits);
}

}  // namespace ferolan::testing
