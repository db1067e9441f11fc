// The batch tool over many files: inputs, parallel analysis, ordered output, tables.
#pragma once

#include "cli/layer.h"

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

// analyse_file, with an allocation that fails a refusal of that file (out_of_memory).
FileResult analyse_or_refuse(const FileJob& job);

// Analyses every job on up to `threads` threads; `started` tells how many the system allowed
// (with none, the calling thread does the work). done is called on the calling thread with
// each result in the jobs' order as soon as it and all before it are ready; files are taken
// no further than a bounded window ahead of the first unfinished one, so memory holds the files
// in flight only. After a stop signal no file is started, and the finished ones are passed on
// in order, gaps skipped; a cancelled `stop` token (a caller's Ctrl-C) counts as the signal.
// Returns how many results were passed to done.
size_t analyse_all(const std::vector<FileJob>& jobs, int threads,
                   const std::function<void(FileResult&&)>& done,
                   const std::function<void(size_t finished)>& tick, int& started,
                   const CancelToken* stop = nullptr);

// The whole tool: returns the exit status.
int run_batch(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
              bool err_is_terminal);

}  // namespace ferolan::cli
