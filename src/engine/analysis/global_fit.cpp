#include "engine/analysis/global_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "engine/search/workspace.h"

namespace ferolan::analysis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string point_list(const std::vector<double>& v) {
  std::string out;
  const size_t shown = std::min<size_t>(v.size(), 8);
  for (size_t i = 0; i < shown; ++i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%g", i ? ", " : "", v[i]);
    out += buf;
  }
  if (v.size() > shown) out += ", … (" + std::to_string(v.size()) + " in all)";
  return out + " nm";
}

}  // namespace

CommonPoints common_points(std::vector<Titration>& ts) {
  CommonPoints g;
  if (ts.empty()) return g;
  // The first titration's points (each once) that every other titration has too.
  std::vector<double> all;
  for (double w : ts[0].wavelengths)
    if (std::find(all.begin(), all.end(), w) == all.end()) all.push_back(w);
  for (const Titration& t : ts)
    for (double w : t.wavelengths)
      if (std::find(all.begin(), all.end(), w) == all.end()) all.push_back(w);
  for (double w : all) {
    bool everywhere = true;
    for (const Titration& t : ts)
      everywhere = everywhere &&
                   std::find(t.wavelengths.begin(), t.wavelengths.end(), w) != t.wavelengths.end();
    (everywhere ? g.wavelengths : g.dropped).push_back(w);
  }
  std::sort(g.dropped.begin(), g.dropped.end());
  if (!g.dropped.empty())
    g.warnings.push_back(
        std::to_string(g.dropped.size()) +
        " wavelengths are not in every titration and are left out: " + point_list(g.dropped));
  for (Titration& t : ts) {
    const size_t points = t.wavelengths.size();
    if (t.absorbance.size() != t.ph.size() * points) continue;  // refine_joint says so
    std::vector<size_t> column;
    for (double w : g.wavelengths)
      column.push_back(static_cast<size_t>(
          std::find(t.wavelengths.begin(), t.wavelengths.end(), w) - t.wavelengths.begin()));
    std::vector<double> a;
    a.reserve(t.ph.size() * column.size());
    for (size_t i = 0; i < t.ph.size(); ++i)
      for (size_t c : column) a.push_back(t.absorbance[i * points + c]);
    t.absorbance = std::move(a);
    t.wavelengths = g.wavelengths;
  }
  return g;
}

GlobalFit global_fit(std::vector<Titration> ts, const SlotModes& modes,
                     const Arr1<double, kSlots>& start, const JointOptions& options) {
  GlobalFit g;
  g.start = start;
  CommonPoints c = common_points(ts);
  g.wavelengths = std::move(c.wavelengths);
  g.dropped = std::move(c.dropped);
  g.warnings = std::move(c.warnings);
  g.fit = refine_joint(ts, modes, start, options);
  return g;
}

Arr1<double, kSlots> median_start(const std::vector<Arr1<double, kSlots>>& own) {
  Arr1<double, kSlots> out{};
  for (int k = 1; k <= kSlots; ++k) {
    std::vector<double> v;
    for (const auto& o : own)
      if (std::isfinite(o[k])) v.push_back(o[k]);
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    out[k] = n == 0 ? kNaN : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  return out;
}

Arr1<double, kSlots> auto_grid_start(const DataSet& data, const SlotModes& modes,
                                     const Arr1<double, kSlots>& held) {
  Arr1<double, kSlots> out{};
  for (int k = 1; k <= kSlots; ++k) out[k] = kNaN;
  ModelSetup setup;
  for (int k = 1; k <= kSlots; ++k) {
    setup.slot[k].mode = modes[k];
    setup.slot[k].value = modes[k] == SlotMode::Held ? static_cast<float>(held[k]) : 0;
  }
  auto calc = std::make_unique<CalcState>();
  auto st = std::make_unique<State>();
  set_start_values(*st);
  SearchObserver obs;
  const SearchResult r = auto_grid(Workspace{data, *calc, st->search}, setup, obs);
  if (r.outcome != Outcome::Finished) return out;
  for (int k = 1; k <= kSlots; ++k)
    if (modes[k] != SlotMode::Removed) out[k] = r.pk_best[k];
  return out;
}

}  // namespace ferolan::analysis
