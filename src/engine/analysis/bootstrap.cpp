#include "engine/analysis/bootstrap.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

namespace ferolan::analysis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return kNaN;
  std::sort(v.begin(), v.end());
  const double at = std::clamp(q, 0.0, 1.0) * static_cast<double>(v.size() - 1);
  const size_t i = static_cast<size_t>(at);
  if (i + 1 >= v.size()) return v.back();
  return v[i] + (at - static_cast<double>(i)) * (v[i + 1] - v[i]);
}

BootstrapResult bootstrap(const std::vector<Titration>& ts, const SlotModes& modes,
                          const RefineResult& fit, const JointOptions& options,
                          const BootstrapOptions& boot) {
  const auto t0 = std::chrono::steady_clock::now();
  BootstrapResult out;
  out.method = boot.titrations ? "titrations" : "residuals";
  out.seed = boot.seed;
  for (int k = 1; k <= kSlots; ++k) out.lo[k] = out.hi[k] = out.sd[k] = kNaN;
  auto done = [&](std::string why) {
    out.message = std::move(why);
    out.elapsed_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return out;
  };
  if (!refine_has_result(fit.status) || fit.fitted_slots.empty())
    return done("there is no refined result to resample");
  if (boot.replicates < 2 || boot.replicates > 100000)
    return done("the number of replicates must be 2 to 100000");
  if (boot.titrations && ts.size() < 2) return done("drawing titrations needs two or more");
  const std::vector<std::vector<double>> resid =
      joint_residuals(ts, modes, fit.pk, fit.factor, options);
  if (resid.size() != ts.size()) return done("the fit's residuals cannot be computed");
  const double inflate =
      fit.dof > 0 ? std::sqrt(static_cast<double>(fit.observations) / static_cast<double>(fit.dof))
                  : 1.0;

  const int n = boot.replicates;
  std::vector<Arr1<double, kSlots>> pk(n);
  std::vector<char> good(n, 0);
  auto replicate = [&](int b) {
    std::seed_seq seq{static_cast<uint32_t>(boot.seed), static_cast<uint32_t>(boot.seed >> 32),
                      static_cast<uint32_t>(b)};
    std::mt19937_64 gen(seq);
    std::vector<Titration> drawn;
    if (boot.titrations) {
      for (size_t t = 0; t < ts.size(); ++t) drawn.push_back(ts[gen() % ts.size()]);
    } else {
      drawn = ts;
      for (size_t t = 0; t < ts.size(); ++t) {
        const std::vector<double>& r = resid[t];
        std::vector<double>& a = drawn[t].absorbance;
        if (r.empty()) continue;
        for (size_t i = 0; i < a.size(); ++i) a[i] = (a[i] - r[i]) + inflate * r[gen() % r.size()];
      }
    }
    const RefineResult f = refine_joint(drawn, modes, fit.pk, options);
    if (!refine_has_result(f.status)) return;
    pk[b] = f.pk;
    good[b] = 1;
  };

  int threads = boot.threads > 0
                    ? boot.threads
                    : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = std::clamp(threads, 1, std::min(n, 256));
  out.threads = threads;
  std::atomic<int> next{0};
  std::atomic<bool> skipped{false};
  std::atomic<int> finished{0};
  auto worker = [&] {
    for (int b; (b = next.fetch_add(1)) < n;) {
      if (boot.cancel && boot.cancel->cancelled()) {
        skipped = true;
        return;
      }
      replicate(b);
      ++finished;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();

  if (skipped) {
    out.stopped = true;
    out.replicates = finished;
    return done("stopped before every replicate was refitted");
  }
  out.replicates = n;
  for (int b = 0; b < n; ++b) out.failed += good[b] ? 0 : 1;
  if (n - out.failed < 2) return done("fewer than two replicates could be refitted");
  for (int k : fit.fitted_slots) {
    std::vector<double> v;
    for (int b = 0; b < n; ++b)
      if (good[b]) v.push_back(pk[b][k]);
    double mean = 0, ss = 0;
    for (double x : v) mean += x / static_cast<double>(v.size());
    for (double x : v) ss += (x - mean) * (x - mean);
    out.sd[k] = std::sqrt(ss / static_cast<double>(v.size() - 1));
    out.lo[k] = percentile(v, 0.025);
    out.hi[k] = percentile(v, 0.975);
  }
  out.ok = true;
  return done("");
}

}  // namespace ferolan::analysis
