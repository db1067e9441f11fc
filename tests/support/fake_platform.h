// A platform for tests: records message boxes, holds a clipboard and files in memory,
// and runs a scripted action at each yield.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "window/platform/platform.h"

namespace ferolan::testing {

struct Message {
  std::string text;
  std::string title;
};

class FakePlatform : public Platform {
 public:
  void message_box(std::string_view text, std::string_view title) override {
    messages.push_back({std::string(text), std::string(title)});
  }
  std::string clipboard_text() override { return clipboard; }
  void set_clipboard_text(std::string_view text) override {
    clipboard = std::string(text);
    ++clipboard_writes;
  }
  double clock_seconds() override {
    double t = clock;
    clock += clock_step;
    return t;
  }
  void yield() override {
    ++yields;
    if (on_yield) on_yield(yields);
  }
  bool frame_due() override { return frames_due; }
  void open_document(std::string_view file_name, std::function<void()> failed) override {
    opened.push_back(std::string(file_name));
    if (!opens)
      failed();
    else
      late_failure = std::move(failed);
  }
  std::string working_folder() override { return folder; }
  std::optional<std::string> read_file(std::string_view file_name) override {
    auto it = files.find(std::string(file_name));
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  char decimal_separator() const override { return decimal; }

  std::vector<Message> messages;
  std::string clipboard;
  int clipboard_writes = 0;
  double clock = 3600.0;    // seconds since midnight at the next reading
  double clock_step = 0.0;  // added after every reading
  long yields = 0;
  std::function<void(long)> on_yield;  // called with the count of yields so far
  std::vector<std::string> opened;
  bool opens = true;  // false: open_document fails at once
  // The last open_document's failure, for a test to report later as a handler would.
  std::function<void()> late_failure;
  std::string folder = "/home/lab/spectra";
  std::map<std::string, std::string> files;
  char decimal = '.';
  bool frames_due = true;  // false: no frame comes during a search
};

}  // namespace ferolan::testing
