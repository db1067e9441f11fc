// Writes a folder of acids as a lab would hand it to ferolan-cli: good files in the three
// layouts, three replicates of one acid, a file with a cell that is no number, a cut-off file,
// an acid with no step in its pH range, a link to a file that is not there, and a plan.
// With --bench N, writes N diprotic acids of 25 spectra x 451 points instead.
// Build: g++ -std=c++20 -O2 tools/make_acids.cpp -o /tmp/make_acids && /tmp/make_acids acids
// plan.csv
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

struct Band {
  double centre, height, width;  // nm, L/(mol·cm), nm
};

double epsilon(const std::vector<Band>& bands, double nm) {
  double e = 0;
  for (const Band& b : bands) {
    const double d = (nm - b.centre) / b.width;
    e += b.height * std::exp(-0.5 * d * d);
  }
  return e;
}

struct Acid {
  std::vector<double> pk;               // 1 or 2 constants
  std::vector<std::vector<Band>> form;  // pk.size() + 1 forms
  double conc = 6e-5;
  double noise = 0.0015;
  unsigned seed = 1;
};

enum class Layout { Mdf, Tab, Semicolon };

// Absorbance table: rows of wavelengths 250..700 nm, columns of pH 1.5..12.3.
std::vector<std::vector<double>> spectra(const Acid& a, std::vector<double>& ph) {
  ph.clear();
  for (int s = 0; s < 25; ++s) ph.push_back(std::round((1.5 + 0.45 * s) * 100) / 100);
  std::mt19937 rng(a.seed);
  std::normal_distribution<double> gauss(0.0, a.noise);
  std::vector<std::vector<double>> rows;
  for (int nm = 250; nm <= 700; ++nm) {
    std::vector<double> row;
    for (double p : ph) {
      const double h = std::pow(10.0, -p);
      // Fractions of the forms from the stepwise constants.
      std::vector<double> w(a.form.size(), 1.0);
      for (size_t j = 1; j < w.size(); ++j) w[j] = w[j - 1] * std::pow(10.0, -a.pk[j - 1]) / h;
      double sum = 0, e = 0;
      for (size_t j = 0; j < w.size(); ++j) {
        sum += w[j];
        e += w[j] * epsilon(a.form[j], nm);
      }
      row.push_back(a.conc * e / sum + gauss(rng));
    }
    rows.push_back(row);
  }
  return rows;
}

void write(const std::string& path, const Acid& a, Layout layout, int cut_after = -1) {
  std::vector<double> ph;
  const auto rows = spectra(a, ph);
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  const char* sep = layout == Layout::Mdf ? " " : layout == Layout::Tab ? "\t" : ";";
  auto num = [&](double v, const char* fmt) {
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, v);
    if (layout == Layout::Semicolon)
      for (char* c = buf; *c; ++c)
        if (*c == '.') *c = ',';
    return std::string(buf);
  };
  std::fprintf(f, "%s", num(a.conc, "%g").c_str());
  for (double p : ph) std::fprintf(f, "%s%s", sep, num(p, "%.2f").c_str());
  std::fprintf(f, "\n");
  for (size_t w = 0; w < rows.size(); ++w) {
    std::fprintf(f, "%zu", 250 + w);
    for (size_t s = 0; s < rows[w].size(); ++s) {
      if (static_cast<int>(w) == cut_after && s == 10) break;
      std::fprintf(f, "%s%s", sep, num(rows[w][s], "%.4f").c_str());
    }
    std::fprintf(f, "\n");
    if (static_cast<int>(w) == cut_after) break;
  }
  std::fclose(f);
}

Acid diprotic(double pk1, double pk2, unsigned seed) {
  Acid a;
  a.pk = {pk1, pk2};
  a.form = {{{275, 11000, 22}, {345, 7000, 32}},
            {{300, 6000, 25}, {410, 13500, 38}},
            {{320, 5000, 30}, {515, 17500, 42}}};
  a.seed = seed;
  return a;
}

Acid monoprotic(double pk, unsigned seed) {
  Acid a;
  a.pk = {pk};
  a.form = {{{290, 9000, 25}, {380, 12000, 35}}, {{310, 5000, 25}, {470, 15000, 40}}};
  a.seed = seed;
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--bench") == 0) {
    const int n = std::atoi(argv[2]);
    const std::string dir = argv[3];
    std::filesystem::create_directories(dir);
    for (int i = 0; i < n; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/b%03d.mdf", i + 1);
      write(dir + name, diprotic(3.0 + 0.02 * i, 8.0 + 0.015 * i, 100 + i), Layout::Mdf);
    }
    return 0;
  }
  const std::string dir = argc > 1 ? argv[1] : "acids";
  std::filesystem::create_directories(dir);
  write(dir + "/a01.mdf", diprotic(3.10, 7.45, 1), Layout::Mdf);
  write(dir + "/a02.txt", monoprotic(5.60, 2), Layout::Tab);
  write(dir + "/a03.csv", diprotic(2.85, 9.30, 3), Layout::Semicolon);
  for (unsigned r = 1; r <= 3; ++r)
    write(dir + "/a31_" + std::to_string(r) + ".txt", diprotic(4.75, 8.20, 30 + r), Layout::Tab);
  // A cell typed as "n/a" (row 12, column 7 of the file).
  write(dir + "/a32.txt", diprotic(4.05, 10.10, 4), Layout::Tab);
  {
    std::FILE* f = std::fopen((dir + "/a32.txt").c_str(), "r+");
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    size_t at = 0;
    for (int line = 1; line < 12; ++line) at = text.find('\n', at) + 1;
    for (int col = 1; col < 7; ++col) at = text.find('\t', at) + 1;
    text.replace(at, text.find('\t', at) - at, "n/a");
    std::freopen((dir + "/a32.txt").c_str(), "w", f);
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  write(dir + "/a34.mdf", diprotic(5.00, 9.00, 5), Layout::Mdf, 200);
  // Measured where nothing dissociates: one absorbing form only.
  write(dir + "/a35.txt", monoprotic(19.0, 6), Layout::Tab);
  std::filesystem::remove(dir + "/a40.mdf");
  std::filesystem::create_symlink("a40-lost.mdf", dir + "/a40.mdf");

  // The plan lives beside the folder and names the files relative to itself.
  const std::filesystem::path plan_path = argc > 2 ? argv[2] : "plan.csv";
  const std::string rel =
      std::filesystem::absolute(dir)
          .lexically_relative(std::filesystem::absolute(plan_path).parent_path())
          .string() +
      "/";
  std::FILE* plan = std::fopen(plan_path.c_str(), "w");
  std::fputs("file,sample,constants,search,pk1,pk2,pk3,pk4,pk5,hold,ionic_strength,exclude_ph\r\n",
             plan);
  const char* rows[] = {"a01.mdf,A01,2,opt,3,7.5,,,,,0.1,",
                        "a02.txt,A02,1,auto,,,,,,,,",
                        "a03.csv,A03,,,,,,,,,,1.50 1.95",
                        "a31_1.txt,A31,2,auto,,,,,,,,",
                        "a31_2.txt,A31,2,auto,,,,,,,,",
                        "a31_3.txt,A31,2,auto,,,,,,,,",
                        "a32.txt,A32,,,,,,,,,,",
                        "a34.mdf,A34,,,,,,,,,,",
                        "a35.txt,A35,,,,,,,,,,",
                        "a40.mdf,A40,,,,,,,,,,"};
  for (const char* row : rows) std::fprintf(plan, "%s%s\r\n", rel.c_str(), row);
  std::fclose(plan);
  return 0;
}
