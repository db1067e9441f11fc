#include "cli/analyse.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "cli/pictures.h"
#include "cli/refined.h"
#include "cli/report.h"
#include "cli/report_impl.h"
#include "cli/session.h"
#include "cli/sha256.h"
#include "cli/svg.h"
#include "engine/format/format.h"
#include "engine/import/import.h"
#include "engine/model/fit.h"
#include "engine/search/run.h"
#include "engine/search/trace.h"

namespace ferolan::cli {

const char* status_name(Status s) {
  switch (s) {
    case Status::Ok:
      return "ok";
    case Status::OkWithWarnings:
      return "ok_with_warnings";
    case Status::Refused:
      return "refused";
    case Status::Unreadable:
      return "unreadable";
  }
  return "";
}

namespace {

void fail(FileResult& r, Status status, int exit_status, std::string code, std::string message) {
  r.status = status;
  r.exit_status = exit_status;
  r.code = std::move(code);
  r.message = std::move(message);
}

const char* mode_name(const Options& o) {
  if (o.factors_only) return "factors";
  if (o.compare) return "compare";
  if (o.evaluate) return "evaluate";
  switch (o.search) {
    case Search::Optimisation:
      return "opt";
    case Search::Manual:
      return "manual";
    case Search::Auto:
      return "auto";
  }
  return "";
}

void note_unwritten(FileResult& r, const std::string& path, const std::string& why) {
  r.exit_status = std::max(r.exit_status, static_cast<int>(kOutput));
  r.notes.push_back("ferolan-cli: " + path + ": cannot be written: " + why + "\n");
}

// An ok result with warnings of its reading or of its fit is marked so, with the first
// warning's code; --strict refuses it instead.
void mark_warnings(FileResult& r, bool strict) {
  if (r.status != Status::Ok) return;
  const std::vector<CellWarning>& cells = r.input->warnings;
  if (cells.empty() && r.warnings.empty()) return;
  r.status = Status::OkWithWarnings;
  if (!cells.empty()) {
    r.code = warning_code(cells.front());
    r.message = located(cells.front());
  } else {
    r.code = r.warnings.front().code;
    r.message = r.warnings.front().message;
  }
  if (const size_t n = cells.size() + r.warnings.size(); n > 1)
    r.message += " (and " + std::to_string(n - 1) + " more warnings)";
  if (!strict) return;
  r.status = Status::Refused;
  r.message += " (refused by --strict)";
  r.exit_status =
      std::max<int>(r.exit_status, r.code == "pictures_not_written" ? kOutput : kRefused);
}

}  // namespace

std::optional<std::string> read_input_file(const std::string& path, FileResult& r) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    fail(r, Status::Unreadable, kInput, "cannot_open",
         "cannot be read: " + std::generic_category().message(errno));
    return std::nullopt;
  }
  if (S_ISDIR(st.st_mode)) {
    fail(r, Status::Unreadable, kInput, "is_directory", "is a folder, not a file");
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    // Reading a FIFO or a device could wait for ever, or never end.
    fail(r, Status::Unreadable, kInput, "not_regular",
         std::string("is not a regular file but ") + (S_ISFIFO(st.st_mode)   ? "a FIFO"
                                                      : S_ISCHR(st.st_mode)  ? "a character device"
                                                      : S_ISBLK(st.st_mode)  ? "a block device"
                                                      : S_ISSOCK(st.st_mode) ? "a socket"
                                                                             : "something else"));
    return std::nullopt;
  }
  if (S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) > kMaxInputBytes) {
    fail(r, Status::Refused, kInput, "too_large", "is larger than 64 MiB");
    return std::nullopt;
  }
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    fail(r, Status::Unreadable, kInput, "cannot_open",
         "cannot be read: " + std::generic_category().message(errno));
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size) + 1);  // not twice the file by doubling
  char buf[1 << 16];
  while (f.read(buf, sizeof buf) || f.gcount() > 0) {
    bytes.append(buf, static_cast<size_t>(f.gcount()));
    if (bytes.size() > kMaxInputBytes) {
      fail(r, Status::Refused, kInput, "too_large", "is larger than 64 MiB");
      return std::nullopt;
    }
  }
  if (f.bad()) {
    fail(r, Status::Unreadable, kInput, "read_error", "read error");
    return std::nullopt;
  }
  return bytes;
}

namespace {

FileResult begin_result(const FileJob& job) {
  const Options& o = *job.settings;
  FileResult r;
  r.file = job.path;
  r.sample = job.sample;
  r.plan_cells = job.plan_cells;
  r.settings = job.settings;
  r.mode = mode_name(o);
  if (o.search == Search::Optimisation && !o.evaluate && !o.compare && !o.factors_only)
    r.level = o.level == 3 ? "very-high" : o.level == 2 ? "high" : "normal";
  if (o.ionic_strength) r.ionic_strength = o.ionic_strength;
  return r;
}

}  // namespace

FileResult analyse_file(const FileJob& job) {
  const Options& o = *job.settings;
  FileResult r = begin_result(job);

  std::optional<std::string> read;
  if (!job.bytes) {
    read = read_input_file(job.path, r);
    if (!read) return r;
  }
  const std::string& bytes = job.bytes ? *job.bytes : *read;
  r.input_size = static_cast<long>(bytes.size());
  r.input_sha256 = sha256_hex(bytes);
  if (bytes.size() > kMaxInputBytes) {
    fail(r, Status::Refused, kInput, "too_large", "is larger than 64 MiB");
    return r;
  }
  if (const std::string why = not_text_reason(bytes); !why.empty()) {
    fail(r, Status::Refused, kInput, "not_text", why);
    return r;
  }
  return analyse_data(job, read_data_file(job.path, bytes, o.format));
}

FileResult analyse_data(const FileJob& job, const DataFile& input,
                        std::shared_ptr<Session>* session) {
  const Options& o = *job.settings;
  FileResult r = begin_result(job);
  std::shared_ptr<const DataSet> data = input.data;
  r.input = input;
  r.input->data.reset();
  if (!r.input->ok) {
    fail(r, Status::Refused, kInput, r.input->code, r.input->message);
    return r;
  }
  if (o.strict && !r.input->warnings.empty()) {
    const CellWarning& w = r.input->warnings.front();
    fail(r, Status::Refused, kInput, warning_code(w), located(w) + " (refused by --strict)");
    return r;
  }

  if (!input.conc_spectra.empty() && !o.refine && !o.global && !o.factors_only) {
    fail(r, Status::Refused, kRefused, "conc_per_spectrum",
         "the table gives each spectrum its own concentration, which the searches cannot take: "
         "--refine or --global fits the constants with them");
    return r;
  }

  auto kept = std::make_shared<Session>();
  if (session) *session = kept;
  Session& s = *kept;
  s.cancel = job.cancel;
  load_data(s, *data);
  if (!input.conc_spectra.empty())
    for (int i : ph_order(*data)) s.conc_spectra.push_back(input.conc_spectra[i]);
  data.reset();
  const DataSet& d = s.st->data;
  r.spectra = d.n_spectra;
  r.points = d.n_wavelengths;
  r.acid_conc = d.acid_conc;
  r.acid_conc_text = acid_conc_text(d);

  Report report(s, o);
  report.factors();
  const Diagnostics& diag = *report.diagnostics();
  r.diagnostics = report.diagnostics();
  if (diag.fa) {
    r.preferred_constants = std::max(0, diag.fa->suggested_forms - 1);
    r.preferred_by = "factor_analysis";
  }
  auto finish_data = [&] {
    r.spectra_used = count_used_spectra(d);
    r.path_len = s.st->settings.path_len;
  };
  auto text = [&] {
    std::ostringstream out;
    report.print(out, job.path);
    r.text = out.str();
  };
  if (o.factors_only) {
    finish_data();
    text();
    mark_warnings(r, o.strict);
    return r;
  }

  const bool constants_from_data = o.zero.empty() && !o.constants && o.pk.empty();
  if (constants_from_data && !o.compare && diag.fa && diag.fa->suggested_forms < 2) {
    finish_data();
    fail(r, Status::Refused, kRefused, "too_few_forms",
         "the factor analysis finds fewer than two absorbing forms, so the data support no "
         "dissociation constant (--constants or --pk fits one anyway)");
    return r;
  }
  std::string code, problem;
  if (!apply_options(s, o, report.suggested_constants(), code, problem)) {
    finish_data();
    fail(r, Status::Refused, code == "held_value_missing" ? kRefused : kUsage, code, problem);
    return r;
  }
  finish_data();
  if (auto p = data_refusal(d)) {
    fail(r, Status::Refused, kRefused, p->code, p->message);
    return r;
  }
  if (!o.evaluate)
    if (auto p = ph_range_refusal(d)) {
      fail(r, Status::Refused, kRefused, p->code, p->message);
      return r;
    }
  if (o.evaluate || o.compare)
    if (auto p = ferolan::data_problem(d)) {
      // The searches refuse these data themselves.
      fail(r, Status::Refused, kRefused, message_code(p->msg), message_english(p->msg, p->slot));
      r.display_message = std::string(message_title(p->msg)) + " " + message_text(p->msg, p->slot);
      return r;
    }
  if (o.search == Search::Auto && !o.evaluate && !o.compare) {
    bool fitted = false;
    for (int k = 1; k <= kSlots; ++k) fitted = fitted || s.setup.slot[k].mode == SlotMode::Fitted;
    if (!fitted) {
      fail(r, Status::Refused, kRefused, "no_fitted_slot",
           "the automatic grid needs at least one fitted constant (every slot is held or "
           "removed)");
      return r;
    }
  }

  std::optional<SearchResult> searched;  // what the search found, when one ran
  if (o.compare) {
    if (const std::optional<Refusal> no = report.compare(nullptr)) {
      fail(r, Status::Refused, kRefused, message_code(no->msg), message_english(no->msg, no->slot));
      r.display_message =
          std::string(message_title(no->msg)) + " " + message_text(no->msg, no->slot);
      return r;
    }
  } else if (o.evaluate) {
    if (!report.evaluate(code, problem)) {
      fail(r, Status::Refused, kRefused, code, problem);
      return r;
    }
  } else {
    // Streamed as it is scored: a very high optimisation's trace runs to gigabytes.
    OutputFile trace;
    if (!job.trace_path.empty() && !trace.open(job.trace_path))
      note_unwritten(r, job.trace_path, trace.error());
    const SearchResult& sr = searched.emplace(
        run_search(s, o.search, o.threads, trace.is_open() ? &trace : nullptr, job.watch));
    // A search cut short leaves no trace under its name.
    if (trace.is_open() && sr.outcome == Outcome::Finished && !trace.commit())
      note_unwritten(r, job.trace_path, trace.error());
    if (sr.outcome == Outcome::Refused) {
      fail(r, Status::Refused, kRefused, message_code(sr.refusal.msg),
           message_english(sr.refusal.msg, sr.refusal.slot));
      r.display_message = std::string(message_title(sr.refusal.msg)) + " " +
                          message_text(sr.refusal.msg, sr.refusal.slot);
      return r;
    }
    if (sr.outcome == Outcome::NothingScored) {
      fail(r, Status::Refused, kRefused, "no_result", "the search scored no trial");
      r.display_message = " Жодної комбінації рКа не розраховано: перевірте діапазони.";
      return r;
    }
    report.searched(sr.fits, sr.seconds);
    r.elapsed_text = format_mask(sr.seconds, "0#.0");
    r.fit = std::make_shared<const FitArrays>(sr.fit);
  }

  // The result's constants, not those of the last trial scored.
  Arr1<double, kSlots> ka{};
  int constants = 0;
  // With every slot removed the searches still set slot 1 in each trial (the window then
  // shows slot 1 at the value tried, 1.00 in the manual grid): the result is that model.
  const bool all_removed = searched && s.setup.slot[1].mode == SlotMode::Removed;
  for (int k = 1; k <= kSlots; ++k) {
    SlotResult& sr = r.per_slot[k];
    sr.state = slot_mode_name(s.setup.slot[k].mode);
    if (k == 1 && all_removed && s.shown.ka[1] > 0) {
      ka[1] = s.shown.ka[1];
      sr.pka = s.shown.pk1;
      sr.ka = ka[1];
      sr.pka_text = s.pk_text[1];
      sr.ka_text = format_mask(ka[1], "0.00e+00");
    }
    if (sr.state[0] == 'r') continue;
    ++constants;
    // After --evaluate the session holds the evaluated set.
    const float pk = searched ? searched->pk_best[k] : s.st->search.pk_best[k];
    ka[k] = ka_of(pk);
    sr.pka = pk;
    sr.ka = ka[k];
    sr.pka_text = s.pk_text[k];
    sr.ka_text = format_mask(ka[k], "0.00e+00");
    if (sr.state[0] == 'f' && !o.evaluate)
      sr.u = searched ? searched->u[k] : s.st->search.uncertainty[k];
  }
  r.constants = constants;
  report.diagnose(ka);
  for (int k = 1; k <= kSlots; ++k) {
    SlotResult& sr = r.per_slot[k];
    if (const int i = diag.se_index(k); i >= 0) sr.se = diag.se->se[i];
    if (!diag.scale.empty() && diag.scale[k].ok && sr.pka) {
      sr.pka_conc = diag.scale[k].pk_concentration;
      sr.pka_thermodynamic = diag.scale[k].pk_thermodynamic;
    }
  }
  if (o.evaluate) {
    r.s_a = diag.s_full;
    r.s_a_thinned = diag.s_thinned;
  } else {
    r.s_a = searched ? std::optional<double>(searched->s_a) : diag.s_a_full;
    r.s_a_thinned = searched ? std::optional<double>(searched->s_a_thinned) : std::nullopt;
    if (all_removed) {
      // Of the set shown, not of the last trial's fit.
      r.s_a = s.shown.s_a;
      r.s_a_thinned = s.shown.s_a_thinned;
    }
    r.s_a_text = s.s_a_text;
    r.trials = s.trials;
    r.fits = diag.fits;
    r.elapsed_s = diag.seconds;
  }
  if (diag.choice && diag.choice->preferred >= 0) {
    r.preferred_constants = diag.compared[diag.choice->preferred].constants;
    r.preferred_by = "compare";
  }
  std::array<std::optional<double>, 6> search_pk;
  for (int k = 1; k <= kSlots; ++k) search_pk[k] = r.per_slot[k].pka;
  if (o.refine) {
    SlotModes modes{};
    Arr1<double, kSlots> start{};
    for (int k = 1; k <= kSlots; ++k) {
      modes[k] = s.setup.slot[k].mode;
      start[k] = searched ? searched->pk_best[k] : s.st->search.pk_best[k];
    }
    // The data set's own concentration, or the table's for each spectrum.
    const analysis::Titration t = s.conc_spectra.empty()
                                      ? analysis::titration_of(d)
                                      : analysis::titration_of(d, 1, s.conc_spectra).value();
    r.refined =
        std::make_shared<const analysis::RefineResult>(analysis::refine_joint({t}, modes, start));
    if (o.bootstrap > 0 && analysis::refine_has_result(r.refined->status)) {
      analysis::BootstrapOptions bo;
      bo.replicates = o.bootstrap;
      bo.seed = o.seed;
      bo.threads = o.jobs;
      bo.cancel = s.token();
      r.boot = std::make_shared<const analysis::BootstrapResult>(
          analysis::bootstrap({t}, modes, *r.refined, {}, bo));
    }
  }
  FitFacts facts;
  facts.s_a = r.s_a.value_or(0);
  // With a concentration per spectrum the search's one concentration is only a start: the
  // refinement's fit is the one to judge (a global fit judges its own).
  if (!s.conc_spectra.empty())
    facts.s_a = r.refined && analysis::refine_has_result(r.refined->status) ? r.refined->s_a : 0;
  facts.fa = diag.fa ? &*diag.fa : nullptr;
  facts.constants = constants;
  facts.constants_forced = !constants_from_data && !o.compare;
  for (int k = 1; k <= kSlots; ++k) {
    facts.pk[k] = searched ? searched->pk_best[k] : s.st->search.pk_best[k];
    facts.u[k] = searched ? searched->u[k] : s.st->search.uncertainty[k];
    if (!o.evaluate && s.setup.slot[k].mode == SlotMode::Fitted) facts.fitted.push_back(k);
  }
  r.warnings = fit_warnings(d, facts);
  if (all_removed)
    r.warnings.insert(r.warnings.begin(),
                      {"all_constants_removed",
                       ka[1] > 0 ? "every constant is removed from the model, but the search sets "
                                   "slot 1 in every trial, as the window does: the result is slot "
                                   "1 alone at pKa " +
                                       s.pk_text[1] + " and its s(A)"
                                 : std::string("every constant is removed from the model; the "
                                               "search tried slot 1 all the same, as the window "
                                               "does, and kept the model without constants, "
                                               "whose s(A) is given")});
  text();
  if (o.refine) r.text += refined_text(*r.refined, search_pk, r.s_a, r.boot.get());
  if (o.global) {
    r.data = std::make_shared<const DataSet>(d);
    r.conc_spectra = s.conc_spectra;
    for (int k = 1; k <= kSlots; ++k) r.modes[k] = s.setup.slot[k].mode;
  }
  if (!o.forms_file.empty()) r.forms_text = report.forms_text();
  if (!o.calc_file.empty()) r.calc_text = report.calc_text();
  if (!job.plots_dir.empty()) {
    std::ostringstream err;
    std::error_code ec;
    std::filesystem::create_directories(job.plots_dir, ec);
    bool ok = !ec;
    if (!ok) err << "ferolan-cli: " << job.plots_dir << ": cannot create the folder\n";
    if (std::unique_ptr<PngPictures> png = ok ? make_png_pictures() : nullptr) {
      png->draw(s.st->data, o.evaluate ? nullptr : &s.st->calc);
      ok = report.write_plots(*png, job.plots_dir, err);
    }
    for (const SvgFile& f :
         result_svgs(d, ka, s.st->settings.path_len, diag.species ? &*diag.species : nullptr,
                     diag.residuals ? &*diag.residuals : nullptr)) {
      if (!ok) break;
      const std::string path = job.plots_dir + "/" + f.name;
      std::string why;
      if (!write_whole_file(path, f.text, why)) {
        err << "ferolan-cli: " << path << ": cannot be written: " << why << "\n";
        ok = false;
      }
    }
    if (!ok) {
      r.exit_status = kOutput;
      r.notes.push_back(err.str());
      r.warnings.push_back(
          {"pictures_not_written", "the pictures could not be written to " + job.plots_dir});
    }
  }
  if (s.stopped)  // not a result, only the best set when the stop came
    fail(r, Status::Refused, kRefused, "stopped", "stopped by a signal before its search ended");
  else if (r.boot && r.boot->stopped)
    fail(r, Status::Refused, kRefused, "stopped", "stopped by a signal before its bootstrap ended");
  mark_warnings(r, o.strict);
  return r;
}

}  // namespace ferolan::cli
