#include "cli/json.h"

#include <cmath>
#include <cstdio>

#include "cli/text.h"

namespace ferolan::cli {

// Bytes that are no UTF-8 (a file name, a cell in another code page) become U+FFFD, so
// that a reader of the whole batch never fails on one file.
std::string json_escape(std::string_view text) {
  const std::string s = utf8_safe(text);
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        r += "\\\"";
        break;
      case '\\':
        r += "\\\\";
        break;
      case '\n':
        r += "\\n";
        break;
      case '\r':
        r += "\\r";
        break;
      case '\t':
        r += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

void Json::key(std::string_view k) {
  if (!first_) out_ += ",";
  out_ += '\n';
  out_.append(2 * depth_, ' ');
  first_ = false;
  if (!k.empty()) out_ += json_escape(k) + ": ";
}

Json& Json::begin_object(std::string_view k) {
  if (depth_ > 0 || !out_.empty()) key(k);
  out_ += "{";
  ++depth_;
  first_ = true;
  return *this;
}

Json& Json::end_object() {
  --depth_;
  out_ += '\n';
  out_.append(2 * depth_, ' ');
  out_ += '}';
  first_ = false;
  if (depth_ == 0) out_ += "\n";
  return *this;
}

Json& Json::begin_array(std::string_view k) {
  key(k);
  out_ += "[";
  ++depth_;
  first_ = true;
  return *this;
}

Json& Json::end_array() {
  --depth_;
  out_ += '\n';
  out_.append(2 * depth_, ' ');
  out_ += ']';
  first_ = false;
  return *this;
}

Json& Json::value(std::string_view k, double v) {
  key(k);
  if (!std::isfinite(v)) {
    out_ += "null";  // JSON has no inf or nan
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    out_ += buf;
  }
  return *this;
}

Json& Json::value(std::string_view k, long v) {
  key(k);
  out_ += std::to_string(v);
  return *this;
}

Json& Json::value(std::string_view k, bool v) {
  key(k);
  out_ += v ? "true" : "false";
  return *this;
}

Json& Json::value(std::string_view k, std::string_view v) {
  key(k);
  out_ += json_escape(v);
  return *this;
}

Json& Json::null(std::string_view k) {
  key(k);
  out_ += "null";
  return *this;
}

}  // namespace ferolan::cli
