// One input file in, one result out: everything the batch tool knows about a file passes
// through FileJob and FileResult, so that files can be analysed in any order, in parallel.
#pragma once

#include "cli/layer.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/checks.h"
#include "cli/data_file.h"
#include "cli/options.h"
#include "engine/analysis/bootstrap.h"
#include "engine/analysis/refine.h"
#include "engine/search/cancel.h"
#include "engine/search/workspace.h"

namespace ferolan::cli {

class SearchWatch;
struct Session;

enum ExitCode : int { kOk = 0, kUsage = 1, kInput = 2, kRefused = 3, kOutput = 4 };

struct FileJob {
  std::string path;                  // as named on the command line or in the plan
  std::string sample;                // replicate group
  std::optional<std::string> bytes;  // already read (standard input); else read from path
  // The command line with the plan's cells applied; shared by the files of one setting, since
  // a folder of ten thousand files would otherwise hold ten thousand copies.
  std::shared_ptr<const Options> settings = std::make_shared<const Options>();
  std::string plots_dir;          // where this file's pictures go; empty: none
  std::string trace_path;         // where one line per scored trial goes; empty: none
  CancelToken* cancel = nullptr;  // ends the search from any thread; none: the stop signal's
  SearchWatch* watch = nullptr;   // told of the search's yields
  // A plan's other columns (compound, operator, date): their names, shared by every job of
  // the plan, and this row's cells, passed through to the summary.
  std::shared_ptr<const std::vector<std::string>> plan_columns;
  std::vector<std::string> plan_cells;
};

// ok_with_warnings: a result, with something a chemist should look at before using it.
enum class Status { Ok, OkWithWarnings, Refused, Unreadable };
const char* status_name(Status s);
inline bool has_result(Status s) {
  return s == Status::Ok || s == Status::OkWithWarnings;
}

struct SlotResult {
  const char* state = nullptr;  // "fitted", "held", "removed"; null without a model
  std::optional<double> pka, ka, u, se, pka_conc, pka_thermodynamic;
  std::string pka_text, ka_text;  // the window's boxes
};

struct GlobalRun;  // --global: several files fitted as one acid
struct Diagnostics;
struct RunRecord;  // factor analysis, standard errors, speciation, residuals, models

struct FileResult {
  std::string file, sample;
  std::vector<std::string> plan_cells;  // the job's, for the summary
  Status status = Status::Ok;
  int exit_status = kOk;
  std::string code, message;    // stable code and English sentence unless ok
  std::string display_message;  // the window's own text of the same refusal, if it has one

  std::optional<DataFile> input;  // how the file was read (data moved out)
  std::optional<int> spectra, spectra_used, points;
  std::optional<double> acid_conc, path_len;
  std::string acid_conc_text;

  std::string mode;   // opt, manual, auto, evaluate, compare, factors
  std::string level;  // of the optimisation
  std::optional<int> constants;
  std::array<SlotResult, 6> per_slot;  // 1..5
  std::optional<double> s_a, s_a_thinned;
  std::string s_a_text, elapsed_text;
  std::optional<int> preferred_constants;
  std::string preferred_by;  // "compare" or "factor_analysis"
  std::optional<long> trials, fits;
  std::optional<double> elapsed_s, ionic_strength;
  std::shared_ptr<const Diagnostics> diagnostics;
  // Provenance: the input's size and SHA-256, the settings, the run.
  std::optional<long> input_size;
  std::string input_sha256;
  std::shared_ptr<const Options> settings;
  std::shared_ptr<const RunRecord> run;
  std::shared_ptr<const analysis::RefineResult> refined;  // with --refine
  std::shared_ptr<const analysis::BootstrapResult> boot;  // with --refine --bootstrap N
  std::shared_ptr<const DataSet> data;                    // with --global: as fitted
  std::vector<double> conc_spectra;         // with --global: the table's, in data's order, if any
  std::array<SlotMode, 6> modes{};          // with --global: as searched
  std::shared_ptr<const GlobalRun> global;  // with --global: its sample's fit
  std::shared_ptr<const FitArrays> fit;     // the search's fit at its result (none: no search)

  std::string text;                   // the report for people
  std::string forms_text, calc_text;  // when asked for
  std::vector<std::string> notes;     // further messages for standard error
  std::vector<Problem> warnings;      // of the result (the reading's are in input)
};

// Reads, imports, searches and diagnoses one file on a module of its own.
FileResult analyse_file(const FileJob& job);

// The same for a data set already read (input.data, as read, before the import's sort).
// session, when given, receives the session at the end: the data set as the search used it
// and the result's constants.
FileResult analyse_data(const FileJob& job, const DataFile& input,
                        std::shared_ptr<Session>* session = nullptr);

// Reads a file for analysis: nullopt with result marked unreadable or refused (too large,
// a folder) when it cannot be.
std::optional<std::string> read_input_file(const std::string& path, FileResult& result);

}  // namespace ferolan::cli
