#include "cli/global.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/outputs.h"
#include "cli/refined.h"
#include "cli/stop_signal.h"

namespace ferolan::cli {

namespace {

std::string text_of(const char* fmt, double a, double b = 0, double c = 0) {
  char buf[200];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

void refuse(GlobalRun& g, std::string code, std::string message) {
  g.status = "refused";
  g.code = std::move(code);
  g.message = std::move(message);
}

void fit_group(GlobalRun& g, const std::vector<const FileResult*>& members, const Options& o) {
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<const FileResult*> ok;
  for (const FileResult* r : members) {
    if (r->status == Status::Ok && r->data)
      ok.push_back(r);
    else
      g.left_out.push_back(r->file);
  }
  for (const FileResult* r : ok) g.files.push_back(r->file);
  if (ok.empty()) return refuse(g, "no_titration", "no file of the sample was analysed");
  SlotModes modes{};
  for (int k = 1; k <= kSlots; ++k) modes[k] = ok[0]->modes[k];
  for (const FileResult* r : ok)
    for (int k = 1; k <= kSlots; ++k)
      if (r->modes[k] != modes[k])
        return refuse(g, "models_differ",
                      r->file + " has another model than " + ok[0]->file +
                          " (give --constants or --pk so that all have the same)");

  std::vector<analysis::Titration> ts;
  Arr1<double, kSlots> held{};
  for (int k = 1; k <= kSlots; ++k) held[k] = ok[0]->per_slot[k].pka.value_or(NAN);
  for (const FileResult* r : ok) {
    const double path_len = r->path_len.value_or(1);
    ts.push_back(r->conc_spectra.empty()
                     ? analysis::titration_of(*r->data, path_len)
                     : analysis::titration_of(*r->data, path_len, r->conc_spectra).value());
    Arr1<double, kSlots> own{};
    if (o.search == Search::Auto) {
      for (int k = 1; k <= kSlots; ++k) own[k] = r->per_slot[k].pka.value_or(NAN);
    } else {
      own = analysis::auto_grid_start(*r->data, modes, held);
    }
    g.own.push_back(own);
  }
  Arr1<double, kSlots> start = analysis::median_start(g.own);
  for (int k = 1; k <= kSlots; ++k)
    if (modes[k] == SlotMode::Held) start[k] = held[k];
  analysis::JointOptions jo;
  jo.sharing = o.spectra_per_titration ? analysis::SpectraSharing::PerTitration
                                       : analysis::SpectraSharing::Shared;
  jo.fit_factors = o.conc_factors;
  g.fit = analysis::global_fit(ts, modes, start, jo);
  const analysis::RefineResult& f = g.fit->fit;
  if (!analysis::refine_has_result(f.status)) {
    refuse(g, analysis::refine_status_name(f.status), f.message);
  } else if (o.bootstrap > 0) {
    analysis::BootstrapOptions bo;
    bo.replicates = o.bootstrap;
    bo.seed = o.seed;
    bo.threads = o.jobs;
    bo.cancel = &stop_token();
    resample_global(g, ts, modes, jo, bo);
    if (g.boot->stopped || (g.boot_t && g.boot_t->stopped))
      refuse(g, "stopped", "stopped by a signal before its bootstrap ended");
  }
  g.elapsed_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void per_slot(Json& j, std::string_view key, const Arr1<double, kSlots>& v) {
  j.begin_array(key);
  for (int k = 1; k <= kSlots; ++k) std::isfinite(v[k]) ? j.item(v[k]) : j.null({});
  j.end_array();
}

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) out += ';';
    out += v[i];
  }
  return out;
}

}  // namespace

void resample_global(GlobalRun& g, std::vector<analysis::Titration>& ts, const SlotModes& modes,
                     const analysis::JointOptions& jo, analysis::BootstrapOptions bo) {
  analysis::common_points(ts);
  const analysis::RefineResult& f = g.fit->fit;
  bo.titrations = false;
  g.boot = analysis::bootstrap(ts, modes, f, jo, bo);
  if (ts.size() > 1 && !g.boot->stopped) {
    bo.titrations = true;
    g.boot_t = analysis::bootstrap(ts, modes, f, jo, bo);
  }
}

std::vector<GlobalRun> run_global(const std::vector<FileResult>& results, const Options& o,
                                  bool by_sample) {
  std::vector<GlobalRun> runs;
  std::vector<std::vector<const FileResult*>> members;
  for (const FileResult& r : results) {
    const std::string sample = by_sample ? r.sample : std::string("all");
    size_t i = 0;
    while (i < runs.size() && runs[i].sample != sample) ++i;
    if (i == runs.size()) {
      runs.emplace_back();
      runs.back().sample = sample;
      members.emplace_back();
    }
    members[i].push_back(&r);
  }
  for (size_t i = 0; i < runs.size(); ++i) fit_group(runs[i], members[i], o);
  return runs;
}

std::string global_text(const GlobalRun& g) {
  std::string out = "global fit of " + g.sample + ": " + std::to_string(g.files.size()) +
                    " titrations (" + joined(g.files) + ")";
  if (!g.left_out.empty()) out += ", left out: " + joined(g.left_out);
  out += "\n";
  if (g.fit)
    for (const std::string& w : g.fit->warnings) out += "  warning: " + w + "\n";
  if (g.status != "ok") return out + "  refused: " + g.message + "\n";
  const analysis::RefineResult& f = g.fit->fit;
  out += "  status " + std::string(analysis::refine_status_name(f.status)) +
         text_of(" after %.0f iterations, %.3f s", f.iterations, f.elapsed_s);
  if (!f.message.empty()) out += " (" + f.message + ")";
  out += "\n";
  for (int k = 1; k <= kSlots; ++k) {
    out += "  pKa" + std::to_string(k) + " = ";
    if (f.modes[k] == SlotMode::Removed) {
      out += "removed\n";
      continue;
    }
    out += text_of("%.4f", f.pk[k]);
    if (f.modes[k] != SlotMode::Fitted) {
      out += "   held\n";
      continue;
    }
    out += text_of("   standard error %.4f", f.se[k]);
    if (g.boot && g.boot->ok)
      out += text_of("   95 %% bootstrap %.4f … %.4f", g.boot->lo[k], g.boot->hi[k]);
    if (g.boot_t && g.boot_t->ok)
      out += text_of("   titrations drawn %.4f … %.4f", g.boot_t->lo[k], g.boot_t->hi[k]);
    out += "   own:";
    for (const auto& own : g.own) out += text_of(" %.4f", own[k]);
    out += "\n";
  }
  out += text_of("  s(A) pooled %.3e", f.s_a);
  for (size_t t = 0; t < f.s_a_titration.size(); ++t) {
    out += t ? ", " : "; per titration ";
    out += text_of("%.3e", f.s_a_titration[t]);
  }
  out += text_of("; %.0f degrees of freedom\n", static_cast<double>(f.dof));
  if (f.factor.size() > 1 && std::isfinite(f.factor_se[0])) {
    out += "  concentration factors:";
    for (size_t t = 0; t < f.factor.size(); ++t)
      out += text_of(" %.4f ± %.4f", f.factor[t], f.factor_se[t]);
    out += "\n";
  }
  if (g.boot && !g.boot->ok) out += "  bootstrap: " + g.boot->message + "\n";
  if (g.boot && g.boot->ok)
    out += text_of("  bootstrap: %.0f replicates (%.0f failed), seed ", g.boot->replicates,
                   g.boot->failed) +
           std::to_string(g.boot->seed) + text_of(", %.3f s\n", g.boot->elapsed_s);
  return out;
}

void json_global(Json& j, std::string_view key, const GlobalRun* g, bool timing) {
  if (!g) {
    j.null(key);
    return;
  }
  j.begin_object(key);
  j.value("sample", g->sample);
  j.begin_array("files");
  for (const std::string& f : g->files) j.item(f);
  j.end_array();
  j.begin_array("left_out");
  for (const std::string& f : g->left_out) j.item(f);
  j.end_array();
  j.value("status", g->status);
  g->code.empty() ? j.null("code") : j.value("code", g->code);
  g->message.empty() ? j.null("message") : j.value("message", g->message);
  j.begin_array("warnings");
  if (g->fit)
    for (const std::string& w : g->fit->warnings) j.item(w);
  j.end_array();
  j.begin_array("own");
  for (const auto& own : g->own) per_slot(j, {}, own);
  j.end_array();
  if (g->fit) {
    const analysis::RefineResult& f = g->fit->fit;
    j.value("points", static_cast<long>(g->fit->wavelengths.size()));
    j.value("dropped_points", static_cast<long>(g->fit->dropped.size()));
    per_slot(j, "start", g->fit->start);
    j.value("refine_status", analysis::refine_status_name(f.status));
    j.value("iterations", f.iterations);
    if (analysis::refine_has_result(f.status)) {
      per_slot(j, "pKa", f.pk);
      per_slot(j, "se", f.se);
      j.value("s_a", f.s_a).value("s_a_dof", f.s_a_dof);
      j.begin_array("s_a_titrations");
      for (double s : f.s_a_titration) j.item(s);
      j.end_array();
      j.begin_array("factors");
      for (double x : f.factor) j.item(x);
      j.end_array();
      j.begin_array("factor_se");
      for (double x : f.factor_se) j.item(x);
      j.end_array();
    } else {
      for (const char* k :
           {"pKa", "se", "s_a", "s_a_dof", "s_a_titrations", "factors", "factor_se"})
        j.null(k);
    }
    j.begin_array("correlation");
    for (double x : f.correlation) j.item(x);
    j.end_array();
    j.value("observations", f.observations).value("parameters", f.parameters);
    j.value("dof", f.dof);
  }
  json_bootstrap(j, "bootstrap", g->boot ? &*g->boot : nullptr, timing);
  json_bootstrap(j, "bootstrap_titrations", g->boot_t ? &*g->boot_t : nullptr, timing);
  timing ? j.value("elapsed_s", g->elapsed_s) : j.null("elapsed_s");
  j.end_object();
}

std::string global_summary_csv(const std::vector<GlobalRun>& runs) {
  std::string out = "sample,files,titrations,constants";
  for (const char* p : {"pKa", "se", "lo", "hi"})
    for (int k = 1; k <= kSlots; ++k) {
      out += ',';
      out += p;
      out += std::to_string(k);
    }
  out += ",s_a,s_a_titrations,factors,status,code\r\n";
  for (const GlobalRun& g : runs) {
    const analysis::RefineResult* f =
        g.fit && analysis::refine_has_result(g.fit->fit.status) ? &g.fit->fit : nullptr;
    int constants = 0;
    if (g.fit)
      for (int k = 1; k <= kSlots; ++k) constants += g.fit->fit.modes[k] != SlotMode::Removed;
    std::string row = csv_field(g.sample) + "," + csv_field(joined(g.files)) + "," +
                      std::to_string(g.files.size()) + "," +
                      (g.fit ? std::to_string(constants) : std::string());
    auto slots = [&](const Arr1<double, kSlots>* v) {
      for (int k = 1; k <= kSlots; ++k) {
        row += ',';
        if (v) row += csv_number(std::optional<double>((*v)[k]));
      }
    };
    slots(f ? &f->pk : nullptr);
    slots(f ? &f->se : nullptr);
    const bool boot = f && g.boot && g.boot->ok;
    slots(boot ? &g.boot->lo : nullptr);
    slots(boot ? &g.boot->hi : nullptr);
    row += ',';
    if (f) row += csv_number(std::optional<double>(f->s_a));
    std::vector<std::string> s_t, fac;
    if (f)
      for (size_t t = 0; t < f->s_a_titration.size(); ++t) {
        s_t.push_back(csv_number(std::optional<double>(f->s_a_titration[t])));
        fac.push_back(csv_number(std::optional<double>(f->factor[t])));
      }
    for (const std::string& cell : {joined(s_t), joined(fac), g.status, csv_field(g.code)}) {
      row += ',';
      row += cell;
    }
    out += row;
    out += "\r\n";
  }
  return out;
}

}  // namespace ferolan::cli
