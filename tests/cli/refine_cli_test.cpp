// --refine, --global and --bootstrap of the batch tool: options refused before any work, the
// refined and global results beside the searches', reproducible resampling.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace ferolan {
namespace {

// Named by the process; what an earlier process of the same number left there goes first.
fs::path scratch() {
  static const fs::path dir = [] {
    const fs::path d =
        fs::temp_directory_path() / ("ferolan_refine_cli_" + std::to_string(getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

const std::string kExample = std::string(FEROLAN_EXAMPLES) + "/data.mdf";

// The CSV's rows split into cells (no quoted cells in the tables read here).
std::vector<std::vector<std::string>> table(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(csv);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    rows.emplace_back();
    std::string cell;
    std::istringstream cells(line);
    while (std::getline(cells, cell, ',')) rows.back().push_back(cell);
    if (!line.empty() && line.back() == ',') rows.back().push_back("");
  }
  return rows;
}

std::string cell(const std::vector<std::vector<std::string>>& t, size_t row,
                 const std::string& column) {
  for (size_t c = 0; c < t[0].size(); ++c)
    if (t[0][c] == column) return row < t.size() && c < t[row].size() ? t[row][c] : "";
  return "?";
}

TEST(RefineCli, OptionsThatDoNotFitAreRefused) {
  const std::string g = (scratch() / "g.csv").string();
  const struct {
    std::string args, err;
  } cases[] = {
      {kExample + " --bootstrap 50", "--bootstrap resamples a refined or global fit"},
      {kExample + " --refine --bootstrap", "--bootstrap needs a value"},
      {kExample + " --refine --bootstrap many", "--bootstrap takes a number of replicates"},
      {kExample + " --refine --bootstrap 5", "from 10 to 100000"},
      {kExample + " --refine --bootstrap 1000000", "from 10 to 100000"},
      {kExample + " --refine --bootstrap 20 --seed -3", "--seed takes a whole number"},
      {kExample + " --refine --bootstrap 20 --seed 1.5", "--seed takes a whole number"},
      {kExample + " --refine --seed 99999999999999999999999", "--seed takes a whole number"},
      {kExample + " --refine --compare", "--refine refines one model"},
      {kExample + " --refine --factors", "--factors writes no constants, so --refine"},
      {kExample + " --global --evaluate --pk 4,9", "--global fits one model"},
      {kExample + " --global --compare", "--global fits one model"},
      {kExample + " --conc-factors", "go with --global"},
      {kExample + " --global-spectra own", "go with --global"},
      {kExample + " --global-summary " + g, "go with --global"},
      {kExample + " --global --global-spectra mine", "--global-spectra takes shared or own"},
      {kExample + " --global --global-summary " + kExample, "--global-summary"},
      {kExample + " --global --shard 1/2", "which --shard would split"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = cli(c.args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(g));
}

TEST(RefineCli, RefinedBesideTheSearchInTextJsonAndSummary) {
  const std::string s = (scratch() / "s.csv").string();
  const CliRun text = cli(kExample + " --search auto --pk 4,9 --refine --summary " + s);
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("pKa1 = 4.20 ± 0.01"), std::string::npos);  // as before
  EXPECT_NE(text.out.find("refined to the least-squares minimum: converged"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("(search 8.90000)"), std::string::npos);
  const auto t = table(slurp(s));
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(cell(t, 1, "refine_status"), "converged");
  EXPECT_NEAR(std::stod(cell(t, 1, "pKa1_refined")), 4.2003, 0.0005);
  EXPECT_NEAR(std::stod(cell(t, 1, "pKa2_refined")), 8.8998, 0.0005);
  EXPECT_LT(std::stod(cell(t, 1, "se1_refined")), 0.001);
  EXPECT_EQ(cell(t, 1, "pKa3_refined"), "");
  EXPECT_EQ(cell(t, 1, "se3_refined"), "");

  const CliRun json = cli(kExample + " --pk 4,9 --refine --json");
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"refined\": {"), std::string::npos);
  EXPECT_NE(json.out.find("\"status\": \"converged\""), std::string::npos);
  EXPECT_NE(json.out.find("\"dof\": 8116"), std::string::npos);
  EXPECT_NE(json.out.find("\"bootstrap\": null"), std::string::npos);
  EXPECT_NE(json.out.find("\"global\": null"), std::string::npos);
  const CliRun plain = cli(kExample + " --pk 4,9 --json");
  EXPECT_NE(plain.out.find("\"refined\": null"), std::string::npos);
  // The summary without --refine keeps its columns.
  const CliRun no_refine = cli(kExample + " --pk 4,9 --summary " + s);
  EXPECT_EQ(slurp(s).find("refined"), std::string::npos);
}

// The same titration twice holds the same minimum as once; its error shrinks by about √2.
TEST(RefineCli, GlobalFitOfATitrationAndItsCopy) {
  const fs::path dir = scratch();
  fs::copy_file(kExample, dir / "copy.mdf", fs::copy_options::overwrite_existing);
  const std::string s = (dir / "s.csv").string(), g = (dir / "g.csv").string();
  const CliRun r = cli(kExample + " " + (dir / "copy.mdf").string() +
                       " --pk 4,9 --refine --global --global-summary " + g + " --summary " + s);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("global fit of all: 2 titrations"), std::string::npos) << r.out;
  const auto single = table(slurp(s)), global = table(slurp(g));
  ASSERT_EQ(global.size(), 2u);
  EXPECT_EQ(cell(global, 1, "titrations"), "2");
  EXPECT_EQ(cell(global, 1, "status"), "ok");
  for (int k = 1; k <= 2; ++k) {
    const std::string n = std::to_string(k);
    EXPECT_NEAR(std::stod(cell(global, 1, "pKa" + n)),
                std::stod(cell(single, 1, "pKa" + n + "_refined")), 1e-6);
    const double ratio =
        std::stod(cell(single, 1, "se" + n + "_refined")) / std::stod(cell(global, 1, "se" + n));
    EXPECT_NEAR(ratio, std::sqrt(2.0), 0.1) << k;
  }
}

TEST(RefineCli, BootstrapIsTheSameOnOneAndTwoThreads) {
  const fs::path dir = scratch();
  fs::copy_file(kExample, dir / "b.mdf", fs::copy_options::overwrite_existing);
  const std::string files = kExample + " " + (dir / "b.mdf").string();
  std::string csv[2];
  for (int jobs : {1, 2}) {
    const std::string g = (dir / (std::to_string(jobs) + "g.csv")).string();
    const CliRun r = cli(files + " --pk 4,9 --global --bootstrap 20 --seed 7 --quiet --jobs " +
                         std::to_string(jobs) + " --global-summary " + g);
    ASSERT_EQ(r.status, 0) << r.err;
    csv[jobs - 1] = slurp(g);
  }
  EXPECT_EQ(csv[0], csv[1]);
  const auto t = table(csv[0]);
  const double lo = std::stod(cell(t, 1, "lo1")), hi = std::stod(cell(t, 1, "hi1"));
  const double pk = std::stod(cell(t, 1, "pKa1"));
  EXPECT_LT(lo, pk);
  EXPECT_GT(hi, pk);
}

// A file that cannot be read is left out of the global fit and named; the others are fitted.
TEST(RefineCli, GlobalLeavesOutAFileThatFailed) {
  const fs::path dir = scratch();
  fs::copy_file(kExample, dir / "c.mdf", fs::copy_options::overwrite_existing);
  const CliRun r = cli(kExample + " " + (dir / "c.mdf").string() +
                       " /nonexistent/x.mdf --pk 4,9 --global --json");
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.out.find("\"left_out\": [\n      \"/nonexistent/x.mdf\""), std::string::npos)
      << r.out.substr(r.out.find("\"global\""), 400);
  EXPECT_NE(r.out.find("\"refine_status\": \"converged\""), std::string::npos);
}

// With a plan, each sample's files are fitted jointly: one row per sample, a sample without
// an analysed file refused by its code.
TEST(RefineCli, GlobalPerSampleOfAPlan) {
  const fs::path dir = scratch() / "plan";
  fs::create_directories(dir);
  for (const char* name : {"a.mdf", "b.mdf", "c.mdf"})
    fs::copy_file(kExample, dir / name, fs::copy_options::overwrite_existing);
  std::ofstream(dir / "plan.csv") << "file,sample,constants\na.mdf,S1,2\nb.mdf,S1,2\n"
                                     "c.mdf,S2,2\nmissing.mdf,S3,2\n";
  const std::string g = (dir / "g.csv").string();
  const CliRun r =
      cli("--manifest " + (dir / "plan.csv").string() + " --global --quiet --global-summary " + g);
  EXPECT_EQ(r.status, 3) << r.err;  // the missing file is 2, the refused sample 3
  EXPECT_NE(r.err.find("global fit of S3: no file of the sample was analysed"), std::string::npos)
      << r.err;
  const auto t = table(slurp(g));
  ASSERT_EQ(t.size(), 4u) << slurp(g);
  EXPECT_EQ(cell(t, 1, "sample"), "S1");
  EXPECT_EQ(cell(t, 1, "titrations"), "2");
  EXPECT_EQ(cell(t, 2, "sample"), "S2");
  EXPECT_EQ(cell(t, 2, "titrations"), "1");
  EXPECT_EQ(cell(t, 1, "pKa1").substr(0, 5), cell(t, 2, "pKa1").substr(0, 5));
  EXPECT_EQ(cell(t, 3, "status"), "refused");
  EXPECT_EQ(cell(t, 3, "code"), "no_titration");
  EXPECT_EQ(cell(t, 3, "pKa1"), "");
}

// --no-timing leaves out the times of the refined, global and bootstrap objects too: two runs
// write the same bytes.
TEST(RefineCli, NoTimingRerunsWriteTheSameBytes) {
  const fs::path dir = scratch();
  fs::copy_file(kExample, dir / "t.mdf", fs::copy_options::overwrite_existing);
  const std::string args = kExample + " " + (dir / "t.mdf").string() +
                           " --pk 4,9 --refine --global --bootstrap 20 --no-timing --json";
  const CliRun a = cli(args), b = cli(args);
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.out.find("\"elapsed_s\": 0"), std::string::npos);
  EXPECT_EQ(a.out.find("\"elapsed_s\": 1"), std::string::npos);
  size_t nulls = 0;
  for (size_t at = 0; (at = a.out.find("\"elapsed_s\": null", at)) != std::string::npos; ++at)
    ++nulls;
  // Per file: the search, the refinement, its bootstrap, the global fit and its two.
  EXPECT_EQ(nulls, 2u * 6u) << a.out;
}

// SIGINT during a bootstrap of 100000 refits (many minutes): the file is cut short, not a
// result, and the run ends with 130 instead of finishing the refits.
TEST(RefineCli, SignalStopsTheBootstrap) {
  const fs::path dir = scratch();
  const std::string s = (dir / "stopped.csv").string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen((dir / "stopped.err").c_str(), "w", stderr);
    execl(FEROLAN_CLI, FEROLAN_CLI, kExample.c_str(), "--pk", "4,9", "--refine", "--bootstrap",
          "100000", "--summary", s.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  usleep(1500000);  // the search and the refinement take a tenth of that
  kill(pid, SIGINT);
  int raw = 0;
  waitpid(pid, &raw, 0);
  const std::string err = slurp(dir / "stopped.err");
  ASSERT_TRUE(WIFEXITED(raw)) << err;
  EXPECT_EQ(WEXITSTATUS(raw), 130) << err;
  // A file cut short is not among the results written.
  EXPECT_EQ(table(slurp(s)).size(), 1u) << slurp(s);
  EXPECT_NE(err.find("stopped by SIGINT after 0 of 1 files"), std::string::npos) << err;
}

// A titration diluted as it goes (each spectrum at its own concentration), its columns not in
// pH order: the table's concentration row goes with its spectrum through the sort by pH.
std::string diluted_titration(bool with_row) {
  const double pk1 = 4.2, pk2 = 8.9, c0 = 1e-4;
  std::vector<double> ph, conc;
  for (int s = 0; s < 20; ++s) {
    ph.push_back(2 + ((s * 7) % 20) * 0.5);  // 2 … 11.5, shuffled
    conc.push_back(c0 * (1 - 0.015 * s));
  }
  auto band = [](double wl, double centre, double height) {
    return height * std::exp(-0.5 * std::pow((wl - centre) / 25, 2));
  };
  std::ostringstream t;
  t.precision(7);
  t << c0;
  for (double p : ph) t << '\t' << p;
  t << '\n';
  if (with_row) {
    t << "conc";
    for (double c : conc) t << '\t' << c;
    t << '\n';
  }
  for (int wl = 250; wl <= 450; wl += 2) {
    t << wl;
    for (size_t s = 0; s < ph.size(); ++s) {
      const double h = std::pow(10, -ph[s]), k1 = std::pow(10, -pk1), k2 = std::pow(10, -pk2);
      const double d = h * h + k1 * h + k1 * k2;
      const double a = conc[s] *
                       (band(wl, 300, 9000) * h * h + band(wl, 350, 7000) * k1 * h +
                        band(wl, 400, 11000) * k1 * k2) /
                       d;
      t << '\t' << a;
    }
    t << '\n';
  }
  return t.str();
}

TEST(RefineCli, ConcentrationPerSpectrumFromTheTable) {
  const fs::path dir = scratch();
  const std::string diluted = (dir / "diluted.txt").string();
  const std::string stated = (dir / "stated.txt").string();
  std::ofstream(diluted) << diluted_titration(true);
  std::ofstream(stated) << diluted_titration(false);

  // The searches take one concentration: without the refinement the file is refused.
  for (const std::string args : {" --pk 4,9", " --search auto --pk 4,9"}) {
    const CliRun r = cli(diluted + args);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("own concentration"), std::string::npos) << r.err;
  }
  const CliRun factors = cli(diluted + " --factors");
  EXPECT_EQ(factors.status, 0) << factors.err;

  const CliRun r = cli(diluted + " --pk 4,9 --refine --json");
  ASSERT_EQ(r.status, 0) << r.err;
  // Stored as Singles, as every value of the data set.
  EXPECT_NE(r.out.find("\"concentrations\": [\n      9.9999997473787516e-05,\n      9.85"),
            std::string::npos)
      << r.out.substr(r.out.find("\"data\""), 300);
  const size_t refined = r.out.find("\"refined\": {");
  ASSERT_NE(refined, std::string::npos);
  const std::string pk = r.out.substr(r.out.find("\"pKa\": [", refined), 80);
  double p1 = 0, p2 = 0;
  ASSERT_EQ(std::sscanf(pk.c_str(), "\"pKa\": [ %lf , %lf", &p1, &p2), 2) << pk;
  EXPECT_NEAR(p1, 4.2, 2e-4);
  EXPECT_NEAR(p2, 8.9, 2e-4);
  const CliRun text = cli(diluted + " --pk 4,9 --refine");
  EXPECT_NE(text.out.find("the mean of the concentrations per spectrum (7.15e-05 to 1.00e-04)"),
            std::string::npos)
      << text.out;

  // The same spectra with one stated concentration for all do not reach the constants: the
  // row is what makes the difference.
  const CliRun one = cli(stated + " --pk 4,9 --refine --json");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("\"concentrations\": null"), std::string::npos);
  const size_t r1 = one.out.find("\"refined\": {");
  double q1 = 0, q2 = 0;
  std::sscanf(one.out.substr(one.out.find("\"pKa\": [", r1), 80).c_str(), "\"pKa\": [ %lf , %lf",
              &q1, &q2);
  EXPECT_GT(std::abs(q1 - 4.2) + std::abs(q2 - 8.9), 0.01);

  // A global fit of the diluted titration and a copy holds the same minimum.
  const std::string g = (dir / "gconc.csv").string();
  fs::copy_file(diluted, dir / "diluted2.txt", fs::copy_options::overwrite_existing);
  const CliRun both = cli(diluted + " " + (dir / "diluted2.txt").string() +
                          " --pk 4,9 --global --quiet --global-summary " + g);
  ASSERT_EQ(both.status, 0) << both.err;
  const auto t = table(slurp(g));
  EXPECT_NEAR(std::stod(cell(t, 1, "pKa1")), 4.2, 2e-4);
  EXPECT_NEAR(std::stod(cell(t, 1, "pKa2")), 8.9, 2e-4);
}

}  // namespace
}  // namespace ferolan
