// `ferolan-cli merge OUT PART... [--by-sample FILE]`: the shards' summaries or JSON Lines
// joined into what one run over all the inputs writes.
#pragma once

#include "cli/layer.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace ferolan::cli {

// args are those after "merge". Returns the exit status.
int run_merge(const std::vector<std::string>& args, std::ostream& err);

}  // namespace ferolan::cli
