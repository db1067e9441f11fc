// The least-squares refinement beside a search's result: its JSON object and report lines.
#pragma once

#include "cli/layer.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "cli/json.h"
#include "engine/analysis/bootstrap.h"
#include "engine/analysis/refine.h"

namespace ferolan::cli {

// The `refined` object (docs/json.md), or null without a refinement. Without timing (as
// --no-timing asks) its times are null, so that reruns write the same bytes.
void json_refined(Json& j, std::string_view key, const analysis::RefineResult* r,
                  const analysis::BootstrapResult* boot = nullptr, bool timing = true);

// Lines for the report: each constant refined beside the search's value (search_pk[k], none
// for a removed slot), s(A), the degrees of freedom and the status.
std::string refined_text(const analysis::RefineResult& r,
                         const std::array<std::optional<double>, 6>& search_pk,
                         std::optional<double> search_s_a,
                         const analysis::BootstrapResult* boot = nullptr);

// The `bootstrap` object of a refinement or a global fit (null without).
void json_bootstrap(Json& j, std::string_view key, const analysis::BootstrapResult* b,
                    bool timing = true);

}  // namespace ferolan::cli
