// The two number readers against what their contracts promise for any text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/import/number.h"
#include "fuzz_check.h"

namespace {

bool allowed(char c) {
  return c == ' ' || (c >= '+' && c <= '9') || c == 'e' || c == 'E';
}

bool same(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  using ferolan::leading_number;

  int16_t ok = 0;
  const float v = ferolan::parse_number(text, ok);
  FUZZ_CHECK(ok == 1 || ok == -1);
  std::string points = text;
  for (char& c : points)
    if (c == ',') c = '.';
  if (ok == -1) {
    FUZZ_CHECK(v == 0 && !std::signbit(v));
  } else {
    FUZZ_CHECK(text.size() <= 12);
    FUZZ_CHECK(std::isfinite(v));
    size_t dots = 0, exps = 0;
    for (char c : points) {
      FUZZ_CHECK(allowed(c));
      dots += c == '.';
      exps += c == 'e' || c == 'E';
    }
    FUZZ_CHECK(dots <= 1 && exps <= 1);
    // Accepted texts are converted by the leading-number rule.
    const float lead = static_cast<float>(leading_number(points));
    FUZZ_CHECK(std::memcmp(&lead, &v, sizeof v) == 0);
  }
  // The text is read from its own copy.
  int16_t again = 0;
  const float v2 = ferolan::parse_number(text, again);
  FUZZ_CHECK(again == ok && std::memcmp(&v, &v2, sizeof v) == 0);

  const double lead = leading_number(text);
  FUZZ_CHECK(!std::isnan(lead));
  // Blanks are ignored wherever they stand, and what follows the number does not count.
  std::string packed;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') packed += c;
  FUZZ_CHECK(same(leading_number(packed), lead));
  FUZZ_CHECK(same(leading_number(text + "x"), lead));
  if (!packed.empty() && (packed[0] == '.' || (packed[0] >= '0' && packed[0] <= '9')))
    FUZZ_CHECK(same(leading_number("-" + text), -lead));
  return 0;
}
