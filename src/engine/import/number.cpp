#include "engine/import/number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace ferolan {

namespace {

bool is_exp(char c) {
  return c == 'E' || c == 'e';
}
bool is_sign(char c) {
  return c == '+' || c == '-';
}
// "+", ",", "-", ".", "/" or a digit (codes 43..57).
bool is_numeric_char(char c) {
  return c >= 43 && c <= 57;
}

// The longest leading number of `s` (no blanks in it): its length, 0 when there is none.
size_t number_prefix(const std::string& s) {
  size_t i = 0;
  if (i < s.size() && is_sign(s[i])) ++i;
  size_t digits = 0;
  for (; i < s.size() && is_digit(s[i]); ++i) ++digits;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && is_digit(s[i]); ++i) ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && is_exp(s[i])) {
    size_t j = i + 1;
    if (j < s.size() && is_sign(s[j])) ++j;
    if (j < s.size() && is_digit(s[j])) {
      while (j < s.size() && is_digit(s[j])) ++j;
      i = j;  // an incomplete exponent is not part of the number
    }
  }
  return i;
}

// The number lies beyond the range of a double: infinite when large, zero when tiny.
double out_of_range(const std::string& s, size_t len) {
  long digits = 0, before_point = -1, first_nonzero = -1;
  size_t i = 0;
  for (; i < len && !is_exp(s[i]); ++i) {
    if (s[i] == '.') before_point = digits;
    if (!is_digit(s[i])) continue;
    if (first_nonzero < 0 && s[i] != '0') first_nonzero = digits;
    ++digits;
  }
  if (before_point < 0) before_point = digits;
  long exponent = 0;
  if (i < len) {
    size_t j = i + 1;
    const bool negative = s[j] == '-';
    if (is_sign(s[j])) ++j;
    for (; j < len; ++j) exponent = std::min(exponent * 10 + (s[j] - '0'), 1000000L);
    if (negative) exponent = -exponent;
  }
  // Decimal order of the leading digit; only its sign matters this far out.
  const bool large = before_point - first_nonzero - 1 + exponent >= 0;
  const double v = large ? std::numeric_limits<double>::infinity() : 0.0;
  return s[0] == '-' ? -v : v;
}

}  // namespace

double leading_number(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (!is_blank(c)) s += c;
  const size_t len = number_prefix(s);
  if (len == 0) return 0;
  const size_t start = s[0] == '+' ? 1 : 0;  // from_chars takes no plus sign
  double v = 0;
  const auto r = std::from_chars(s.data() + start, s.data() + len, v);
  if (r.ec == std::errc::result_out_of_range) return out_of_range(s, len);
  return v;
}

float parse_number(std::string_view text, int16_t& parse_ok) {
  parse_ok = 1;
  const auto reject = [&parse_ok] {
    parse_ok = -1;
    return 0.0f;
  };
  const size_t n = text.size();
  if (n > 12) return reject();
  std::string s(text);
  int points = 0, exps = 0;
  for (char& c : s) {
    if (c == ',') c = '.';
    points += c == '.';
    exps += is_exp(c);
  }
  if (points > 1 || exps > 1) return reject();
  for (char c : s)
    if (c != ' ' && !is_numeric_char(c) && !is_exp(c)) return reject();
  if (n > 0 && is_exp(s[0])) return reject();
  for (size_t i = 0; i < n; ++i) {
    const bool has_prev = i > 0, has_next = i + 1 < n;
    if (is_exp(s[i])) {
      if (has_prev && !is_digit(s[i - 1])) return reject();
      if (has_next && !is_numeric_char(s[i + 1])) return reject();
    }
    if (is_sign(s[i])) {
      if (has_prev && is_digit(s[i - 1])) return reject();
      if (has_next && !is_digit(s[i + 1])) return reject();
    }
  }
  const size_t p = s.find('.');
  size_t q = 0;
  while (q < n && !is_exp(s[q])) ++q;
  if (p != std::string::npos && p > q) return reject();
  const float v = static_cast<float>(leading_number(s));
  if (std::isinf(v)) return reject();
  return v;
}

bool is_number_text(std::string_view f) {
  size_t i = 0;
  auto digits = [&] {
    const size_t start = i;
    while (i < f.size() && is_digit(f[i])) ++i;
    return i > start;
  };
  if (i < f.size() && (f[i] == '+' || f[i] == '-')) ++i;
  bool mantissa = digits();
  if (i < f.size() && f[i] == '.') {
    ++i;
    mantissa = digits() || mantissa;
  }
  if (!mantissa) return false;
  if (i < f.size() && (f[i] == 'e' || f[i] == 'E')) {
    ++i;
    if (i < f.size() && (f[i] == '+' || f[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == f.size();
}

}  // namespace ferolan
