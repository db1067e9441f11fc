// A plan of a run made in a spreadsheet: one row per input file with its own settings.
#pragma once

#include "cli/layer.h"

#include <string>
#include <string_view>
#include <vector>

#include "cli/analyse.h"

namespace ferolan::cli {

// RFC 4180 records; the separator is ';' when the first line has one and no ',', else ','.
std::vector<std::vector<std::string>> read_csv(std::string_view text);

// The plan's rows as jobs over base (the command line): files relative to plan_dir, empty
// cells keep the command line's settings. On a mistake returns false with an English
// sentence naming the row in error.
bool plan_jobs(std::string_view text, const std::string& plan_dir, const Options& base,
               std::vector<FileJob>& jobs, std::string& error);

// The file name without folder and extension.
std::string stem_of(const std::string& path);
// The path without its extension: the sample of a file without one named by a plan, so that
// one data.mdf per folder, the window's own layout, makes as many samples as folders.
std::string sample_of(const std::string& path);

}  // namespace ferolan::cli
