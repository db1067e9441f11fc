// The control table of the main window as data.
#pragma once

#include "window/layer.h"

#include <cstddef>
#include <cstdint>

#include "window/ui/controls.h"

namespace ferolan {

// One control, or a run of `count` elements of a control array starting at index `first`,
// each `spacing` twips below the one before it. caption: the elements' captions separated by
// '|' (one caption for all when there is no '|'). hint: the hint line's text when the pointer
// is over the control; nullptr leaves the hint line as it is, "" empties it.
struct ControlRow {
  Ctl id;
  int first;
  int count;
  int spacing;
  Kind kind;
  const char* name;
  Rect pos;
  const char* caption;
  const char* tooltip;
  uint32_t fore, back;
  bool bold, enabled, checked;
  Ctl parent;  // Ctl::Form1: the window itself
  const char* hint;
};

extern const ControlRow kControlRows[];
extern const size_t kControlRowCount;

}  // namespace ferolan
