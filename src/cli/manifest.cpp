#include "cli/manifest.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <memory>

#include "cli/outputs.h"
#include "cli/text.h"

namespace ferolan::cli {

std::vector<std::vector<std::string>> read_csv(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
  const char sep =
      first.find(';') != std::string_view::npos && first.find(',') == std::string_view::npos ? ';'
                                                                                             : ',';
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, any = false;
  auto end_field = [&] {
    record.push_back(field);
    field.clear();
  };
  auto end_record = [&] {
    end_field();
    if (any || record.size() > 1 || !record[0].empty()) records.push_back(record);
    record.clear();
    any = false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == sep) {
      end_field();
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      end_record();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !record.empty() || any) end_record();
  return records;
}

std::string stem_of(const std::string& path) {
  if (path == "-") return "-";
  return std::filesystem::path(path).stem().string();
}

std::string sample_of(const std::string& path) {
  if (path == "-") return "-";
  return std::filesystem::path(path).replace_extension().string();
}

namespace {

std::string trimmed(std::string s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  size_t i = 0;
  while (i < s.size() && blank(s[i])) ++i;
  return s.substr(i);
}

// Numbers of a plan may carry a decimal comma.
std::string with_point(std::string s) {
  std::replace(s.begin(), s.end(), ',', '.');
  return s;
}

std::vector<std::string> words(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == ' ') ++i;
    const size_t start = i;
    while (i < s.size() && s[i] != ' ') ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

bool small_int(const std::string& s, int lo, int hi, int& v) {
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size() && v >= lo && v <= hi;
}

const char* const kColumns[] = {
    "file", "sample", "constants", "search",         "pk1",       "pk2", "pk3",
    "pk4",  "pk5",    "hold",      "ionic_strength", "exclude_ph"};

}  // namespace

bool plan_jobs(std::string_view text, const std::string& plan_dir, const Options& base,
               std::vector<FileJob>& jobs, std::string& error) {
  auto records = read_csv(text);
  const auto blank = [](const std::vector<std::string>& rec) {
    return std::all_of(rec.begin(), rec.end(),
                       [](const std::string& c) { return trimmed(c).empty(); });
  };
  // A spreadsheet saves the empty rows it once had as rows of empty cells.
  std::erase_if(records, blank);
  if (records.empty()) return error = "the plan is empty (it needs a header row)", false;
  // Trailing columns without a name are empty ones a spreadsheet kept.
  std::vector<std::string>& header = records[0];
  while (!header.empty() && trimmed(header.back()).empty()) header.pop_back();
  std::vector<int> column_of(std::size(kColumns), -1);
  auto names = std::make_shared<std::vector<std::string>>();
  std::vector<int> passed;  // the other columns' indices, in the plan's order
  std::vector<std::string> seen;
  for (size_t c = 0; c < header.size(); ++c) {
    // A spreadsheet's header may be capitalised or padded.
    const std::string written = trimmed(header[c]);
    const std::string name = ascii_lower(written);
    if (name.empty())
      return error = "column " + std::to_string(c + 1) + " has no name in the header row", false;
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
      return error = "the column '" + written + "' appears twice", false;
    seen.push_back(name);
    const auto it = std::find_if(std::begin(kColumns), std::end(kColumns),
                                 [&](const char* k) { return name == k; });
    if (it != std::end(kColumns)) {
      column_of[it - std::begin(kColumns)] = static_cast<int>(c);
      continue;
    }
    // Any other column (compound, operator, date) goes to the summary as it is; one named as
    // a column of the summary would make two of that name there.
    for (const std::string& own : summary_columns(true)) {
      if (ascii_lower(own) == name)
        return error = "the column '" + written +
                       "' is one the summary writes itself (a plan's columns are file, sample, "
                       "constants, search, pk1..pk5, hold, ionic_strength, exclude_ph, and any "
                       "other column is passed to the summary)",
               false;
    }
    names->push_back(written);
    passed.push_back(static_cast<int>(c));
  }
  if (column_of[0] < 0) return error = "the plan has no column 'file'", false;
  if (records.size() < 2)
    return error = "the plan names no file (it has only its header row)", false;

  for (size_t r = 1; r < records.size(); ++r) {
    const auto& rec = records[r];
    const std::string at = "row " + std::to_string(r + 1) + ": ";
    auto cell = [&](int col) {
      const int c = column_of[col];
      return c >= 0 && c < static_cast<int>(rec.size()) ? trimmed(rec[c]) : std::string();
    };
    for (size_t c = header.size(); c < rec.size(); ++c)
      if (!trimmed(rec[c]).empty())
        return error = at + "column " + std::to_string(c + 1) +
                       " holds a value but the header row names no column there",
               false;
    FileJob job;
    Options o = base;
    job.plan_columns = names;
    for (int c : passed)
      job.plan_cells.push_back(c < static_cast<int>(rec.size()) ? trimmed(rec[c]) : "");
    const std::string file = cell(0);
    if (file.empty()) return error = at + "the column 'file' is empty", false;
    const std::filesystem::path p(file);
    job.path = p.is_absolute() || plan_dir.empty() ? file : (plan_dir + "/" + file);
    job.sample = cell(1).empty() ? sample_of(file) : cell(1);
    if (const std::string v = cell(2); !v.empty()) {
      int n = 0;
      if (!small_int(v, 1, kSlots, n))
        return error = at + "constants takes 1 to 5, got '" + v + "'", false;
      o.constants = n;
      o.zero.clear();
    }
    if (const std::string v = cell(3); !v.empty()) {
      const std::optional<Search> s = search_named(v);
      if (!s) return error = at + "search takes opt, manual or auto, got '" + v + "'", false;
      o.search = *s;
    }
    for (int k = 1; k <= kSlots; ++k) {
      const std::string v = with_point(cell(3 + k));
      if (v.empty()) continue;
      double d = 0;
      if (!to_double(v, d))
        return error = at + "pk" + std::to_string(k) + " is not a number: '" + v + "'", false;
      if (static_cast<int>(o.pk.size()) < k) o.pk.resize(k);
      o.pk[k - 1] = v;
    }
    if (const std::string v = cell(9); !v.empty()) {
      o.hold.clear();
      for (const std::string& w : words(v)) {
        int k = 0;
        if (!small_int(w, 1, kSlots, k))
          return error = at + "hold takes slot numbers 1 to 5, got '" + w + "'", false;
        o.hold.push_back(k);
      }
    }
    if (const std::string v = with_point(cell(10)); !v.empty()) {
      double d = 0;
      if (!to_double(v, d) || d < 0 || d > 1)
        return error = at + "ionic_strength takes 0 to 1 mol/L, got '" + v + "'", false;
      o.ionic_strength = d;
    }
    if (const std::string v = cell(11); !v.empty()) {
      o.exclude_ph.clear();
      for (const std::string& w : words(with_point(v))) {
        double d = 0;
        if (!to_double(w, d))
          return error = at + "exclude_ph takes pH values, got '" + w + "'", false;
        o.exclude_ph.push_back(w);
      }
    }
    job.settings = std::make_shared<const Options>(std::move(o));
    jobs.push_back(std::move(job));
  }
  return true;
}

}  // namespace ferolan::cli
