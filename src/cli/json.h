// A small JSON writer: enough for the batch tool's results, numbers at full precision.
#pragma once

#include "cli/layer.h"

#include <string>
#include <string_view>

namespace ferolan::cli {

class Json {
 public:
  Json& begin_object(std::string_view key = {});
  Json& end_object();
  Json& begin_array(std::string_view key = {});
  Json& end_array();
  Json& value(std::string_view key, double v);
  Json& value(std::string_view key, long v);
  Json& value(std::string_view key, int v) { return value(key, static_cast<long>(v)); }
  Json& value(std::string_view key, bool v);
  Json& value(std::string_view key, std::string_view v);
  Json& value(std::string_view key, const char* v) { return value(key, std::string_view(v)); }
  Json& null(std::string_view key);
  // Array elements.
  Json& item(double v) { return value({}, v); }
  Json& item(std::string_view v) { return value({}, v); }

  const std::string& str() const { return out_; }

 private:
  void key(std::string_view k);
  std::string out_;
  bool first_ = true;
  int depth_ = 0;
};

std::string json_escape(std::string_view s);

}  // namespace ferolan::cli
