#include "cli/merge.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

#include "cli/analyse.h"
#include "cli/manifest.h"
#include "cli/output_file.h"
#include "cli/outputs.h"
#include "cli/path_identity.h"

namespace ferolan::cli {

namespace {

constexpr const char* kMergeUsage =
    "merge takes OUT PART... [--by-sample FILE]: the shards' summaries or JSON Lines in order";

// The rows' replicates as the run had them: a pKa is a single-precision value in the
// summary, so it is read back as one; s(A) is a double.
std::vector<FileResult> rows_of(const std::vector<std::vector<std::string>>& records,
                                std::string& error) {
  std::vector<FileResult> rows;
  const std::vector<std::string>& head = records.front();
  auto column = [&](const std::string& name) {
    for (size_t i = 0; i < head.size(); ++i)
      if (head[i] == name) return static_cast<int>(i);
    return -1;
  };
  const int file = column("file"), sample = column("sample"), status = column("status"),
            s_a = column("s_a");
  int pka[6] = {-1, -1, -1, -1, -1, -1}, mode[6] = {-1, -1, -1, -1, -1, -1};
  for (int k = 1; k <= kSlots; ++k) {
    pka[k] = column("pKa" + std::to_string(k));
    mode[k] = column("mode" + std::to_string(k));
  }
  if (file < 0 || sample < 0 || status < 0 || s_a < 0 ||
      std::count(pka + 1, pka + 6, -1) + std::count(mode + 1, mode + 6, -1) > 0) {
    error = "the summary has no file, sample, status, mode1..mode5, pKa1..pKa5 or s_a column";
    return {};
  }
  for (size_t i = 1; i < records.size(); ++i) {
    const std::vector<std::string>& c = records[i];
    if (c.size() != head.size()) {
      error = "row " + std::to_string(i + 1) + " has " + std::to_string(c.size()) +
              " cells, the header " + std::to_string(head.size());
      return {};
    }
    FileResult r;
    r.file = c[file];
    r.sample = c[sample];
    r.status = c[status] == "ok" ? Status::Ok : Status::Refused;
    for (int k = 1; k <= kSlots; ++k) {
      const std::string& m = c[mode[k]];
      r.per_slot[k].state = m == "fitted"    ? "fitted"
                            : m == "held"    ? "held"
                            : m == "removed" ? "removed"
                                             : nullptr;
      if (!m.empty() && !r.per_slot[k].state) {
        error = "row " + std::to_string(i + 1) + ": mode" + std::to_string(k) +
                " is fitted, held or removed, not '" + m + "'";
        return {};
      }
      if (!c[pka[k]].empty()) r.per_slot[k].pka = std::strtof(c[pka[k]].c_str(), nullptr);
    }
    // An ok row names every slot's mode: a part cut or edited is no summary of ours.
    if (r.status == Status::Ok && !r.per_slot[1].state) {
      error = "row " + std::to_string(i + 1) + " is ok but has no slot modes";
      return {};
    }
    if (!c[s_a].empty()) r.s_a = std::strtod(c[s_a].c_str(), nullptr);
    rows.push_back(std::move(r));
  }
  return rows;
}

}  // namespace

int run_merge(const std::vector<std::string>& args, std::ostream& err) {
  std::string out_path, by_sample_path;
  std::vector<std::string> parts;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--by-sample" && i + 1 < args.size()) {
      by_sample_path = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      err << "ferolan-cli: " << kMergeUsage << "\n";
      return ExitCode::kUsage;
    } else if (out_path.empty()) {
      out_path = args[i];
    } else {
      parts.push_back(args[i]);
    }
  }
  if (out_path.empty() || parts.empty()) {
    err << "ferolan-cli: " << kMergeUsage << "\n";
    return ExitCode::kUsage;
  }
  std::vector<NamedPath> inputs;
  for (const std::string& p : parts) inputs.push_back({p, "a part"});
  const auto clashes =
      output_clashes(inputs, {{out_path, "merge"}, {by_sample_path, "--by-sample"}});
  for (const std::string& c : clashes) err << "ferolan-cli: " << c << "; nothing written\n";
  if (!clashes.empty()) return ExitCode::kUsage;

  std::string merged, head;
  bool summary = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    FileResult probe;
    const std::optional<std::string> text = read_input_file(parts[i], probe);
    if (!text) {
      err << "ferolan-cli: " << parts[i] << ": " << probe.message << "\n";
      return kInput;
    }
    if (!text->empty() && text->back() != '\n') {
      err << "ferolan-cli: " << parts[i] << ": ends inside a line (not a whole part)\n";
      return kInput;
    }
    const bool is_summary = text->rfind("file,sample,status,", 0) == 0;
    const bool is_lines = text->empty() || text->front() == '{';
    if (i == 0) summary = is_summary;
    if (summary != is_summary || (!is_summary && !is_lines)) {
      err << "ferolan-cli: " << parts[i]
          << ": is neither a summary nor JSON Lines like the first part\n";
      return kInput;
    }
    if (!summary) {
      merged += *text;
      continue;
    }
    const size_t end = text->find('\n') + 1;
    if (i == 0) {
      head = text->substr(0, end);
      merged = head;
    } else if (text->compare(0, end, head) != 0) {
      err << "ferolan-cli: " << parts[i] << ": its columns differ from the first part's\n";
      return kInput;
    }
    merged.append(*text, end);
  }
  if (!by_sample_path.empty() && !summary) {
    err << "ferolan-cli: --by-sample is recomputed from summaries, not from JSON Lines\n";
    return ExitCode::kUsage;
  }
  std::string by_sample;
  if (!by_sample_path.empty()) {
    std::string error;
    const std::vector<FileResult> rows = rows_of(read_csv(merged), error);
    if (!error.empty()) {
      err << "ferolan-cli: " << out_path << ": " << error << "\n";
      return kInput;
    }
    std::vector<std::string> pooled;
    by_sample = by_sample_csv(rows, &pooled);
    for (const std::string& w : pooled) err << "ferolan-cli: --by-sample: " << w << "\n";
  }
  std::string why;
  if (!write_whole_file(out_path, merged, why)) {
    err << "ferolan-cli: " << out_path << ": cannot be written: " << why << "\n";
    return kOutput;
  }
  if (!by_sample_path.empty() && !write_whole_file(by_sample_path, by_sample, why)) {
    err << "ferolan-cli: " << by_sample_path << ": cannot be written: " << why << "\n";
    return kOutput;
  }
  return kOk;
}

}  // namespace ferolan::cli
