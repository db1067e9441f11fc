#include "engine/format/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ferolan {

namespace {

// A finite non-zero magnitude as decimal digits: value = 0.d1d2...dn × 10^point.
struct Decimal {
  char digits[32] = {};
  int n = 0;
  int point = 0;
};

// The value's decimal string at `sig` significant digits, the way the classic Format
// sees a Double (15 digits) or a Single (7); rounding then works on these digits, so 2.675
// rounds to 2.68 although its binary value lies just below.
// (to_chars gives printf's "%.*e" digits, correctly rounded, without printf's big numbers:
// the window formats a few values at every trial of a search.)
Decimal to_decimal(double magnitude, int sig) {
  char buf[64];
  const auto end =
      std::to_chars(buf, buf + sizeof buf - 1, magnitude, std::chars_format::scientific, sig - 1)
          .ptr;
  *end = '\0';
  Decimal d;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits[d.n++] = *p;
  }
  int exponent = 0;
  if (*p == 'e') std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);
  d.point = exponent + 1;
  while (d.n > 1 && d.digits[d.n - 1] == '0') --d.n;
  return d;
}

// Keeps `keep` leading digits (may be <= 0), rounding half away from zero.
// Returns false when nothing is left (the value rounds to zero).
bool round_to(Decimal& d, int keep) {
  if (keep >= d.n) return true;
  if (keep < 0) {
    d.n = 0;
    return false;
  }
  const bool up = d.digits[keep] >= '5';
  d.n = keep;
  if (up) {
    int i = keep - 1;
    for (; i >= 0 && d.digits[i] == '9'; --i) d.digits[i] = '0';
    if (i >= 0) {
      ++d.digits[i];
    } else {
      for (int j = d.n; j > 0; --j) d.digits[j] = d.digits[j - 1];
      d.digits[0] = '1';
      ++d.n;
      ++d.point;
    }
  }
  while (d.n > 0 && d.digits[d.n - 1] == '0') --d.n;
  return d.n > 0;
}

char digit_at(const Decimal& d, int i) {
  return i >= 0 && i < d.n ? d.digits[i] : '0';
}

// [#|0]* [. [#|0]*] [(e|E)(+|-)0+]
struct Mask {
  int min_int = 0;
  int min_dec = 0, max_dec = 0;
  bool sci = false;
  char exp_letter = 'e';
  bool exp_plus = true;
  int exp_digits = 0;
};

Mask parse_mask(std::string_view s) {
  Mask m;
  size_t i = 0;
  int int_len = 0, first_zero = -1;
  for (; i < s.size() && (s[i] == '#' || s[i] == '0'); ++i, ++int_len)
    if (s[i] == '0' && first_zero < 0) first_zero = int_len;
  m.min_int = first_zero < 0 ? 0 : int_len - first_zero;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && (s[i] == '#' || s[i] == '0'); ++i) {
      ++m.max_dec;
      if (s[i] == '0') m.min_dec = m.max_dec;
    }
  }
  if (i + 1 < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    m.sci = true;
    m.exp_letter = s[i];
    m.exp_plus = s[i + 1] == '+';
    for (i += 2; i < s.size() && s[i] == '0'; ++i) ++m.exp_digits;
  }
  return m;
}

void append_decimals(std::string& out, const Decimal& d, int first, const Mask& m, char dec) {
  int shown = m.max_dec;
  while (shown > m.min_dec && digit_at(d, first + shown - 1) == '0') --shown;
  if (shown > 0) {
    out += dec;
    for (int k = 0; k < shown; ++k) out += digit_at(d, first + k);
  }
}

std::string fixed(const Decimal& d, bool nonzero, const Mask& m, char dec) {
  std::string out;
  const int int_digits = nonzero ? std::max(d.point, 0) : 0;
  for (int k = int_digits; k < m.min_int; ++k) out += '0';
  for (int k = 0; k < int_digits; ++k) out += digit_at(d, k);
  append_decimals(out, d, d.point, m, dec);
  return out;
}

std::string scientific(const Decimal& d, bool nonzero, const Mask& m, char dec) {
  std::string out(1, nonzero ? d.digits[0] : '0');
  append_decimals(out, d, 1, m, dec);
  const int e = nonzero ? d.point - 1 : 0;
  out += m.exp_letter;
  if (e < 0) {
    out += '-';
  } else if (m.exp_plus) {
    out += '+';
  }
  std::string digits = std::to_string(std::abs(e));
  for (int k = static_cast<int>(digits.size()); k < m.exp_digits; ++k) out += '0';
  return out + digits;
}

std::string not_finite(double value) {
  if (std::isnan(value)) return "nan";
  return value < 0 ? "-inf" : "inf";
}

}  // namespace

namespace {

// sig: the significant digits the value carries (15 for a Double, 7 for a Single).
std::string masked(double value, std::string_view mask, char dec, int sig) {
  if (!std::isfinite(value)) return not_finite(value);
  const Mask m = parse_mask(mask);
  Decimal d;
  bool nonzero = value != 0;
  if (nonzero) {
    d = to_decimal(std::fabs(value), sig);
    nonzero = round_to(d, m.sci ? 1 + m.max_dec : d.point + m.max_dec);
  }
  // A negative value keeps its sign even when it rounds to zero ("-0.00"), as the classic
  // Format shows it.
  const std::string body = m.sci ? scientific(d, nonzero, m, dec) : fixed(d, nonzero, m, dec);
  return (value < 0 ? "-" : "") + body;
}

}  // namespace

std::string format_mask(double value, std::string_view mask, char dec) {
  return masked(value, mask, dec, 15);
}

std::string format_single(float value, std::string_view mask, char dec) {
  return masked(value, mask, dec, 7);
}

// The general format of a Single: 7 significant digits, trailing zeros dropped. Plain
// decimals for 1E-04 <= |x| < 1E+07 (after rounding), otherwise "d.ddddddE±XX" with at least
// two exponent digits; a spreadsheet reads both forms back, with either separator.
std::string format_general(float value, char dec) {
  if (!std::isfinite(value)) return not_finite(value);
  if (value == 0) return "0";
  Decimal d = to_decimal(std::fabs(static_cast<double>(value)), 7);
  std::string out = value < 0 ? "-" : "";
  const int e = d.point - 1;
  if (e < -4 || e >= 7) {
    out += d.digits[0];
    if (d.n > 1) {
      out += dec;
      out.append(d.digits + 1, d.n - 1);
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
    return out + buf;
  }
  if (d.point <= 0) {
    out += '0';
    out += dec;
    out.append(-d.point, '0');
    out.append(d.digits, d.n);
    return out;
  }
  for (int k = 0; k < d.point; ++k) out += digit_at(d, k);
  if (d.n > d.point) {
    out += dec;
    out.append(d.digits + d.point, d.n - d.point);
  }
  return out;
}

}  // namespace ferolan
