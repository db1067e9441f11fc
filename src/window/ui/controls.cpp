#include "window/ui/controls.h"

#include <string_view>
#include <utility>

#include "engine/model/fit.h"
#include "window/ui/control_table.h"

namespace ferolan {

namespace {

// The caption of element i of a row: its share of the '|'-separated list.
std::string caption_of(const ControlRow& row, int i) {
  std::string_view all(row.caption);
  if (all.find('|') == std::string_view::npos) return std::string(all);
  for (int n = 0; n < i; ++n) all.remove_prefix(all.find('|') + 1);
  return std::string(all.substr(0, all.find('|')));
}

}  // namespace

std::string Control::display_name() const {
  if (index < 0) return name;
  return std::string(name) + "(" + std::to_string(index) + ")";
}

Controls::Controls() {
  for (size_t r = 0; r < kControlRowCount; ++r) {
    const ControlRow& row = kControlRows[r];
    for (int i = 0; i < row.count; ++i) {
      Control& c = *find(row.id, row.first < 0 ? -1 : row.first + i);
      c.id = row.id;
      c.index = row.first < 0 ? -1 : row.first + i;
      c.kind = row.kind;
      c.name = row.name;
      c.pos = row.pos;
      c.pos.top += row.spacing * i;
      c.text = caption_of(row, i);
      c.tooltip = row.tooltip;
      c.fore = row.fore;
      c.back = row.back;
      c.bold = row.bold;
      c.enabled = row.enabled;
      c.checked = row.checked;
      c.parent =
          row.parent == Ctl::Form1 ? nullptr : find(row.parent, row.parent == Ctl::Frame1 ? 0 : -1);
      c.hint = row.hint;
    }
  }
}

std::vector<Control*> Controls::all() {
  std::vector<Control*> v;
  v.reserve(160);
  for (Control* c : {&Form1, &Frame1, &Frame2, &Frame3, &Frame4}) v.push_back(c);
  for (int i = 1; i <= kWindowSpectra; ++i) v.push_back(&Check3[i]);
  for (Control* c : {&Command7, &Command8, &Label1[0], &spectrs, &Label1[1], &Pict_e, &Command4,
                     &Command5, &load, &Lab_chas, &Picture2, &Picture1})
    v.push_back(c);
  for (int k = 1; k <= 3; ++k) v.push_back(&Option1[k]);
  for (int k : {1, 2, 3, 5}) v.push_back(&Option2[k]);
  for (Control& c : Label2) v.push_back(&c);
  for (Control* c : {&Label4, &Label8, &Label5, &LabC, &Command2, &Command9, &Command6})
    v.push_back(c);
  for (int k = 1; k <= kSlots; ++k)
    for (Control* c :
         {&txt_poch[k], &txt_kin[k], &txt_krok[k], &Check1[k], &txt_pK[k], &Lab_K[k], &Check2[k]})
      v.push_back(c);
  for (Control& c : Label7) v.push_back(&c);
  for (Control* c : {&Command1, &Label3, &Label9}) v.push_back(c);
  return v;
}

bool Controls::is_array(Ctl id) const {
  switch (id) {
    case Ctl::Check1:
    case Ctl::Check2:
    case Ctl::Check3:
    case Ctl::Option1:
    case Ctl::Option2:
    case Ctl::txt_pK:
    case Ctl::txt_poch:
    case Ctl::txt_kin:
    case Ctl::txt_krok:
    case Ctl::Label1:
    case Ctl::Label2:
    case Ctl::Label7:
    case Ctl::Lab_K:
    case Ctl::Frame1:
      return true;
    default:
      return false;
  }
}

Control* Controls::find(Ctl id, int index) {
  auto element = [&](auto& arr, int lo, int hi) -> Control* {
    return index >= lo && index <= hi ? &arr[index] : nullptr;
  };
  switch (id) {
    case Ctl::Form1:
      return &Form1;
    case Ctl::Frame1:
      return &Frame1;
    case Ctl::Frame2:
      return &Frame2;
    case Ctl::Frame3:
      return &Frame3;
    case Ctl::Frame4:
      return &Frame4;
    case Ctl::Command1:
      return &Command1;
    case Ctl::Command2:
      return &Command2;
    case Ctl::Command4:
      return &Command4;
    case Ctl::Command5:
      return &Command5;
    case Ctl::Command6:
      return &Command6;
    case Ctl::Command7:
      return &Command7;
    case Ctl::Command8:
      return &Command8;
    case Ctl::Command9:
      return &Command9;
    case Ctl::load:
      return &load;
    case Ctl::Check1:
      return element(Check1, 1, kSlots);
    case Ctl::Check2:
      return element(Check2, 1, kSlots);
    case Ctl::Check3:
      return element(Check3, 1, kWindowSpectra);
    case Ctl::Option1:
      return element(Option1, 1, 3);
    case Ctl::Option2:
      return index == 4 ? nullptr : element(Option2, 1, 5);
    case Ctl::txt_pK:
      return element(txt_pK, 1, kSlots);
    case Ctl::txt_poch:
      return element(txt_poch, 1, kSlots);
    case Ctl::txt_kin:
      return element(txt_kin, 1, kSlots);
    case Ctl::txt_krok:
      return element(txt_krok, 1, kSlots);
    case Ctl::Label1:
      return element(Label1, 0, 1);
    case Ctl::Label2:
      return element(Label2, 0, 12);
    case Ctl::Label3:
      return &Label3;
    case Ctl::Label4:
      return &Label4;
    case Ctl::Label5:
      return &Label5;
    case Ctl::Label7:
      return element(Label7, 0, 2);
    case Ctl::Label8:
      return &Label8;
    case Ctl::Label9:
      return &Label9;
    case Ctl::LabC:
      return &LabC;
    case Ctl::Lab_chas:
      return &Lab_chas;
    case Ctl::Lab_K:
      return element(Lab_K, 1, kSlots);
    case Ctl::spectrs:
      return &spectrs;
    case Ctl::Pict_e:
      return &Pict_e;
    case Ctl::Picture1:
      return &Picture1;
    case Ctl::Picture2:
      return &Picture2;
  }
  return nullptr;
}

void Controls::notify(const Control& c) {
  if (observer) observer->control_changed(c);
}

// Compared before anything is copied: a search sets the same texts at every trial.
void Controls::set_text(Control& c, std::string_view text) {
  if (c.text == text) return;
  c.text = text;
  notify(c);
}

void Controls::set_tooltip(Control& c, std::string text) {
  if (c.tooltip == text) return;
  c.tooltip = std::move(text);
  notify(c);
}

void Controls::set_enabled(Control& c, bool enabled) {
  if (c.enabled == enabled) return;
  c.enabled = enabled;
  notify(c);
}

void Controls::set_checked(Control& c, bool checked) {
  if (c.checked == checked) return;
  if (c.kind == Kind::Option) {
    if (!checked) return;  // an option is cleared only by checking a sibling
    auto clear_siblings = [&](auto& group) {
      for (Control& o : group)
        if (&o != &c && o.checked) {
          o.checked = false;
          notify(o);
        }
    };
    if (c.id == Ctl::Option1)
      clear_siblings(Option1);
    else
      clear_siblings(Option2);
  }
  c.checked = checked;
  notify(c);
  if (handler) handler->check_changed(c);
}

void Controls::set_focus(Control& c) {
  focused = &c;
  if (observer) observer->focus_changed(c);
}

void form_load(State& st, Controls& ui) {
  set_start_values(st);
  // The window's data set and fit have room for what its imports read, once for all.
  st.data.reserve(kWindowSpectra, kWindowPoints);
  size_fit(st.data, st.calc);
  for (int i = 1; i <= kWindowSpectra; ++i) ui.set_enabled(ui.Check3[i], false);
}

const char* hint_text(const Control& c) {
  return c.hint;
}

void show_hint(Controls& ui, const Control& c) {
  if (const char* h = hint_text(c)) ui.set_text(ui.Label9, h);
}

void Controls::say(const Control& source, std::string text) {
  said_by = &source;
  said = text;
  set_text(Label9, std::move(text));
}

bool keeps_said(Controls& ui, const Control& c) {
  if (ui.said_by == &c && ui.Label9.text == ui.said) return true;
  ui.said_by = nullptr;
  return false;
}

}  // namespace ferolan
