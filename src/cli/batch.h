// The batch tool over many files: inputs, parallel analysis, ordered output, tables.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/analyse.h"
#include "cli/options.h"

namespace ferolan::cli {

// The files a run analyses, in the order given; a folder stands for its *.mdf, *.txt,
// *.csv and *.tsv files sorted by name. Problems that are no file's are added to problems.
std::vector<FileJob> jobs_of(const Options& o, std::istream& in, std::vector<std::string>& problems,
                             int& status);

// Analyses every job on `threads` threads; the results are in the jobs' order. done is called
// on the calling thread each time the next result in order is ready (and may print it).
std::vector<FileResult> analyse_all(const std::vector<FileJob>& jobs, int threads,
                                    const std::function<void(const FileResult&)>& done,
                                    const std::function<void(size_t finished)>& tick);

// The whole tool: returns the exit status.
int run_batch(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
              bool err_is_terminal);

}  // namespace ferolan::cli
