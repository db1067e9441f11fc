// The platform of the batch tool: no window; the input file stands for data.mdf, message
// boxes are collected for standard error, a yield may print a progress line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "window/platform/platform.h"

namespace ferolan::cli {

struct CliMessage {
  std::string text, title;
};

class CliPlatform : public Platform {
 public:
  void message_box(std::string_view text, std::string_view title) override;
  std::string clipboard_text() override { return clipboard; }
  void set_clipboard_text(std::string_view text) override { clipboard = std::string(text); }
  double clock_seconds() override;
  void yield() override;
  bool open_document(std::string_view) override { return false; }
  std::string working_folder() override;
  std::optional<std::string> read_file(std::string_view file_name) override;
  char decimal_separator() const override { return '.'; }

  std::string clipboard;
  std::string mdf_text;  // what "data.mdf" reads as
  std::vector<CliMessage> messages;
  std::function<void()> on_yield;  // progress display
};

}  // namespace ferolan::cli
