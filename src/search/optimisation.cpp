#include "search/optimisation.h"

#include <cmath>

#include "import/number.h"
#include "model/fit.h"
#include "model/uncertainty.h"
#include "search/run_control.h"
#include "search/searches.h"
#include "view/constants.h"

namespace ferolan {

namespace {

// One sweep: every combination of exponents -1, -1 + h, ..., 1 of the varied slots whose
// pKa values do not fall from slot to slot, slot 1 outermost.
struct Sweep {
  Module& m;
  const Arr1<float, kSlots>& base;
  float h;
  Arr1<float, kSlots> exp{};
  Arr1<float, kSlots> best_exp{};
  bool improved = false;
  bool stopped = false;

  void slot(int k);
  void trial();
};

void Sweep::slot(int k) {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  const float last = s.pk_free[k];
  for (float e = -last; e <= last; e += h) {
    // The factor is read afresh: a stop handled at a yield sets it to 1.
    const double f = std::pow(static_cast<double>(s.step_factor), static_cast<double>(e));
    s.pk[k] = static_cast<float>(static_cast<double>(base[k]) * f);
    if (k > 1 && s.pk[k] < s.pk[k - 1]) continue;
    if (k == 1 || c.ka[k] > 0) {
      // A value whose constant underflows to 0 would pass for a removed one: skip it.
      if (!ka_fits(s.pk[k])) continue;
      c.ka[k] = ka_of(s.pk[k]);
    }
    exp[k] = e;
    if (k < kSlots)
      slot(k + 1);
    else
      trial();
    if (stopped) return;
  }
  if (k == 3) show_elapsed(m);
}

void Sweep::trial() {
  if (stop_requested(m.st.search)) {
    stopped = true;
    return;
  }
  m.pf.yield();
  rozrah(m.st.data, m.st.calc);
  note_trial(m, m.st.search.pk);
  if (accept_trial(m.st.calc)) {
    best_exp = exp;
    improved = true;
  }
}

void show_set(Module& m) {
  show_s_a(m);
  full_fit(m);
  draw_fit(m);
  vyvid_K(m.st.search, m.st.calc, m.ui, m.dec());
}

}  // namespace

bool read_start_values(Module& m) {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  for (int k = 1; k <= kSlots; ++k) {
    const std::string& text = m.ui.txt_pK[k].text;
    const bool zeroed = m.ui.Check2[k].checked;
    if (text.empty() && !zeroed) {
      show_message(m, Msg::StartValues);
      return false;
    }
    s.pk_free[k] = m.ui.Check1[k].checked ? 1 : 0;
    if (zeroed) {
      c.ka[k] = 0;
      s.pk[k] = 50;
      s.pk_free[k] = 0;
      continue;
    }
    s.pk[k] = static_cast<float>(leading_number(text));
    if (s.pk[k] == 0 || !ka_fits(s.pk[k])) {
      show_message(m, Msg::StartValues);
      return false;
    }
    c.ka[k] = ka_of(s.pk[k]);
  }
  return true;
}

void optimisation_sweeps(Module& m, Arr1<float, kSlots>& base_pk, float h) {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  for (;;) {
    Sweep sweep{m, base_pk, h};
    sweep.slot(1);
    if (sweep.stopped) return;
    m.pf.yield();
    if (sweep.improved) {
      const double F = s.step_factor;
      for (int k = 1; k <= kSlots; ++k)
        s.pk[k] =
            static_cast<float>(base_pk[k] * std::pow(F, static_cast<double>(sweep.best_exp[k])));
      for (int k = 1; k <= kSlots; ++k)
        if (c.ka[k] > 0) c.ka[k] = ka_of(s.pk[k]);
      base_pk = s.pk;
      rozrah(m.st.data, c);
      show_set(m);
      continue;
    }
    s.step_factor = (s.step_factor - 1.0f) / 2.0f + 1.0f;
    m.ui.set_text(m.ui.Label5, m.ui.Label5.text + "  ");
    if (s.step_factor < s.opt_factor_min) return;
  }
}

void Command2_Click(Module& m) {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  run_lock(m);
  s.run_start_time = static_cast<float>(m.pf.clock_seconds());
  if (!read_start_values(m)) return finish_block(m);
  Arr1<float, kSlots> base_pk = s.pk;
  chy_dostatno_spektriv(m.st.data, m.ui, c);
  if (c.used_spectra_count == 0) {
    show_message(m, Msg::TooFewSpectra);
    return finish_block(m);
  }
  rozrah(m.st.data, c);
  c.s_a_sq_best = static_cast<float>(c.s_a_sq);
  s.step_factor = s.step_factor_start;
  show_set(m);
  optimisation_sweeps(m, base_pk, s.opt_exponent_step);
  s.pk_best = base_pk;
  pohybka(m.st.data, c, s, m.ui, m.dec());
  finish_block(m);
}

}  // namespace ferolan
