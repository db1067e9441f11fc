// Resampling intervals: reproducible for a seed whatever the threads, and as wide as the
// noise makes the constants scatter.
#include "engine/analysis/bootstrap.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::fitted;
using testing::pks;

struct Fixture {
  std::vector<Titration> ts;
  RefineResult fit;
};

Fixture two_constants(uint32_t seed, int points = 61) {
  testing::SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  recipe.points = points;
  recipe.noise = 0.003;
  recipe.seed = seed;
  const auto syn = testing::make_synthetic(recipe);
  Fixture f;
  f.ts = {titration_of(*syn.data)};
  Arr1<double, kSlots> start{};
  start[1] = 4.1;
  start[2] = 6.9;
  f.fit = refine_joint(f.ts, fitted(2), start);
  return f;
}

TEST(Bootstrap, ReproducibleForASeedOnAnyThreadCount) {
  const Fixture f = two_constants(5);
  ASSERT_EQ(f.fit.status, RefineStatus::Converged);
  BootstrapOptions o;
  o.replicates = 40;
  o.seed = 77;
  o.threads = 1;
  const BootstrapResult one = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  o.threads = 2;
  const BootstrapResult two = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  o.seed = 78;
  const BootstrapResult other = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  ASSERT_TRUE(one.ok) << one.message;
  ASSERT_TRUE(two.ok && other.ok);
  EXPECT_EQ(one.threads, 1);
  EXPECT_EQ(two.threads, 2);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(one.lo[k], two.lo[k]);
    EXPECT_EQ(one.hi[k], two.hi[k]);
    EXPECT_EQ(one.sd[k], two.sd[k]);
    EXPECT_NE(one.lo[k], other.lo[k]);
    EXPECT_LT(one.lo[k], f.fit.pk[k]);
    EXPECT_GT(one.hi[k], f.fit.pk[k]);
  }
  EXPECT_TRUE(std::isnan(one.lo[3]));
  EXPECT_EQ(one.failed, 0);
  EXPECT_EQ(one.method, "residuals");
}

// A cancel from another thread ends the resampling early, and what finished is no interval;
// a token cancelled before the start refits nothing; an untouched one changes nothing.
TEST(Bootstrap, CancelFromAnotherThreadStopsIt) {
  const Fixture f = two_constants(5);
  BootstrapOptions o;
  o.replicates = 100000;
  o.threads = 2;
  CancelToken token;
  o.cancel = &token;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    token.cancel();
  });
  const BootstrapResult b = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  canceller.join();
  EXPECT_FALSE(b.ok);
  EXPECT_TRUE(b.stopped);
  EXPECT_NE(b.message.find("stopped"), std::string::npos);
  EXPECT_TRUE(std::isnan(b.lo[1]) && std::isnan(b.hi[1]));
  EXPECT_LT(b.replicates, 100000);  // those refitted before the stop

  o.replicates = 20;
  const BootstrapResult none = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  EXPECT_TRUE(none.stopped);
  EXPECT_EQ(none.replicates, 0);
  token.reset();
  const BootstrapResult whole = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  o.cancel = nullptr;
  const BootstrapResult plain = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  ASSERT_TRUE(whole.ok && plain.ok);
  EXPECT_FALSE(whole.stopped);
  EXPECT_EQ(whole.lo[1], plain.lo[1]);
  EXPECT_EQ(whole.hi[2], plain.hi[2]);
}

// The interval is about as wide as ±1.96 standard errors: resampling residuals reproduces the
// scatter the Jacobian predicts.
TEST(Bootstrap, WidthMatchesTheStandardErrors) {
  const Fixture f = two_constants(9);
  BootstrapOptions o;
  o.replicates = 200;
  o.threads = 2;
  const BootstrapResult b = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  ASSERT_TRUE(b.ok) << b.message;
  for (int k = 1; k <= 2; ++k) {
    const double width = b.hi[k] - b.lo[k];
    EXPECT_GT(width, 2 * 1.96 * f.fit.se[k] / 1.5) << k;
    EXPECT_LT(width, 2 * 1.96 * f.fit.se[k] * 1.5) << k;
    EXPECT_NEAR(b.sd[k], f.fit.se[k], 0.35 * f.fit.se[k]) << k;
  }
}

TEST(Bootstrap, RefusesWhatCannotBeResampled) {
  const Fixture f = two_constants(3, 31);
  BootstrapOptions o;
  o.replicates = 1;
  EXPECT_FALSE(bootstrap(f.ts, fitted(2), f.fit, {}, o).ok);
  o.replicates = 10;
  o.titrations = true;  // one titration only
  const BootstrapResult t = bootstrap(f.ts, fitted(2), f.fit, {}, o);
  EXPECT_FALSE(t.ok);
  EXPECT_FALSE(t.message.empty());
  o.titrations = false;
  RefineResult none = f.fit;
  none.status = RefineStatus::InvalidSetup;
  EXPECT_FALSE(bootstrap(f.ts, fitted(2), none, {}, o).ok);
}

TEST(Bootstrap, Percentile) {
  const std::vector<double> v = {5, 1, 4, 2, 3};
  const struct {
    double q, want;
  } cases[] = {{0, 1}, {1, 5}, {0.5, 3}, {0.25, 2}, {0.1, 1.4}, {0.975, 4.9}, {-1, 1}, {2, 5}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(percentile(v, c.q), c.want) << c.q;
  EXPECT_TRUE(std::isnan(percentile({}, 0.5)));
  EXPECT_EQ(percentile({7}, 0.3), 7);
}

}  // namespace
}  // namespace ferolan::analysis
