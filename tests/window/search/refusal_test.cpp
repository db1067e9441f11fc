// The window's side of the engine's refusals: the message box, and what a refused start
// value leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "engine/model/fit.h"
#include "support/acid_spectra.h"
#include "support/search_setup.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan::testing {
namespace {

TEST(WindowRefusal, TheWindowRefusesUnscorableDataWithAMessage) {
  for (Ctl button : {Ctl::Command2, Ctl::Command6, Ctl::Command9}) {
    TestModule t;
    DataSet d = make_acid_data(recovery_acid(2));
    d.ph_values[1] = -70.0f;
    load_data(*t, d);
    set_slots(*t, {{'f', "3"}, {'f', "6"}});
    set_range(*t, 1, "2.5", "4", "0.5");
    set_range(*t, 2, "5", "6.5", "0.5");
    if (button == Ctl::Command2) Command2_Click(*t);
    if (button == Ctl::Command6) Command6_Click(*t);
    if (button == Ctl::Command9) Command9_Click(*t);
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t.pf.messages[0].title, "Некоректні дані!");
    EXPECT_NE(t.pf.messages[0].text.find("рН"), std::string::npos);
    EXPECT_NE(t->ui.Label9.text, " РОЗРАХУНОК ЗАВЕРШЕНО !!!");
    EXPECT_EQ(t->ui.Label4.text.find("nan"), std::string::npos);
    expect_unlocked(t);
  }
}

TEST(WindowRefusal, ARefusedStartValueStillSetsItsConstant) {
  TestModule t;
  load_data(*t, make_acid_data(recovery_acid(2)));
  set_slots(*t, {{'f', "3"}, {'f', "0"}});
  Command2_Click(*t);
  ASSERT_EQ(t.pf.messages.size(), 1u);
  EXPECT_EQ(t->state.calc.ka[1], ka_of(3.0f));
  EXPECT_EQ(t->state.calc.ka[2], 1.0);  // 10^-0, set before the value was refused
}

}  // namespace
}  // namespace ferolan::testing
