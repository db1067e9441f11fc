#include "engine/data/data_set.h"

#include <cmath>
#include <string>

#include "engine/import/import.h"
#include "engine/import/import_common.h"

namespace ferolan {

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
  if (ns > kMaxSpectra)
    return refuse("too_many_spectra", n(ns) + " spectra, more than " + n(kMaxSpectra),
                  "Спектрів " + n(ns) + ", а їх може бути не більше " + n(kMaxSpectra) + ".");
  if (np > kMaxPoints)
    return refuse(
        "too_many_points", n(np) + " wavelength points, more than " + n(kMaxPoints),
        "Точок довжини хвилі " + n(np) + ", а їх може бути не більше " + n(kMaxPoints) + ".");
  if (absorbance.size() != ns * np)
    return refuse("size_mismatch",
                  n(absorbance.size()) + " absorbances for " + n(ns) + " spectra of " + n(np) +
                      " points (" + n(ns * np) + " expected)",
                  "Поглинань " + n(absorbance.size()) + ", а " + n(ns) + " спектрів по " + n(np) +
                      " точок потребують " + n(ns * np) + ".");

  auto data = std::make_unique<DataSet>();
  DataSet& d = *data;
  float conc = 0;
  if (!std::isfinite(acid_conc) || !to_single(acid_conc, conc))
    return refuse("concentration_not_a_number",
                  "the acid concentration is not a finite number within ±3.4e38",
                  "Концентрація кислоти не є скінченним числом у межах ±3.4e38.");
  if (!(conc > 0))
    return refuse("concentration_not_positive", "the acid concentration is not above zero",
                  "Концентрація кислоти має бути більшою за нуль.");
  d.acid_conc = conc;
  d.n_spectra = static_cast<int16_t>(ns);
  d.n_wavelengths = static_cast<int16_t>(np);
  for (size_t s = 0; s < ns; ++s) {
    const int at = static_cast<int>(s) + 1;
    if (!to_single(ph[s], d.ph_values[at]))
      return refuse("ph_not_a_number",
                    "the pH of spectrum " + n(at) + " is not a finite number within ±3.4e38",
                    "Значення рН спектра №" + n(at) + " не є скінченним числом у межах ±3.4e38.",
                    at);
    if (!usable_ph(d.ph_values[at]))
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
  for (size_t s = 0; s < ns; ++s)
    for (size_t w = 0; w < np; ++w) {
      const int si = static_cast<int>(s) + 1, wi = static_cast<int>(w) + 1;
      if (!to_single(absorbance[s * np + w], d.absorbance[wi][si]))
        return refuse("absorbance_not_a_number",
                      "the absorbance of spectrum " + n(si) + " at point " + n(wi) +
                          " is not a finite number within ±3.4e38",
                      "Поглинання спектра №" + n(si) + " у точці №" + n(wi) +
                          " не є скінченним числом у межах ±3.4e38.",
                      si, wi);
    }
  sort_by_ph(d);
  find_a_max(d);
  for (size_t s = 1; s <= ns; ++s) d.spectrum_used[s] = 1;
  DataSetResult r;
  r.data = std::move(data);
  return r;
}

}  // namespace ferolan
