#include "engine/data/data_set.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "engine/import/import.h"
#include "engine/import/import_common.h"

namespace ferolan {

void DataSet::reserve(int spectra, int points) {
  spectra = std::max({spectra, spectra_capacity(), 0});
  points = std::max({points, points_capacity(), 0});
  ph_values.resize(static_cast<size_t>(spectra) + 1);
  spectrum_used.resize(static_cast<size_t>(spectra) + 1);
  wavelengths.resize(static_cast<size_t>(points) + 1);
  absorbance.resize(points + 1, spectra + 1, 16);
}

void DataSet::resize(int spectra, int points) {
  reserve(spectra, points);
  n_spectra = spectra;
  n_wavelengths = points;
}

namespace {

DataSetResult refuse(std::string code, std::string english, std::string ukrainian, int spectrum = 0,
                     int point = 0) {
  DataSetResult r;
  r.problem = {std::move(code), std::move(english), std::move(ukrainian), spectrum, point};
  return r;
}

std::string n(size_t v) {
  return std::to_string(v);
}

}  // namespace

bool usable_ph(float ph) {
  const double h = std::pow(10.0, -static_cast<double>(ph));
  return std::isfinite(ph) && std::isfinite(h * h * h * h * h);
}

DataSetResult make_data_set(std::span<const double> ph, std::span<const double> wavelengths,
                            std::span<const double> absorbance, double acid_conc) {
  const size_t ns = ph.size(), np = wavelengths.size();
  if (ns == 0)
    return refuse("no_spectra", "there is no spectrum (no pH value)",
                  "Немає жодного спектра (жодного значення рН).");
  if (np == 0)
    return refuse("no_points", "there is no wavelength point", "Немає жодної точки довжини хвилі.");
  // Counts are ints, and the fit's scratch rounds them up by a few.
  constexpr size_t kMost = std::numeric_limits<int>::max() - 64;
  if (ns > kMost)
    return refuse("too_many_spectra", n(ns) + " spectra, more than " + n(kMost),
                  "Спектрів " + n(ns) + ", а їх може бути не більше " + n(kMost) + ".");
  if (np > kMost)
    return refuse("too_many_points", n(np) + " wavelength points, more than " + n(kMost),
                  "Точок довжини хвилі " + n(np) + ", а їх може бути не більше " + n(kMost) + ".");
  if (absorbance.size() != ns * np)
    return refuse("size_mismatch",
                  n(absorbance.size()) + " absorbances for " + n(ns) + " spectra of " + n(np) +
                      " points (" + n(ns * np) + " expected)",
                  "Поглинань " + n(absorbance.size()) + ", а " + n(ns) + " спектрів по " + n(np) +
                      " точок потребують " + n(ns * np) + ".");

  float conc = 0;
  if (!std::isfinite(acid_conc) || !to_single(acid_conc, conc))
    return refuse("concentration_not_a_number",
                  "the acid concentration is not a finite number within ±3.4e38",
                  "Концентрація кислоти не є скінченним числом у межах ±3.4e38.");
  if (!(conc > 0))
    return refuse("concentration_not_positive", "the acid concentration is not above zero",
                  "Концентрація кислоти має бути більшою за нуль.");
  std::unique_ptr<DataSet> data;
  std::vector<float> ph_single;
  std::vector<size_t> order, column;
  try {
    data = std::make_unique<DataSet>(static_cast<int>(ns), static_cast<int>(np));
    ph_single.resize(ns);
    order.resize(ns);
    column.resize(ns);
  } catch (const std::bad_alloc&) {
    return refuse("out_of_memory", "no memory for " + n(ns) + " spectra of " + n(np) + " points",
                  "Не вистачає пам'яті для " + n(ns) + " спектрів по " + n(np) + " точок.");
  }
  DataSet& d = *data;
  d.acid_conc = conc;
  for (size_t s = 0; s < ns; ++s) {
    const int at = static_cast<int>(s) + 1;
    if (!to_single(ph[s], ph_single[s]))
      return refuse("ph_not_a_number",
                    "the pH of spectrum " + n(at) + " is not a finite number within ±3.4e38",
                    "Значення рН спектра №" + n(at) + " не є скінченним числом у межах ±3.4e38.",
                    at);
    if (!usable_ph(ph_single[s]))
      return refuse(
          "ph_out_of_range", "the pH of spectrum " + n(at) + " is beyond what the fit can take",
          "Значення рН спектра №" + n(at) + " виходить за межі, з якими може працювати розрахунок.",
          at);
  }
  for (size_t w = 0; w < np; ++w) {
    const int at = static_cast<int>(w) + 1;
    if (!std::isfinite(wavelengths[w]))
      return refuse("wavelength_not_a_number",
                    "the wavelength of point " + n(at) + " is not a finite number",
                    "Довжина хвилі точки №" + n(at) + " не є скінченним числом.", 0, at);
    if (!to_wavelength(wavelengths[w], d.wavelengths[at]))
      return refuse("wavelength_out_of_range",
                    "the wavelength of point " + n(at) + " is outside -32768..32767 nm",
                    "Довжина хвилі точки №" + n(at) + " виходить за межі від -32768 до 32767 нм.",
                    0, at);
  }
  // Sorted by pH as the imports sort: their passes of swaps keep equal pH in order, as a
  // stable sort does (every pH is finite here), and a spectrum is moved once, not n times.
  for (size_t s = 0; s < ns; ++s) order[s] = s;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return ph_single[a] < ph_single[b]; });
  for (size_t to = 0; to < ns; ++to) {
    column[order[to]] = to + 1;
    d.ph_values[to + 1] = ph_single[order[to]];
  }
  for (size_t s = 0; s < ns; ++s) {
    const int si = static_cast<int>(s) + 1, col = static_cast<int>(column[s]);
    for (size_t w = 0; w < np; ++w) {
      const int wi = static_cast<int>(w) + 1;
      if (!to_single(absorbance[s * np + w], d.absorbance[wi][col]))
        return refuse("absorbance_not_a_number",
                      "the absorbance of spectrum " + n(si) + " at point " + n(wi) +
                          " is not a finite number within ±3.4e38",
                      "Поглинання спектра №" + n(si) + " у точці №" + n(wi) +
                          " не є скінченним числом у межах ±3.4e38.",
                      si, wi);
    }
  }
  find_a_max(d);
  for (size_t s = 1; s <= ns; ++s) d.spectrum_used[s] = 1;
  DataSetResult r;
  r.data = std::move(data);
  return r;
}

}  // namespace ferolan
