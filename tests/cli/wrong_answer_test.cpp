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
  std::string warning = "";  // a further warning code the result must carry
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write(c.file, c.text);
    const CliRun r = run(c.file + " " + c.args + " --json");
    EXPECT_EQ(json_value(r.out, "status"), c.status) << r.err;
    EXPECT_EQ(json_value(r.out, "code"), c.code.empty() ? "null" : c.code) << r.err;
    EXPECT_EQ(r.exit, c.exit) << r.err;
    if (!c.warning.empty()) {
      EXPECT_NE(r.out.find("\"code\": \"" + c.warning + "\""), std::string::npos) << r.out;
    }
    // A refusal or a warning is said on standard error, and never as a number of "ok".
    if (c.status != "ok") {
      EXPECT_NE(r.err.find("ferolan-cli: " + c.file + ": "), std::string::npos);
    }
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
    for (size_t c = 1; c < text[r].size(); c += (r % 5 == 0 ? 3 : 1)) text[r][c].assign(1, 'x');
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

namespace ferolan {
namespace {

DataSet& with_conc_scaled(DataSet& d, double by) {
  d.acid_conc = static_cast<float>(d.acid_conc * by);
  return d;
}

std::string table(const DataSet& d) {
  return joined(rows_of(d), "\t");
}

Rows with_recipe(const testing::SyntheticRecipe& recipe) {
  return rows_of(*testing::make_synthetic(recipe).data);
}

TEST(WrongAnswer, DataNoModelFitsAreRefusedOrMarked) {
  Rows low = good_rows();
  low[0][1] = "-70";
  Rows lowish = good_rows();
  lowish[0][1] = "-61.2";
  Rows two;
  for (const auto& row : good_rows()) two.push_back({row[0], row[1], row.back()});
  Rows one_ph = good_rows();
  for (size_t c = 1; c < one_ph[0].size(); ++c) one_ph[0][c] = "7";
  Rows narrow = good_rows();
  for (size_t c = 1; c < narrow[0].size(); ++c) narrow[0][c] = std::to_string(7 + 0.04 * c);
  Rows tiny = good_rows(), zero = good_rows(), same = good_rows();
  for (size_t r = 1; r < tiny.size(); ++r)
    for (size_t c = 1; c < tiny[r].size(); ++c) {
      std::ostringstream t;
      t << std::stod(tiny[r][c]) * 1e-22;
      tiny[r][c] = t.str();
      zero[r][c].assign(1, '0');
      same[r][c] = same[r][1];
    }
  Rows typo = good_rows();
  typo[9][3] = "n/a";
  testing::SyntheticRecipe beyond;
  beyond.pk = {4.0, 9.6};
  const std::string good = joined(good_rows(), "\t");
  std::vector<Case> cases = {
      {"pH -70, compared", "low.txt", joined(low, "\t"), "--compare", "refused", "ph_out_of_range",
       3},
      {"pH -70, evaluated", "low.txt", joined(low, "\t"), "--pk 4,7 --evaluate", "refused",
       "ph_out_of_range", 3},
      {"pH -61.2, where the concentrations lose precision", "lowish.txt", joined(lowish, "\t"),
       "--pk 4,7", "refused", "ph_out_of_range", 3},
      {"two spectra, compared", "two.txt", joined(two, "\t"), "--compare", "refused",
       "too_few_spectra", 3},
      {"two spectra, evaluated", "two.txt", joined(two, "\t"), "--pk 4,7 --evaluate", "refused",
       "too_few_spectra", 3},
      {"every spectrum at one pH", "one_ph.txt", joined(one_ph, "\t"), "--pk 4,7", "refused",
       "ph_range_too_narrow", 3},
      {"less than one pH unit", "narrow.txt", joined(narrow, "\t"), "--compare", "refused",
       "ph_range_too_narrow", 3},
      {"absorbances of 1e-22", "tiny.txt", joined(tiny, "\t"), "--pk 4,7 --search auto", "refused",
       "absorbance_too_small", 3},
      {"no signal, constants forced", "zero.txt", joined(zero, "\t"), "--pk 4,7", "refused",
       "no_signal", 3},
      {"too few constants", "good.txt", good, "--pk 4", "ok_with_warnings", "lack_of_fit", 0},
      {"too few constants, strict", "good.txt", good, "--pk 4 --strict", "refused", "lack_of_fit",
       3},
      {"identical spectra, two constants forced", "same.txt", joined(same, "\t"), "--constants 2",
       "ok_with_warnings", "lack_of_fit", 0, "more_constants_than_forms"},
      {"a cell read as 0", "typo.txt", joined(typo, "\t"), "--pk 4,7", "ok_with_warnings",
       "not_a_number", 0},
      {"a constant beyond the measured pH", "beyond.txt", joined(with_recipe(beyond), "\t"),
       "--pk 4,9.6", "ok_with_warnings", "pka_outside_ph_range", 0},
      {"pictures that cannot be written", "good.txt", good, "--pk 4,7 --plots /proc/no/such/folder",
       "ok_with_warnings", "pictures_not_written", 4},
      {"the good data", "good.txt", good, "--pk 4,7", "ok", "", 0},
  };
  check(cases);
}

TEST(WrongAnswer, ConcentrationOffIsALackOfFitOrRight) {
  for (double off : {1.0, 10.0, 100.0, 1000.0, 0.1, 0.01}) {
    SCOPED_TRACE(off);
    auto made = testing::make_synthetic({});
    write("conc.txt", table(with_conc_scaled(*made.data, 1 / off)));
    const CliRun r = run("conc.txt --pk 4,7 --json");
    const double s_a = std::stod(json_value(r.out, "s_a"));
    const double noise = std::stod(json_value(r.out, "noise"));
    const double pk1 = std::stod(json_value(r.out, "pKa"));
    const bool lack = s_a > 3 * noise;
    EXPECT_EQ(json_value(r.out, "status"), lack ? "ok_with_warnings" : "ok") << r.err;
    EXPECT_EQ(json_value(r.out, "code"), lack ? "lack_of_fit" : "null");
    EXPECT_EQ(r.exit, 0);
    // What is not marked is right.
    if (!lack) {
      EXPECT_NEAR(pk1, 4.0, 0.02) << s_a << " " << noise;
    }
    if (off >= 100) {
      EXPECT_TRUE(lack) << s_a << " " << noise;
    }
    const CliRun strict = run("conc.txt --pk 4,7 --json --strict");
    EXPECT_EQ(strict.exit, lack ? 3 : 0);
  }
}

}  // namespace
}  // namespace ferolan

namespace ferolan {
namespace {

// Every code the JSON documentation names, as a refusal or a warning, is in --help too.
TEST(WrongAnswer, EveryCodeIsDocumentedInHelp) {
  const std::string doc = slurp(fs::path(FEROLAN_SOURCE) / "docs" / "json.md");
  std::istringstream in(doc);
  bool in_codes = false;
  int codes = 0;
  const CliRun help = run("--help");
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("## ")) in_codes = line.find("codes") != std::string::npos;
    if (!in_codes || !line.starts_with("| `")) continue;
    const std::string first = line.substr(0, line.find(" | "));
    const std::regex code("`([a-z_]+)`");
    for (auto it = std::sregex_iterator(first.begin(), first.end(), code);
         it != std::sregex_iterator(); ++it) {
      ++codes;
      EXPECT_NE(help.out.find((*it)[1].str()), std::string::npos) << (*it)[1];
    }
  }
  EXPECT_GT(codes, 40);
  for (const char* status : {"ok_with_warnings", "refused", "unreadable"})
    EXPECT_NE(help.out.find(status), std::string::npos) << status;
}

}  // namespace
}  // namespace ferolan

namespace ferolan {
namespace {

TEST(WrongAnswer, PlansWithAHeaderOnlyOrATwiceNamedColumnAreRefused) {
  write("plan/a.txt", joined(good_rows(), "\t"));
  struct PlanCase {
    std::string text;
    int exit;
    std::string err;
  } cases[] = {
      {"file,sample\n", 1, "only its header row"},
      {"file,pk1,PK1\na.txt,4,4\n", 1, "appears twice"},
      {" File ,PK1,Pk2\na.txt,4,7\n", 0, ""},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.text);
    write("plan/plan.csv", c.text);
    const CliRun r = run("--manifest plan/plan.csv --json");
    EXPECT_EQ(r.exit, c.exit) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

// A plan's own columns reach every part's summary, an empty part's too, so that the parts
// merge into one table.
TEST(WrongAnswer, PlanColumnsOfTheLabReachEverySummary) {
  write("plan/a.txt", joined(good_rows(), "\t"));
  write("plan/plan.csv", "file,pk1,pk2,compound,operator,,\na.txt,4,7,X-1,=2+2,,\n,,,,,,\n");
  for (const char* part : {"1/2", "2/2"}) {
    SCOPED_TRACE(part);
    const CliRun r =
        run(std::string("--manifest plan/plan.csv --quiet --summary - --shard ") + part);
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string head = r.out.substr(0, r.out.find("\r\n"));
    EXPECT_TRUE(head.ends_with(",pKa5_conc,compound,operator")) << head;
    if (std::string(part) == "2/2") {
      EXPECT_NE(r.out.find(",X-1,'=2+2\r\n"), std::string::npos) << r.out;
    }
  }
}

}  // namespace
}  // namespace ferolan
