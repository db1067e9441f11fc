// The batch tool's plan: any text is refused with a sentence, or gives jobs whose settings lie
// within the ranges the rest of the tool relies on and whose count and cells fit the text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/manifest.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferolan::cli;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Options base;
  base.pk = {"4", "9"};
  std::vector<FileJob> jobs;
  std::string error;
  if (!plan_jobs(text, "lab", base, jobs, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(error.empty());
  FUZZ_CHECK(!jobs.empty());
  // A header and a row per job at least.
  size_t lines = 1;
  for (char c : text) lines += c == '\n' || c == '\r';
  FUZZ_CHECK(jobs.size() + 1 <= lines);
  const auto& columns = jobs.front().plan_columns;
  for (const FileJob& j : jobs) {
    FUZZ_CHECK(!j.path.empty());
    FUZZ_CHECK(j.path.starts_with("lab/") || j.path.starts_with("/"));
    FUZZ_CHECK(!j.sample.empty());
    FUZZ_CHECK(j.plan_columns == columns);
    FUZZ_CHECK(j.plan_cells.size() == (columns ? columns->size() : 0));
    const Options& o = *j.settings;
    if (o.constants) FUZZ_CHECK(*o.constants >= 1 && *o.constants <= 5);
    FUZZ_CHECK(o.pk.size() <= 5);
    for (const std::string& v : o.pk) FUZZ_CHECK(v.find(',') == std::string::npos);
    for (int k : o.hold) FUZZ_CHECK(k >= 1 && k <= 5);
    if (o.ionic_strength) FUZZ_CHECK(*o.ionic_strength >= 0 && *o.ionic_strength <= 1);
  }
  if (columns)
    for (const std::string& c : *columns) FUZZ_CHECK(!c.empty());
  return 0;
}
