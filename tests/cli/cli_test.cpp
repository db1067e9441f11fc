// The batch tool as a chemist's shell script uses it: real process, real files, exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cli_run.h"
#include "engine/analysis/fit_access.h"
#include "engine/format/format.h"
#include "engine/import/import.h"

namespace ferolan {
namespace {

// A JSON text is well formed: a small recursive-descent check.
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : s_(s) {}
  bool ok() { return value() && (ws(), i_ == s_.size()); }

 private:
  void ws() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool lit(const char* w) {
    const size_t n = std::strlen(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }
  bool string() {
    if (s_[i_] != '"') return false;
    for (++i_; i_ < s_.size(); ++i_) {
      if (s_[i_] == '\\') {
        ++i_;
      } else if (s_[i_] == '"') {
        ++i_;
        return true;
      } else if (static_cast<unsigned char>(s_[i_]) < 0x20) {
        return false;
      }
    }
    return false;
  }
  bool number() {
    const size_t start = i_;
    while (i_ < s_.size() && std::strchr("+-0123456789.eE", s_[i_])) ++i_;
    return i_ > start;
  }
  bool value() {
    ws();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      ws();
      if (s_[i_] == close) {
        ++i_;
        return true;
      }
      while (true) {
        ws();
        if (c == '{') {
          if (!string()) return false;
          ws();
          if (s_[i_++] != ':') return false;
        }
        if (!value()) return false;
        ws();
        if (s_[i_] == close) {
          ++i_;
          return true;
        }
        if (s_[i_++] != ',') return false;
      }
    }
    if (c == '"') return string();
    if (lit("true") || lit("false") || lit("null")) return true;
    return number();
  }
  const std::string& s_;
  size_t i_ = 0;
};

TEST(Cli, JsonParsesAndCarriesFullPrecision) {
  const CliRun r = cli(kExample + " --pk 4,9 --json --quiet");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(JsonCheck(r.out).ok()) << r.out.substr(0, 400);
  EXPECT_FALSE(JsonCheck("{\"a\": [1, 2,]}").ok());  // the checker itself can say no
  EXPECT_NE(r.out.find("\"state\": \"fitted\""), std::string::npos);
  EXPECT_NE(r.out.find("\"state\": \"removed\""), std::string::npos);
  EXPECT_NE(r.out.find("\"pKa\": \"4.20 ± "), std::string::npos) << r.out.substr(0, 2000);
  const size_t at = r.out.find("\"pKa\": 4");
  ASSERT_NE(at, std::string::npos);
  const std::string number = r.out.substr(at + 7, r.out.find(',', at) - at - 7);
  EXPECT_NEAR(std::stod(number), 4.20, 0.01) << number;
  EXPECT_GT(number.size(), 12u) << number;  // not rounded to the box's two decimals
  EXPECT_NE(r.out.find("\"se\": 0.000"), std::string::npos);
  EXPECT_NE(r.out.find("\"speciation\": "), std::string::npos);
}

TEST(Cli, EvaluatePrintsBothResolutions) {
  const CliRun r = cli(kExample + " --pk 4.2,8.9 --evaluate");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string s = line_starting(r.out, "s(A) = ");
  EXPECT_NE(s.find("(all points)"), std::string::npos) << r.out;
  EXPECT_NE(s.find("(every 10th point)"), std::string::npos);
  EXPECT_NE(line_starting(r.out, "pKa1 = 4.20"), "") << r.out;
  EXPECT_EQ(line_starting(r.out, "trials: "), "");  // nothing was searched
}

TEST(Cli, FactorsAloneNeedNoSearch) {
  const CliRun r = cli(kExample + " --factors");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("data support 3 forms, i.e. 2 constants"), std::string::npos) << r.out;
  EXPECT_EQ(line_starting(r.out, "pKa1"), "");
}

TEST(Cli, TableFromStandardInputWithDecimalCommas) {
  // A table as a spreadsheet copies it, saved with bare line feeds.
  std::ostringstream t;
  t << "0,001";
  const double ph[] = {2, 3, 3.5, 4, 4.5, 5, 6};
  for (double p : ph) t << "\t" << p;
  t << "\n";
  for (int nm = 400; nm <= 440; nm += 2) {
    t << nm;
    for (double p : ph) {
      const double h = std::pow(10.0, -p), k = std::pow(10.0, -4.0);
      const double a = (0.2 * h + (0.6 + 0.01 * (nm - 400)) * k) / (h + k);
      std::string cell = std::to_string(a);
      std::replace(cell.begin(), cell.end(), '.', ',');
      t << "\t" << cell;
    }
    t << "\n";
  }
  const CliRun r = cli("- --pk 3.5 --quiet", t.str());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(line_starting(r.out, "pKa1 = 4.00 ± "), "") << r.out;
  EXPECT_EQ(line_starting(r.out, "pKa2 = "), "pKa2 = removed");
}

TEST(Cli, PlotsAreWrittenAtTheirSizes) {
  const fs::path dir =
      fs::temp_directory_path() / ("ferolan_cli_plots_" + std::to_string(getpid()));
  fs::remove_all(dir);
  const CliRun r = cli(kExample + " --pk 4,9 --quiet --plots " + dir.string());
  ASSERT_EQ(r.status, 0) << r.err;
  struct Png {
    const char* name;
    unsigned w, h;
  } pngs[] = {{"spectra.png", 401, 253},
              {"forms.png", 401, 253},
              {"dadph.png", 170, 110},
              {"speciation.png", 640, 400},
              {"residuals.png", 640, 400}};
  for (const char* svg : {"spectra.svg", "forms.svg", "speciation.svg", "residuals.svg"})
    EXPECT_NE(slurp(dir / svg).find("</svg>"), std::string::npos) << svg;
  for (const Png& p : pngs) {
#ifndef FEROLAN_CLI_PNG
    // Without Qt the batch tool writes SVG pictures only.
    EXPECT_FALSE(fs::exists(dir / p.name)) << p.name;
    continue;
#endif
    const std::string bytes = slurp(dir / p.name);
    ASSERT_GT(bytes.size(), 24u) << p.name;
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
      return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24 |
             static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
             static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
             static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
    };
    EXPECT_EQ(be32(16), p.w) << p.name;
    EXPECT_EQ(be32(20), p.h) << p.name;
  }
  fs::remove_all(dir);
}

TEST(Cli, CompareChoosesTwoConstants) {
  const CliRun r = cli(kExample + " --compare --quiet");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string two = line_starting(r.out, "  2 constants");
  EXPECT_NE(two.find("<- preferred"), std::string::npos) << r.out;
  EXPECT_EQ(line_starting(r.out, "  1 constant ").find("preferred"), std::string::npos);
  EXPECT_NE(line_starting(r.out, "pKa1 = 4.20 ± "), "") << r.out;
  EXPECT_NE(line_starting(r.out, "pKa2 = 8.90 ± "), "");
}

TEST(Cli, IonicStrengthAddsTheConcentrationScale) {
  const CliRun r = cli(kExample + " --pk 4,9 --ionic-strength 0.1 --quiet");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(line_starting(r.out, "pKa1 = ").find("concentration scale"), std::string::npos)
      << r.out;
}

TEST(Cli, ErrorsAreClearAndNonZero) {
  struct Case {
    std::string args, input;
    int status;
    std::string err;
  } cases[] = {
      {"", "", 1, "no input file"},
      {kExample + " --bogus", "", 1, "unknown option --bogus"},
      {kExample + " --search fast", "", 1, "--search takes opt, manual or auto"},
      {kExample + " --path-len 4", "", 1, "--path-len takes 1, 2, 3 or 5"},
      {kExample + " --range 6:1:2:0.5", "", 1, "--range takes K:START:END:STEP"},
      {kExample + " --exclude 30", "", 1, "the data hold 21 spectra"},
      {"/nonexistent/data.mdf", "", 2,
       "ferolan-cli: /nonexistent/data.mdf: cannot be read: No such file or directory"},
      {"- --format mdf --strict", "0.001 2 4 7 400 0.1 0.2 x", 2,
       "ferolan-cli: -: row 1, column 8: \"x\" is not a number, read as 0 (refused by --strict)"},
      {"- --format mdf", "0.001 2 4 7 400 0.1 0.2 0.3 401 0.1", 2,
       "ferolan-cli: -: the file ends in the middle of the row of wavelength 401 nm"},
      {kExample + " --pk 4,9 --exclude 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18", "", 3,
       "data.mdf: too few spectra for the number of constants"},
      {kExample + " --search manual --zero 3 --range 1:3:2:0.5", "", 3,
       "data.mdf: the range end of pKa1 must be greater than its start"},
      {kExample + " --pk 4,9 --quiet --forms /nonexistent/dir/f.txt", "", 4,
       "ferolan-cli: /nonexistent/dir/f.txt: cannot be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = cli(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.status != 0 && c.status != 4) {
      EXPECT_EQ(r.out, "");  // results only on success
    }
  }
}

TEST(Cli, HelpAndVersion) {
  const CliRun h = cli("--help");
  EXPECT_EQ(h.status, 0);
  for (const char* opt :
       {"--search",         "--level",      "--pk",       "--hold",     "--zero",  "--range",
        "--exclude",        "--exclude-ph", "--path-len", "--evaluate", "--json",  "--forms",
        "--calc",           "--plots",      "--quiet",    "--factors",  "--noise", "--compare",
        "--ionic-strength", "Examples",     "Davies"})
    EXPECT_NE(h.out.find(opt), std::string::npos) << opt;
  const CliRun v = cli("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_NE(v.out.find("1.0"), std::string::npos);
}

}  // namespace
}  // namespace ferolan
