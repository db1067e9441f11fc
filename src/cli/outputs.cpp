#include "cli/outputs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "cli/global.h"
#include "cli/json.h"
#include "cli/provenance.h"
#include "cli/refined.h"
#include "cli/report_impl.h"
#include "cli/text.h"
#include "engine/analysis/ph_scale.h"

namespace ferolan::cli {

namespace {

template <typename T>
std::string shortest(T v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

Json& maybe(Json& j, std::string_view key, const std::optional<double>& v) {
  return v ? j.value(key, *v) : j.null(key);
}
Json& maybe(Json& j, std::string_view key, const std::optional<int>& v) {
  return v ? j.value(key, *v) : j.null(key);
}
Json& maybe(Json& j, std::string_view key, const std::optional<long>& v) {
  return v ? j.value(key, *v) : j.null(key);
}
Json& maybe(Json& j, std::string_view key, const std::string& v) {
  return v.empty() ? j.null(key) : j.value(key, v);
}

const char* format_name(InputFormat f) {
  return f == InputFormat::Mdf ? "mdf" : f == InputFormat::Table ? "table" : nullptr;
}

std::string one_object(const FileResult& r) {
  Json j;
  j.begin_object();
  j.value("schema", 1);
  j.value("file", r.file).value("sample", r.sample).value("status", status_name(r.status));
  maybe(j, "code", r.code);
  maybe(j, "message", r.message);
  j.value("exit_status", r.exit_status);
  j.begin_array("warnings");
  for (const Problem& p : r.warnings)
    j.begin_object().value("code", p.code).value("message", p.message).end_object();
  j.end_array();

  j.begin_object("input");
  const DataFile* in = r.input ? &*r.input : nullptr;
  const char* format = in ? format_name(in->format) : nullptr;
  format ? j.value("format", format) : j.null("format");
  if (in && in->format == InputFormat::Table)
    j.value("separator", separator_name(in->separator))
        .value("decimal_mark", std::string(1, in->decimal_mark));
  else
    j.null("separator").null("decimal_mark");
  j.begin_array("warnings");
  if (in)
    for (const CellWarning& w : in->warnings) {
      j.begin_object().value("row", w.row);
      w.column > 0 ? j.value("column", w.column) : j.null("column");
      j.value("message", w.text).end_object();
    }
  j.end_array().end_object();

  j.begin_object("data");
  maybe(j, "spectra", r.spectra);
  maybe(j, "spectra_used", r.spectra_used);
  maybe(j, "points", r.points);
  maybe(j, "acid_conc", r.acid_conc);
  maybe(j, "path_len", r.path_len);
  if (in && !in->conc_spectra.empty()) {
    j.begin_array("concentrations");
    for (double c : in->conc_spectra) j.item(c);
    j.end_array();
  } else {
    j.null("concentrations");
  }
  j.end_object();

  j.value("mode", r.mode);
  maybe(j, "level", r.level);
  maybe(j, "constants", r.constants);
  j.begin_array("slots");
  for (int k = 1; k <= kSlots; ++k) {
    const SlotResult& s = r.per_slot[k];
    j.begin_object().value("slot", k);
    s.state ? j.value("state", s.state) : j.null("state");
    maybe(j, "pKa", s.pka);
    maybe(j, "Ka", s.ka);
    maybe(j, "u", s.u);
    maybe(j, "se", s.se);
    maybe(j, "pKa_conc", s.pka_conc);
    maybe(j, "pKa_thermodynamic", s.pka_thermodynamic);
    j.begin_object("display");
    maybe(j, "pKa", s.pka_text);
    maybe(j, "Ka", s.ka_text);
    j.end_object().end_object();
  }
  j.end_array();
  maybe(j, "s_a", r.s_a);
  maybe(j, "s_a_thinned", r.s_a_thinned);
  maybe(j, "preferred_constants", r.preferred_constants);
  maybe(j, "preferred_by", r.preferred_by);
  maybe(j, "trials", r.trials);
  maybe(j, "fits", r.fits);
  const bool timing = !r.run || r.run->timing;
  timing ? maybe(j, "elapsed_s", r.elapsed_s) : j.null("elapsed_s");
  maybe(j, "ionic_strength", r.ionic_strength);
  r.ionic_strength ? j.value("davies_A", analysis::kDaviesA25) : j.null("davies_A");

  j.begin_object("display");
  maybe(j, "message", r.display_message);
  maybe(j, "acid_conc", r.acid_conc_text);
  maybe(j, "s_a", r.s_a_text);
  timing ? maybe(j, "elapsed", r.elapsed_text) : j.null("elapsed");
  j.end_object();

  json_refined(j, "refined", r.refined.get(), r.boot.get(), timing);
  json_global(j, "global", r.global.get(), timing);

  if (r.diagnostics) {
    r.diagnostics->json_factors(j);
    r.diagnostics->json_diagnostics(j);
  } else {
    for (const char* k :
         {"factor_analysis", "standard_errors", "speciation", "residuals", "models"})
      j.null(k);
  }
  json_provenance(j, r);
  j.end_object();
  return j.str();
}

}  // namespace

std::string json_object(const FileResult& r) {
  return one_object(r);
}

std::string json_line(const FileResult& r) {
  // Texts are escaped, so every line break of the object is layout.
  const std::string pretty = one_object(r);
  std::string line;
  line.reserve(pretty.size());
  for (size_t i = 0; i < pretty.size(); ++i) {
    if (pretty[i] != '\n') {
      line += pretty[i];
      continue;
    }
    while (i + 1 < pretty.size() && pretty[i + 1] == ' ') ++i;
  }
  return line + "\n";
}

std::string json_text(const std::vector<FileResult>& results, bool as_array) {
  if (!as_array && results.size() == 1) return one_object(results.front());
  std::string out = "[";
  for (size_t i = 0; i < results.size(); ++i) {
    std::string obj = one_object(results[i]);
    obj.pop_back();  // its line end
    out += i ? ",\n" : "\n";
    out += obj;
  }
  return out + "\n]\n";
}

std::string csv_field(std::string_view raw) {
  std::string text = utf8_safe(raw);
  // A spreadsheet runs a cell that starts so as a formula; a leading apostrophe keeps it text.
  if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
    text.insert(text.begin(), '\'');
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return text;
  std::string q = "\"";
  for (char c : text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string csv_number(std::optional<double> v) {
  return v && std::isfinite(*v) ? shortest(*v) : std::string();
}

std::string csv_number(std::optional<float> v) {
  return v && std::isfinite(*v) ? shortest(*v) : std::string();
}

namespace {

std::optional<float> as_float(const std::optional<double>& v) {
  if (!v) return std::nullopt;
  return static_cast<float>(*v);
}

std::string row(const std::vector<std::string>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) line += ',';
    line += cells[i];
  }
  return line + "\r\n";
}

}  // namespace

std::string summary_csv(const std::vector<FileResult>& results, bool refined,
                        const std::vector<std::string>& plan_columns) {
  std::string out = summary_head(refined, plan_columns);
  for (const FileResult& r : results) out += summary_row(r, refined);
  return out;
}

std::string summary_head(bool refined, const std::vector<std::string>& plan_columns) {
  std::vector<std::string> head = summary_columns(refined);
  for (const std::string& c : plan_columns) head.push_back(csv_field(c));
  return row(head);
}

std::vector<std::string> summary_columns(bool refined) {
  std::vector<std::string> head = {"file",    "sample",    "status",  "code",
                                   "message", "warnings",  "spectra", "spectra_used",
                                   "points",  "constants", "search"};
  for (const char* p : {"mode", "pKa", "u", "se"})
    for (int k = 1; k <= kSlots; ++k) head.push_back(p + std::to_string(k));
  head.push_back("s_a");
  head.push_back("preferred_constants");
  head.push_back("ionic_strength");
  for (int k = 1; k <= kSlots; ++k) head.push_back("pKa" + std::to_string(k) + "_conc");
  if (refined) {
    head.push_back("refine_status");
    for (const char* p : {"pKa", "se"})
      for (int k = 1; k <= kSlots; ++k) head.push_back(p + std::to_string(k) + "_refined");
  }
  return head;
}

std::string summary_row(const FileResult& r, bool refined) {
  auto count = [](const std::optional<int>& v) { return v ? std::to_string(*v) : ""; };
  const size_t warnings = (r.input ? r.input->warnings.size() : 0) + r.warnings.size();
  std::vector<std::string> c = {csv_field(r.file),
                                csv_field(r.sample),
                                status_name(r.status),
                                r.code,
                                csv_field(r.message),
                                std::to_string(warnings),
                                count(r.spectra),
                                count(r.spectra_used),
                                count(r.points),
                                count(r.constants),
                                r.mode};
  for (int k = 1; k <= kSlots; ++k) c.push_back(r.per_slot[k].state ? r.per_slot[k].state : "");
  for (int k = 1; k <= kSlots; ++k) c.push_back(csv_number(as_float(r.per_slot[k].pka)));
  for (int k = 1; k <= kSlots; ++k) c.push_back(csv_number(as_float(r.per_slot[k].u)));
  for (int k = 1; k <= kSlots; ++k) c.push_back(csv_number(r.per_slot[k].se));
  c.push_back(csv_number(r.s_a));
  c.push_back(count(r.preferred_constants));
  c.push_back(csv_number(r.ionic_strength));
  for (int k = 1; k <= kSlots; ++k) c.push_back(csv_number(r.per_slot[k].pka_conc));
  if (refined) {
    const analysis::RefineResult* f = r.refined.get();
    const bool has = f && analysis::refine_has_result(f->status);
    c.push_back(f ? analysis::refine_status_name(f->status) : "");
    for (int k = 1; k <= kSlots; ++k)
      c.push_back(has ? csv_number(std::optional<double>(f->pk[k])) : "");
    for (int k = 1; k <= kSlots; ++k)
      c.push_back(has ? csv_number(std::optional<double>(f->se[k])) : "");
  }
  for (const std::string& cell : r.plan_cells) c.push_back(csv_field(cell));
  return row(c);
}

Spread spread_of(const std::vector<double>& values) {
  Spread s;
  s.n = static_cast<int>(values.size());
  if (values.empty()) return s;
  double sum = 0;
  for (double v : values) sum += v;
  const double mean = sum / s.n;
  s.mean = mean;
  if (s.n < 2) return s;
  double ss = 0;
  for (double v : values) ss += (v - mean) * (v - mean);
  s.sd = std::sqrt(ss / (s.n - 1));
  s.sem = *s.sd / std::sqrt(static_cast<double>(s.n));
  return s;
}

SampleTable by_sample(const std::vector<FileResult>& results) {
  SampleTable t;
  std::vector<SampleRow>& rows = t.rows;
  std::vector<std::array<std::vector<double>, 6>> values;
  // Each sample's rows (one per model) and the folders of its files, in order.
  struct Seen {
    std::vector<size_t> rows;
    std::vector<std::string> folders;
  };
  std::unordered_map<std::string, Seen> seen;
  std::vector<std::string> order;
  auto same_model = [](const SampleRow& row, const FileResult& r) {
    for (int k = 1; k <= kSlots; ++k)
      if (std::strcmp(row.modes[k], r.per_slot[k].state) != 0) return false;
    return true;
  };
  for (const FileResult& r : results) {
    auto [at, is_new] = seen.try_emplace(r.sample);
    Seen& e = at->second;
    if (is_new) order.push_back(r.sample);
    const std::string folder = std::filesystem::path(r.file).parent_path().string();
    if (std::find(e.folders.begin(), e.folders.end(), folder) == e.folders.end())
      e.folders.push_back(folder);
    const bool pooled = r.status == Status::Ok && r.per_slot[1].state != nullptr;
    // The sample's row of this model, or its row still without one.
    size_t i = rows.size();
    for (size_t j : e.rows)
      if (!rows[j].modes[1] || (pooled && same_model(rows[j], r))) i = j;
    if (i == rows.size()) {
      if (!e.rows.empty() && !pooled) continue;
      rows.push_back({});
      values.emplace_back();
      rows.back().sample = r.sample;
      e.rows.push_back(i);
    }
    if (!pooled) continue;
    SampleRow& row = rows[i];
    if (!row.modes[1]) {
      row.constants = 0;
      for (int k = 1; k <= kSlots; ++k) {
        row.modes[k] = r.per_slot[k].state;
        row.constants += std::strcmp(row.modes[k], "removed") != 0;
      }
    }
    ++row.n;
    for (int k = 1; k <= kSlots; ++k)
      if (std::strcmp(row.modes[k], "fitted") == 0 && r.per_slot[k].pka)
        values[i][k].push_back(*r.per_slot[k].pka);
    if (r.s_a) row.s_a_max = std::max(row.s_a_max.value_or(*r.s_a), *r.s_a);
  }
  for (size_t i = 0; i < rows.size(); ++i)
    for (int k = 1; k <= kSlots; ++k) rows[i].pka[k] = spread_of(values[i][k]);
  // A sample's models stay in the order they appeared, next to each other.
  std::vector<SampleRow> sorted;
  sorted.reserve(rows.size());
  for (const std::string& sample : order) {
    const Seen& e = seen[sample];
    for (size_t i : e.rows) sorted.push_back(std::move(rows[i]));
    if (e.folders.size() > 1) {
      std::string list;
      for (const std::string& w : e.folders)
        list += (list.empty() ? "" : ", ") + (w.empty() ? "." : w);
      t.warnings.push_back("sample " + sample + " has files in " +
                           std::to_string(e.folders.size()) + " folders (" + list +
                           "): they are pooled as replicates of one acid; name the samples apart "
                           "if they are not");
    }
    if (e.rows.size() > 1)
      t.warnings.push_back("sample " + sample + " was fitted with " +
                           std::to_string(e.rows.size()) +
                           " different models (constants, held or removed slots): each has a row "
                           "of its own, as only fits of one model are replicates");
  }
  rows = std::move(sorted);
  return t;
}

std::string by_sample_csv(const std::vector<FileResult>& results,
                          std::vector<std::string>* warnings) {
  std::vector<std::string> head = {"sample", "n", "constants"};
  for (int k = 1; k <= kSlots; ++k) head.push_back("mode" + std::to_string(k));
  for (int k = 1; k <= kSlots; ++k)
    for (const char* p : {"_n", "_mean", "_sd", "_sem"})
      head.push_back("pKa" + std::to_string(k) + p);
  head.push_back("s_a_max");
  std::string out = row(head);
  SampleTable t = by_sample(results);
  for (const SampleRow& s : t.rows) {
    std::vector<std::string> c = {csv_field(s.sample), std::to_string(s.n),
                                  s.modes[1] ? std::to_string(s.constants) : ""};
    for (int k = 1; k <= kSlots; ++k) c.push_back(s.modes[k] ? s.modes[k] : "");
    // The constants are single precision; so are their statistics.
    for (int k = 1; k <= kSlots; ++k) {
      const bool fitted = s.modes[k] && std::strcmp(s.modes[k], "fitted") == 0;
      c.push_back(fitted ? std::to_string(s.pka[k].n) : "");
      c.push_back(csv_number(as_float(s.pka[k].mean)));
      c.push_back(csv_number(as_float(s.pka[k].sd)));
      c.push_back(csv_number(as_float(s.pka[k].sem)));
    }
    c.push_back(csv_number(s.s_a_max));
    out += row(c);
  }
  if (warnings) *warnings = std::move(t.warnings);
  return out;
}

}  // namespace ferolan::cli
