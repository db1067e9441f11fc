// What the desktop provides to the core. The Qt window implements it; tests use FakePlatform.
#pragma once

#include "window/layer.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ferolan {

class Platform {
 public:
  virtual ~Platform() = default;
  // Modal, OK only; the answer is never used.
  virtual void message_box(std::string_view text, std::string_view title) = 0;
  // Whole plain text of the clipboard (UTF-8), empty when it holds none.
  virtual std::string clipboard_text() = 0;
  virtual void set_clipboard_text(std::string_view text) = 0;
  // Seconds since local midnight, with fractions.
  virtual double clock_seconds() = 0;
  // Lets the window process every pending event, then returns.
  virtual void yield() = 0;
  // Whether a picture drawn now would reach the screen before the next one: false lets a
  // search skip drawings that a faster one replaces within the same frame.
  virtual bool frame_due() { return true; }
  // Opens a document of the working folder with the desktop's handler without waiting for
  // it. failed runs when the file is missing or no program opens it: at once, or later from
  // the event loop once the handler has said so.
  virtual void open_document(std::string_view file_name, std::function<void()> failed) = 0;
  // The working folder, as a path to show the user.
  virtual std::string working_folder() = 0;
  // Whole content of a file of the working folder; nullopt when it cannot be read.
  virtual std::optional<std::string> read_file(std::string_view file_name) = 0;
  // Decimal separator of the user's locale, for every number mask.
  virtual char decimal_separator() const = 0;
};

}  // namespace ferolan
