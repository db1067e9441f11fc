// What produced a result: the program, the run's start, the input's bytes and every setting,
// so that a result read years later can be traced and repeated.
#pragma once

#include "cli/layer.h"

#include <string>

#include "cli/analyse.h"
#include "cli/json.h"

namespace ferolan::cli {

struct RunRecord {
  std::string started_utc;  // ISO 8601, e.g. "2026-12-08T16:50:00Z"
  bool timing = true;       // false: no start time, no elapsed times
};

// Now, in UTC, as ISO 8601 to the second.
std::string utc_now();

// The "provenance" object of a result.
void json_provenance(Json& j, const FileResult& r);

}  // namespace ferolan::cli
