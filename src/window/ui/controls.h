// The control model of the main window: every control's kind, caption or text, state,
// tooltip, colours and position. Plain data; the Qt window mirrors it through one observer.
#pragma once

#include "window/layer.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data/state.h"
#include "engine/import/import.h"

namespace ferolan {

enum class Kind : uint8_t { Form, Button, CheckBox, Option, TextBox, Label, Frame, Picture };

// Control (array) identity; with Control::index it names one control.
enum class Ctl : uint8_t {
  Form1,
  Frame1,
  Frame2,
  Frame3,
  Frame4,
  Command1,
  Command2,
  Command4,
  Command5,
  Command6,
  Command7,
  Command8,
  Command9,
  load,
  Check1,
  Check2,
  Check3,
  Option1,
  Option2,
  txt_pK,
  txt_poch,
  txt_kin,
  txt_krok,
  Label1,
  Label2,
  Label3,
  Label4,
  Label5,
  Label7,
  Label8,
  Label9,
  LabC,
  Lab_chas,
  Lab_K,
  spectrs,
  Pict_e,
  Picture1,
  Picture2,
};

constexpr uint32_t kNoColour = 0xFFFFFFFFu;  // toolkit default
constexpr int kTwipsPerPixel = 15;

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;  // twips, relative to the parent
};

struct Control {
  Ctl id = Ctl::Form1;
  int index = -1;  // -1 for a control that is not part of an array
  Kind kind = Kind::Label;
  const char* name = "";
  const Control* parent = nullptr;  // frame that holds it, or nullptr for the window
  Rect pos;
  std::string text;  // caption or text
  std::string tooltip;
  bool checked = false;
  bool enabled = true;
  uint32_t fore = kNoColour;  // 0xRRGGBB
  uint32_t back = kNoColour;
  bool bold = false;
  const char* hint = nullptr;  // the hint line's text; nullptr: none

  std::string display_name() const;  // "Check3(5)"
};

class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void control_changed(const Control& c) = 0;
  virtual void focus_changed(const Control& c) = 0;
};

// Runs the click handler of a check box or option button whose value really changed.
class CheckHandler {
 public:
  virtual ~CheckHandler() = default;
  virtual void check_changed(Control& c) = 0;
};

struct Controls {
  Controls();
  Controls(const Controls&) = delete;
  Controls& operator=(const Controls&) = delete;

  Control Form1;
  Control Frame3;
  Arr1<Control, kWindowSpectra> Check3;
  Control Command7, Command8;
  std::array<Control, 2> Label1;  // 0, 1
  Control spectrs, Pict_e;
  Control Command4, Command5, load;
  std::array<Control, 13> Label2;  // 0..12
  Control Lab_chas, Picture2, Picture1;
  Control Frame1;                  // index 0
  std::array<Control, 4> Option1;  // 1..3
  Control Frame4;
  std::array<Control, 6> Option2;  // 1, 2, 3, 5
  Control Label4, Label8, Label5, LabC;
  Control Command2, Command9, Command6;
  Arr1<Control, kSlots> txt_poch, txt_kin, txt_krok;
  std::array<Control, 3> Label7;  // 0..2
  Arr1<Control, kSlots> Check1, Check2, txt_pK, Lab_K;
  Control Command1, Frame2, Label3, Label9;

  Control* focused = nullptr;
  ControlObserver* observer = nullptr;
  CheckHandler* handler = nullptr;
  const Control* said_by = nullptr;  // see say()
  std::string said;

  void set_text(Control& c, std::string_view text);
  void set_tooltip(Control& c, std::string text);
  void set_enabled(Control& c, bool enabled);
  // A check box runs its handler when the value changes; an option button that becomes
  // checked clears its siblings first and then runs its handler.
  void set_checked(Control& c, bool checked);
  void set_focus(Control& c);
  // A sentence that an action of source puts into the hint line (an import's failure, say):
  // source's own hint does not replace it while the pointer stays over source.
  void say(const Control& source, std::string text);

  // Every control, parents before the controls inside them.
  std::vector<Control*> all();
  Control* find(Ctl id, int index);
  bool is_array(Ctl id) const;

 private:
  void notify(const Control& c);
};

// Row k (1..5) of the pKa block: top in twips.
constexpr int pka_row_top(int k) {
  return 4740 + 420 * (k - 1);
}

// Start-up of the window: the start values and the disabled selection boxes.
void form_load(State& st, Controls& ui);

// The fixed hint of a control: nullptr when the control has none (the hint line stays),
// the empty text for the window background.
const char* hint_text(const Control& c);

// The mouse moved over c: its hint goes to the hint line.
void show_hint(Controls& ui, const Control& c);
// The mouse moved over c: true while the hint line still holds what c said (the sentence
// then stays); otherwise the pointer has left the sayer and its sentence may be replaced.
bool keeps_said(Controls& ui, const Control& c);

}  // namespace ferolan
