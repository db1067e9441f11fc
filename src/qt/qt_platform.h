// The desktop services of the core, provided by Qt.
#pragma once

#include "qt/layer.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>

#include "window/platform/platform.h"

namespace ferolan {

class QtPlatform : public Platform {
 public:
  ~QtPlatform() override;
  // Message boxes are modal to this window (may be null before the window exists).
  void set_window(QWidget* window) { window_ = window; }
  // Without a user to press OK (scripted runs), messages go to standard error instead.
  void set_unattended(bool unattended) { unattended_ = unattended; }
  // Frames may also wait for this (the window's pictures are repainted less often).
  void set_frame_gate(std::function<bool()> gate) { frame_gate_ = std::move(gate); }

  void message_box(std::string_view text, std::string_view title) override;
  std::string clipboard_text() override;
  void set_clipboard_text(std::string_view text) override;
  double clock_seconds() override;
  // Serves the window's events, at most once per kServeInterval: a search yields after
  // every trial, many thousands of times a second.
  void yield() override;
  // True at most once per kFrameInterval, and only when the frame gate agrees.
  bool frame_due() override;
  // How long input waits during a search, measured at yield since the last reset: the
  // longest time between two passes of the event loop, and the longest pass (what a pass
  // does, a repaint say, delays the answer to an event too).
  struct EventWaits {
    std::chrono::nanoseconds between{0}, pass{0};
  };
  EventWaits event_waits() const { return waits_; }
  void reset_event_waits();
  // The event loop is about to run again: the time since the last pass counts as a wait.
  void end_event_waits();
  // On a desktop with xdg-open, the opener runs as a child process: its exit status tells
  // whether a program took the document (3: none for this kind of file).
  void open_document(std::string_view file_name, std::function<void()> failed) override;
  // An opener started by open_document has not yet answered.
  bool opening() const { return !openers_.children().isEmpty(); }
  std::string working_folder() override;
  std::optional<std::string> read_file(std::string_view file_name) override;
  char decimal_separator() const override;

 private:
  QPointer<QWidget> window_;
  // Parent of the openers still running: a failure that arrives after the platform has
  // gone is not reported.
  QObject openers_;
  bool unattended_ = false;
  std::chrono::steady_clock::time_point next_serve_{};
  std::chrono::steady_clock::time_point next_frame_{};
  std::function<bool()> frame_gate_;
  EventWaits waits_;
  std::chrono::steady_clock::time_point last_pass_end_{};
  mutable char decimal_ = 0;
};

// Input still answers within a few milliseconds; the screen is updated once a frame anyway.
constexpr std::chrono::microseconds kServeInterval{5000};
// No screen shows pictures faster than this.
constexpr std::chrono::microseconds kFrameInterval{16000};

}  // namespace ferolan
