#include "engine/analysis/refine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/analysis/linalg.h"

namespace ferolan::analysis {

namespace {

constexpr double kLn10 = 2.302585092994046;
constexpr double kEpsMax = 200000;  // the fit's clamp of a form's spectrum
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// How far beyond the measured pH a constant may wander during the iterations: far enough that
// "off range" is seen, near enough that the forms' concentrations stay representable.
constexpr double kBox = 8;
constexpr double kMaxStep = 2;  // pKa (or ln factor) per iteration

// The least-squares problem with the forms' spectra projected out. Rows are the spectra of
// every titration, in order; at[w * n + i] is the absorbance of row i at point w.
struct Problem {
  int n = 0, points = 0, forms = 0, titrations = 0;
  std::vector<double> at, lnh, scale;
  std::vector<int> titration;            // of each row
  std::vector<std::vector<int>> groups;  // rows that share one set of forms' spectra
  Arr1<double, kSlots> pk{};             // held values (fitted ones come from theta)
  std::vector<int> slots;
  bool factors = false;
  int q() const { return static_cast<int>(slots.size()) + (factors ? titrations - 1 : 0); }
};

struct Eval {
  double rss = 0;
  std::vector<double> rss_t;
  std::vector<double> r;  // r[w * n + i]
  // With the Jacobian J (∂r/∂θ, never stored whole: it would be q × n × points): JᵀJ (lower
  // triangle, q × q) and Jᵀr, summed in the order of r's elements.
  std::vector<double> jtj, jtr;
  std::vector<double> jw;  // J's rows of one point, jw[p * n + i]
};

// Inverse of a normal matrix over the forms it determines. The columns are scaled to a unit
// diagonal and swept in order of their remaining pivot; a form whose concentrations are (to
// rounding) a combination of the others', or absent, gets a zero row and column, so its
// spectrum comes out 0 where a plain elimination would give rounding noise.
std::vector<double> normal_inverse(const std::vector<double>& m, int f) {
  std::vector<double> d(f), a(static_cast<size_t>(f) * f, 0.0), inv(a.size(), 0.0);
  for (int j = 0; j < f; ++j) d[j] = m[j * f + j] > 0 ? std::sqrt(m[j * f + j]) : 0;
  for (int r = 0; r < f; ++r)
    for (int c = 0; c < f; ++c)
      if (d[r] > 0 && d[c] > 0) a[r * f + c] = m[r * f + c] / (d[r] * d[c]);
  std::vector<bool> swept(f, false), kept(f, false);
  for (int step = 0; step < f; ++step) {
    int k = -1;
    for (int j = 0; j < f; ++j)
      if (!swept[j] && d[j] > 0 && (k < 0 || a[j * f + j] > a[k * f + k])) k = j;
    if (k < 0 || !(a[k * f + k] > 1e-12)) break;
    swept[k] = kept[k] = true;
    const double p = a[k * f + k];
    for (int c = 0; c < f; ++c) a[k * f + c] /= p;
    for (int r = 0; r < f; ++r) {
      if (r == k) continue;
      const double b = a[r * f + k];
      for (int c = 0; c < f; ++c) a[r * f + c] -= b * a[k * f + c];
      a[r * f + k] = -b / p;
    }
    a[k * f + k] = 1 / p;
  }
  for (int r = 0; r < f; ++r)
    for (int c = 0; c < f; ++c)
      if (kept[r] && kept[c]) inv[r * f + c] = a[r * f + c] / (d[r] * d[c]);
  return inv;
}

// The points of one group of rows i0..i1-1 (consecutive): the forms' spectra, residuals and,
// with jac, the Jacobian. F, the forms present, is fixed so that the loops over forms unroll.
template <int F>
void points_pass(const Problem& pb, int i0, int i1, const std::vector<double>& conc,
                 const std::vector<double>& dconc, const std::vector<double>& minv,
                 const std::vector<double>& kp, bool jac, Eval& out, std::vector<double>& ru) {
  const int n = pb.n, q = pb.q();
  double b[kForms], eu[kForms], ec[kForms], v[kForms], de[kForms];
  double* jw = out.jw.data();
  double* jtj = out.jtj.data();
  double* jtr = out.jtr.data();
  for (int w = 0; w < pb.points; ++w) {
    const double* aw = &pb.at[static_cast<size_t>(w) * n];
    std::fill(b, b + F, 0.0);
    for (int i = i0; i < i1; ++i)
      for (int a = 0; a < F; ++a) b[a] += conc[i * F + a] * aw[i];
    bool free_a[kForms];
    for (int a = 0; a < F; ++a) {
      double x = 0;
      for (int c = 0; c < F; ++c) x += minv[a * F + c] * b[c];
      eu[a] = x;
      ec[a] = x < 0 ? 0 : x > kEpsMax ? kEpsMax : x;
      free_a[a] = ec[a] == x;
    }
    for (int i = i0; i < i1; ++i) {
      double fit = 0, fit_u = 0;
      for (int a = 0; a < F; ++a) {
        fit += conc[i * F + a] * ec[a];
        fit_u += conc[i * F + a] * eu[a];
      }
      const double r = aw[i] - fit;
      out.r[static_cast<size_t>(w) * n + i] = r;
      ru[i] = aw[i] - fit_u;
      out.rss += r * r;
      out.rss_t[pb.titration[i]] += r * r;
    }
    if (!jac) continue;
    // e = M⁻¹Cᵀa: de = M⁻¹(dCᵀ r_u − Cᵀ dC e); a clamped value does not move.
    for (int p = 0; p < q; ++p) {
      const double* dc = &dconc[static_cast<size_t>(p) * n * F];
      for (int a = 0; a < F; ++a) {
        double x = 0;
        for (int c = 0; c < F; ++c) x -= kp[(p * F + a) * F + c] * eu[c];
        v[a] = x;
      }
      for (int i = i0; i < i1; ++i)
        for (int a = 0; a < F; ++a) v[a] += dc[i * F + a] * ru[i];
      for (int a = 0; a < F; ++a) {
        double x = 0;
        for (int c = 0; c < F; ++c) x += minv[a * F + c] * v[c];
        de[a] = free_a[a] ? x : 0;
      }
      double* jp = &jw[static_cast<size_t>(p) * n];
      for (int i = i0; i < i1; ++i) {
        double x = 0;
        for (int a = 0; a < F; ++a) x += dc[i * F + a] * ec[a] + conc[i * F + a] * de[a];
        jp[i] = -x;
      }
    }
    // Each sum runs over the rows in order, point after point, as over r's elements.
    const double* rw = &out.r[static_cast<size_t>(w) * n];
    for (int p = 0; p < q; ++p) {
      const double* jp = &jw[static_cast<size_t>(p) * n];
      double g = jtr[p];
      for (int i = i0; i < i1; ++i) g += jp[i] * rw[i];
      jtr[p] = g;
      for (int c = 0; c <= p; ++c) {
        const double* jc = &jw[static_cast<size_t>(c) * n];
        double x = jtj[p * q + c];
        for (int i = i0; i < i1; ++i) x += jp[i] * jc[i];
        jtj[p * q + c] = x;
      }
    }
  }
}

// Residuals (and, with jac, their Jacobian) at theta: the constants of the fitted slots, then
// ln of the factors of titrations 2..T. False when a concentration is not finite.
bool evaluate(const Problem& pb, const std::vector<double>& theta, bool jac, Eval& out) {
  const int n = pb.n, f = pb.forms, q = pb.q(), np = pb.n * pb.points;
  const int ns = static_cast<int>(pb.slots.size());
  Arr1<double, kSlots> pk = pb.pk;
  for (int c = 0; c < ns; ++c) pk[pb.slots[c]] = theta[c];

  std::vector<double> conc(static_cast<size_t>(n) * f), dconc;
  if (jac) dconc.assign(static_cast<size_t>(q) * n * f, 0.0);
  for (int i = 0; i < n; ++i) {
    double logt[kForms], alpha[kForms], tail[kForms + 1];
    logt[0] = 0;
    double top = 0;
    for (int j = 1; j < f; ++j) {
      logt[j] = logt[j - 1] - pk[j] * kLn10 - pb.lnh[i];
      top = std::max(top, logt[j]);
    }
    double sum = 0;
    for (int j = 0; j < f; ++j) sum += alpha[j] = std::exp(logt[j] - top);
    const int t = pb.titration[i];
    const double lnf = pb.factors && t > 0 ? theta[ns + t - 1] : 0;
    const double c0 = pb.scale[i] * std::exp(lnf) / sum;
    tail[f] = 0;
    for (int j = f - 1; j >= 0; --j) tail[j] = tail[j + 1] + alpha[j] / sum;
    for (int j = 0; j < f; ++j) {
      const double c = c0 * alpha[j];
      if (!std::isfinite(c)) return false;
      conc[i * f + j] = c;
      if (!jac) continue;
      // ∂ln c_j/∂pKa_k = −ln10 · ([j ≥ k] − fraction of the forms above k).
      for (int p = 0; p < ns; ++p) {
        const int k = pb.slots[p];
        dconc[(static_cast<size_t>(p) * n + i) * f + j] = -kLn10 * c * ((j >= k ? 1 : 0) - tail[k]);
      }
      if (pb.factors && t > 0) dconc[(static_cast<size_t>(ns + t - 1) * n + i) * f + j] = c;
    }
  }

  out.rss = 0;
  out.rss_t.assign(pb.titrations, 0.0);
  out.r.resize(np);  // every element is written
  if (jac) {
    out.jw.resize(static_cast<size_t>(q) * n);
    out.jtj.assign(static_cast<size_t>(q) * q, 0.0);
    out.jtr.assign(q, 0.0);
  }
  std::vector<double> ru(n), m(f * f), kp;
  for (const std::vector<int>& rows : pb.groups) {
    std::fill(m.begin(), m.end(), 0.0);
    for (int i : rows)
      for (int a = 0; a < f; ++a)
        for (int c = 0; c < f; ++c) m[a * f + c] += conc[i * f + a] * conc[i * f + c];
    const std::vector<double> minv = normal_inverse(m, f);
    // Σ c_i dc_iᵀ per parameter: the part of the normal matrix's derivative that is not
    // already in the residuals.
    if (jac) {
      kp.assign(static_cast<size_t>(q) * f * f, 0.0);
      for (int p = 0; p < q; ++p)
        for (int i : rows)
          for (int a = 0; a < f; ++a)
            for (int c = 0; c < f; ++c)
              kp[(p * f + a) * f + c] +=
                  conc[i * f + a] * dconc[(static_cast<size_t>(p) * n + i) * f + c];
    }
    const int i0 = rows.front(), i1 = rows.back() + 1;
    switch (f) {
      case 1:
        points_pass<1>(pb, i0, i1, conc, dconc, minv, kp, jac, out, ru);
        break;
      case 2:
        points_pass<2>(pb, i0, i1, conc, dconc, minv, kp, jac, out, ru);
        break;
      case 3:
        points_pass<3>(pb, i0, i1, conc, dconc, minv, kp, jac, out, ru);
        break;
      case 4:
        points_pass<4>(pb, i0, i1, conc, dconc, minv, kp, jac, out, ru);
        break;
      case 5:
        points_pass<5>(pb, i0, i1, conc, dconc, minv, kp, jac, out, ru);
        break;
      default:
        points_pass<6>(pb, i0, i1, conc, dconc, minv, kp, jac, out, ru);
    }
  }
  return std::isfinite(out.rss);
}

// JᵀJ (q × q, both triangles) and Jᵀr.
void normal_of(const Eval& e, int q, std::vector<double>& a, std::vector<double>& g) {
  a.assign(static_cast<size_t>(q) * q, 0.0);
  g = e.jtr;
  for (int p = 0; p < q; ++p)
    for (int s = 0; s <= p; ++s) a[p * q + s] = a[s * q + p] = e.jtj[p * q + s];
}

std::string format(const char* fmt, double a, double b = 0, double c = 0, double d = 0) {
  char buf[200];
  std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
  return buf;
}

RefineResult fail(RefineResult r, RefineStatus s, std::string message) {
  r.status = s;
  r.message = std::move(message);
  return r;
}

int present_of(const SlotModes& modes) {
  for (int k = 1; k <= kSlots; ++k)
    if (modes[k] == SlotMode::Removed) return k;
  return kForms;
}

// Builds the problem from the titrations; false with r's status and message when it cannot be.
bool build(const std::vector<Titration>& ts, const SlotModes& modes,
           const Arr1<double, kSlots>& start, const JointOptions& o, Problem& pb, RefineResult& r) {
  r.modes = modes;
  for (int k = 1; k <= kSlots; ++k) {
    r.pk_start[k] = modes[k] == SlotMode::Removed ? kNaN : start[k];
    r.pk[k] = r.pk_start[k];
    r.se[k] = kNaN;
  }
  if (ts.empty()) {
    r = fail(r, RefineStatus::InvalidSetup, "no titration to fit");
    return false;
  }
  pb.forms = present_of(modes);
  pb.titrations = static_cast<int>(ts.size());
  pb.factors = o.fit_factors && ts.size() > 1;
  for (int k = 1; k <= kSlots; ++k) {
    if (modes[k] == SlotMode::Removed) continue;
    if (k >= pb.forms) {
      r = fail(r, RefineStatus::InvalidSetup,
               format("pKa%.0f is not removed but a constant before it is", k));
      return false;
    }
    if (!std::isfinite(start[k])) {
      r = fail(r, RefineStatus::InvalidSetup,
               format("the start or held value of pKa%.0f is not a finite number", k));
      return false;
    }
    if (modes[k] == SlotMode::Fitted) pb.slots.push_back(k);
    pb.pk[k] = start[k];
  }
  r.fitted_slots = pb.slots;

  const size_t points = ts[0].wavelengths.size();
  double ph_min = INFINITY, ph_max = -INFINITY;
  for (size_t t = 0; t < ts.size(); ++t) {
    const Titration& x = ts[t];
    const double tn = static_cast<double>(t + 1);
    const size_t ns = x.ph.size();
    if (x.conc.size() != ns || x.absorbance.size() != ns * x.wavelengths.size()) {
      r = fail(r, RefineStatus::InvalidSetup,
               format("titration %.0f: its pH, concentrations and absorbances differ in size", tn));
      return false;
    }
    if (x.wavelengths != ts[0].wavelengths) {
      r = fail(r, RefineStatus::InvalidSetup,
               format("titration %.0f has other wavelengths than the first", tn));
      return false;
    }
    if (!(x.path_len > 0) || !std::isfinite(x.path_len)) {
      r = fail(r, RefineStatus::InvalidSetup,
               format("titration %.0f: the path length is not a positive number", tn));
      return false;
    }
    for (size_t i = 0; i < ns; ++i) {
      // The pH is bounded so that 10^-pH of the fit stays a normal double.
      if (!(std::abs(x.ph[i]) < 300) || !(x.conc[i] > 0) || !std::isfinite(x.conc[i])) {
        r = fail(r, RefineStatus::InvalidSetup,
                 format("titration %.0f, spectrum %.0f: the pH or the concentration is unusable",
                        tn, static_cast<double>(i + 1)));
        return false;
      }
      ph_min = std::min(ph_min, x.ph[i]);
      ph_max = std::max(ph_max, x.ph[i]);
    }
    for (size_t i = 0; i < x.absorbance.size(); ++i)
      if (!std::isfinite(x.absorbance[i])) {
        r = fail(r, RefineStatus::InvalidSetup,
                 format("titration %.0f, spectrum %.0f: an absorbance is not a finite number", tn,
                        static_cast<double>(i / x.wavelengths.size() + 1)));
        return false;
      }
    const int needed = pb.forms - 1 + 2;
    if (static_cast<int>(ns) < needed) {
      r = fail(r, RefineStatus::TooFewData,
               format("titration %.0f has %.0f spectra; %.0f constants need at least %.0f", tn,
                      static_cast<double>(ns), pb.forms - 1, needed));
      return false;
    }
  }
  r.ph_min = ph_min;
  r.ph_max = ph_max;
  if (points == 0) {
    r = fail(r, RefineStatus::TooFewData, "no wavelength point");
    return false;
  }

  pb.points = static_cast<int>(points);
  for (const Titration& x : ts) pb.n += static_cast<int>(x.ph.size());
  pb.at.resize(static_cast<size_t>(pb.n) * pb.points);
  int row = 0;
  for (size_t t = 0; t < ts.size(); ++t) {
    const Titration& x = ts[t];
    if (o.sharing == SpectraSharing::PerTitration || pb.groups.empty()) pb.groups.emplace_back();
    for (size_t i = 0; i < x.ph.size(); ++i, ++row) {
      pb.lnh.push_back(-x.ph[i] * kLn10);
      pb.scale.push_back(x.conc[i] * x.path_len / ts[0].path_len);
      pb.titration.push_back(static_cast<int>(t));
      pb.groups.back().push_back(row);
      for (int w = 0; w < pb.points; ++w)
        pb.at[static_cast<size_t>(w) * pb.n + row] = x.absorbance[i * points + w];
    }
  }
  r.observations = static_cast<long>(pb.n) * pb.points;
  r.parameters = static_cast<long>(pb.groups.size()) * pb.points * pb.forms + pb.q();
  r.dof = r.observations - r.parameters;
  return true;
}

void fill_constants(const Problem& pb, const std::vector<double>& theta, RefineResult& r) {
  for (int k = 1; k <= kSlots; ++k) {
    if (r.modes[k] == SlotMode::Removed) {
      r.pk[k] = kNaN;
      r.ka[k] = 0;
      continue;
    }
    r.pk[k] = pb.pk[k];
  }
  for (size_t c = 0; c < pb.slots.size(); ++c) r.pk[pb.slots[c]] = theta[c];
  for (int k = 1; k <= kSlots; ++k)
    if (r.modes[k] != SlotMode::Removed) r.ka[k] = std::pow(10.0, -r.pk[k]);
}

// Levenberg-Marquardt (Nielsen's damping update, Marquardt's scaling) from theta.
RefineResult minimise(const Problem& pb, std::vector<double> theta, const RefineOptions& o,
                      RefineResult r) {
  const int q = pb.q(), ns = static_cast<int>(pb.slots.size());
  std::vector<double> lo(q), hi(q);
  for (int p = 0; p < q; ++p) {
    lo[p] = p < ns ? r.ph_min - kBox : std::log(0.02);
    hi[p] = p < ns ? r.ph_max + kBox : std::log(50.0);
    theta[p] = std::clamp(theta[p], lo[p], hi[p]);
  }
  // Kept between calls on this thread: fresh residual arrays of this size come from the
  // system zeroed, page by page, which costs as much as several iterations.
  thread_local Eval kept[2];
  Eval& cur = kept[0];
  Eval& trial = kept[1];
  if (!evaluate(pb, theta, true, cur))
    return fail(r, RefineStatus::InvalidSetup, "the start values cannot be scored");
  r.rss_start = cur.rss;
  std::vector<double> a, g;
  normal_of(cur, q, a, g);
  double lambda = 1e-3, nu = 2;
  bool converged = false;
  while (r.iterations < o.max_iterations) {
    // The cosine between the residuals and each column: 0 at a stationary point.
    double cosine = 0;
    for (int p = 0; p < q; ++p)
      if (a[p * q + p] > 0 && cur.rss > 0)
        cosine = std::max(cosine, std::abs(g[p]) / std::sqrt(a[p * q + p] * cur.rss));
    if (cosine < 1e-10) {
      converged = true;
      break;
    }
    ++r.iterations;
    std::vector<double> m = a;
    for (int p = 0; p < q; ++p) m[p * q + p] += lambda * std::max(a[p * q + p], 1e-300);
    std::vector<double> step(q, 0.0);
    if (!invert(m, q)) {
      lambda *= nu;
      nu *= 2;
      if (lambda > 1e16) break;
      continue;
    }
    double largest = 0;
    for (int p = 0; p < q; ++p) {
      for (int s = 0; s < q; ++s) step[p] -= m[p * q + s] * g[s];
      largest = std::max(largest, std::abs(step[p]));
    }
    if (largest > kMaxStep)
      for (double& x : step) x *= kMaxStep / largest;
    std::vector<double> next(q);
    double predicted = 0, moved = 0;
    for (int p = 0; p < q; ++p) {
      next[p] = std::clamp(theta[p] + step[p], lo[p], hi[p]);
      step[p] = next[p] - theta[p];
      moved = std::max(moved, std::abs(step[p]));
      predicted -= g[p] * step[p];
      for (int s = 0; s < q; ++s) predicted -= 0.5 * step[p] * a[p * q + s] * step[s];
    }
    if (moved < 1e-12) {
      converged = true;
      break;
    }
    if (evaluate(pb, next, true, trial) && trial.rss < cur.rss) {
      const double rho = predicted > 0 ? 0.5 * (cur.rss - trial.rss) / predicted : 0;
      const double drop = (cur.rss - trial.rss) / cur.rss;
      std::swap(cur, trial);
      theta = next;
      normal_of(cur, q, a, g);
      lambda *= std::max(1.0 / 3, 1 - std::pow(2 * rho - 1, 3));
      nu = 2;
      if (moved < 1e-9 && drop < 1e-12) {
        converged = true;
        break;
      }
    } else {
      lambda *= nu;
      nu *= 2;
      // No step lowers the score any more: it is at its minimum to rounding.
      if (lambda > 1e16) {
        converged = true;
        break;
      }
    }
  }

  fill_constants(pb, theta, r);
  r.rss = cur.rss;
  r.s_a = std::sqrt(cur.rss / static_cast<double>(r.observations));
  r.s_a_start = std::sqrt(r.rss_start / static_cast<double>(r.observations));
  r.s_a_titration.clear();
  {
    std::vector<long> obs(pb.titrations, 0);
    for (int i = 0; i < pb.n; ++i) obs[pb.titration[i]] += pb.points;
    for (int t = 0; t < pb.titrations; ++t)
      r.s_a_titration.push_back(std::sqrt(cur.rss_t[t] / static_cast<double>(obs[t])));
  }
  r.factor.assign(pb.titrations, 1.0);
  r.factor_se.assign(pb.titrations, pb.factors ? 0.0 : kNaN);
  if (pb.factors)
    for (int t = 1; t < pb.titrations; ++t) r.factor[t] = std::exp(theta[ns + t - 1]);

  if (r.dof > 0) {
    const double s2 = cur.rss / static_cast<double>(r.dof);
    r.s_a_dof = std::sqrt(s2);
    std::vector<double> inv = a;
    if (invert(inv, q)) {
      r.covariance.resize(inv.size());
      for (size_t i = 0; i < inv.size(); ++i) r.covariance[i] = s2 * inv[i];
      std::vector<double> sd(q);
      for (int p = 0; p < q; ++p) sd[p] = std::sqrt(std::max(r.covariance[p * q + p], 0.0));
      r.correlation.resize(inv.size());
      for (int p = 0; p < q; ++p)
        for (int s = 0; s < q; ++s)
          r.correlation[p * q + s] = r.covariance[p * q + s] / (sd[p] * sd[s]);
      for (int c = 0; c < ns; ++c) r.se[pb.slots[c]] = sd[c];
      if (pb.factors)
        for (int t = 1; t < pb.titrations; ++t) r.factor_se[t] = r.factor[t] * sd[ns + t - 1];
    } else {
      r.message = "the constants are not determined at the minimum (singular Jacobian)";
    }
  }

  r.status = converged ? RefineStatus::Converged : RefineStatus::IterationLimit;
  if (!converged)
    r.message = format("no convergence in %.0f iterations", static_cast<double>(o.max_iterations));
  for (int k : pb.slots)
    if (r.pk[k] < r.ph_min - o.off_range || r.pk[k] > r.ph_max + o.off_range) {
      r.status = RefineStatus::OffRange;
      r.message = format("pKa%.0f = %.2f lies more than %.1f", k, r.pk[k], o.off_range) +
                  format(" beyond the measured pH %.2f … %.2f", r.ph_min, r.ph_max);
      break;
    }
  return r;
}

RefineResult run(const std::vector<Titration>& ts, const SlotModes& modes,
                 const Arr1<double, kSlots>& start, const JointOptions& o) {
  const auto t0 = std::chrono::steady_clock::now();
  RefineResult r;
  Problem pb;
  if (build(ts, modes, start, o, pb, r)) {
    if (pb.slots.empty()) {
      r = fail(r, RefineStatus::NoFittedConstant, "no constant is fitted");
    } else if (r.dof <= 0) {
      r = fail(r, RefineStatus::TooFewData, "more parameters than absorbances");
    } else {
      std::vector<double> theta;
      for (int k : pb.slots) theta.push_back(start[k]);
      if (pb.factors) theta.resize(pb.q(), 0.0);
      r = minimise(pb, theta, o.refine, r);
    }
  }
  r.elapsed_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

}  // namespace

const char* refine_status_name(RefineStatus s) {
  switch (s) {
    case RefineStatus::Converged:
      return "converged";
    case RefineStatus::IterationLimit:
      return "iteration_limit";
    case RefineStatus::OffRange:
      return "off_range";
    case RefineStatus::NoFittedConstant:
      return "no_fitted_constant";
    case RefineStatus::InvalidSetup:
      return "invalid_setup";
    case RefineStatus::TooFewData:
      return "too_few_data";
  }
  return "";
}

bool refine_has_result(RefineStatus s) {
  return s == RefineStatus::Converged || s == RefineStatus::IterationLimit ||
         s == RefineStatus::OffRange;
}

Titration titration_of(const DataSet& data, double path_len) {
  Titration t;
  t.path_len = path_len;
  const int points = std::clamp(data.n_wavelengths, 0, data.points_capacity());
  for (int w = 1; w <= points; ++w) t.wavelengths.push_back(data.wavelengths[w]);
  const int spectra = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  t.absorbance.reserve(static_cast<size_t>(spectra) * points);
  for (int s = 1; s <= spectra; ++s) {
    if (data.spectrum_used[s] == 0) continue;
    t.ph.push_back(data.ph_values[s]);
    t.conc.push_back(data.acid_conc);
    for (int w = 1; w <= points; ++w) t.absorbance.push_back(data.absorbance[w][s]);
  }
  return t;
}

std::optional<Titration> titration_of(const DataSet& data, double path_len,
                                      std::span<const double> conc) {
  const int spectra = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  if (conc.size() != static_cast<size_t>(spectra)) return std::nullopt;
  Titration t = titration_of(data, path_len);
  size_t i = 0;
  for (int s = 1; s <= spectra; ++s)
    if (data.spectrum_used[s] != 0) t.conc[i++] = conc[s - 1];
  return t;
}

RefineResult refine(const DataSet& data, const SlotModes& modes, const Arr1<double, kSlots>& start,
                    const RefineOptions& options) {
  JointOptions o;
  o.refine = options;
  return run({titration_of(data)}, modes, start, o);
}

RefineResult refine_joint(const std::vector<Titration>& titrations, const SlotModes& modes,
                          const Arr1<double, kSlots>& start, const JointOptions& options) {
  return run(titrations, modes, start, options);
}

std::vector<std::vector<double>> joint_residuals(const std::vector<Titration>& ts,
                                                 const SlotModes& modes,
                                                 const Arr1<double, kSlots>& pk,
                                                 const std::vector<double>& factors,
                                                 const JointOptions& options) {
  Problem pb;
  RefineResult r;
  if (!build(ts, modes, pk, options, pb, r)) return {};
  std::vector<double> theta;
  for (int k : pb.slots) theta.push_back(pk[k]);
  if (pb.factors)
    for (int t = 1; t < pb.titrations; ++t)
      theta.push_back(t < static_cast<int>(factors.size()) && factors[t] > 0 ? std::log(factors[t])
                                                                             : 0.0);
  Eval e;
  if (!evaluate(pb, theta, false, e)) return {};
  std::vector<std::vector<double>> out(ts.size());
  int row = 0;
  for (size_t t = 0; t < ts.size(); ++t)
    for (size_t i = 0; i < ts[t].ph.size(); ++i, ++row)
      for (int w = 0; w < pb.points; ++w)
        out[t].push_back(e.r[static_cast<size_t>(w) * pb.n + row]);
  return out;
}

double refine_score(const DataSet& data, const SlotModes& modes, const Arr1<double, kSlots>& pk) {
  Problem pb;
  RefineResult r;
  if (!build({titration_of(data)}, modes, pk, JointOptions{}, pb, r)) return kNaN;
  std::vector<double> theta;
  for (int k : pb.slots) theta.push_back(pk[k]);
  Eval e;
  if (!evaluate(pb, theta, false, e)) return kNaN;
  return std::sqrt(e.rss / static_cast<double>(r.observations));
}

}  // namespace ferolan::analysis
