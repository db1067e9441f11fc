// Whether two names lead to the same file: the batch tool must never write an output over one
// of its inputs, its plan, or another of its outputs.
#pragma once

#include "cli/layer.h"

#include <string>
#include <vector>

namespace ferolan::cli {

// A path with what it is to the run: "an input", "the plan", "--summary", ...
struct NamedPath {
  std::string path;
  std::string role;
};

// True when a and b name the same file: the same device and inode where both exist (hard
// and symbolic links included), else the same absolute path with links and ".." resolved.
bool same_file(const std::string& a, const std::string& b);

// One English sentence for each output that is an input, the plan or an earlier output,
// e.g. "s.csv: --summary would overwrite an input of this run (a.csv)".
std::vector<std::string> output_clashes(const std::vector<NamedPath>& inputs,
                                        const std::vector<NamedPath>& outputs);

}  // namespace ferolan::cli
