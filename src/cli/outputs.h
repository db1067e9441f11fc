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
std::string summary_csv(const std::vector<FileResult>& results, bool refined = false);
// The summary's header and one file's row, for writing it as files finish.
std::string summary_head(bool refined = false);
std::string summary_row(const FileResult& r, bool refined = false);

// Mean, standard deviation (n − 1) and standard error of the mean of one pKa over a sample's
// ok replicates that have it; sd and sem only from two values on.
struct Spread {
  int n = 0;
  std::optional<double> mean, sd, sem;
};
Spread spread_of(const std::vector<double>& values);

struct SampleRow {
  std::string sample;
  int n = 0;                  // ok replicates
  std::array<Spread, 6> pka;  // 1..5
  std::optional<double> s_a_max;
};
// Samples in the order they first appear.
std::vector<SampleRow> by_sample(const std::vector<FileResult>& results);
std::string by_sample_csv(const std::vector<FileResult>& results);

}  // namespace ferolan::cli
