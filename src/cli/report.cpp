#include "cli/report.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "cli/json.h"
#include "cli/report_impl.h"
#include "engine/format/format.h"
#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "engine/search/messages.h"
#include "window/search/run_control.h"
#include "window/view/constants.h"
#include "window/view/export.h"

namespace ferolan::cli {

Report::Report(Session& s, const Options& o) : s_(s), o_(o), d_(std::make_shared<Diagnostics>()) {}

bool Report::evaluate(std::string& code, std::string& problem) {
  Module& m = *s_.m;
  CalcState& calc = m.st.calc;
  for (int k = 1; k <= kSlots; ++k) {
    if (m.ui.Check2[k].checked) {
      calc.ka[k] = 0;
      continue;
    }
    const float pk = static_cast<float>(leading_number(m.ui.txt_pK[k].text));
    if (pk == 0 || !ka_fits(pk)) {
      code = "start_value_missing";
      problem = "--evaluate needs a pKa value for slot " + std::to_string(k);
      return false;
    }
    m.st.search.pk[k] = pk;
    calc.ka[k] = ka_of(pk);
  }
  chy_dostatno_spektriv(m.st.data, slot_modes(m.ui), calc);
  if (calc.used_spectra_count == 0) {
    code = "too_few_spectra";
    problem = message_english(Msg::TooFewSpectra, 0);
    return false;
  }
  calc.fit_step = 10;
  rozrah(m.st.data, calc);
  d_->s_thinned = std::sqrt(calc.s_a_sq);
  calc.fit_step = 1;
  rozrah(m.st.data, calc);
  d_->s_full = std::sqrt(calc.s_a_sq);
  calc.fit_step = 10;
  d_->evaluated = true;
  for (int k = 1; k <= kSlots; ++k) m.st.search.pk_best[k] = m.st.search.pk[k];
  vyvid_K(m.st.search, calc, m.ui, m.dec());
  return true;
}

void Report::searched(long fits, double seconds) {
  d_->searched = true;
  d_->fits = fits;
  d_->seconds = seconds;
}

bool Report::no_result() const {
  // A search that evaluated nothing leaves the slots as they were and says so in Label9.
  const Module& m = *s_.m;
  return m.ui.Label9.text != " РОЗРАХУНОК ЗАВЕРШЕНО !!!";
}

std::string Report::forms_text() {
  Module& m = *s_.m;
  const std::string saved = s_.pf.clipboard;
  Command4_Click(m);
  std::string text = s_.pf.clipboard;
  s_.pf.clipboard = saved;
  return text;
}

std::string Report::calc_text() const {
  const Module& m = *s_.m;
  const DataSet& d = m.st.data;
  const CalcState& c = m.st.calc;
  std::string t = format_general(d.acid_conc);
  for (int i = 1; i <= d.n_spectra; ++i)
    if (d.spectrum_used[i]) {
      t += '\t';
      t += format_general(d.ph_values[i]);
    }
  t += "\r\n";
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    t += format_mask(d.wavelengths[w], "#000");
    for (int i = 1; i <= d.n_spectra; ++i) {
      if (!d.spectrum_used[i]) continue;
      double a = 0;
      for (int j = 1; j <= kForms; ++j)
        a += static_cast<double>(c.eps_forms[w][j]) * c.form_conc[i][j];
      t += '\t';
      t += format_general(static_cast<float>(a));
    }
    t += "\r\n";
  }
  return t;
}

namespace {

const char* search_name(Search s) {
  switch (s) {
    case Search::Optimisation:
      return "optimisation";
    case Search::Manual:
      return "manual grid";
    case Search::Auto:
      return "automatic grid";
  }
  return "";
}

const char* level_name(int level) {
  return level == 3 ? "very-high" : level == 2 ? "high" : "normal";
}

// Characters, not bytes, of a UTF-8 text (the ± takes two bytes).
size_t chars(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

const char* slot_state(const Controls& ui, int k) {
  if (ui.Check2[k].checked) return "removed";
  return ui.Check1[k].checked ? "fitted" : "held";
}

}  // namespace

void Report::print(std::ostream& out, const std::string& file) const {
  const Module& m = *s_.m;
  const DataSet& d = m.st.data;
  const Controls& ui = m.ui;
  int used = 0;
  for (int i = 1; i <= d.n_spectra; ++i) used += d.spectrum_used[i] != 0;

  out << file << ": " << d.n_spectra << " spectra (" << used << " used), " << d.n_wavelengths
      << " points, C = " << ui.LabC.text << " mol/L\n";
  d_->print_factors(out);
  if (o_.factors_only) return;
  if (o_.evaluate) {
    out << "evaluated set:\n";
  } else if (!o_.compare) {
    out << "search: " << search_name(o_.search);
    if (o_.search == Search::Optimisation) out << " (" << level_name(o_.level) << ")";
    out << "\n";
  }
  for (int k = 1; k <= kSlots; ++k) {
    out << "pKa" << k << " = ";
    if (ui.Check2[k].checked) {
      out << "removed\n";
      continue;
    }
    const std::string& text = ui.txt_pK[k].text;
    out << text << std::string(std::max<size_t>(1, 14 - std::min<size_t>(14, chars(text))), ' ')
        << "Ka" << k << " = " << format_mask(ka_of(m.st.search.pk_best[k]), "0.00e+00") << "   "
        << slot_state(ui, k);
    d_->print_slot(out, k);
    out << "\n";
  }
  if (d_->evaluated) {
    out << "s(A) = " << format_mask(d_->s_full, "0.00e+00") << " (all points), "
        << format_mask(d_->s_thinned, "0.00e+00") << " (every " << 10 << "th point)\n";
  } else {
    if (d_->s_a_full) out << "s(A) = " << format_mask(*d_->s_a_full, "0.00e+00") << "\n";
  }
  if (d_->searched)
    out << "trials: " << m.st.search.trials << "   fits: " << d_->fits
        << "   elapsed: " << format_mask(d_->seconds, "0.000") << " s\n";
  d_->print_diagnostics(out);
}

}  // namespace ferolan::cli

namespace ferolan::cli {

bool Report::write_plots(Pictures& pictures, const std::string& dir, std::ostream& err) const {
  return pictures.save(dir, d_->species ? &*d_->species : nullptr,
                       d_->residuals ? &*d_->residuals : nullptr, err);
}

}  // namespace ferolan::cli
