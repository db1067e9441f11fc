// What a run over many files writes: the JSON of the results, the summary table and the
// replicate statistics, all from the files' results alone.
#pragma once

#include "cli/layer.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/analyse.h"

namespace ferolan::cli {

// One object for one file, an array of objects for several.
std::string json_text(const std::vector<FileResult>& results, bool as_array);
// One file's object as json_text writes it (with its line end), and on one line for JSON Lines.
std::string json_object(const FileResult& r);
std::string json_line(const FileResult& r);

// RFC 4180: fields with a comma, quote or line break are quoted, quotes doubled; CR LF rows.
// Bytes that are no UTF-8 become U+FFFD; a text starting with = + - @ (a formula to a
// spreadsheet) gets a leading apostrophe.
std::string csv_field(std::string_view text);
// The shortest text that reads back as the same number ('.' decimals); empty for none.
std::string csv_number(std::optional<double> v);
std::string csv_number(std::optional<float> v);

// With refined, the refinement's columns follow: refine_status, pKa1_refined..pKa5_refined,
// se1_refined..se5_refined.
// A plan's other columns (plan_columns) follow last, in the plan's order.
std::string summary_csv(const std::vector<FileResult>& results, bool refined = false,
                        const std::vector<std::string>& plan_columns = {});
// The summary's own columns.
std::vector<std::string> summary_columns(bool refined = false);
// The summary's header and one file's row, for writing it as files finish.
std::string summary_head(bool refined = false, const std::vector<std::string>& plan_columns = {});
std::string summary_row(const FileResult& r, bool refined = false);

// Mean, standard deviation (n − 1) and standard error of the mean of one pKa over a sample's
// ok replicates that have it; sd and sem only from two values on.
struct Spread {
  int n = 0;
  std::optional<double> mean, sd, sem;
};
Spread spread_of(const std::vector<double>& values);

// Replicates are the ok files of one sample fitted with one model (the same fitted, held and
// removed slots): each such group is a row. Only fitted constants have statistics, each with
// its own n.
struct SampleRow {
  std::string sample;
  int n = 0;                           // ok replicates of this model
  int constants = 0;                   // of the model (held ones included)
  std::array<const char*, 6> modes{};  // 1..5: "fitted", "held", "removed"; null: n = 0
  std::array<Spread, 6> pka;           // 1..5, fitted slots only
  std::optional<double> s_a_max;
};
struct SampleTable {
  std::vector<SampleRow> rows;        // in the order the samples first appear
  std::vector<std::string> warnings;  // a sample over several folders or several models
};
SampleTable by_sample(const std::vector<FileResult>& results);
// The table; its warnings, when asked, go to warnings.
std::string by_sample_csv(const std::vector<FileResult>& results,
                          std::vector<std::string>* warnings = nullptr);

}  // namespace ferolan::cli
