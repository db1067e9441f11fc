// The batch tool on many files: outputs that would overwrite inputs, whole-or-nothing outputs,
// stops by signal, thread and memory limits.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/path_identity.h"
#include "support/synthetic_data.h"

namespace ferolan::cli {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the tool in dir; its standard streams go outside dir so as not to show in listings.
Outcome run(const std::string& args, const fs::path& dir) {
  const fs::path o = dir.string() + ".out", e = dir.string() + ".err";
  const std::string cmd = "cd " + dir.string() + " && " + FEROLAN_CLI + " " + args + " >" +
                          o.string() + " 2>" + e.string() + " </dev/null";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(o), slurp(e)};
}

std::string table_text(const DataSet& d) {
  std::ostringstream t;
  t.precision(9);
  t << d.acid_conc;
  for (int s = 1; s <= d.n_spectra; ++s) t << "\t" << d.ph_values[s];
  t << "\n";
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    t << d.wavelengths[w];
    for (int s = 1; s <= d.n_spectra; ++s) t << "\t" << d.absorbance[w][s];
    t << "\n";
  }
  return t.str();
}

// A fresh folder of n small tables of one-constant acids (pKa 4 + k/n), named 000.txt ...
fs::path make_folder(const std::string& name, int n) {
  const fs::path dir = fs::temp_directory_path() / (name + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "in");
  for (int k = 0; k < n; ++k) {
    testing::SyntheticRecipe r;
    r.pk = {4.0 + static_cast<double>(k) / n};
    r.spectra = 9;
    r.points = 31;
    r.seed = static_cast<uint32_t>(k + 1);
    char file[16];
    std::snprintf(file, sizeof file, "%03d.txt", k);
    std::ofstream(dir / "in" / file, std::ios::binary)
        << table_text(*testing::make_synthetic(r).data);
  }
  return dir;
}

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    names.insert(fs::relative(e.path(), dir).string());
  return names;
}

TEST(PathIdentity, LinksAndSpellingsOfOneFileAreTheSameFile) {
  const fs::path dir = make_folder("ferolan_identity", 2);
  fs::create_symlink("000.txt", dir / "in" / "soft.txt");
  fs::create_hard_link(dir / "in" / "000.txt", dir / "in" / "hard.txt");
  const std::string a = (dir / "in" / "000.txt").string();
  for (const std::string& b :
       {(dir / "in" / "soft.txt").string(), (dir / "in" / "hard.txt").string(),
        (dir / "in" / ".." / "in" / "000.txt").string(), (dir / "in" / "." / "000.txt").string()})
    EXPECT_TRUE(same_file(a, b)) << b;
  EXPECT_FALSE(same_file(a, (dir / "in" / "001.txt").string()));
  // Files that do not exist yet are the same when their names resolve alike.
  EXPECT_TRUE(same_file((dir / "new.csv").string(), (dir / "in" / ".." / "new.csv").string()));
  EXPECT_FALSE(same_file((dir / "new.csv").string(), (dir / "new2.csv").string()));
  const auto clashes =
      output_clashes({{a, "an input"}}, {{(dir / "s.csv").string(), "--summary"},
                                         {(dir / "in" / "soft.txt").string(), "--forms"},
                                         {(dir / "in" / ".." / "s.csv").string(), "--by-sample"},
                                         {"-", "--summary"},
                                         {"", "--calc"}});
  ASSERT_EQ(clashes.size(), 2u);
  EXPECT_NE(clashes[0].find("--forms would overwrite an input (" + a + ")"), std::string::npos)
      << clashes[0];
  EXPECT_NE(clashes[1].find("--by-sample would overwrite what --summary writes"), std::string::npos)
      << clashes[1];
  fs::remove_all(dir);
}

// Every output option pointed at an input, the plan or another output: status 1, and not a
// byte written anywhere.
TEST(OutputsOnInputs, EveryOutputOptionIsRefusedBeforeAnythingIsWritten) {
  const fs::path dir = make_folder("ferolan_clash", 3);
  std::ofstream(dir / "plan.csv") << "file\nin/000.txt\nin/001.txt\n";
  fs::create_symlink("in/001.txt", dir / "link.txt");
  const std::string one = "in/000.txt --pk 4 ";
  const char* const cases[] = {
      "in/000.txt --pk 4 --summary in/000.txt",
      "in/000.txt --pk 4 --by-sample ./in/000.txt",
      "in/000.txt --pk 4 --forms in/../in/000.txt",
      "in/000.txt --pk 4 --calc in/000.txt",
      "in/000.txt --pk 4 --trace in/000.txt",
      "in/000.txt in/001.txt --pk 4 --trace t --summary t/000.trace",
      "in/001.txt --pk 4 --summary link.txt",
      "in/ --pk 4 --summary in/002.txt",
      "--manifest plan.csv --pk 4 --summary plan.csv",
      "--manifest plan.csv --pk 4 --by-sample in/001.txt",
      "in/000.txt --pk 4 --summary s.csv --by-sample s.csv",
      "in/000.txt --pk 4 --summary s.csv --forms ./s.csv",
      "in/000.txt --pk 4 --forms f.txt --calc f.txt",
      "in/000.txt --pk 4 --summary out/spectra.png --plots out",
  };
  const std::set<std::string> before = listing(dir);
  const std::string bytes = slurp(dir / "in" / "000.txt") + slurp(dir / "in" / "001.txt") +
                            slurp(dir / "in" / "002.txt") + slurp(dir / "plan.csv");
  for (const char* args : cases) {
    const Outcome r = run(args, dir);
    EXPECT_EQ(r.status, 1) << args << "\n" << r.err;
    EXPECT_NE(r.err.find("would overwrite"), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(listing(dir), before) << args;
  }
  EXPECT_EQ(slurp(dir / "in" / "000.txt") + slurp(dir / "in" / "001.txt") +
                slurp(dir / "in" / "002.txt") + slurp(dir / "plan.csv"),
            bytes);
  // Outputs that only look alike are written.
  const Outcome ok = run(one + "--summary s.csv --by-sample in/s.csv", dir);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_TRUE(fs::exists(dir / "s.csv") && fs::exists(dir / "in" / "s.csv"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ferolan::cli
