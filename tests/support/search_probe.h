// Watches a running search from its yields: the trial counter, the constants and pKa values
// of the moment, and every caption the progress bar and the hint line took.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "test_module.h"
#include "window/search/run_control.h"

namespace ferolan::testing {

struct YieldSnap {
  long trials;
  Arr1<float, kSlots> pk;
  Arr1<double, kSlots> ka;
};

class SearchProbe : public ControlObserver {
 public:
  explicit SearchProbe(TestModule& t) : t_(t) {
    t.m->ui.observer = this;
    t.pf.on_yield = [this](long n) {
      const State& st = t_.m->state;
      snaps.push_back({st.search.trials, st.search.pk, st.calc.ka});
      if (at_yield) at_yield(n);
    };
  }
  ~SearchProbe() override { t_.m->ui.observer = nullptr; }

  void control_changed(const Control& c) override {
    if (c.id == Ctl::Label5) bar.push_back(static_cast<int>(c.text.size()));
    if (c.id == Ctl::txt_krok && c.index == 1) step_texts.push_back(c.text);
  }
  void focus_changed(const Control&) override {}

  // The optimisation yields just before each trial: the last yield at count i - 1.
  std::vector<Arr1<float, kSlots>> trials_before() const {
    std::vector<Arr1<float, kSlots>> out;
    for (size_t i = 0; i < snaps.size(); ++i) {
      const bool next_counts = i + 1 < snaps.size() && snaps[i + 1].trials == snaps[i].trials + 1;
      const bool last_counts =
          i + 1 == snaps.size() && t_.m->state.search.trials == snaps[i].trials + 1;
      if (next_counts || last_counts) out.push_back(snaps[i].pk);
    }
    return out;
  }
  // The grids yield after each trial: the first yield at count i, read from the constants.
  std::vector<Arr1<float, kSlots>> trials_after() const {
    std::vector<Arr1<float, kSlots>> out;
    long seen = 0;
    for (const YieldSnap& s : snaps) {
      if (s.trials == seen) continue;
      seen = s.trials;
      Arr1<float, kSlots> p{};
      for (int k = 1; k <= kSlots; ++k)
        p[k] = s.ka[k] > 0 ? static_cast<float>(-std::log10(s.ka[k])) : 0.0f;
      out.push_back(p);
    }
    return out;
  }

  std::vector<YieldSnap> snaps;
  std::vector<int> bar;                 // lengths of the Label5 captions, in order
  std::vector<std::string> step_texts;  // txt_krok(1) as the automatic grid shows it
  std::function<void(long)> at_yield;

 private:
  TestModule& t_;
};

// Presses the stop button the way the window would deliver it at a yield.
inline void press_stop(Module& m) {
  Command1_Click(m);
}

}  // namespace ferolan::testing
