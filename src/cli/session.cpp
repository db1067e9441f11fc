#include "cli/session.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "engine/format/format.h"
#include "engine/import/import.h"
#include "engine/import/number.h"
#include "engine/search/trace.h"

namespace ferolan::cli {

namespace {

// The boxes' texts when the window opens.
constexpr const char* kStartPk[] = {"", "1", "5", "5", "11", "12"};
constexpr const char* kStartFrom[] = {"", "1", "3", "5", "7", "9"};
constexpr const char* kStartTo[] = {"", "5", "7", "9", "11", "13"};

}  // namespace

Session::Session() : st(std::make_unique<State>()) {
  set_start_values(*st);
  for (int k = 1; k <= kSlots; ++k) {
    pk_text[k] = kStartPk[k];
    range_start[k] = kStartFrom[k];
    range_end[k] = kStartTo[k];
    range_step[k] = "0.5";
  }
}

void load_data(Session& s, const DataSet& parsed) {
  DataSet& d = s.st->data;
  d = parsed;
  sort_by_ph(d);
  find_a_max(d);
  for (int i = 1; i <= d.spectra_capacity(); ++i) d.spectrum_used[i] = i <= d.n_spectra ? 1 : 0;
}

std::string acid_conc_text(const DataSet& d) {
  return format_single(d.acid_conc, "#.#0e+00");
}

void set_model(Session& s, int k) {
  for (int i = 1; i <= kSlots; ++i) {
    s.setup.slot[i].mode = i <= k ? SlotMode::Fitted : SlotMode::Removed;
    if (i > k) s.pk_text[i].clear();  // removing a slot empties its pKa box
  }
}

bool apply_options(Session& s, const Options& o, int constants, std::string& code,
                   std::string& problem) {
  s.st->settings.path_len = static_cast<float>(o.path_len);
  s.setup.level = o.level;
  for (size_t k = 0; k < o.pk.size() && k < kSlots; ++k)
    if (!o.pk[k].empty()) s.pk_text[k + 1] = o.pk[k];
  for (const SlotRange& r : o.ranges) {
    s.range_start[r.slot] = r.start;
    s.range_end[r.slot] = r.end;
    s.range_step[r.slot] = r.step;
  }
  for (int k = 1; k <= kSlots; ++k) s.setup.slot[k].mode = SlotMode::Fitted;
  if (!o.zero.empty()) {
    // Removing a slot removes every slot after it as well.
    const int first = *std::min_element(o.zero.begin(), o.zero.end());
    set_model(s, first - 1);
  } else {
    int keep = o.constants    ? *o.constants
               : o.pk.empty() ? constants
                              : static_cast<int>(o.pk.size());
    set_model(s, std::clamp(keep, 1, kSlots));
  }
  for (int k : o.hold) {
    if (s.setup.slot[k].mode == SlotMode::Removed) {
      code = "hold_removed";
      problem = "slot " + std::to_string(k) + " is removed from the model and cannot be held";
      return false;
    }
    // A held slot without a value would be held at the box's start text, a made-up constant.
    if (static_cast<int>(o.pk.size()) < k || o.pk[k - 1].empty()) {
      code = "held_value_missing";
      problem = "slot " + std::to_string(k) + " is held but has no value (--pk or pk" +
                std::to_string(k) + " of the plan)";
      return false;
    }
    s.setup.slot[k].mode = SlotMode::Held;
  }
  DataSet& d = s.st->data;
  for (int s_no : o.exclude) {
    if (s_no > d.n_spectra) {
      code = "exclude_out_of_range";
      problem = "--exclude " + std::to_string(s_no) + ": the data hold " +
                std::to_string(d.n_spectra) + " spectra";
      return false;
    }
    d.spectrum_used[s_no] = 0;
  }
  for (const std::string& ph : o.exclude_ph) {
    bool found = false;
    // Matched as the selection boxes show pH: with two decimals.
    const std::string want = format_mask(leading_number(ph), "0.00");
    for (int i = 1; i <= d.n_spectra; ++i)
      if (format_single(d.ph_values[i], "0.00") == want) {
        d.spectrum_used[i] = 0;
        found = true;
      }
    if (!found) {
      code = "exclude_ph_not_found";
      problem = "exclude pH " + ph + ": no spectrum has pH " + want;
      return false;
    }
  }
  return true;
}

void read_values(Session& s, Search search) {
  int16_t ok = 0;
  // A text the strict reader rejects stands for a value that fails the same test.
  auto strict = [&](const std::string& text, float rejected) {
    const float v = parse_number(text, ok);
    return ok == -1 ? rejected : v;
  };
  for (int k = 1; k <= kSlots; ++k) {
    SlotSetup& slot = s.setup.slot[k];
    if (slot.mode == SlotMode::Removed) continue;
    if (search == Search::Optimisation) {
      slot.value = static_cast<float>(leading_number(s.pk_text[k]));
      continue;
    }
    if (slot.mode == SlotMode::Held) {
      slot.value = strict(s.pk_text[k], 0);
      continue;
    }
    if (search == Search::Manual) {
      slot.start = strict(s.range_start[k], -1);
      slot.end = strict(s.range_end[k], 0);
      slot.step = strict(s.range_step[k], 0);
    }
  }
}

void BatchObserver::yield() {
  if (watch_) watch_->yielded(s_.st->search);
}

void BatchObserver::scored(const TrialScore& t) {
  if (trace_) trace_->write(trace_line(t));
}

void BatchObserver::best(BestKind kind, double s_a_sq_thinned, const Shown&) {
  if (kind == BestKind::AutoFinalStart) return;
  s_.s_a_text = format_mask(std::sqrt(s_a_sq_thinned), "0.00e+00");
  // Told after the best set's fit at full resolution.
  const CalcState& c = s_.st->calc;
  s_.shown = {c.ka, s_.st->search.pk[1], std::sqrt(c.s_a_sq), std::sqrt(s_a_sq_thinned)};
}

SearchResult run_search(Session& s, Search search, int threads, OutputFile* trace,
                        SearchWatch* watch) {
  read_values(s, search);
  s.shown = {};
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  BatchObserver obs(s, threads, trace, watch);
  SearchResult r;
  switch (search) {
    case Search::Optimisation:
      r = optimise(s.workspace(), s.setup, obs);
      break;
    case Search::Manual:
      r = manual_grid(s.workspace(), s.setup, obs);
      break;
    case Search::Auto:
      r = auto_grid(s.workspace(), s.setup, obs);
      break;
  }
  s.trials = r.trials;
  s.stopped = s.stopped || r.outcome == Outcome::Stopped;
  if (r.outcome == Outcome::Finished || r.outcome == Outcome::Stopped) show_result(s, search, r);
  return r;
}

void show_result(Session& s, Search search, const SearchResult& r) {
  for (int k = 1; k <= kSlots; ++k) {
    if (r.modes[k] == SlotMode::Removed) {
      s.pk_text[k].clear();
      // Slot 1 is set in every trial, removed or not: its box shows the value tried.
      if (k == 1 && s.shown.ka[1] > 0)
        s.pk_text[1] = format_single(s.shown.pk1, search == Search::Manual ? "0.00" : "#0.00");
      continue;
    }
    const float pk = r.pk_best[k];
    if (r.modes[k] == SlotMode::Held) {
      s.pk_text[k] = format_single(pk, search == Search::Manual ? "0.00" : "#0.00");
      continue;
    }
    const float u = r.u[k];
    s.pk_text[k] = format_single(pk, "#0.00") + " \xC2\xB1 " +
                   (std::isfinite(u) ? format_single(u, "#0.00") : std::string("?"));
  }
}

}  // namespace ferolan::cli
