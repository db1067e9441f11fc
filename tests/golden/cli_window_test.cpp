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

// Every constant removed: the window's searches still set slot 1 in each trial. The manual
// grid shows slot 1 at 1.00 with that model's s(A); the optimisation tries slot 1 at 50, finds
// nothing better than its start without constants, and shows empty boxes. The batch tool
// reports the same, with a warning, and the s(A) of the model it reports.
TEST(Cli, EveryConstantRemovedGivesWhatTheWindowShows) {
  struct Case {
    Ctl button;
    const char* search;
    const char* pk1;  // the window's box of slot 1 after the search
  } cases[] = {{Ctl::Command6, "manual", "1.00"}, {Ctl::Command2, "opt", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.search);
    testing::TestModule t;
    t.pf.files["data.mdf"] = slurp(kExample);
    ASSERT_TRUE(load_Click(*t));
    on_user_check(*t, t->ui.Check2[1], true);
    on_click(*t, *t->ui.find(c.button, -1));
    EXPECT_EQ(t->ui.txt_pK[1].text, c.pk1);
    const std::string label = t->ui.Label4.text;

    const CliRun r = cli(kExample + " --zero 1 --quiet --no-timing --json --search " + c.search);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"code\": \"all_constants_removed\""), std::string::npos);
    EXPECT_NE(r.out.find("\"s_a\": \"" + label + "\""), std::string::npos) << label;
    // Slot 1's display in the JSON: its pKa box.
    const size_t display = r.out.find("\"display\": {", r.out.find("\"slots\""));
    const size_t pk = r.out.find("\"pKa\": ", display);
    const std::string shown = *c.pk1 ? std::string(1, '"').append(c.pk1).append(1, '"') : "null";
    EXPECT_EQ(r.out.substr(pk + 7, shown.size()), shown);

    // The s(A) given is that of the model given: slot 1 alone at the value tried, or none.
    const std::string as_evaluated =
        *c.pk1 ? " --pk " + std::string(c.pk1) + " --evaluate" : " --zero 1 --evaluate";
    const CliRun e = cli(kExample + as_evaluated + " --quiet --no-timing --json");
    auto s_a = [](const std::string& json) {
      const size_t at = json.find("\"s_a\": ");
      return json.substr(at, json.find(',', at) - at);
    };
    EXPECT_EQ(s_a(r.out), s_a(e.out)) << e.err;
  }
}

}  // namespace
}  // namespace ferolan
