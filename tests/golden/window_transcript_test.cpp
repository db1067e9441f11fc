// Window transcripts: scripted sessions through the window's own handlers, written down
// control by control, trial by trial. Any change of a caption, an enabled state, a message,
// a trial or a score shows up as a difference against the recorded file in tests/golden/.
// FEROLAN_UPDATE_GOLDEN=1 rewrites the files (only for an intended change of behaviour).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/model/fit.h"
#include "engine/search/trace.h"
#include "engine/search/workspace.h"
#include "support/test_module.h"
#include "window/search/run_control.h"
#include "window/ui/events.h"

namespace ferolan::testing {
namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

uint64_t fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string hex64(uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(v));
  return b;
}

std::string bits(double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  char b[64];
  std::snprintf(b, sizeof b, "%.17g [%016llx]", v, static_cast<unsigned long long>(u));
  return b;
}

std::string fbits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  char b[48];
  std::snprintf(b, sizeof b, "%.9g [%08x]", static_cast<double>(v), u);
  return b;
}

// Long texts (traces, clipboard) are summarised: count, hash, first and last lines.
std::string summary(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::string out = std::to_string(lines.size()) + " lines, fnv " + hex64(fnv1a(text)) + "\n";
  if (lines.size() <= 8) {
    for (const auto& l : lines) out += "  | " + l + "\n";
    return out;
  }
  for (size_t i = 0; i < 3; ++i) out += "  | " + lines[i] + "\n";
  out += "  | ...\n";
  for (size_t i = lines.size() - 3; i < lines.size(); ++i) out += "  | " + lines[i] + "\n";
  return out;
}

std::string canvas_digest(const RecordingCanvas& c) {
  std::string s;
  char b[192];
  for (const DrawOp& op : c.ops) {
    std::snprintf(b, sizeof b, "%d %.17g %.17g %d\n", static_cast<int>(op.kind), op.x, op.y,
                  op.colour);
    s += b;
  }
  std::snprintf(b, sizeof b, "scale %.17g %.17g %.17g %.17g clears %d", c.scale_left, c.scale_top,
                c.scale_width, c.scale_height, c.clears);
  return std::to_string(c.ops.size()) + " ops, fnv " + hex64(fnv1a(s)) + ", " + b;
}

std::string control_line(const Control& c) {
  std::string l = c.display_name() + " text=\"" + c.text + "\" enabled=" + (c.enabled ? "1" : "0");
  if (c.kind == Kind::CheckBox || c.kind == Kind::Option)
    l += c.checked ? " checked=1" : " checked=0";
  l += " tip=\"" + c.tooltip + "\"";
  return l;
}

// One scripted session: each step acts and then writes what changed.
class Session {
 public:
  explicit Session(char decimal) {
    t_.pf.decimal = decimal;
    t_.pf.files["data.mdf"] = read_all(std::string(FEROLAN_EXAMPLES) + "/data.mdf");
    t_.pf.clock = 3600.0;
    t_.pf.clock_step = 0.01;
    t_->on_trial = [this](const TrialScore& trial) { trace_ += trace_line(trial); };
    t_.pf.on_yield = [this](long n) {
      if (stop_at_ > 0 && n - yields_before_ == stop_at_) on_click(*t_, t_->ui.Command1);
    };
    for (Control* c : t_->ui.all()) last_[c] = control_line(*c);
  }

  Control& ctl(Ctl id, int index) { return *t_->ui.find(id, index); }

  void click(Ctl id, int index = -1, long stop_at_yield = 0) {
    Control& c = ctl(id, index);
    out_ += "> click " + c.display_name();
    if (stop_at_yield) out_ += " (stop at yield " + std::to_string(stop_at_yield) + ")";
    out_ += "\n";
    stop_at_ = stop_at_yield;
    yields_before_ = t_.pf.yields;
    trace_.clear();
    t_.pf.messages.clear();
    const int clip_writes = t_.pf.clipboard_writes;
    std::optional<Replay> replay;
    if (const auto kind = search_of(id); kind && !stop_at_yield)
      replay = Replay{*kind, std::make_unique<DataSet>(t_->state.data), read_setup(*t_, *kind),
                      t_->state.calc.fit_step};
    on_click(*t_, c);
    stop_at_ = 0;
    if (replay && t_.pf.messages.empty()) compare_with_engine(*replay);
    out_ += "yields " + std::to_string(t_.pf.yields - yields_before_) + "\n";
    if (!trace_.empty()) out_ += "trace " + summary(trace_);
    for (const Message& m : t_.pf.messages) out_ += "message [" + m.title + "] " + m.text + "\n";
    if (t_.pf.clipboard_writes != clip_writes) out_ += "clipboard " + summary(t_.pf.clipboard);
    dump();
  }
  void check(Ctl id, int index, bool on) {
    Control& c = ctl(id, index);
    out_ += "> check " + c.display_name() + (on ? " on" : " off") + "\n";
    on_user_check(*t_, c, on);
    dump();
  }
  void type(Ctl id, int index, const std::string& text) {
    Control& c = ctl(id, index);
    out_ += "> type " + c.display_name() + " \"" + text + "\"\n";
    on_user_text(*t_, c, text);
    dump();
  }
  void paste(const std::string& clip) {
    t_.pf.clipboard = clip;
    click(Ctl::Command5);
  }
  // pKa boxes: texts from slot 1; slots beyond them are removed with "Обнулити?".
  void slots(const std::vector<std::string>& pk) {
    for (size_t k = 0; k < pk.size(); ++k) type(Ctl::txt_pK, static_cast<int>(k + 1), pk[k]);
    if (pk.size() < kSlots) check(Ctl::Check2, static_cast<int>(pk.size() + 1), true);
  }
  void range(int k, const std::string& a, const std::string& b, const std::string& s) {
    type(Ctl::txt_poch, k, a);
    type(Ctl::txt_kin, k, b);
    type(Ctl::txt_krok, k, s);
  }

  const std::string& transcript() const { return out_; }
  int replays() const { return replays_; }

 private:
  void dump() {
    for (Control* c : t_->ui.all()) {
      std::string l = control_line(*c);
      if (last_[c] != l) out_ += "  " + l + "\n";
      last_[c] = std::move(l);
    }
    const Control* f = t_->ui.focused;
    const std::string focus = f ? f->display_name() : "-";
    if (focus != last_focus_) out_ += "  focus " + focus + "\n";
    last_focus_ = focus;
    std::string st;
    const State& s = t_->state;
    st += "  state trials " + std::to_string(s.search.trials) + " fits " +
          std::to_string(s.calc.fits) + " fit_step " + std::to_string(s.calc.fit_step) +
          " running " + std::to_string(t_->running) + "\n";
    st += "  s_a_sq " + bits(s.calc.s_a_sq) + " best " + fbits(s.calc.s_a_sq_best) +
          " step_factor " + fbits(s.search.step_factor) + "\n";
    for (int k = 1; k <= kSlots; ++k)
      st += "  slot " + std::to_string(k) + " pk " + fbits(s.search.pk[k]) + " best " +
            fbits(s.search.pk_best[k]) + " u " + fbits(s.search.uncertainty[k]) + " free " +
            std::to_string(s.search.pk_free[k]) + " ka " + bits(s.calc.ka[k]) + "\n";
    st += "  spectrs " + canvas_digest(t_.spectrs) + "\n";
    st += "  pict_e " + canvas_digest(t_.pict_e) + "\n";
    st += "  picture1 " + canvas_digest(t_.picture1) + "\n";
    if (st != last_state_) out_ += st;
    last_state_ = st;
  }

  struct Replay {
    SearchKind kind;
    std::unique_ptr<DataSet> data;
    ModelSetup setup;
    int16_t fit_step;  // a search after another makes its first fit on every point
  };

  static std::optional<SearchKind> search_of(Ctl id) {
    if (id == Ctl::Command2) return SearchKind::Optimisation;
    if (id == Ctl::Command6) return SearchKind::ManualGrid;
    if (id == Ctl::Command9) return SearchKind::AutoGrid;
    return std::nullopt;
  }

  // The same data set and setup through the engine alone, on states of its own, as any other
  // client calls it: its result must be what the window shows. The one thing a window's run
  // takes from the run before is the thinning step its first fit is made with.
  void compare_with_engine(const Replay& r) {
    auto calc = std::make_unique<CalcState>();
    calc->fit_step = r.fit_step;
    State fresh;
    set_start_values(fresh);
    SearchState search = fresh.search;
    SearchObserver quiet;
    const Workspace w{*r.data, *calc, search};
    const SearchResult res = r.kind == SearchKind::Optimisation ? optimise(w, r.setup, quiet)
                             : r.kind == SearchKind::ManualGrid ? manual_grid(w, r.setup, quiet)
                                                                : auto_grid(w, r.setup, quiet);
    if (res.outcome != Outcome::Finished) return;
    ++replays_;
    const SearchState& shown = t_->state.search;
    for (int k = 1; k <= kSlots; ++k) {
      if (res.modes[k] != SlotMode::Fitted) continue;
      EXPECT_EQ(fbits(res.pk_best[k]), fbits(shown.pk_best[k])) << "slot " << k;
      EXPECT_EQ(fbits(res.u[k]), fbits(shown.uncertainty[k])) << "slot " << k;
    }
    EXPECT_EQ(bits(res.s_a), bits(std::sqrt(t_->state.calc.s_a_sq)));
  }

  TestModule t_;
  int replays_ = 0;
  std::string out_, trace_, last_state_, last_focus_;
  std::map<const Control*, std::string> last_;
  long stop_at_ = 0, yields_before_ = 0;
};

struct Scenario {
  const char* name;
  std::function<void(Session&)> run;
  char decimal = '.';  // the locale's decimal separator
};

const std::string kSmallTable =
    "6.5E-05\t2\t4\t6\t8\t10\r"
    "300\t0,10\t0,20\t0,35\t0,50\t0,55\r"
    "310\t0,20\t0,25\t0,30\t0,40\t0,45\r"
    "320\t0,30\t0,28\t0,22\t0,15\t0,12\r"
    "330\t0,05\t0,15\t0,30\t0,45\t0,50\r";

const Scenario kScenarios[] = {
    {"opt_normal",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"4", "9"});
       s.click(Ctl::Command2);
       s.click(Ctl::Command4);
     }},
    {"opt_levels",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"3.5", "8", "11"});
       s.check(Ctl::Option1, 2, true);
       s.click(Ctl::Command2);
       s.check(Ctl::Option1, 3, true);
       s.click(Ctl::Command2);
     }},
    {"opt_held_and_stopped",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"4.5", "8.9", "11"});
       s.check(Ctl::Check1, 2, false);
       s.click(Ctl::Command2);
       s.click(Ctl::Command2, -1, 5);
       s.click(Ctl::Command2, -1, 1);
       s.click(Ctl::Command4);
     }},
    {"opt_refusals",
     [](Session& s) {
       s.click(Ctl::load);
       s.click(Ctl::Command2);  // empty boxes
       s.slots({"4", "0"});
       s.click(Ctl::Command2);  // a start value of 0
       s.type(Ctl::txt_pK, 2, "9");
       s.click(Ctl::Command8);
       s.check(Ctl::Check3, 3, true);
       s.check(Ctl::Check3, 7, true);
       s.check(Ctl::Check3, 12, true);
       s.click(Ctl::Command2);  // three spectra for two constants: too few
       s.check(Ctl::Check3, 15, true);
       s.click(Ctl::Command2);
       s.click(Ctl::Command7);
     }},
    {"manual_grid",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"", ""});
       s.range(1, "3", "5", "0.5");
       s.range(2, "8", "10", "0.5");
       s.click(Ctl::Command6);
       s.click(Ctl::Command4);
       s.check(Ctl::Check1, 1, false);
       s.type(Ctl::txt_pK, 1, "4.2");
       s.range(2, "8,5", "9,5", "0,25");
       s.click(Ctl::Command6);
     }},
    {"manual_grid_stops_and_refusals",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"", "", ""});
       s.range(1, "2", "6", "0.5");
       s.range(2, "7", "10", "0.5");
       s.range(3, "10", "13", "1");
       s.click(Ctl::Command6, -1, 3);
       s.click(Ctl::Command6, -1, 1);
       s.range(1, "-1", "6", "0.5");
       s.click(Ctl::Command6);
       s.range(1, "2", "15", "0.5");
       s.click(Ctl::Command6);
       s.range(1, "6", "2", "0.5");
       s.click(Ctl::Command6);
       s.range(1, "2", "6", "0");
       s.click(Ctl::Command6);
       s.range(1, "2", "6", "x");
       s.click(Ctl::Command6);
       s.check(Ctl::Check1, 3, false);
       s.range(1, "2", "6", "1");
       s.click(Ctl::Command6);  // held slot 3 without a value
     }},
    {"auto_grid",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"", ""});
       s.click(Ctl::Command9);
       s.click(Ctl::Command4);
       s.click(Ctl::Command9);  // a second run in a row
     }},
    {"auto_grid_held_stopped_refused",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"", "8.9", ""});
       s.check(Ctl::Check1, 2, false);
       s.click(Ctl::Command9);
       s.click(Ctl::Command9, -1, 4);
       s.click(Ctl::Command9, -1, 1);
       s.type(Ctl::txt_pK, 2, "abc");
       s.click(Ctl::Command9);
     }},
    {"paste_all_constants",
     [](Session& s) {
       s.paste(kSmallTable);
       s.check(Ctl::Option2, 2, true);
       s.click(Ctl::Command9);
       s.slots({"3", "5", "7", "9", "11"});
       s.click(Ctl::Command2);
       s.click(Ctl::Command4);
     }},
    // A comma locale: the boxes show commas, and the automatic grid's final stage starts
    // from the same values as in the point locale; a typed value keeps the point rule.
    {"comma_locale",
     [](Session& s) {
       s.click(Ctl::load);
       s.slots({"", ""});
       s.click(Ctl::Command9);
       s.click(Ctl::Command2);
       s.type(Ctl::txt_pK, 1, "4,1");
       s.type(Ctl::txt_pK, 2, "9.2");
       s.click(Ctl::Command2);
       s.range(1, "3", "5", "0,5");
       s.range(2, "8", "10", "0,5");
       s.click(Ctl::Command6);
     },
     ','},
};

TEST(WindowTranscript, MatchesTheRecordedSessions) {
  const bool update = std::getenv("FEROLAN_UPDATE_GOLDEN") != nullptr;
  int replays = 0;
  for (const Scenario& sc : kScenarios) {
    SCOPED_TRACE(sc.name);
    Session s(sc.decimal);
    sc.run(s);
    replays += s.replays();
    const std::string path = std::string(FEROLAN_GOLDEN) + "/" + sc.name + ".txt";
    if (update) {
      std::ofstream(path, std::ios::binary) << s.transcript();
      continue;
    }
    const std::string want = read_all(path);
    ASSERT_FALSE(want.empty()) << "no recording at " << path;
    if (want == s.transcript()) continue;
    // Point at the first differing line rather than printing two large texts.
    std::istringstream a(want), b(s.transcript());
    std::string la, lb;
    int line = 0;
    while (true) {
      ++line;
      const bool ga = static_cast<bool>(std::getline(a, la));
      const bool gb = static_cast<bool>(std::getline(b, lb));
      if (!ga && !gb) break;
      if (la != lb || ga != gb) {
        ADD_FAILURE() << sc.name << " line " << line << "\n  recorded: " << la
                      << "\n  now:      " << lb;
        break;
      }
    }
  }
  // Every finished search of the sessions was also run through the engine alone.
  EXPECT_GE(replays, 15);
}

}  // namespace
}  // namespace ferolan::testing
