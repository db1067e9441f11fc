// data.mdf as a stream of fields, for every reader of that file.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/import/number.h"

namespace ferolan {

// A field ends at a comma, a blank or the end of the text; blanks around a field and one
// comma after it are skipped. Lines and fields are counted for the messages.
class MdfFields {
 public:
  explicit MdfFields(std::string_view text) : t_(text) {
    if (t_.starts_with("\xEF\xBB\xBF")) t_.remove_prefix(3);  // a byte-order mark
  }

  // Only blanks are left (the file is expected to end right after a complete row).
  bool at_end() {
    skip_blanks();
    return pos_ == t_.size();
  }
  int line() const { return line_; }
  int field() const { return field_; }

  // The next field's text; call only when not at_end().
  std::string_view next() {
    skip_blanks();
    ++field_;
    const size_t start = pos_;
    while (pos_ < t_.size() && t_[pos_] != ',' && !is_blank(t_[pos_])) ++pos_;
    const std::string_view f = t_.substr(start, pos_ - start);
    while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\t')) ++pos_;
    if (pos_ < t_.size() && t_[pos_] == ',') ++pos_;
    return f;
  }

 private:
  void skip_blanks() {
    while (pos_ < t_.size() && is_blank(t_[pos_])) {
      const char c = t_[pos_++];
      const bool crlf = c == '\r' && pos_ < t_.size() && t_[pos_] == '\n';
      if ((c == '\r' && !crlf) || c == '\n') {
        ++line_;
        field_ = 0;
      }
    }
  }

  std::string_view t_;
  size_t pos_ = 0;
  int line_ = 1, field_ = 0;
};

}  // namespace ferolan
