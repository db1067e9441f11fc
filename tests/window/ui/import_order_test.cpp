// The steps after a successful import happen in a fixed order: the first drawing still uses
// the previous selection, the boxes are reset before they are rebuilt, the buttons come last.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/import/import.h"
#include "support/fake_platform.h"
#include "window/search/run_control.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"

namespace ferolan::testing {
namespace {

// One log for the canvases and the control model, so their order can be checked.
struct Log : ControlObserver {
  std::vector<std::string> events;
  void control_changed(const Control& c) override {
    std::string e = c.display_name() + (c.enabled ? " on" : " off");
    if (c.kind == Kind::CheckBox) e += c.checked ? " ticked" : " clear";
    events.push_back(e + " '" + c.text + "'");
  }
  void focus_changed(const Control&) override {}
};

struct LogCanvas : Canvas {
  LogCanvas(Log& l, std::string n) : log(l), name(std::move(n)) {}
  void clear() override { log.events.push_back(name + " clear"); }
  void point(double, double, int) override { log.events.push_back(name + " point"); }
  void line_to(double, double, int) override {}
  void set_scale(double, double, double, double) override { log.events.push_back(name + " scale"); }
  Log& log;
  std::string name;
};

struct Fixture {
  Log log;
  FakePlatform pf;
  LogCanvas spectrs{log, "spectrs"}, pict_e{log, "Pict_e"}, picture1{log, "Picture1"};
  std::unique_ptr<Module> m = std::make_unique<Module>(pf, spectrs, pict_e, picture1);
  Fixture() {
    form_load(m->state, m->ui);
    m->ui.observer = &log;
  }
  size_t find(const std::string& e, size_t from = 0) const {
    for (size_t i = from; i < log.events.size(); ++i)
      if (log.events[i] == e) return i;
    ADD_FAILURE() << "missing: " << e;
    return log.events.size();
  }
  size_t count(const std::string& e, size_t from, size_t to) const {
    size_t n = 0;
    for (size_t i = from; i < to && i < log.events.size(); ++i) n += log.events[i] == e;
    return n;
  }
};

TEST(ImportOrder, StepsFollowEachOther) {
  Fixture f;
  f.pf.clipboard = "1\t2\t3\t4\t5\r\n400\t0.1\t0.2\t0.3\t0.4\r\n401\t0.2\t0.3\t0.4\t0.5\r\n";
  ASSERT_TRUE(Command5_Click(*f.m));
  // Four spectra; deselect 2 and 4, then import three spectra.
  on_user_check(*f.m, f.m->ui.Check3[2], false);
  on_user_check(*f.m, f.m->ui.Check3[4], false);
  // Buttons in the opposite state, so that each change shows in the log.
  shovaty(f.m->ui);
  f.m->ui.set_enabled(f.m->ui.Command4, true);
  f.log.events.clear();
  f.pf.clipboard = "0.5\t6\t5\t4\r\n400\t0.1\t0.2\t0.3\r\n401\t0.2\t0.3\t0.4\r\n";
  ASSERT_TRUE(Command5_Click(*f.m));

  const size_t labc = f.find("LabC on '5.00e-01'");
  const size_t clear1 = f.find("Pict_e clear", labc);
  const size_t draw1 = f.find("spectrs clear", clear1);
  const size_t pic = f.find("Picture1 clear", draw1);
  // The first drawing uses the previous selection: spectra 1 and 3 of the new set.
  EXPECT_EQ(2u, f.count("spectrs point", draw1, pic));
  EXPECT_LT(pic, f.find("Picture1 scale", pic));
  // Box 4, cleared by the user, is reset like the others, all before the rebuild.
  const size_t reset4 = f.find("Check3(4) off clear ''", f.find("Check3(1) off clear ''", pic));
  const size_t box1 = f.find("Check3(1) on clear '4.00'", reset4);
  const size_t tick3 = f.find("Check3(3) on ticked '6.00'", box1);
  const size_t clear2 = f.find("Pict_e clear", tick3);
  const size_t draw2 = f.find("spectrs clear", clear2);
  const size_t cmd2 = f.find("Command2 on 'Оптимізація'", draw2);
  EXPECT_EQ(3u, f.count("spectrs point", draw2, cmd2));
  const size_t cmd8 = f.find("Command8 on 'Зняти всі'", cmd2);
  f.find("Command4 off 'Копіювати спектри форм'", cmd8);
  EXPECT_EQ(0, f.m->state.data.spectrum_used[4]);
  EXPECT_FALSE(f.m->ui.Check3[4].checked);
}

}  // namespace
}  // namespace ferolan::testing
