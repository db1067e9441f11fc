// --global: the files of one sample (or all files) fitted as titrations of one acid, with
// shared constants; its text, JSON object and summary table.
#pragma once

#include "cli/layer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/analyse.h"
#include "cli/json.h"
#include "engine/analysis/bootstrap.h"
#include "engine/analysis/global_fit.h"

namespace ferolan::cli {

struct GlobalRun {
  std::string sample;
  std::vector<std::string> files;            // the ok files fitted, in input order
  std::vector<std::string> left_out;         // files of the sample that were not ok
  std::string status = "ok", code, message;  // ok or refused, with a stable code
  std::vector<Arr1<double, kSlots>> own;     // each titration's own result
  std::optional<analysis::GlobalFit> fit;
  std::optional<analysis::BootstrapResult> boot;    // residuals
  std::optional<analysis::BootstrapResult> boot_t;  // whole titrations
  double elapsed_s = 0;
};

// One run per sample (with a plan) or one over every file (without), in first-seen order.
std::vector<GlobalRun> run_global(const std::vector<FileResult>& results, const Options& o,
                                  bool by_sample);

// Both resamplings of g's joint fit: residuals, and with two or more titrations whole
// titrations (not after a stopped first one). ts are brought to their common points first.
void resample_global(GlobalRun& g, std::vector<analysis::Titration>& ts, const SlotModes& modes,
                     const analysis::JointOptions& jo, analysis::BootstrapOptions bo);

std::string global_text(const GlobalRun& g);
// Without timing its times are null (--no-timing).
void json_global(Json& j, std::string_view key, const GlobalRun* g, bool timing = true);
std::string global_summary_csv(const std::vector<GlobalRun>& runs);

}  // namespace ferolan::cli
