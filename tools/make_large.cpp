// Writes a data.mdf larger than the window reads (120 spectra x 1400 points): a diprotic acid
// with pKa1 = 4.60 and pKa2 = 9.10, pH 1 to 13, 200..899.5 nm in half-nanometre steps (the
// window stores whole nm), and a deterministic disturbance instead of random noise, so that
// the file is the same wherever it is made. The batch trace of it is a recording.
// Build: g++ -std=c++20 -O2 tools/make_large.cpp -o /tmp/make_large && /tmp/make_large out.mdf
#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_large FILE\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "w");
  if (!f) return 1;
  const int spectra = 120, points = 1400;
  const double conc = 5e-5, ka1 = std::pow(10.0, -4.6), ka2 = std::pow(10.0, -9.1);
  const double centre[3] = {260, 320, 390}, height[3] = {9000, 14000, 12000},
               width[3] = {30, 40, 35};
  std::fprintf(f, "%g", conc);
  double ph[spectra];
  for (int s = 0; s < spectra; ++s) {
    ph[s] = 1 + 12.0 * s / (spectra - 1);
    std::fprintf(f, " %.3f", ph[s]);
  }
  std::fprintf(f, "\n");
  for (int w = 0; w < points; ++w) {
    const double nm = 200 + 0.5 * w;
    std::fprintf(f, "%.1f", nm);
    for (int s = 0; s < spectra; ++s) {
      const double h = std::pow(10.0, -ph[s]);
      const double d = h * h + ka1 * h + ka1 * ka2;
      const double frac[3] = {h * h / d, ka1 * h / d, ka1 * ka2 / d};
      double a = 0;
      for (int j = 0; j < 3; ++j) {
        const double x = (nm - centre[j]) / width[j];
        a += conc * frac[j] * height[j] * std::exp(-0.5 * x * x);
      }
      a += 0.001 * std::sin(0.7 * w + 1.3 * s);
      std::fprintf(f, " %.5f", a);
    }
    std::fprintf(f, "\n");
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
