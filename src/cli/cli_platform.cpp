#include "cli/cli_platform.h"

#include <chrono>
#include <ctime>
#include <filesystem>

namespace ferolan::cli {

void CliPlatform::message_box(std::string_view text, std::string_view title) {
  messages.push_back({std::string(text), std::string(title)});
}

double CliPlatform::clock_seconds() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const double frac = duration<double>(now.time_since_epoch()).count() - static_cast<double>(t);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + frac;
}

void CliPlatform::yield() {
  if (on_yield) on_yield();
}

std::optional<std::string> CliPlatform::read_file(std::string_view file_name) {
  if (file_name == "data.mdf") return mdf_text;
  return std::nullopt;
}

std::string CliPlatform::working_folder() {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::current_path(ec);
  return ec ? std::string(".") : p.string();
}

}  // namespace ferolan::cli
