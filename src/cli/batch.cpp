#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/report.h"
#include "engine/format/format.h"
#include "engine/import/import.h"
#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "engine/search/trace.h"
#include "window/search/searches.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"

namespace ferolan::cli {

Session::Session(Canvas& spectrs, Canvas& pict_e, Canvas& picture1)
    : m(std::make_unique<Module>(pf, spectrs, pict_e, picture1)) {
  form_load(m->st, m->ui);
}

InputFormat detect_format(std::string_view text) {
  return text.find('\t') != std::string_view::npos ? InputFormat::Table : InputFormat::Mdf;
}

bool import_text(Session& s, std::string_view text, InputFormat format, std::string& problem) {
  if (format == InputFormat::Detect) format = detect_format(text);
  Module& m = *s.m;
  m.ui.set_text(m.ui.Label9, "");
  bool ok = false;
  if (format == InputFormat::Table) {
    // A file saved with bare line feeds would otherwise be one long row.
    s.pf.clipboard = with_row_ends(text);
    ok = Command5_Click(m);
  } else {
    s.pf.mdf_text = std::string(text);
    ok = load_Click(m);
  }
  if (!ok) problem = m.ui.Label9.text;
  return ok;
}

void user_check(Module& m, Control& c, bool on) {
  if (c.checked != on) on_user_check(m, c, on);
}

bool apply_options(Session& s, const Options& o, int constants, std::string& problem) {
  Module& m = *s.m;
  Controls& ui = m.ui;
  user_check(m, ui.Option2[o.path_len], true);
  user_check(m, ui.Option1[o.level], true);
  for (size_t k = 0; k < o.pk.size(); ++k) on_user_text(m, ui.txt_pK[k + 1], o.pk[k]);
  for (const SlotRange& r : o.ranges) {
    on_user_text(m, ui.txt_poch[r.slot], r.start);
    on_user_text(m, ui.txt_kin[r.slot], r.end);
    on_user_text(m, ui.txt_krok[r.slot], r.step);
  }
  if (!o.zero.empty()) {
    for (int k : o.zero) user_check(m, ui.Check2[k], true);
  } else {
    int keep = o.pk.empty() ? constants : static_cast<int>(o.pk.size());
    keep = std::clamp(keep, 1, kSlots);
    if (keep < kSlots) user_check(m, ui.Check2[keep + 1], true);
  }
  for (int k : o.hold) {
    if (ui.Check2[k].checked) {
      problem = "slot " + std::to_string(k) + " is removed by --zero and cannot be held";
      return false;
    }
    user_check(m, ui.Check1[k], false);
  }
  const DataSet& d = m.st.data;
  for (int s_no : o.exclude) {
    if (s_no > d.n_spectra) {
      problem = "--exclude " + std::to_string(s_no) + ": the data hold " +
                std::to_string(d.n_spectra) + " spectra";
      return false;
    }
    user_check(m, ui.Check3[s_no], false);
  }
  for (const std::string& ph : o.exclude_ph) {
    bool found = false;
    const std::string want = format_mask(leading_number(ph), "0.00");
    for (int i = 1; i <= d.n_spectra; ++i)
      if (ui.Check3[i].text == want) {
        user_check(m, ui.Check3[i], false);
        found = true;
      }
    if (!found) {
      problem = "--exclude-ph " + ph + ": no spectrum has pH " + want;
      return false;
    }
  }
  return true;
}

bool run_search(Session& s, Search search) {
  Module& m = *s.m;
  const size_t before = s.pf.messages.size();
  switch (search) {
    case Search::Optimisation:
      on_click(m, m.ui.Command2);
      break;
    case Search::Manual:
      on_click(m, m.ui.Command6);
      break;
    case Search::Auto:
      on_click(m, m.ui.Command9);
      break;
  }
  return s.pf.messages.size() == before;
}

namespace {

std::optional<std::string> read_input(const std::string& file, std::istream& in) {
  if (file == "-") return std::string(std::istreambuf_iterator<char>(in), {});
  std::ifstream f(file, std::ios::binary);
  if (!f) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(f), {});
}

bool write_file(const std::string& path, const std::string& text, std::ostream& err) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  if (!f) {
    err << "ferolan-cli: cannot write " << path << "\n";
    return false;
  }
  return true;
}

}  // namespace

int run_batch(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
              bool err_is_terminal) {
  const auto text = read_input(o.file, in);
  if (!text) {
    err << "ferolan-cli: cannot read " << o.file << "\n";
    return kInput;
  }
  Pictures pictures(!o.plots_dir.empty());
  Session s(pictures.spectrs(), pictures.pict_e(), pictures.picture1());
  std::string problem;
  if (!import_text(s, *text, o.format, problem)) {
    err << "ferolan-cli: " << o.file << ": " << problem << "\n";
    return kInput;
  }
  Report report(s, o);
  report.factors();
  if (o.factors_only) {
    report.print(out);
    return kOk;
  }
  if (!apply_options(s, o, report.suggested_constants(), problem)) {
    err << "ferolan-cli: " << problem << "\n";
    return kUsage;
  }

  Module& m = *s.m;
  std::ofstream trace;
  if (!o.trace_file.empty()) {
    trace.open(o.trace_file, std::ios::binary);
    if (!trace) {
      err << "ferolan-cli: " << o.trace_file << ": cannot be written\n";
      return kOutput;
    }
    m.on_trial = [&](const TrialScore& trial) { trace << trace_line(trial); };
  }
  const auto t0 = std::chrono::steady_clock::now();
  auto last = t0;
  if (err_is_terminal && !o.quiet) {
    s.pf.on_yield = [&] {
      const auto now = std::chrono::steady_clock::now();
      if (now - last < std::chrono::milliseconds(200)) return;
      last = now;
      err << "\r" << std::string(m.ui.Label5.text.size(), '#')
          << std::string(28 - std::min<size_t>(28, m.ui.Label5.text.size()), '.') << "  "
          << m.ui.Lab_chas.text << " s  s(A) " << m.ui.Label4.text << "   " << std::flush;
    };
  }

  const auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  if (o.compare) {
    const long fits_before = m.st.calc.fits;
    report.compare(err_is_terminal && !o.quiet ? &err : nullptr);
    report.searched(m.st.calc.fits - fits_before, seconds());
  } else if (o.evaluate) {
    if (!report.evaluate(problem)) {
      err << "ferolan-cli: " << problem << "\n";
      return kRefused;
    }
  } else {
    const long fits_before = m.st.calc.fits;
    const bool started = run_search(s, o.search);
    if (s.pf.on_yield) err << "\r" << std::string(60, ' ') << "\r" << std::flush;
    for (const CliMessage& msg : s.pf.messages) err << msg.title << " " << msg.text << "\n";
    if (!started) return kRefused;
    report.searched(m.st.calc.fits - fits_before, seconds());
    if (report.no_result()) {
      err << "ferolan-cli:" << m.ui.Label9.text << "\n";
      return kRefused;
    }
  }
  m.on_trial = nullptr;
  if (trace.is_open() && !(trace.flush())) {
    err << "ferolan-cli: " << o.trace_file << ": cannot be written\n";
    return kOutput;
  }
  report.diagnose();
  report.print(out);

  if (!o.forms_file.empty() && !write_file(o.forms_file, report.forms_text(), err)) return kOutput;
  if (!o.calc_file.empty() && !write_file(o.calc_file, report.calc_text(), err)) return kOutput;
  if (!o.plots_dir.empty() && !report.write_plots(pictures, o.plots_dir, err)) return kOutput;
  return kOk;
}

}  // namespace ferolan::cli
