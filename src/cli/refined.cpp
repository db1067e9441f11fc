#include "cli/refined.h"

#include <cmath>
#include <cstdio>

namespace ferolan::cli {

namespace {

void per_slot(Json& j, std::string_view key, const Arr1<double, kSlots>& v) {
  j.begin_array(key);
  for (int k = 1; k <= kSlots; ++k) std::isfinite(v[k]) ? j.item(v[k]) : j.null({});
  j.end_array();
}

void numbers(Json& j, std::string_view key, const std::vector<double>& v) {
  j.begin_array(key);
  for (double x : v) j.item(x);
  j.end_array();
}

std::string printf_text(const char* fmt, double a, double b = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}

}  // namespace

void json_bootstrap(Json& j, std::string_view key, const analysis::BootstrapResult* b,
                    bool timing) {
  if (!b) {
    j.null(key);
    return;
  }
  j.begin_object(key);
  j.value("ok", b->ok);
  b->message.empty() ? j.null("message") : j.value("message", b->message);
  j.value("method", b->method).value("replicates", b->replicates).value("failed", b->failed);
  j.value("seed", std::to_string(b->seed)).value("threads", b->threads);
  per_slot(j, "lo", b->lo);
  per_slot(j, "hi", b->hi);
  per_slot(j, "sd", b->sd);
  timing ? j.value("elapsed_s", b->elapsed_s) : j.null("elapsed_s");
  j.end_object();
}

void json_refined(Json& j, std::string_view key, const analysis::RefineResult* r,
                  const analysis::BootstrapResult* boot, bool timing) {
  if (!r) {
    j.null(key);
    return;
  }
  const bool result = analysis::refine_has_result(r->status);
  j.begin_object(key);
  j.value("status", analysis::refine_status_name(r->status));
  r->message.empty() ? j.null("message") : j.value("message", r->message);
  j.value("iterations", r->iterations);
  per_slot(j, "start", r->pk_start);
  if (result) {
    per_slot(j, "pKa", r->pk);
    per_slot(j, "se", r->se);
  } else {
    j.null("pKa").null("se");
  }
  j.begin_array("slots");
  for (int k : r->fitted_slots) j.item(static_cast<double>(k));
  j.end_array();
  numbers(j, "covariance", r->covariance);
  numbers(j, "correlation", r->correlation);
  if (result) {
    j.value("s_a", r->s_a).value("s_a_start", r->s_a_start).value("s_a_dof", r->s_a_dof);
    j.value("rss", r->rss);
  } else {
    j.null("s_a").null("s_a_start").null("s_a_dof").null("rss");
  }
  j.value("observations", r->observations).value("parameters", r->parameters);
  j.value("dof", r->dof);
  timing ? j.value("elapsed_s", r->elapsed_s) : j.null("elapsed_s");
  json_bootstrap(j, "bootstrap", boot, timing);
  j.end_object();
}

std::string refined_text(const analysis::RefineResult& r,
                         const std::array<std::optional<double>, 6>& search_pk,
                         std::optional<double> search_s_a, const analysis::BootstrapResult* boot) {
  std::string out = "refined to the least-squares minimum: ";
  out += analysis::refine_status_name(r.status);
  if (!analysis::refine_has_result(r.status)) return out + " (" + r.message + ")\n";
  out += printf_text(" after %.0f iterations, %.3f s", r.iterations, r.elapsed_s);
  if (!r.message.empty()) out += " (" + r.message + ")";
  out += "\n";
  for (int k = 1; k <= kSlots; ++k) {
    out += "  pKa" + std::to_string(k) + " = ";
    if (r.modes[k] == SlotMode::Removed) {
      out += "removed\n";
      continue;
    }
    out += printf_text("%.5f", r.pk[k]);
    if (r.modes[k] == SlotMode::Fitted) {
      out += printf_text("   standard error %.5f", r.se[k]);
      if (boot && boot->ok)
        out += printf_text("   95 %% bootstrap %.5f … %.5f", boot->lo[k], boot->hi[k]);
    } else {
      out += "   held";
    }
    if (search_pk[k]) out += printf_text("   (search %.5f)", *search_pk[k]);
    out += "\n";
  }
  out += printf_text("  s(A) = %.6e", r.s_a);
  if (search_s_a) out += printf_text(" (search %.6e)", *search_s_a);
  out += printf_text("; standard errors from s(A)² (JᵀJ)⁻¹ with %.0f degrees of freedom\n",
                     static_cast<double>(r.dof));
  if (boot && !boot->ok) out += "  bootstrap: " + boot->message + "\n";
  if (boot && boot->ok)
    out += printf_text("  bootstrap: %.0f replicates of the residuals (%.0f failed), seed ",
                       boot->replicates, boot->failed) +
           std::to_string(boot->seed) + "\n";
  return out;
}

}  // namespace ferolan::cli
