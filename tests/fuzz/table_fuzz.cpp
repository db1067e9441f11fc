// The batch tool's reader of spectra files: any bytes are refused with a code and a sentence,
// or give a data set whose sizes fit the text it came from and which reads back unchanged
// when written as a table.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/data_file.h"
#include "engine/import/import.h"
#include "engine/import/mdf_fields.h"
#include "fuzz_check.h"

namespace {

using namespace ferolan;
using namespace ferolan::cli;

size_t lines_in(std::string_view t) {
  size_t n = 1;
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] == '\n' || (t[i] == '\r' && (i + 1 == t.size() || t[i + 1] != '\n'))) ++n;
  return n;
}

std::string as_table(const DataSet& d) {
  char b[64];
  std::snprintf(b, sizeof b, "%.9g", static_cast<double>(d.acid_conc));
  std::string t = b;
  for (int s = 1; s <= d.n_spectra; ++s) {
    std::snprintf(b, sizeof b, "\t%.9g", static_cast<double>(d.ph_values[s]));
    t += b;
  }
  t += "\n";
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    t += std::to_string(d.wavelengths[w]);
    for (int s = 1; s <= d.n_spectra; ++s) {
      std::snprintf(b, sizeof b, "\t%.9g", static_cast<double>(d.absorbance[w][s]));
      t += b;
    }
    t += "\n";
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the name and the layout asked for.
  static const char* const kNames[] = {"a.txt", "a.csv", "a.mdf", "a.tsv"};
  static const InputFormat kFormats[] = {InputFormat::Detect, InputFormat::Table, InputFormat::Mdf};
  const std::string_view name = kNames[data[0] & 3];
  const InputFormat asked = kFormats[(data[0] >> 2) % 3];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const DataFile f = read_data_file(name, text, asked);
  if (!f.ok) {
    FUZZ_CHECK(!f.code.empty());
    FUZZ_CHECK(!f.message.empty());
    FUZZ_CHECK(!f.data);
    return 0;
  }
  FUZZ_CHECK(f.code.empty());
  FUZZ_CHECK(f.data);
  FUZZ_CHECK(f.format == InputFormat::Table || f.format == InputFormat::Mdf);
  FUZZ_CHECK(asked == InputFormat::Detect || f.format == asked);
  const DataSet& d = *f.data;
  FUZZ_CHECK(d.n_spectra >= 1 && d.n_spectra <= kMostSpectra);
  FUZZ_CHECK(d.n_wavelengths >= 1 && d.n_wavelengths <= kMostPoints);
  FUZZ_CHECK(std::isfinite(d.acid_conc) && d.acid_conc != 0);
  for (int s = 1; s <= d.n_spectra; ++s) FUZZ_CHECK(std::isfinite(d.ph_values[s]));
  for (int w = 1; w <= d.n_wavelengths; ++w)
    for (int s = 1; s <= d.n_spectra; ++s) FUZZ_CHECK(std::isfinite(d.absorbance[w][s]));
  // A concentration row gives every spectrum a positive one; the searches take their mean.
  FUZZ_CHECK(f.conc_spectra.empty() || (f.format == InputFormat::Table &&
                                        f.conc_spectra.size() == static_cast<size_t>(d.n_spectra)));
  for (double c : f.conc_spectra) FUZZ_CHECK(std::isfinite(c) && c > 0);
  for (const CellWarning& w : f.warnings) {
    FUZZ_CHECK(w.row >= 1 && w.column >= 0 && !w.text.empty());
  }
  // The sizes fit the text: a table has a line per wavelength after its pH row; a field
  // stream a field per value.
  if (f.format == InputFormat::Table) {
    FUZZ_CHECK(static_cast<size_t>(d.n_wavelengths) + 1 <= lines_in(text));
  } else {
    MdfFields in(text);
    size_t fields = 0;
    while (!in.at_end()) {
      in.next();
      ++fields;
    }
    FUZZ_CHECK(fields >= 1 + static_cast<size_t>(d.n_spectra) +
                             static_cast<size_t>(d.n_wavelengths) * (d.n_spectra + 1));
  }
  // The values are what the text holds: written as a table, they read back the same.
  const DataFile again = read_data_file("b.tsv", as_table(d), InputFormat::Detect);
  FUZZ_CHECK(again.ok);
  FUZZ_CHECK(again.data->n_spectra == d.n_spectra);
  FUZZ_CHECK(again.data->n_wavelengths == d.n_wavelengths);
  FUZZ_CHECK(again.data->acid_conc == d.acid_conc);
  for (int s = 1; s <= d.n_spectra; ++s) FUZZ_CHECK(again.data->ph_values[s] == d.ph_values[s]);
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    FUZZ_CHECK(again.data->wavelengths[w] == d.wavelengths[w]);
    for (int s = 1; s <= d.n_spectra; ++s)
      FUZZ_CHECK(again.data->absorbance[w][s] == d.absorbance[w][s]);
  }
  return 0;
}
