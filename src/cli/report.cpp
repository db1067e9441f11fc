#include "cli/report.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "cli/json.h"
#include "cli/report_impl.h"
#include "engine/format/format.h"
#include "engine/format/forms_table.h"
#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "engine/search/messages.h"
#include "engine/search/run.h"

namespace ferolan::cli {

Report::Report(Session& s, const Options& o) : s_(s), o_(o), d_(std::make_shared<Diagnostics>()) {}

bool Report::evaluate(std::string& code, std::string& problem) {
  State& st = *s_.st;
  CalcState& calc = st.calc;
  for (int k = 1; k <= kSlots; ++k) {
    if (s_.setup.slot[k].mode == SlotMode::Removed) {
      calc.ka[k] = 0;
      continue;
    }
    const float pk = static_cast<float>(leading_number(s_.pk_text[k]));
    if (pk == 0 || !ka_fits(pk)) {
      code = "start_value_missing";
      problem = "--evaluate needs a pKa value for slot " + std::to_string(k);
      return false;
    }
    st.search.pk[k] = pk;
    calc.ka[k] = ka_of(pk);
  }
  chy_dostatno_spektriv(st.data, s_.modes(), calc);
  if (calc.used_spectra_count == 0) {
    code = "too_few_spectra";
    problem = message_english(Msg::TooFewSpectra, 0);
    return false;
  }
  calc.fit_step = 10;
  rozrah(st.data, calc);
  d_->s_thinned = std::sqrt(calc.s_a_sq);
  calc.fit_step = 1;
  rozrah(st.data, calc);
  d_->s_full = std::sqrt(calc.s_a_sq);
  calc.fit_step = 10;
  // A score the searches would not accept is refused here as they refuse it.
  if (const std::optional<Refusal> no = score_problem(st.data, calc)) {
    code = message_code(no->msg);
    problem = message_english(no->msg, no->slot);
    return false;
  }
  d_->evaluated = true;
  for (int k = 1; k <= kSlots; ++k) {
    st.search.pk_best[k] = st.search.pk[k];
    // The pKa boxes show the evaluated set as the constants display writes it.
    s_.pk_text[k] = calc.ka[k] > 0 ? format_single(st.search.pk[k], "#0.00") : "";
  }
  return true;
}

void Report::searched(long fits, double seconds) {
  d_->searched = true;
  d_->fits = fits;
  d_->seconds = seconds;
}

std::string Report::forms_text() {
  const State& st = *s_.st;
  return forms_export_text(st.data, st.settings, st.calc, '.');
}

std::string Report::calc_text() const {
  const DataSet& d = s_.st->data;
  const CalcState& c = s_.st->calc;
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
      t += '\t';
      t += format_general(static_cast<float>(calculated_absorbance(c, w, i)));
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

}  // namespace

void Report::print(std::ostream& out, const std::string& file) const {
  const DataSet& d = s_.st->data;
  const int used = count_used_spectra(d);

  out << file << ": " << d.n_spectra << " spectra (" << used << " used), " << d.n_wavelengths
      << " points, C = " << acid_conc_text(d) << " mol/L";
  if (!s_.conc_spectra.empty()) {
    const auto [lo, hi] = std::minmax_element(s_.conc_spectra.begin(), s_.conc_spectra.end());
    out << " for the search, the mean of the concentrations per spectrum ("
        << format_single(static_cast<float>(*lo), "#.#0e+00") << " to "
        << format_single(static_cast<float>(*hi), "#.#0e+00") << ") that the refinement takes";
  }
  out << "\n";
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
    const SlotMode mode = s_.setup.slot[k].mode;
    const std::string& text = s_.pk_text[k];
    // Slot 1 removed with a value: the searches tried it all the same.
    if (mode == SlotMode::Removed && (k > 1 || text.empty() || o_.evaluate)) {
      out << "removed\n";
      continue;
    }
    const double ka = mode == SlotMode::Removed ? s_.shown.ka[1] : ka_of(s_.st->search.pk_best[k]);
    out << text << std::string(std::max<size_t>(1, 14 - std::min<size_t>(14, chars(text))), ' ')
        << "Ka" << k << " = " << format_mask(ka, "0.00e+00") << "   "
        << (mode == SlotMode::Removed ? "removed, tried all the same" : slot_mode_name(mode));
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
    out << "trials: " << s_.trials << "   fits: " << d_->fits
        << "   elapsed: " << format_mask(d_->seconds, "0.000") << " s\n";
  d_->print_diagnostics(out);
}

}  // namespace ferolan::cli

namespace ferolan::cli {

bool Report::write_plots(PngPictures& pictures, const std::string& dir, std::ostream& err) const {
  return pictures.save(dir, d_->species ? &*d_->species : nullptr,
                       d_->residuals ? &*d_->residuals : nullptr, err);
}

}  // namespace ferolan::cli
