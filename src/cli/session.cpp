#include "cli/session.h"

#include <algorithm>

#include "engine/format/format.h"
#include "engine/import/number.h"
#include "engine/search/messages.h"
#include "window/search/run_control.h"
#include "window/ui/events.h"

namespace ferolan::cli {

Session::Session(Canvas& spectrs, Canvas& pict_e, Canvas& picture1)
    : m(std::make_unique<Module>(pf, spectrs, pict_e, picture1)) {
  form_load(m->st, m->ui);
}

void user_check(Module& m, Control& c, bool on) {
  if (c.checked != on) on_user_check(m, c, on);
}

bool apply_options(Session& s, const Options& o, int constants, std::string& code,
                   std::string& problem) {
  Module& m = *s.m;
  Controls& ui = m.ui;
  user_check(m, ui.Option2[o.path_len], true);
  user_check(m, ui.Option1[o.level], true);
  for (size_t k = 0; k < o.pk.size(); ++k)
    if (!o.pk[k].empty()) on_user_text(m, ui.txt_pK[k + 1], o.pk[k]);
  for (const SlotRange& r : o.ranges) {
    on_user_text(m, ui.txt_poch[r.slot], r.start);
    on_user_text(m, ui.txt_kin[r.slot], r.end);
    on_user_text(m, ui.txt_krok[r.slot], r.step);
  }
  if (!o.zero.empty()) {
    for (int k : o.zero) user_check(m, ui.Check2[k], true);
  } else {
    int keep = o.constants    ? *o.constants
               : o.pk.empty() ? constants
                              : static_cast<int>(o.pk.size());
    keep = std::clamp(keep, 1, kSlots);
    if (keep < kSlots) user_check(m, ui.Check2[keep + 1], true);
  }
  for (int k : o.hold) {
    if (ui.Check2[k].checked) {
      code = "hold_removed";
      problem = "slot " + std::to_string(k) + " is removed from the model and cannot be held";
      return false;
    }
    user_check(m, ui.Check1[k], false);
  }
  const DataSet& d = m.st.data;
  for (int s_no : o.exclude) {
    if (s_no > d.n_spectra) {
      code = "exclude_out_of_range";
      problem = "--exclude " + std::to_string(s_no) + ": the data hold " +
                std::to_string(d.n_spectra) + " spectra";
      return false;
    }
    user_check(m, ui.Check3[s_no], false);
  }
  for (const std::string& ph : o.exclude_ph) {
    bool found = false;
    const std::string want = format_mask(leading_number(ph), "0.00");
    for (int i = 1; i <= d.n_spectra; ++i)
      if (ui.Check3[i].text == want) {
        user_check(m, ui.Check3[i], false);
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

bool run_search(Session& s, Search search) {
  Module& m = *s.m;
  const size_t before = s.pf.messages.size();
  switch (search) {
    case Search::Optimisation:
      on_click(m, m.ui.Command2);
      break;
    case Search::Manual:
      on_click(m, m.ui.Command6);
      break;
    case Search::Auto:
      on_click(m, m.ui.Command9);
      break;
  }
  return s.pf.messages.size() == before;
}

bool refusal_of(const std::string& text, std::string& code, std::string& english) {
  for (int i = 0; i <= static_cast<int>(Msg::AbsorbanceTooLarge); ++i)
    for (int n = 0; n <= kSlots; ++n) {
      const Msg msg = static_cast<Msg>(i);
      if (message_text(msg, n) != text) continue;
      code = message_code(msg);
      english = message_english(msg, n);
      return true;
    }
  return false;
}

}  // namespace ferolan::cli
