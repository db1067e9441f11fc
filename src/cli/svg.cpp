#include "cli/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace ferolan::cli {

namespace {

constexpr double kW = 720, kH = 450, kLeft = 80, kRight = 170, kTop = 40, kBottom = 60;

// The range actually drawn: finite, and not empty.
void widen(double& lo, double& hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) {
    lo = 0;
    hi = 1;
  }
  if (!std::isfinite(hi - lo)) {
    lo /= 4;
    hi /= 4;
  }
  if (hi - lo <= std::abs(hi) * 1e-12 || hi - lo < std::numeric_limits<double>::min()) {
    const double pad = lo == 0 ? 1 : std::abs(lo) * 0.1;
    lo -= pad;
    hi += pad;
  }
}

std::string esc(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c == '&')
      r += "&amp;";
    else if (c == '<')
      r += "&lt;";
    else if (c == '>')
      r += "&gt;";
    else if (c == '"')
      r += "&quot;";
    else
      r += c;
  }
  return r;
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string tick_label(double v, double step) {
  char buf[32];
  if (v == 0) return "0";
  const double mag = std::abs(v);
  if (mag >= 1e6 || mag < 1e-3) {
    std::snprintf(buf, sizeof buf, "%.3g", v);
  } else {
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  }
  return buf;
}

}  // namespace

std::vector<double> tick_values(double lo, double hi, int target) {
  widen(lo, hi);
  const double raw = (hi - lo) / std::max(target, 1);
  const double base = std::pow(10.0, std::floor(std::log10(raw)));
  double step = base * 10;
  for (double f : {5.0, 2.0, 1.0})
    if (base * f >= raw * 0.75) step = base * f;
  std::vector<double> ticks;
  if (!std::isfinite(step) || step <= 0) return {lo, hi};
  // From the tick at or below lo to the one at or above hi, so that the axis ends on ticks.
  const double first = std::floor(lo / step + 1e-9);
  for (int i = 0; i < 12; ++i) {
    const double t = (first + i) * step;
    ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    if (t >= hi - step * 1e-9) break;
  }
  if (ticks.empty()) ticks = {lo, hi};
  return ticks;
}

std::string svg_text(const SvgPlot& p) {
  double x0 = std::numeric_limits<double>::infinity(), x1 = -x0, y0 = x0, y1 = -x0;
  for (const SvgSeries& s : p.series)
    for (size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
      if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
      x0 = std::min(x0, s.x[i]);
      x1 = std::max(x1, s.x[i]);
      y0 = std::min(y0, s.y[i]);
      y1 = std::max(y1, s.y[i]);
    }
  widen(x0, x1);
  widen(y0, y1);
  const auto xt = tick_values(x0, x1), yt = tick_values(y0, y1);
  // The axes run over whole ticks where the ticks reach past the data.
  x0 = std::min(x0, xt.front());
  x1 = std::max(x1, xt.back());
  y0 = std::min(y0, yt.front());
  y1 = std::max(y1, yt.back());
  const double pw = kW - kLeft - kRight, ph = kH - kTop - kBottom;
  auto X = [&](double v) { return kLeft + (v - x0) / (x1 - x0) * pw; };
  auto Y = [&](double v) { return kTop + (1 - (v - y0) / (y1 - y0)) * ph; };

  std::string o = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  o += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(kW) + "\" height=\"" + num(kH) +
       "\" viewBox=\"0 0 " + num(kW) + " " + num(kH) +
       "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  o += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  o += "<text x=\"" + num(kLeft + pw / 2) + "\" y=\"22\" text-anchor=\"middle\" font-size=\"14\">" +
       esc(p.title) + "</text>\n";
  o += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" + num(pw) +
       "\" height=\"" + num(ph) + "\" fill=\"none\" stroke=\"black\"/>\n";
  for (double t : xt) {
    const std::string x = num(X(t));
    o += "<line x1=\"" + x + "\" y1=\"" + num(kTop + ph) + "\" x2=\"" + x + "\" y2=\"" +
         num(kTop + ph + 5) + "\" stroke=\"black\"/>\n";
    o += "<text x=\"" + x + "\" y=\"" + num(kTop + ph + 18) + "\" text-anchor=\"middle\">" +
         tick_label(t, xt.size() > 1 ? xt[1] - xt[0] : 1) + "</text>\n";
  }
  for (double t : yt) {
    const std::string y = num(Y(t));
    o += "<line x1=\"" + num(kLeft - 5) + "\" y1=\"" + y + "\" x2=\"" + num(kLeft) + "\" y2=\"" +
         y + "\" stroke=\"black\"/>\n";
    o += "<text x=\"" + num(kLeft - 8) + "\" y=\"" + num(Y(t) + 4) + "\" text-anchor=\"end\">" +
         tick_label(t, yt.size() > 1 ? yt[1] - yt[0] : 1) + "</text>\n";
  }
  o += "<text x=\"" + num(kLeft + pw / 2) + "\" y=\"" + num(kH - 15) +
       "\" text-anchor=\"middle\">" + esc(p.x_label) + "</text>\n";
  o += "<text transform=\"translate(18 " + num(kTop + ph / 2) +
       ") rotate(-90)\" text-anchor=\"middle\">" + esc(p.y_label) + "</text>\n";
  o += "<g fill=\"none\" stroke-width=\"1.2\">\n";
  for (const SvgSeries& s : p.series) {
    std::string pts;
    for (size_t i = 0; i < s.x.size() && i < s.y.size(); ++i)
      if (std::isfinite(s.x[i]) && std::isfinite(s.y[i]))
        pts += num(X(s.x[i])) + "," + num(Y(s.y[i])) + " ";
    if (pts.empty()) continue;
    pts.pop_back();
    o += "<polyline stroke=\"" + s.colour + "\"" + (s.dashed ? " stroke-dasharray=\"5 3\"" : "") +
         " points=\"" + pts + "\"/>\n";
  }
  o += "</g>\n";
  double ly = kTop + 10;
  for (const SvgSeries& s : p.series) {
    if (s.name.empty()) continue;
    o += "<line x1=\"" + num(kW - kRight + 15) + "\" y1=\"" + num(ly) + "\" x2=\"" +
         num(kW - kRight + 40) + "\" y2=\"" + num(ly) + "\" stroke=\"" + s.colour +
         "\" stroke-width=\"2\"" + (s.dashed ? " stroke-dasharray=\"5 3\"" : "") + "/>\n";
    o += "<text x=\"" + num(kW - kRight + 46) + "\" y=\"" + num(ly + 4) + "\">" + esc(s.name) +
         "</text>\n";
    ly += 18;
  }
  return o + "</svg>\n";
}

}  // namespace ferolan::cli
