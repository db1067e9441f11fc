#include <cmath>
#include <limits>

#include "engine/format/format.h"
#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "engine/search/workspace.h"

namespace ferolan {

SlotModes ModelSetup::modes() const {
  SlotModes m{};
  for (int k = 1; k <= kSlots; ++k) m[k] = slot[k].mode;
  return m;
}

bool start_value_ok(float pk) {
  return pk != 0 && ka_fits(pk);
}

bool range_start_ok(float v) {
  return !(v < 0 || v > 14);
}

bool range_end_ok(float v) {
  return !(v < 1 || v > 14);
}

// A float loop p += step must move at every value up to end, or it would never finish: a
// step above half an ulp of end rounds p + step upwards there (and at every smaller p).
bool range_step_ok(float start, float end, float step) {
  const float ulp = std::nextafter(end, std::numeric_limits<float>::infinity()) - end;
  const bool advances = step > ulp / 2;
  return !(step <= 0 || step > end - start || !advances);
}

std::optional<Refusal> check_setup(SearchKind kind, const ModelSetup& setup, CalcState& calc,
                                   SearchState& search) {
  for (int k = 1; k <= kSlots; ++k) {
    const SlotSetup& s = setup.slot[k];
    if (kind == SearchKind::Optimisation) {
      // No start value at all (an empty box) is refused before the slot is touched.
      if (s.mode != SlotMode::Removed && std::isnan(s.value)) return Refusal{Msg::StartValues, 0};
      search.pk_free[k] = s.mode == SlotMode::Fitted ? 1 : 0;
      if (s.mode == SlotMode::Removed) {
        calc.ka[k] = 0;
        search.pk[k] = 50;
        continue;
      }
      search.pk[k] = s.value;
      calc.ka[k] = ka_of(s.value);
      if (!start_value_ok(s.value)) return Refusal{Msg::StartValues, 0};
      continue;
    }
    calc.ka[k] = s.mode == SlotMode::Removed ? 0 : 1;
    if (s.mode == SlotMode::Removed) continue;
    if (s.mode == SlotMode::Held || kind == SearchKind::AutoGrid) {
      if (s.mode == SlotMode::Held && !start_value_ok(s.value))
        return Refusal{kind == SearchKind::AutoGrid ? Msg::HeldValueAuto : Msg::HeldValue, k};
      continue;
    }
    if (!range_start_ok(s.start)) return Refusal{Msg::RangeStart, k};
    if (!range_end_ok(s.end)) return Refusal{Msg::RangeEnd, k};
    if (s.end <= s.start) return Refusal{Msg::RangeOrder, k};
    if (!range_step_ok(s.start, s.end, s.step)) return Refusal{Msg::Step, k};
  }
  return std::nullopt;
}

bool accept_trial(CalcState& calc) {
  return accept_score(calc, calc.s_a_sq);
}

bool accept_score(CalcState& calc, double s_a_sq) {
  const float s = static_cast<float>(s_a_sq);
  if (!std::isfinite(s) || !(s < calc.s_a_sq_best)) return false;
  calc.s_a_sq_best = s;
  return true;
}

void full_fit(const DataSet& data, CalcState& calc) {
  calc.fit_step = 1;
  rozrah(data, calc);
  calc.fit_step = 10;
}

void yield_to(Workspace w, SearchObserver& obs) {
  obs.yield();
  if (obs.stop_delivered()) w.search.step_factor = 1.0f;
}

float round_to_box(float v) {
  return static_cast<float>(leading_number(format_single(v, "0.00", '.')));
}

}  // namespace ferolan
