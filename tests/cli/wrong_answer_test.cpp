// Inputs on which the batch tool once printed a wrong answer as "ok": each is written here,
// run through the real program, and its status, code and exit status checked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/synthetic_data.h"

namespace ferolan {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

struct CliRun {
  int exit = -1;
  std::string out, err;
};

fs::path work_dir() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("ferolan_wrong_" + std::to_string(getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

CliRun run(const std::string& args) {
  const fs::path dir = work_dir();
  const std::string cmd = "cd " + dir.string() + " && " + FEROLAN_CLI + " " + args +
                          " >stdout.txt 2>stderr.txt </dev/null";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "stdout.txt"),
          slurp(dir / "stderr.txt")};
}

void write(const std::string& name, const std::string& text) {
  fs::create_directories((work_dir() / name).parent_path());
  std::ofstream(work_dir() / name, std::ios::binary) << text;
}

// The first value of a JSON key ("null" for null), as the tool writes it.
std::string json_value(const std::string& json, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + key + "\": (\"([^\"]*)\"|[^,\n]*)")))
    return "<missing>";
  return m[2].matched ? m[2].str() : m[1].str();
}

using Rows = std::vector<std::vector<std::string>>;

Rows rows_of(const DataSet& d) {
  Rows rows(1);
  std::ostringstream c;
  c.precision(9);
  c << d.acid_conc;
  rows[0].push_back(c.str());
  for (int s = 1; s <= d.n_spectra; ++s) {
    std::ostringstream t;
    t.precision(9);
    t << d.ph_values[s];
    rows[0].push_back(t.str());
  }
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    rows.emplace_back();
    rows.back().push_back(std::to_string(d.wavelengths[w]));
    for (int s = 1; s <= d.n_spectra; ++s) {
      std::ostringstream t;
      t.precision(9);
      t << d.absorbance[w][s];
      rows.back().push_back(t.str());
    }
  }
  return rows;
}

std::string joined(const Rows& rows, const std::string& sep) {
  std::string t;
  for (const auto& r : rows) {
    for (size_t i = 0; i < r.size(); ++i) t += (i ? sep : "") + r[i];
    t += "\n";
  }
  return t;
}

// pKa 4 and 7, 21 spectra at pH 2..9, noise 0.002.
Rows good_rows() {
  static const Rows rows = rows_of(*testing::make_synthetic({}).data);
  return rows;
}

struct Case {
  const char* what;
  std::string file, text, args;
  std::string status, code;
  int exit;
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write(c.file, c.text);
    const CliRun r = run(c.file + " " + c.args + " --json");
    EXPECT_EQ(json_value(r.out, "status"), c.status) << r.err;
    EXPECT_EQ(json_value(r.out, "code"), c.code.empty() ? "null" : c.code) << r.err;
    EXPECT_EQ(r.exit, c.exit) << r.err;
  }
}

TEST(WrongAnswer, MadeUpInputIsRefused) {
  Rows ph_words = good_rows();
  for (size_t i = 1; i < ph_words[0].size(); ++i) ph_words[0][i] = "pH " + ph_words[0][i];
  Rows wl_word = good_rows();
  wl_word[7][0] = "lambda";
  Rows ph_empty = good_rows();
  ph_empty[0][3] = "";
  Rows corner = good_rows();
  corner[0][0] = "";
  Rows decimal_commas = good_rows();
  for (auto& row : decimal_commas)
    for (auto& cell : row) {
      std::replace(cell.begin(), cell.end(), '.', ',');
      cell = "\"" + cell + "\"";
    }
  Rows text = good_rows();
  for (size_t r = 1; r < text.size(); ++r)
    for (size_t c = 1; c < text[r].size(); c += (r % 5 == 0 ? 3 : 1)) text[r][c] = "x";
  Rows info = good_rows();
  info[4][4] = "info";
  Rows inf = good_rows();
  inf[4][4] = "-INF";
  std::vector<Case> cases = {
      {"pH cells with a word", "ph.txt", joined(ph_words, "\t"), "", "refused", "ph_not_a_number",
       2},
      {"pH row in a data.mdf", "ph.mdf", joined(ph_words, " "), "", "refused", "ph_not_a_number",
       2},
      {"an empty pH cell", "ph_empty.csv", joined(ph_empty, ";"), "", "refused", "ph_not_a_number",
       2},
      {"a wavelength with a word", "wl.csv", joined(wl_word, ","), "", "refused",
       "wavelength_not_a_number", 2},
      {"a wavelength with a word in data.mdf", "wl.mdf", joined(wl_word, " "), "", "refused",
       "wavelength_not_a_number", 2},
      {"quoted cells with decimal commas", "quoted.csv", joined(decimal_commas, ","),
       "--pk 4,7 --search auto", "ok", "", 0},
      {"a space table with an empty corner", "corner.txt", joined(corner, " "),
       "--pk 4,7 --search auto", "ok", "", 0},
      {"the same named data.mdf", "corner.mdf", joined(corner, " "), "--pk 4,7 --search auto", "ok",
       "", 0},
      {"a table of mostly text", "text.txt", joined(text, "\t"), "", "refused", "mostly_text", 2},
      {"held without a value", "good.txt", joined(good_rows(), "\t"), "--constants 2 --hold 2",
       "refused", "held_value_missing", 3},
      {"held without a value, automatic grid", "good.txt", joined(good_rows(), "\t"),
       "--pk 4 --constants 2 --hold 2 --search auto", "refused", "held_value_missing", 3},
      {"\"info\" is text, not infinity", "info.txt", joined(info, "\t"), "--pk 4,7 --strict",
       "refused", "not_a_number", 2},
      {"\"-INF\" is infinity", "inf.txt", joined(inf, "\t"), "--pk 4,7", "refused", "non_finite",
       2},
  };
  check(cases);

  // The constants of the quoted CSV and of the table with an empty corner are right.
  for (const char* f : {"quoted.csv", "corner.txt"}) {
    const CliRun r = run(std::string(f) + " --pk 4,7 --search auto --json");
    EXPECT_NEAR(std::stod(json_value(r.out, "pKa")), 4.0, 0.02) << f;
    if (f == std::string("corner.txt")) {
      EXPECT_EQ(json_value(r.out, "acid_conc"), "10");  // an empty corner means 10 mol/L
    }
  }
  const CliRun q = run("quoted.csv --pk 4,7 --json");
  EXPECT_EQ(json_value(q.out, "decimal_mark"), ",");
}

TEST(WrongAnswer, TheToolsOwnOutputsAreNotSpectra) {
  write("own/a.txt", joined(good_rows(), "\t"));
  const CliRun first =
      run("own/a.txt --pk 4,7 --summary own/summary.csv --json --trace own/a.trace");
  ASSERT_EQ(first.exit, 0) << first.err;
  write("own/a.json", first.out);
  for (const char* f : {"own/summary.csv", "own/a.json", "own/a.trace"}) {
    const CliRun r = run(std::string(f) + " --pk 4,7 --json");
    EXPECT_EQ(json_value(r.out, "status"), "refused") << f << "\n" << r.err;
    EXPECT_EQ(r.exit, 2) << f;
  }
}

}  // namespace
}  // namespace ferolan
