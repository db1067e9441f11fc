// The batch tool against the window: the same determination through both front ends gives
// the same shown values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cli/cli_run.h"
#include "engine/analysis/fit_access.h"
#include "engine/format/format.h"
#include "support/test_module.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"
#include "window/view/export.h"

namespace ferolan {
namespace {

// The window's own result for the same determination, through the same core.
struct WindowResult {
  std::string pk1, pk2, s_a, forms;
};

// s(A) of every point at the window's result, as the batch tool must report it.
std::string full_s_a(const Module& m) {
  analysis::KaSet ka{};
  for (int k = 1; k <= 2; ++k)
    ka[k] = std::pow(10.0, -static_cast<double>(m.state.search.pk_best[k]));
  return format_mask(std::sqrt(analysis::fit_full(m.state.data, ka)->s_a_sq), "0.00e+00");
}

WindowResult window_auto_search() {
  testing::TestModule t;
  t.pf.files["data.mdf"] = slurp(kExample);
  EXPECT_TRUE(load_Click(*t));
  on_user_check(*t, t->ui.Check2[3], true);
  on_click(*t, t->ui.Command9);
  return {t->ui.txt_pK[1].text, t->ui.txt_pK[2].text, full_s_a(*t),
          forms_export_text(t->state.data, t->state.settings, t->state.calc, '.')};
}

TEST(Cli, AutomaticGridGivesTheWindowsResultAndTheGeneratorsConstants) {
  const WindowResult w = window_auto_search();
  EXPECT_EQ(w.pk1.rfind("4.20 ± ", 0), 0u) << w.pk1;
  EXPECT_EQ(w.pk2.rfind("8.90 ± ", 0), 0u) << w.pk2;

  const fs::path forms = fs::temp_directory_path() / "ferolan_cli_forms.txt";
  const CliRun r = cli(kExample + " --search auto --zero 3 --quiet --forms " + forms.string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(line_starting(r.out, "pKa1 = " + w.pk1), "") << r.out;
  EXPECT_NE(line_starting(r.out, "pKa2 = " + w.pk2), "") << r.out;
  EXPECT_EQ(line_starting(r.out, "pKa3 = "), "pKa3 = removed");
  EXPECT_EQ(line_starting(r.out, "s(A) = "), "s(A) = " + w.s_a);
  EXPECT_NE(line_starting(r.out, "trials: "), "");
  EXPECT_EQ(slurp(forms), w.forms);  // byte for byte as the copy button
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace ferolan
