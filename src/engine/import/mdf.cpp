#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <string>

#include "engine/import/import.h"
#include "engine/import/import_common.h"
#include "engine/import/mdf_fields.h"
#include "engine/import/number.h"

namespace ferolan {

namespace {

// The fields of data.mdf read as numbers, with the problem of a missing or unreadable one.
class Fields {
 public:
  explicit Fields(std::string_view text) : in_(text) {}

  bool at_end() { return in_.at_end(); }

  // The next field's value; nullopt at the end or for a field that is not a number
  // (problem then says which).
  std::optional<double> next(std::string& problem, const char* missing) {
    if (in_.at_end()) {
      problem = import_problem(missing);
      return std::nullopt;
    }
    const std::string_view f = in_.next();
    if (!is_number_text(f)) {
      problem = import_problem(where() + " не число.");
      return std::nullopt;
    }
    return leading_number(f);
  }

  std::string where() const {
    return "у data.mdf у рядку " + std::to_string(in_.line()) + " поле " +
           std::to_string(in_.field());
  }

 private:
  MdfFields in_;
};

const char kNoWavelength[] = "data.mdf закінчується до першої довжини хвилі.";

}  // namespace

// With at most max_spectra spectra and max_points points; out grows as the file needs.
bool read_mdf(std::string_view text, DataSet& out, std::string& problem, int max_spectra,
              int max_points) {
  Fields in(text);
  if (in.at_end()) {
    problem = import_problem("файл data.mdf порожній.");
    return false;
  }
  auto single = [&](const char* missing, float& dst) {
    const std::optional<double> v = in.next(problem, missing);
    if (!v) return false;
    if (to_single(*v, dst)) return true;
    problem = import_problem(in.where() + " число поза допустимими межами.");
    return false;
  };
  auto wavelength = [&](double v, int16_t& dst) {
    if (to_wavelength(v, dst)) return true;
    problem = import_problem(in.where() + " довжина хвилі поза межами -32768…32767.");
    return false;
  };

  out.reserve(std::min(max_spectra, kWindowSpectra), std::min(max_points, kWindowPoints));
  // Room doubles as the file goes on, so that growing costs no more than the data once.
  auto room_for = [&](int spectra, int points) {
    const auto twice = [](int v, int most) {
      return static_cast<int>(std::min(2L * v, 1L * most));
    };
    if (spectra > out.spectra_capacity() || points > out.points_capacity())
      out.reserve(spectra > out.spectra_capacity() ? twice(spectra, max_spectra) : spectra,
                  points > out.points_capacity() ? twice(points, max_points) : points);
  };
  float conc = 0;
  if (!single(kNoWavelength, conc)) return false;
  out.acid_conc = conc == 0 ? 10.0f : conc;

  // The pH list ends at the first value above 20, which is the first wavelength. Above 20
  // already after the concentration means no spectra: every further field is a wavelength.
  int n = max_spectra;
  for (int i = 1; i <= max_spectra; ++i) {
    room_for(i, 1);
    if (!single(kNoWavelength, out.ph_values[i])) return false;
    if (out.ph_values[i] > 20) {
      n = i - 1;
      if (!wavelength(out.ph_values[i], out.wavelengths[1])) return false;
      out.ph_values[i] = 0;
      break;
    }
  }
  if (n == max_spectra) {
    const std::optional<double> v = in.next(problem, kNoWavelength);
    if (!v || !wavelength(*v, out.wavelengths[1])) return false;
  }
  out.n_spectra = n;

  std::string row_cut;
  auto read_row = [&](int w) {
    row_cut = "data.mdf закінчується посеред рядка довжини хвилі " +
              std::to_string(out.wavelengths[w]) + " нм.";
    for (int s = 1; s <= n; ++s)
      if (!single(row_cut.c_str(), out.absorbance[w][s])) return false;
    return true;
  };
  if (!read_row(1)) return false;
  out.n_wavelengths = max_points;
  for (int w = 2; w <= max_points; ++w) {
    if (in.at_end()) {
      out.n_wavelengths = w - 1;
      break;
    }
    room_for(n, w);
    const std::optional<double> v = in.next(problem, kNoWavelength);
    if (!v || !wavelength(*v, out.wavelengths[w]) || !read_row(w)) return false;
  }
  return true;
}

bool parse_mdf(std::string_view text, DataSet& out, std::string& problem) {
  return read_mdf(text, out, problem, kWindowSpectra, kWindowPoints);
}

bool parse_mdf_whole(std::string_view text, DataSet& out, std::string& problem,
                     std::string& window_note) {
  window_note.clear();
  try {
    // A file ends its pH list with a wavelength and its rows with its end.
    if (!read_mdf(text, out, problem, kMostSpectra, kMostPoints)) return false;
  } catch (const std::bad_alloc&) {
    problem = import_problem("для data.mdf не вистачає пам'яті.");
    return false;
  }
  if (out.n_spectra > kWindowSpectra || out.n_wavelengths > kWindowPoints)
    window_note = "the window would read only the first " + std::to_string(kWindowSpectra) +
                  " spectra and " + std::to_string(kWindowPoints) +
                  " points of this data.mdf (it holds " + std::to_string(out.n_spectra) +
                  " spectra of " + std::to_string(out.n_wavelengths) + " points)";
  return true;
}

}  // namespace ferolan
