// The diagnostics of the batch tool: factor analysis, standard errors, speciation, residuals,
// model comparison and the concentration pH scale.
#include <algorithm>
#include <cmath>
#include <ostream>

#include "cli/report.h"
#include "cli/report_impl.h"
#include "engine/analysis/fit_access.h"
#include "engine/format/format.h"

namespace ferolan::cli {

namespace {

std::string sci(double v) {
  return format_mask(v, "0.00e+00");
}
std::string fixed4(double v) {
  return format_mask(v, "0.0000");
}

}  // namespace

void Report::factors() {
  const DataSet& d = s_.st->data;
  if (analysis::included_spectra(d).empty() || d.n_wavelengths < 1) return;
  analysis::FactorOptions fo;
  if (o_.noise) fo.noise = *o_.noise;
  d_->fa = analysis::factor_analysis(d, fo);
}

int Report::suggested_constants() const {
  if (!d_->fa) return kSlots;
  return std::clamp(d_->fa->suggested_forms - 1, 1, kSlots);
}

void Report::diagnose(const analysis::KaSet& ka) {
  const State& st = *s_.st;
  const DataSet& d = st.data;
  if (analysis::included_spectra(d).empty()) return;
  std::vector<int> slots;
  for (int k = 1; k <= kSlots; ++k)
    if (s_.setup.slot[k].mode == SlotMode::Fitted && ka[k] > 0) slots.push_back(k);
  if (!slots.empty()) d_->se = analysis::standard_errors(d, ka, slots);
  d_->species = analysis::speciation(d, ka);
  const auto full = analysis::fit_full(d, ka);
  d_->s_a_full = std::sqrt(full->s_a_sq);
  d_->residuals = analysis::residual_diagnostics(d, *full);
  if (o_.ionic_strength) {
    d_->scale.assign(kSlots + 1, {});
    for (int k = 1; k <= kSlots; ++k)
      if (ka[k] > 0)
        d_->scale[k] = analysis::convert_pk(st.search.pk_best[k], k, *o_.ionic_strength);
  }
}

std::optional<Refusal> Report::compare(std::ostream* progress) {
  State& st = *s_.st;
  // One more constant than the factor analysis suggests, so that over-fitting can show.
  const int top = std::min(kSlots, suggested_constants() + 1);
  std::vector<analysis::ModelCandidate> candidates;
  std::optional<Refusal> first_refusal;
  long fits = 0;
  double seconds = 0;
  auto run = [&](int k) {
    set_model(s_, k);
    const SearchResult r = run_search(s_, Search::Auto, o_.threads, nullptr);
    fits += r.fits;
    seconds += r.seconds;
    if (r.outcome == Outcome::Refused && !first_refusal) first_refusal = r.refusal;
    return r.outcome == Outcome::Finished || r.outcome == Outcome::Stopped;
  };
  for (int k = 1; k <= top; ++k) {
    if (progress) *progress << "\rcomparing: " << k << " of " << top << " constants" << std::flush;
    if (!run(k)) continue;
    ComparedModel cm;
    cm.constants = k;
    for (int i = 1; i <= kSlots; ++i) cm.texts[i] = s_.pk_text[i];
    cm.s_a = std::sqrt(st.calc.s_a_sq);
    d_->compared.push_back(cm);
    candidates.push_back(analysis::candidate_at(st.data, st.calc.ka, k));
  }
  if (progress) *progress << "\r" << std::string(40, ' ') << "\r" << std::flush;
  if (candidates.empty()) return first_refusal ? first_refusal : Refusal{Msg::TooFewSpectra, 0};
  d_->choice = analysis::compare_models(candidates);
  // Leave the window state on the preferred model, as if it had been searched alone.
  const int last = d_->compared.back().constants;
  const int best =
      d_->choice->preferred >= 0 ? d_->compared[d_->choice->preferred].constants : last;
  if (best != last || last != top) run(best);
  searched(fits, seconds);
  return std::nullopt;
}

int Diagnostics::se_index(int k) const {
  if (!se || !se->ok) return -1;
  auto it = std::find(se->slots.begin(), se->slots.end(), k);
  return it == se->slots.end() ? -1 : static_cast<int>(it - se->slots.begin());
}

void Diagnostics::print_factors(std::ostream& out) const {
  if (!fa) return;
  out << "factor analysis: " << analysis::factor_summary(*fa) << "\n";
  out << "  noise " << sci(fa->noise) << (fa->noise_given ? " (given)" : " (estimated)")
      << "; singular values, share, residual RMS / noise:\n";
  const size_t n = std::min<size_t>(fa->singular.size(), 8);
  for (size_t k = 0; k < n; ++k) {
    const double ratio = k + 1 < fa->rms_to_noise.size() ? fa->rms_to_noise[k + 1] : 0;
    out << "  " << k + 1 << ": " << sci(fa->singular[k]) << "  "
        << format_mask(100 * fa->share[k], "0.000") << " %  "
        << (std::isfinite(ratio) ? format_mask(ratio, "0.00") : "-") << "\n";
  }
}

void Diagnostics::print_slot(std::ostream& out, int k) const {
  const int i = se_index(k);
  if (i >= 0) out << "   standard error " << fixed4(se->se[i]);
  if (!scale.empty() && scale[k].ok)
    out << "   concentration scale " << format_mask(scale[k].pk_concentration, "#0.00");
}

void Diagnostics::print_diagnostics(std::ostream& out) const {
  if (choice) {
    out << "model comparison (automatic grid):\n";
    for (size_t i = 0; i < compared.size(); ++i) {
      const auto& sc = choice->scores[i];
      out << "  " << compared[i].constants << " constant" << (compared[i].constants > 1 ? "s" : " ")
          << "  s(A) " << sci(compared[i].s_a) << "  parameters " << sc.model.parameters << "  AIC "
          << format_mask(sc.aic, "0.0") << "  BIC " << format_mask(sc.bic, "0.0")
          << (static_cast<int>(i) == choice->preferred ? "  <- preferred" : "") << "\n";
    }
  }
  if (se && se->ok && se->slots.size() > 1) {
    out << "correlation of the fitted pKa:\n";
    const size_t n = se->slots.size();
    for (size_t r = 0; r < n; ++r) {
      out << "  pKa" << se->slots[r];
      for (size_t c = 0; c < n; ++c)
        out << "  " << format_mask(se->correlation[r * n + c], "0.000");
      out << "\n";
    }
  }
  if (se && se->ok)
    out << "standard errors: s(A)² (JᵀJ)⁻¹ with " << se->dof << " degrees of freedom, step "
        << se->step << " pKa\n";
  if (residuals) {
    out << "residuals: s(A) per spectrum, median " << sci(residuals->median_s_spectrum);
    if (residuals->outliers.empty()) {
      out << ", no spectrum above 3 × median\n";
    } else {
      out << "; likely outliers (above 3 × median):";
      for (int s : residuals->outliers) out << " " << s;
      out << "\n";
    }
  }
  if (!scale.empty() && !scale[1].in_range && scale[1].ok)
    out << "note: the Davies equation is meant for ionic strengths up to 0.5 mol/L\n";
}

void Diagnostics::json_factors(Json& j) const {
  if (!fa) {
    j.null("factor_analysis");
    return;
  }
  j.begin_object("factor_analysis");
  j.value("suggested_forms", fa->suggested_forms)
      .value("suggested_constants", std::max(0, fa->suggested_forms - 1))
      .value("summary", analysis::factor_summary(*fa))
      .value("noise", fa->noise)
      .value("noise_given", fa->noise_given)
      .value("reached_noise", fa->reached_noise);
  j.begin_array("singular_values");
  for (double v : fa->singular) j.item(v);
  j.end_array().begin_array("share");
  for (double v : fa->share) j.item(v);
  j.end_array().begin_array("residual_rms");
  for (double v : fa->residual_rms) j.item(v);
  j.end_array().end_object();
}

void Diagnostics::json_diagnostics(Json& j) const {
  if (se && se->ok) {
    j.begin_object("standard_errors")
        .value("dof", se->dof)
        .value("rss", se->rss)
        .value("step", se->step);
    j.begin_array("slots");
    for (int s : se->slots) j.item(static_cast<double>(s));
    j.end_array().begin_array("correlation");
    for (double v : se->correlation) j.item(v);
    j.end_array().end_object();
  } else {
    j.null("standard_errors");
  }
  if (species) {
    j.begin_object("speciation").begin_array("forms");
    for (int f : species->forms) j.item(analysis::form_name(f));
    j.end_array().begin_array("ph");
    for (double p : species->ph) j.item(p);
    j.end_array().begin_array("fraction");
    for (double v : species->fraction) j.item(v);
    j.end_array().end_object();
  } else {
    j.null("speciation");
  }
  if (residuals) {
    j.begin_object("residuals")
        .value("s_a", residuals->s_a)
        .value("median_s_spectrum", residuals->median_s_spectrum);
    j.begin_array("spectra");
    for (int s : residuals->spectra) j.item(static_cast<double>(s));
    j.end_array().begin_array("s_spectrum");
    for (double v : residuals->s_spectrum) j.item(v);
    j.end_array().begin_array("s_point");
    for (double v : residuals->s_point) j.item(v);
    j.end_array().begin_array("outliers");
    for (int s : residuals->outliers) j.item(static_cast<double>(s));
    j.end_array().end_object();
  } else {
    j.null("residuals");
  }
  if (choice) {
    j.begin_array("models");
    for (size_t i = 0; i < compared.size(); ++i) {
      const auto& sc = choice->scores[i];
      j.begin_object()
          .value("constants", compared[i].constants)
          .value("s_a", compared[i].s_a)
          .value("rss", sc.model.rss)
          .value("parameters", sc.model.parameters)
          .value("observations", sc.model.observations)
          .value("aic", sc.aic)
          .value("bic", sc.bic)
          .value("preferred", static_cast<int>(i) == choice->preferred);
      j.begin_array("pKa_texts");
      for (int k = 1; k <= compared[i].constants; ++k) j.item(compared[i].texts[k]);
      j.end_array().end_object();
    }
    j.end_array();
  } else {
    j.null("models");
  }
}

}  // namespace ferolan::cli
