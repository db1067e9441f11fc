// Writes the data set of the window-against-batch comparison as data.mdf: an acid with five
// constants, 50 spectra from pH 1 to 14, 1000 wavelengths, a little noise.
// Usage: make_bench_data [FILE]   (default data.mdf)
#include <cstdio>

#include "support/acid_spectra.h"

int main(int argc, char** argv) {
  using namespace ferolan;
  const char* path = argc > 1 ? argv[1] : "data.mdf";
  testing::AcidSpec recipe;
  recipe.pka = {2.5, 4.5, 6.5, 8.5, 10.5};
  recipe.n_spectra = kMaxSpectra;
  recipe.ph_first = 1;
  recipe.ph_last = 14;
  recipe.n_points = kMaxPoints;
  recipe.wl_first = 200;
  recipe.wl_step = 1;
  recipe.noise = 0.002;
  const DataSet d = testing::make_acid_data(recipe);

  std::FILE* f = std::fopen(path, "w");
  if (!f) {
    std::perror(path);
    return 1;
  }
  std::fprintf(f, "%g", static_cast<double>(d.acid_conc));
  for (int s = 1; s <= d.n_spectra; ++s)
    std::fprintf(f, " %.2f", static_cast<double>(d.ph_values[s]));
  std::fprintf(f, "\n");
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    std::fprintf(f, "%d", d.wavelengths[w]);
    for (int s = 1; s <= d.n_spectra; ++s)
      std::fprintf(f, " %.5f", static_cast<double>(d.absorbance[w][s]));
    std::fprintf(f, "\n");
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
