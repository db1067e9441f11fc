#include "engine/analysis/ph_scale.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ferolan::analysis {
namespace {

// Worked by hand at I = 0.1 mol/L, A = 0.51:
//   √I = 0.3162278, √I/(1+√I) = 0.2402531, minus 0.3·I = 0.2102531,
//   log γ(±1) = -0.51 × 0.2102531 = -0.1072291, log γ(±2) = 4 × that = -0.4289163.
// Step 1, H5A (0) -> H4A⁻ + H⁺, measured pKa 4.00:
//   pK_c = 4.00 + log γ(H⁺) = 3.8927709;  pK° = 4.00 - log γ(-1) + log γ(0) = 4.1072291.
// Step 2, H4A⁻ -> H3A²⁻ + H⁺, measured pKa 9.00:
//   pK_c = 9.00 - 0.1072291 = 8.8927709;  pK° = 9.00 + 0.4289163 - 0.1072291 = 9.3216872.
TEST(PhScale, MatchesTheWorkedExample) {
  EXPECT_NEAR(davies_log_gamma(1, 0.1), -0.1072291, 1e-7);
  EXPECT_NEAR(davies_log_gamma(-2, 0.1), -0.4289163, 1e-7);
  EXPECT_DOUBLE_EQ(davies_log_gamma(0, 0.1), 0.0);

  const ScaleConversion one = convert_pk(4.00, 1, 0.1);
  ASSERT_TRUE(one.ok);
  EXPECT_EQ(one.z_acid, 0);
  EXPECT_EQ(one.z_base, -1);
  EXPECT_NEAR(one.pk_concentration, 3.8927709, 1e-7);
  EXPECT_NEAR(one.pk_thermodynamic, 4.1072291, 1e-7);

  const ScaleConversion two = convert_pk(9.00, 2, 0.1);
  EXPECT_EQ(two.z_acid, -1);
  EXPECT_EQ(two.z_base, -2);
  EXPECT_NEAR(two.pk_concentration, 8.8927709, 1e-7);
  EXPECT_NEAR(two.pk_thermodynamic, 9.3216872, 1e-7);
  EXPECT_TRUE(two.in_range);
}

TEST(PhScale, ChargeOfTheFirstFormShiftsOnlyTheThermodynamicValue) {
  // A cationic acid, H5A⁺: step 1 is H5A⁺ -> H4A + H⁺, so γ(+1) and γ(0).
  const ScaleConversion c = convert_pk(4.00, 1, 0.1, +1);
  EXPECT_EQ(c.z_acid, 1);
  EXPECT_EQ(c.z_base, 0);
  EXPECT_NEAR(c.pk_concentration, 3.8927709, 1e-7);
  EXPECT_NEAR(c.pk_thermodynamic, 4.00 - 0.1072291, 1e-7);
}

TEST(PhScale, EdgesOfTheIonicStrength) {
  const ScaleConversion zero = convert_pk(6.5, 3, 0.0);
  EXPECT_DOUBLE_EQ(zero.pk_concentration, 6.5);
  EXPECT_DOUBLE_EQ(zero.pk_thermodynamic, 6.5);
  EXPECT_FALSE(convert_pk(6.5, 3, 0.8).in_range);
  EXPECT_TRUE(convert_pk(6.5, 3, 0.8).ok);
  EXPECT_FALSE(convert_pk(6.5, 3, -0.1).ok);
  EXPECT_TRUE(std::isnan(convert_pk(6.5, 3, NAN).pk_concentration));
  EXPECT_FALSE(convert_pk(6.5, 6, 0.1).ok);  // there is no sixth step
}

}  // namespace
}  // namespace ferolan::analysis
