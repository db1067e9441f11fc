// Command-line options of the batch tool.
#pragma once

#include "cli/layer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ferolan::cli {

enum class Search { Optimisation, Manual, Auto };
enum class InputFormat { Detect, Mdf, Table };

struct SlotRange {
  int slot = 0;
  std::string start, end, step;  // texts as the range boxes take them
};

struct Options {
  std::vector<std::string> inputs;  // files and folders; "-" = standard input
  std::string manifest;             // a plan naming the inputs instead
  std::string summary_file, by_sample_file;
  int jobs = 0;           // 0: one per core
  int threads = 0;        // of one optimisation sweep; 0: one per core
  int threads_given = 0;  // --threads as given (threads is what the run chose)
  bool strict = false;
  std::optional<int> constants;  // number of constants of the model
  InputFormat format = InputFormat::Detect;
  Search search = Search::Optimisation;
  int level = 1;                // 1 normal, 2 high, 3 very high
  std::vector<std::string> pk;  // start or held value texts per slot, from slot 1
  std::vector<int> hold, zero;
  std::vector<SlotRange> ranges;
  std::vector<int> exclude;
  std::vector<std::string> exclude_ph;
  int path_len = 1;
  bool evaluate = false;
  bool json = false;
  bool quiet = false;
  std::string forms_file, calc_file, plots_dir, trace_file;
  // Diagnostics.
  bool factors_only = false;
  std::optional<double> noise;
  bool compare = false;
  bool refine = false;  // the least-squares minimum from the search's result
  bool global = false;  // the files (of each sample) as titrations of one acid
  std::string global_summary_file;
  bool spectra_per_titration = false;
  bool conc_factors = false;
  int bootstrap = 0;  // replicates; 0: none
  uint64_t seed = 1;
  std::optional<double> ionic_strength;

  // A run over many files.
  std::string json_lines_file;  // one object per line as files finish; "-" standard output
  bool no_timing = false;       // no start time or elapsed times: reruns are byte-identical
  int shard = 0, shards = 0;    // --shard K/N: the K-th of N parts of the inputs

  bool help = false, version = false;
};

// Parses argv; on a mistake returns false with a one-line English reason in error.
bool parse_options(int argc, const char* const* argv, Options& out, std::string& error);

// A whole text that is a finite number.
bool to_double(const std::string& s, double& v);

// The search an option or a manifest names: opt, manual or auto.
std::optional<Search> search_named(const std::string& name);

const char* help_text();
const char* version_text();

}  // namespace ferolan::cli
