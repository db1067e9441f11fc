// Writes examples/data.mdf: a diprotic acid H2A with pKa1 = 4.20 and pKa2 = 8.90, 21 spectra
// from pH 1 to 12, 250..700 nm in 1 nm steps, Gaussian bands, a little measurement noise.
// Build: g++ -std=c++20 -O2 tools/make_example.cpp -o /tmp/make_example && /tmp/make_example
#include <cmath>
#include <cstdio>
#include <random>

namespace {

struct Band {
  double centre, height, width;  // nm, L/(mol·cm), nm
};

double epsilon(const Band* bands, int n, double nm) {
  double e = 0;
  for (int i = 0; i < n; ++i) {
    const double d = (nm - bands[i].centre) / bands[i].width;
    e += bands[i].height * std::exp(-0.5 * d * d);
  }
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "examples/data.mdf";
  const double conc = 6.5e-5;  // mol/L
  const double pka1 = 4.20, pka2 = 8.90;
  const double noise = 0.0015;  // absorbance units, standard deviation
  const Band h2a[] = {{275, 11000, 22}, {345, 7000, 32}};
  const Band ha[] = {{300, 6000, 25}, {410, 13500, 38}};
  const Band a[] = {{320, 5000, 30}, {515, 17500, 42}};

  const int n_spectra = 21;
  double ph[n_spectra];
  for (int s = 0; s < n_spectra; ++s) ph[s] = std::round((1.0 + 0.55 * s) * 100) / 100;

  std::FILE* f = std::fopen(path, "w");
  if (!f) {
    std::perror(path);
    return 1;
  }
  std::mt19937 rng(20261208);
  std::normal_distribution<double> gauss(0.0, noise);
  std::fprintf(f, "%g", conc);
  for (double p : ph) std::fprintf(f, " %.2f", p);
  std::fprintf(f, "\n");
  const double k1 = std::pow(10.0, -pka1), k2 = std::pow(10.0, -pka2);
  for (int nm = 250; nm <= 700; ++nm) {
    std::fprintf(f, "%d", nm);
    for (double p : ph) {
      const double h = std::pow(10.0, -p);
      const double d = h * h + h * k1 + k1 * k2;
      const double absorb = conc *
                            (epsilon(h2a, 2, nm) * h * h + epsilon(ha, 2, nm) * h * k1 +
                             epsilon(a, 2, nm) * k1 * k2) /
                            d;
      std::fprintf(f, " %.4f", absorb + gauss(rng));
    }
    std::fprintf(f, "\n");
  }
  std::fclose(f);
  return 0;
}
