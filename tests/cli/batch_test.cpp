// The batch tool over many files: its reader, the plan, the tables, and whole runs.
#include "cli/batch.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/analyse.h"
#include "cli/data_file.h"
#include "cli/manifest.h"
#include "cli/outputs.h"
#include "cli/svg.h"
#include "engine/analysis/fit_access.h"
#include "engine/import/import.h"
#include "support/synthetic_data.h"

namespace ferolan::cli {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void expect_same_data(const DataSet& a, const DataSet& b) {
  EXPECT_EQ(a.acid_conc, b.acid_conc);
  ASSERT_EQ(a.n_spectra, b.n_spectra);
  ASSERT_EQ(a.n_wavelengths, b.n_wavelengths);
  for (int s = 1; s <= a.n_spectra; ++s) EXPECT_EQ(a.ph_values[s], b.ph_values[s]) << s;
  for (int w = 1; w <= a.n_wavelengths; ++w) {
    EXPECT_EQ(a.wavelengths[w], b.wavelengths[w]) << w;
    for (int s = 1; s <= a.n_spectra; ++s) EXPECT_EQ(a.absorbance[w][s], b.absorbance[w][s]);
  }
}

// The same small table in every layout a lab saves.
const char kTab[] =
    "0.001\t7\t3\t5\n"
    "400\t0.1\t0.25\t-0.125\n"
    "402.5\t1e-3\t2.5E-1\t0\n";

TEST(DataFile, EveryDialectReadsAsThePasteAndTheFileImport) {
  DataSet pasted, filed;
  std::string problem;
  ASSERT_TRUE(parse_clipboard_table(with_row_ends(kTab), pasted, problem)) << problem;
  ASSERT_TRUE(parse_mdf("0.001 7 3 5 400 0.1 0.25 -0.125 402.5 1e-3 2.5E-1 0", filed, problem));
  struct Case {
    const char* name;
    std::string text;
    InputFormat format;
    const char* separator;
    char decimal;
  } cases[] = {
      {"a.txt", kTab, InputFormat::Table, "tab", '.'},
      {"a.tsv", "0.001\t7\t3\t5\r\n400\t0,1\t0,25\t-0,125\r\n402,5\t1e-3\t2,5E-1\t0\r\n",
       InputFormat::Table, "tab", '.'},
      {"a.tsv", "0.001  7 3   5\n400 0.1 0.25 -0.125\n 402.5 1e-3 2.5E-1 0\n\n\n",
       InputFormat::Table, "space", '.'},
      {"a.csv", "0,001;7;3;5\n400;0,1;0,25;-0,125\n402,5;1e-3;2,5E-1;0\n", InputFormat::Table,
       "semicolon", ','},
      {"a.csv", "0.001,7,3,5\n400,0.1,0.25,-0.125\n402.5,1e-3,2.5E-1,0\n", InputFormat::Table,
       "comma", '.'},
      {"a.csv", "\xEF\xBB\xBF\"0,001\";7;3;5\r400;0,1;0,25;-0,125\r402,5;1e-3;2,5E-1;0;;\r",
       InputFormat::Table, "semicolon", ','},
      {"a.txt", "0.001;7;3;5\n400;0,1;0,25;-0,125\n402,5;1e-3;2,5E-1;0\n", InputFormat::Table,
       "semicolon", ','},
      {"a.mdf", "0.001, 7, 3, 5\n400, 0.1, 0.25, -0.125\n402.5, 1e-3, 2.5E-1, 0\n",
       InputFormat::Mdf, "", '.'},
      {"a.txt", "0.001 7 3 5 400 0.1 0.25\n-0.125 402.5 1e-3 2.5E-1 0", InputFormat::Mdf, "", '.'},
      // Quotes around every cell, a quote doubled in none; empty cells after the last one of
      // a row, as many as a spreadsheet leaves, do not count as columns.
      {"a.csv",
       "\"0,001\",\"7\",\"3\",\"5\"\n\"400\",\"0,1\",\"0,25\",\"-0,125\"\n\"402,5\",\"1e-3\","
       "\"2,5E-1\",\"0\"\n",
       InputFormat::Table, "comma", ','},
      {"a.tsv",
       "0.001\t7\t3\t5" + std::string(5000, '\t') + "\n400\t0.1\t0.25\t-0.125\t\t\n" +
           "402.5\t1e-3\t2.5E-1\t0" + std::string(70, '\t') + "\n",
       InputFormat::Table, "tab", '.'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    // An import table without a layout of its own is read as the file would be.
    const DataFile f = read_data_file(c.name, c.text, InputFormat::Detect);
    ASSERT_TRUE(f.ok) << f.message;
    EXPECT_EQ(f.format, c.format);
    if (c.format == InputFormat::Table) {
      EXPECT_STREQ(separator_name(f.separator), c.separator);
      EXPECT_EQ(f.decimal_mark, c.decimal);
    }
    EXPECT_TRUE(f.warnings.empty()) << f.warnings.front().text;
    expect_same_data(*f.data, c.format == InputFormat::Mdf ? filed : pasted);
  }
}

std::string rows_of(int rows, int cols) {
  std::string t = "0.001";
  for (int c = 2; c <= cols; ++c) {
    t += '\t';
    t += std::to_string(c);
  }
  t += "\n";
  for (int r = 2; r <= rows; ++r) {
    t += std::to_string(200 + r);
    for (int c = 2; c <= cols; ++c) t += "\t0.5";
    t += "\n";
  }
  return t;
}

TEST(DataFile, CellsThatAreNoNumberAreNamedByRowAndColumn) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> warnings;  // "row,column: text"
  } cases[] = {
      {"a.txt",
       "0.001\t2\t4\n400\tn/a\t0.2\n401\t0.3\t0.4\n",
       {"2,2: \"n/a\" is not a number, read as 0"}},
      {"a.txt",
       "0.001\t2\t4\n400\t0.1x\t0.2\n401\t0.3\n",
       {"2,2: \"0.1x\" is not a number, read as 0", "3,3: empty cell read as 0"}},
      {"a.csv", "0,001;2;4\n400;;0,2\n401;0,3;0,4\n", {"2,2: empty cell read as 0"}},
      {"a.txt", "\t2\t4\n400\t0.1\t0.2\n", {}},  // an empty corner means 10 mol/L
      {"a.txt",
       "0.001\t2\t4\n400\t0.1\t0.2\n\n401\t0.3\t0.4\n",
       {"3,0: empty row read as wavelength 0 nm with absorbances 0"}},
      {"a.mdf", "0.001 2 4\n400 0.1 -\n401 0.3 0.4\n", {"2,3: \"-\" is not a number, read as 0"}},
      // Beyond the window's 50 spectra and 999 points a table is read whole, quietly.
      {"a.txt", rows_of(1002, 3), {}},
      {"a.txt", rows_of(1000, 3), {}},
      {"a.txt", rows_of(3, 153), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    const DataFile f = read_data_file(c.name, c.text, InputFormat::Detect);
    ASSERT_TRUE(f.ok) << f.message;
    std::vector<std::string> got;
    for (const CellWarning& w : f.warnings)
      got.push_back(std::to_string(w.row) + "," + std::to_string(w.column) + ": " + w.text);
    EXPECT_EQ(got, c.warnings);
  }
  // A data.mdf beyond the window's 1000 points or 50 spectra is read whole, with a note at
  // the first value the window would not read as this tool does.
  std::string mdf = "0.001 2 4\n";
  for (int w = 0; w < 1001; ++w) mdf += std::to_string(300 + w) + " 0.1 0.2\n";
  const DataFile f = read_data_file("big.mdf", mdf, InputFormat::Detect);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.data->n_wavelengths, 1001);
  EXPECT_EQ(f.data->wavelengths[1001], 1300);
  EXPECT_EQ(f.data->absorbance[1001][2], 0.2f);
  ASSERT_EQ(f.warnings.size(), 1u);
  EXPECT_EQ(f.warnings[0].row, 1002);
  EXPECT_NE(f.warnings[0].text.find("the window reads only the first 50 spectra"),
            std::string::npos);
  std::string wide = "0.001";
  for (int s = 0; s < 60; ++s) (wide += ' ') += std::to_string(1 + s * 0.2);
  wide += "\n400";
  for (int s = 0; s < 60; ++s) (wide += ' ') += std::to_string(0.01 * s);
  wide += "\n401";
  for (int s = 0; s < 60; ++s) wide += " 0.5";
  wide += "\n";
  const DataFile g = read_data_file("wide.mdf", wide, InputFormat::Detect);
  ASSERT_TRUE(g.ok) << g.message;
  EXPECT_EQ(g.data->n_spectra, 60);
  EXPECT_EQ(g.data->n_wavelengths, 2);
  EXPECT_EQ(g.data->absorbance[1][60], 0.59f);
  ASSERT_EQ(g.warnings.size(), 1u);
  EXPECT_EQ(g.warnings[0].row, 1);
  EXPECT_EQ(g.warnings[0].column, 52);  // the 51st pH, after the concentration
  // Exactly the window's capacity needs no note.
  std::string full = "0.001";
  for (int s = 0; s < 50; ++s) full += " 7";
  full += "\n";
  for (int w = 0; w < 1000; ++w) {
    full += std::to_string(300 + w);
    for (int s = 0; s < 50; ++s) full += " 0.1";
    full += "\n";
  }
  const DataFile h = read_data_file("full.mdf", full, InputFormat::Detect);
  ASSERT_TRUE(h.ok) << h.message;
  EXPECT_EQ(h.data->n_spectra, 50);
  EXPECT_EQ(h.data->n_wavelengths, 1000);
  EXPECT_TRUE(h.warnings.empty());
}

TEST(DataFile, FilesThatCannotBeSpectraAreRefusedWithAStableCode) {
  struct Case {
    const char* name;
    std::string text;
    const char* code;
  } cases[] = {
      {"a.txt", "", "empty"},
      {"a.mdf", "  \n", "empty"},
      {"a.txt", "0.001\t2\n", "no_wavelengths"},
      {"a.tsv", "0.001\n400\n", "no_spectra"},
      {"a.txt", "0.001\t\"a\"\"b\"\t4\n400\t0.1\t0.2\n", "ph_not_a_number"},
      {"a.txt", "0.001\t2\t4\n400\tinf\t0.2\n", "non_finite"},
      {"a.txt", "0.001\t2\t4\n400\t1e39\t0.2\n", "value_out_of_range"},
      {"a.txt", "0.001\t2\t4\n40000\t0.1\t0.2\n", "wavelength_out_of_range"},
      {"a.mdf", "0.001 2 4 400 0.1", "truncated"},
      {"a.mdf", "0.001 400 0.1", "no_ph"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    const DataFile f = read_data_file(c.name, c.text, InputFormat::Detect);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.code, c.code) << f.message;
    EXPECT_FALSE(f.message.empty());
  }
  EXPECT_NE(not_text_reason(std::string("0.001\t2\n400\0\t1\n", 16)), "");
  EXPECT_NE(not_text_reason("0.001\t\xC3\x28\n400\t1\n"), "");
  EXPECT_NE(not_text_reason("\xE2\x82"), "");  // cut in the middle of a character
  EXPECT_EQ(not_text_reason("\xEF\xBB\xBFpH\t\xE2\x84\x96 1\n400\t\xFF\n"), "");
}

// The optional row of concentrations below the pH row: each spectrum's own (a titration
// diluted as it goes). A cell of it is never read as 0, which would mean no acid.
TEST(DataFile, ConcentrationRow) {
  const struct {
    std::string text;
    const char* code;
    const char* where;
  } refused[] = {
      {"0.001\t2\t4\nconc\t1e-4\tn/a\n400\t0.1\t0.2\n", "concentration_not_a_number",
       "row 2, column 3: \"n/a\""},
      {"0.001\t2\t4\nconc\t1e-4\n400\t0.1\t0.2\n", "concentration_not_a_number",
       "row 2, column 3: an empty cell"},
      {"0.001\t2\t4\nconc\t1e-4\t1e-4x\n400\t0.1\t0.2\n", "concentration_not_a_number", "column 3"},
      {"0.001\t2\t4\nconc\t0\t1e-4\n400\t0.1\t0.2\n", "concentration_not_positive",
       "row 2, column 2"},
      {"0.001\t2\t4\nconc\t1e-4\t-1e-4\n400\t0.1\t0.2\n", "concentration_not_positive", "column 3"},
      {"0.001\t2\t4\nconc\t1e-4\t1e-60\n400\t0.1\t0.2\n", "concentration_not_positive",
       "column 3"},  // 0 as a Single
      {"0.001\t2\t4\nconc\t1e-4\tnan\n400\t0.1\t0.2\n", "non_finite", "column 3"},
      {"0.001\t2\t4\nconc\t1e-4\t1e40\n400\t0.1\t0.2\n", "value_out_of_range", "column 3"},
      {"0.001\t2\t4\nconc\t1e-4\t1e-4\n", "no_wavelengths", "no row below"},
      {"0.001\t2\t4\n400\t0.1\t0.2\nconc\t1e-4\t1e-4\n", "concentration_row_misplaced",
       "row 3, column 1"},
      {"0.001\t2\t4\nconc\t1e-4\t1e-4\nConc\t1e-4\t1e-4\n400\t0.1\t0.2\n",
       "concentration_row_misplaced", "row 3"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.text);
    const DataFile f = read_data_file("a.txt", c.text, InputFormat::Detect);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.code, c.code) << f.message;
    EXPECT_NE(f.message.find(c.where), std::string::npos) << f.message;
  }

  const struct {
    const char* name;
    std::string text;
    std::vector<double> conc;
  } read[] = {
      {"a.txt", "\t2\t4\nconc\t1e-4\t5e-5\n400\t0.1\t0.2\n401\t0.3\t0.4\n", {1e-4, 5e-5}},
      {"a.csv", "0,001;2;4\nConcentration, mol/L;1,0e-4;0,5e-4\n400;0,1;0,2\n", {1e-4, 5e-5}},
      {"a.tsv", "0.001 2 4\nCONC 2e-4 1e-4\n400 0.1 0.2\n", {2e-4, 1e-4}},
      {"a.txt", "2 4\nconc 2e-4 1e-4\n400 0.1 0.2\n", {2e-4, 1e-4}},  // empty corner
      {"a.txt", "0.001\t2\t4\n400\t0.1\t0.2\n", {}},                  // none
  };
  for (const auto& c : read) {
    SCOPED_TRACE(c.text);
    const DataFile f = read_data_file(c.name, c.text, InputFormat::Detect);
    ASSERT_TRUE(f.ok) << f.message;
    EXPECT_TRUE(f.warnings.empty());
    ASSERT_EQ(f.conc_spectra.size(), c.conc.size());
    for (size_t i = 0; i < c.conc.size(); ++i)
      EXPECT_EQ(f.conc_spectra[i], static_cast<float>(c.conc[i]));
    EXPECT_EQ(f.data->n_spectra, 2);
    EXPECT_EQ(f.data->wavelengths[1], 400);
    EXPECT_EQ(f.data->absorbance[1][2], 0.2f);
    if (!c.conc.empty()) {
      // The searches take the mean.
      EXPECT_EQ(
          f.data->acid_conc,
          static_cast<float>((static_cast<float>(c.conc[0]) + static_cast<float>(c.conc[1])) / 2));
      EXPECT_EQ(f.data->n_wavelengths,
                static_cast<int>(std::count(c.text.begin(), c.text.end(), '\n')) - 2);
    }
  }
}

TEST(Manifest, ColumnsBecomeEachFilesSettings) {
  Options base;
  base.pk = {"4", "9"};
  base.search = Search::Optimisation;
  base.zero = {4};
  const std::string plan =
      "file,sample,constants,search,pk1,pk2,pk3,pk4,pk5,hold,ionic_strength,exclude_ph\r\n"
      "a.txt,S1,3,auto,,\"8,5\",,,,2 3,0.1,7.00 8.5\r\n"
      "/abs/b.mdf,,,manual,,,,,,,,\r\n"
      "\r\n"
      "sub/c.csv,S1,,,3.5,,,,12,,,\r\n";
  std::vector<FileJob> jobs;
  std::string error;
  ASSERT_TRUE(plan_jobs(plan, "lab", base, jobs, error)) << error;
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0].path, "lab/a.txt");
  EXPECT_EQ(jobs[0].sample, "S1");
  EXPECT_EQ(jobs[0].settings->constants, 3);
  EXPECT_TRUE(jobs[0].settings->zero.empty());
  EXPECT_EQ(jobs[0].settings->search, Search::Auto);
  EXPECT_EQ(jobs[0].settings->pk, (std::vector<std::string>{"4", "8.5"}));
  EXPECT_EQ(jobs[0].settings->hold, (std::vector<int>{2, 3}));
  EXPECT_EQ(jobs[0].settings->ionic_strength, 0.1);
  EXPECT_EQ(jobs[0].settings->exclude_ph, (std::vector<std::string>{"7.00", "8.5"}));
  EXPECT_EQ(jobs[1].path, "/abs/b.mdf");
  EXPECT_EQ(jobs[1].sample, "/abs/b");  // no sample: the path without its extension
  EXPECT_EQ(jobs[1].settings->search, Search::Manual);
  EXPECT_EQ(jobs[1].settings->pk, base.pk);
  EXPECT_EQ(jobs[1].settings->zero, base.zero);
  EXPECT_EQ(jobs[2].settings->pk, (std::vector<std::string>{"3.5", "9", "", "", "12"}));

  // A plan saved where the decimal mark is a comma.
  jobs.clear();
  ASSERT_TRUE(plan_jobs("file;pk1;ionic_strength\na.txt;4,25;0,05\n", "", base, jobs, error));
  EXPECT_EQ(jobs[0].path, "a.txt");
  EXPECT_EQ(jobs[0].settings->pk[0], "4.25");
  EXPECT_EQ(jobs[0].settings->ionic_strength, 0.05);

  struct Bad {
    std::string plan, error;
  } bad[] = {
      {"", "the plan is empty"},
      {"sample\nx\n", "no column 'file'"},
      {"file,note,Note\na.txt,x,y\n", "the column 'Note' appears twice"},
      {"file,Status\na.txt,x\n", "the column 'Status' is one the summary writes itself"},
      {"file,,note\na.txt,,x\n", "column 2 has no name in the header row"},
      {"file\na.txt,x\n", "row 2: column 2 holds a value but the header row names no column"},
      {"file,note\n,,\n\n,\n", "the plan names no file (it has only its header row)"},
      {"file,search\na.txt,fast\n", "row 2: search takes opt, manual or auto, got 'fast'"},
      {"file,hold\na.txt,1 6\n", "row 2: hold takes slot numbers 1 to 5, got '6'"},
      {"file,constants\na.txt,0\n", "row 2: constants takes 1 to 5"},
      {"file,pk2\na.txt,x\n", "row 2: pk2 is not a number"},
      {"file,ionic_strength\na.txt,2\n", "row 2: ionic_strength takes 0 to 1 mol/L"},
      {"file,exclude_ph\na.txt,7 x\n", "row 2: exclude_ph takes pH values, got 'x'"},
      {"file,sample\n,x\n", "row 2: the column 'file' is empty"},
  };
  for (const Bad& b : bad) {
    jobs.clear();
    EXPECT_FALSE(plan_jobs(b.plan, "", base, jobs, error)) << b.plan;
    EXPECT_NE(error.find(b.error), std::string::npos) << error;
  }
}

// Columns of the lab's own (compound, operator, date) go to the summary in the plan's order;
// the empty rows and columns a spreadsheet leaves at the end are no part of the plan.
TEST(Manifest, OtherColumnsArePassedThroughAndEmptyEndsIgnored) {
  std::vector<FileJob> jobs;
  std::string error;
  ASSERT_TRUE(
      plan_jobs("file,Compound ID,sample, operator ,date,,,\r\n"
                "a.txt,C-17,S1,=cmd,2026-12-08,,,\r\n"
                "b.txt,,S1,\"Kovalenko, O.\",,\r\n"
                ",,,,,,,\r\n,,\r\n",
                "", Options(), jobs, error))
      << error;
  ASSERT_EQ(jobs.size(), 2u);
  ASSERT_TRUE(jobs[0].plan_columns);
  EXPECT_EQ(*jobs[0].plan_columns, (std::vector<std::string>{"Compound ID", "operator", "date"}));
  EXPECT_EQ(jobs[0].plan_cells, (std::vector<std::string>{"C-17", "=cmd", "2026-12-08"}));
  EXPECT_EQ(jobs[1].plan_cells, (std::vector<std::string>{"", "Kovalenko, O.", ""}));

  FileResult r;
  r.file = "a.txt";
  r.plan_cells = jobs[0].plan_cells;
  FileResult q;
  q.file = "b.txt";
  q.plan_cells = jobs[1].plan_cells;
  const std::string csv = summary_csv({r, q}, false, *jobs[0].plan_columns);
  const auto records = read_csv(csv);
  ASSERT_EQ(records.size(), 3u);
  const size_t own = summary_columns().size();
  ASSERT_EQ(records[0].size(), own + 3);
  EXPECT_EQ(records[0][own], "Compound ID");
  EXPECT_EQ(records[1][own + 1], "'=cmd");  // not a formula in a spreadsheet
  EXPECT_EQ(records[2][own + 1], "Kovalenko, O.");
  for (const auto& rec : records) EXPECT_EQ(rec.size(), own + 3);
}

TEST(Csv, FieldsFollowRfc4180) {
  const auto rec = read_csv("a,\"b,1\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",,x\n");
  ASSERT_EQ(rec.size(), 2u);
  EXPECT_EQ(rec[0], (std::vector<std::string>{"a", "b,1", "say \"hi\""}));
  EXPECT_EQ(rec[1], (std::vector<std::string>{"two\nlines", "", "x"}));
  EXPECT_EQ(csv_field("plain"), "plain");
  EXPECT_EQ(csv_field("a, b"), "\"a, b\"");
  EXPECT_EQ(csv_field("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(csv_number(std::optional<float>(4.2f)), "4.2");
  EXPECT_EQ(csv_number(std::optional<double>(0.1)), "0.1");
  EXPECT_EQ(csv_number(std::optional<double>()), "");
  EXPECT_EQ(csv_number(std::optional<double>(NAN)), "");
}

// An ok result of the given constants; modes "ffhrr" (fitted, held, removed) when not all
// given slots are fitted.
FileResult ok_result(const std::string& sample, std::vector<double> pk, double s_a,
                     std::string modes = "", std::string file = "") {
  FileResult r;
  r.file = file.empty() ? sample + ".txt" : file;
  r.sample = sample;
  if (modes.empty()) modes = std::string(pk.size(), 'f') + std::string(5 - pk.size(), 'r');
  for (int k = 1; k <= 5; ++k) {
    const char m = modes[k - 1];
    r.per_slot[k].state = m == 'f' ? "fitted" : m == 'h' ? "held" : "removed";
    if (m != 'r') r.per_slot[k].pka = pk[k - 1];
  }
  r.s_a = s_a;
  return r;
}

TEST(Replicates, StatisticsAgainstHandComputedValues) {
  struct Case {
    std::vector<double> v;
    std::optional<double> mean, sd, sem;
  } cases[] = {
      {{4.70, 4.75, 4.80}, 4.75, 0.05, 0.028867513459481},
      {{2.0, 4.0}, 3.0, 1.4142135623730951, 1.0},
      {{8.2}, 8.2, std::nullopt, std::nullopt},
      {{}, std::nullopt, std::nullopt, std::nullopt},
      {{1, 2, 3, 4}, 2.5, 1.2909944487358056, 0.6454972243679028},
  };
  for (const Case& c : cases) {
    const Spread s = spread_of(c.v);
    EXPECT_EQ(s.n, static_cast<int>(c.v.size()));
    for (auto [got, want] : {std::pair{s.mean, c.mean}, {s.sd, c.sd}, {s.sem, c.sem}}) {
      ASSERT_EQ(got.has_value(), want.has_value());
      if (want) {
        EXPECT_NEAR(*got, *want, 1e-12);
      }
    }
  }

  std::vector<FileResult> results = {ok_result("A", {4.70, 8.1}, 0.002),
                                     ok_result("B", {5.0}, 0.003),
                                     ok_result("A", {4.80, 8.3}, 0.004),
                                     ok_result("A", {4.7, 8.2}, 0), ok_result("C", {4.7, 8.2}, 0)};
  results[3].status = Status::Refused;  // not a replicate that counts
  results[3].s_a.reset();
  results[4].status = Status::Unreadable;
  results[4].per_slot = {};
  const auto rows = by_sample(results).rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].sample, "A");
  EXPECT_EQ(rows[0].n, 2);
  EXPECT_EQ(rows[0].constants, 2);
  EXPECT_NEAR(*rows[0].pka[1].mean, 4.75, 1e-12);
  EXPECT_NEAR(*rows[0].pka[1].sd, 0.070710678118654752, 1e-12);
  EXPECT_NEAR(*rows[0].pka[2].sem, 0.1, 1e-12);
  EXPECT_EQ(*rows[0].s_a_max, 0.004);
  EXPECT_FALSE(rows[1].pka[1].sd);
  EXPECT_EQ(rows[2].n, 0);
  const std::string csv = by_sample_csv(results);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "sample,n,constants,mode1,mode2,mode3,mode4,mode5,pKa1_n,pKa1_mean,pKa1_sd,pKa1_sem,"
            "pKa2_n,pKa2_mean,pKa2_sd,pKa2_sem,pKa3_n,pKa3_mean,pKa3_sd,pKa3_sem,pKa4_n,"
            "pKa4_mean,pKa4_sd,pKa4_sem,pKa5_n,pKa5_mean,pKa5_sd,pKa5_sem,s_a_max");
  EXPECT_NE(
      csv.find("\r\nB,1,1,fitted,removed,removed,removed,removed,1,5,,,,,,,,,,,,,,,,,,,0.003\r\n"),
      std::string::npos)
      << csv;
  EXPECT_NE(csv.find("\r\nC,0,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n"), std::string::npos) << csv;
}

// What are not replicates is not pooled: fits of other models, held and removed slots,
// samples of one name in several folders (said in a warning).
TEST(Replicates, OnlyFitsOfOneModelPoolAndOnlyFittedConstants) {
  struct Case {
    const char* what;
    std::vector<FileResult> results;
    std::vector<std::string> rows;  // sample,n,constants,modes,pKa1_n,pKa1_mean,...,pKa3_n
    int warnings;
  } cases[] = {
      {"two and three constants are two models",
       {ok_result("A", {4.7, 8.2}, 0.001), ok_result("A", {4.7, 8.2, 11.0}, 0.002),
        ok_result("A", {4.8, 8.4}, 0.003)},
       {"A,2,2,ffrrr,2,4.75,2,8.3,,", "A,1,3,fffrr,1,4.7,1,8.2,1,11"},
       1},
      {"a held slot is no statistic, and a model of its own",
       {ok_result("A", {4.7, 8.2}, 0.001, "fhrrr"), ok_result("A", {4.8, 8.2}, 0.001, "fhrrr"),
        ok_result("A", {4.9, 8.3}, 0.001)},
       {"A,2,2,fhrrr,2,4.75,,,,", "A,1,2,ffrrr,1,4.9,1,8.3,,"},
       1},
      {"a sample of one name in two folders is pooled, and said",
       {ok_result("A", {4.7}, 0.001, "", "run1/data.mdf"),
        ok_result("A", {4.9}, 0.001, "", "run2/data.mdf")},
       {"A,2,1,frrrr,2,4.8,,,,"},
       1},
      {"a refused file first, its sample's model after",
       {[] {
          FileResult r = ok_result("A", {}, 0, "rrrrr");
          r.status = Status::Refused;
          r.per_slot = {};
          return r;
        }(),
        ok_result("A", {4.7}, 0.001)},
       {"A,1,1,frrrr,1,4.7,,,,"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SampleTable t = by_sample(c.results);
    std::vector<std::string> got;
    for (const SampleRow& r : t.rows) {
      std::string modes;
      for (int k = 1; k <= 5; ++k) modes += r.modes[k] ? r.modes[k][0] : '-';
      std::ostringstream row;
      row << r.sample << "," << r.n << "," << r.constants << "," << modes;
      for (int k = 1; k <= 3; ++k) {
        row << ",";
        if (r.pka[k].n) row << r.pka[k].n;
        row << ",";
        if (r.pka[k].mean) row << static_cast<float>(*r.pka[k].mean);
      }
      got.push_back(row.str());
    }
    EXPECT_EQ(got, c.rows);
    EXPECT_EQ(static_cast<int>(t.warnings.size()), c.warnings);
  }
}

// ---- whole runs of the tool ----

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome run(const std::string& args, const fs::path& dir) {
  const std::string cmd = "cd " + dir.string() + " && " + FEROLAN_CLI + " " + args +
                          " >stdout.txt 2>stderr.txt </dev/null";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "stdout.txt"),
          slurp(dir / "stderr.txt")};
}

// A lab's folder: two replicates of one acid, another acid, a cell typed "n/a", an acid with
// one absorbing form, a file cut short, a link to nothing.
fs::path make_lab() {
  const fs::path dir = fs::temp_directory_path() / ("ferolan_lab_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "acids");
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / "acids" / name, std::ios::binary) << text;
  };
  for (uint32_t seed : {1u, 2u}) {
    testing::SyntheticRecipe recipe;
    recipe.seed = seed;
    write(seed == 1 ? "r1.txt" : "r2.txt",
          testing::table_text(*testing::make_synthetic(recipe).data));
  }
  testing::SyntheticRecipe one;
  one.pk = {5.0};
  one.noise = 0.001;
  const std::string good = testing::table_text(*testing::make_synthetic(one).data);
  write("b.txt", good);
  std::string broken = good;
  broken.replace(broken.find('\t', broken.find('\n')) + 1, 1, "n/a ");
  write("c.txt", broken);
  testing::SyntheticRecipe flat;
  flat.pk = {30.0};
  write("d.txt", testing::table_text(*testing::make_synthetic(flat).data));
  write("e.mdf", "0.001 2 4 7 400 0.1 0.2 0.3 401 0.1");
  fs::create_symlink("nowhere.mdf", dir / "acids" / "f.mdf");
  std::ofstream(dir / "plan.csv")
      << "file,sample,constants\nacids/r1.txt,R,2\nacids/r2.txt,R,2\nacids/b.txt,B,\n"
         "acids/c.txt,C,\nacids/d.txt,D,\n";
  return dir;
}

// Elapsed and start times differ from run to run; nothing else may.
std::string without_times(const std::string& s) {
  return std::regex_replace(s, std::regex("(trials: .*|\"elapsed.*|\"started_utc.*)"), "");
}

TEST(Batch, MixedFolderNamesEveryProblemAndExitsWithTheHighestStatus) {
  const fs::path lab = make_lab();
  const Outcome r = run("acids/ --summary s.csv --jobs 2", lab);
  EXPECT_EQ(r.status, 3) << r.err;  // d.txt has no constant to fit
  for (const char* line :
       {"ferolan-cli: acids/c.txt: row 2, column 2: \"n/a .",
        "ferolan-cli: acids/d.txt: the factor analysis finds fewer than two absorbing forms",
        "ferolan-cli: acids/e.mdf: the file ends in the middle of the row of wavelength 401 nm",
        "ferolan-cli: acids/f.mdf: cannot be read: No such file or directory"})
    EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
  const std::string s = slurp(lab / "s.csv");
  EXPECT_EQ(s.substr(0, s.find('\n') + 1),
            "file,sample,status,code,message,warnings,spectra,spectra_used,points,constants,"
            "search,mode1,mode2,mode3,mode4,mode5,pKa1,pKa2,pKa3,pKa4,pKa5,u1,u2,u3,u4,u5,se1,se2,"
            "se3,se4,se5,s_a,preferred_constants,ionic_strength,pKa1_conc,pKa2_conc,pKa3_conc,"
            "pKa4_conc,pKa5_conc\r\n");
  const auto records = read_csv(s);
  std::vector<std::string> status;
  for (size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].size(), 39u) << i;
    status.push_back(records[i][0] + " " + records[i][1] + " " + records[i][2]);
    EXPECT_EQ(records[i][3].empty(), records[i][0] == "acids/b.txt" ||
                                         records[i][0] == "acids/r1.txt" ||
                                         records[i][0] == "acids/r2.txt")
        << records[i][3];
  }
  // Without a plan the sample is the path without its extension.
  EXPECT_EQ(status, (std::vector<std::string>{
                        "acids/b.txt acids/b ok", "acids/c.txt acids/c ok_with_warnings",
                        "acids/d.txt acids/d refused", "acids/e.mdf acids/e refused",
                        "acids/f.mdf acids/f unreadable", "acids/r1.txt acids/r1 ok",
                        "acids/r2.txt acids/r2 ok"}));
  // b.txt was made with pKa 5.
  const std::string b =
      "acids/b.txt,acids/b,ok,,,0,21,21,121,1,opt,fitted,removed,removed,removed,removed,";
  const size_t at = s.find(b);
  ASSERT_NE(at, std::string::npos) << s;
  EXPECT_NEAR(std::stod(s.substr(at + b.size(), 12)), 5.0, 0.02) << s;

  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"acids/b.txt acids/r1.txt", 0},
      {"acids/b.txt acids/c.txt --strict", 2},
      {"acids/b.txt acids/e.mdf acids/d.txt", 3},
      {"acids/b.txt acids/f.mdf", 2},
      {"acids/b.txt --summary /nonexistent/s.csv", 4},
      {"acids/b.txt --search auto --pk 5 --hold 1", 3},
      {"acids/b.txt --noise inf", 1},
      {"acids/b.txt --exclude-ph seven", 1},
      {"acids/b.txt --factors --summary s.csv", 1},
      {"acids/b.txt acids/r1.txt --forms f.txt", 1},
  };
  for (const Case& c : cases) {
    const Outcome x = run(c.args, lab);
    EXPECT_EQ(x.status, c.status) << c.args << "\n" << x.err;
  }
  // Too large to read (refused from its size alone), a folder named as a file in a plan.
  std::ofstream(lab / "huge.txt") << "";
  fs::resize_file(lab / "huge.txt", (64u << 20) + 1);
  std::ofstream(lab / "folder-plan.csv") << "file\nacids\nacids/b.txt\n";
  struct Named {
    std::string args, err;
    int status;
  } named[] = {
      {"huge.txt", "ferolan-cli: huge.txt: is larger than 64 MiB", 2},
      {"--manifest folder-plan.csv", "ferolan-cli: acids: is a folder, not a file", 2},
      {"--manifest nothing.csv", "ferolan-cli: nothing.csv: cannot be read", 2},
  };
  for (const Named& c : named) {
    const Outcome x = run(c.args, lab);
    EXPECT_EQ(x.status, c.status) << c.args << "\n" << x.err;
    EXPECT_NE(x.err.find(c.err), std::string::npos) << x.err;
  }
  // Standard output that cannot be written.
  for (const char* redirect : {">&-", ">/dev/full"}) {
    const std::string cmd = "cd " + lab.string() + " && " + FEROLAN_CLI + " acids/b.txt --json " +
                            redirect + " 2>/dev/null";
    const int raw = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 4) << redirect;
  }
}

// The files of a folder share one copy of the settings: ten thousand copies were most of a
// large run's memory.
TEST(Batch, TheFilesOfAFolderShareTheirSettings) {
  const fs::path lab = make_lab();
  Options o;
  o.inputs = {(lab / "acids").string(), (lab / "acids").string()};
  std::istringstream in;
  std::vector<std::string> problems;
  int status = 0;
  const std::vector<FileJob> jobs = jobs_of(o, in, problems, status);
  ASSERT_GE(jobs.size(), 6u);
  for (const FileJob& job : jobs) EXPECT_EQ(job.settings.get(), jobs[0].settings.get()) << job.path;
}

TEST(Batch, PlanAndReplicatesGiveTheSameTablesForAnyNumberOfJobs) {
  const fs::path lab = make_lab();
  const Outcome one = run("--manifest plan.csv --summary s1.csv --by-sample r1.csv --jobs 1", lab);
  const Outcome two = run("--manifest plan.csv --summary s2.csv --by-sample r2.csv --jobs 2", lab);
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(two.status, 3);
  EXPECT_EQ(slurp(lab / "s1.csv"), slurp(lab / "s2.csv"));
  EXPECT_EQ(slurp(lab / "r1.csv"), slurp(lab / "r2.csv"));
  EXPECT_EQ(without_times(one.out), without_times(two.out));
  EXPECT_EQ(one.err, two.err);
  const std::string r = slurp(lab / "r1.csv");
  // Two replicates of pKa 4 and 7.
  const std::string two_fits = "\r\nR,2,2,fitted,fitted,removed,removed,removed,2,";
  const size_t at = r.find(two_fits);
  ASSERT_NE(at, std::string::npos) << r;
  EXPECT_NEAR(std::stod(r.substr(at + two_fits.size(), 12)), 4.0, 0.02) << r;
  EXPECT_NE(r.find("\r\nD,0,,"), std::string::npos) << r;

  const Outcome j1 = run("--manifest plan.csv --json --jobs 1 --trace t1", lab);
  const Outcome j2 = run("--manifest plan.csv --json --jobs 2 --trace t2", lab);
  EXPECT_EQ(without_times(j1.out), without_times(j2.out));
  for (const char* t : {"r1.trace", "r2.trace", "b.trace", "c.trace"}) {
    const std::string a = slurp(lab / "t1" / t);
    EXPECT_FALSE(a.empty()) << t;
    EXPECT_EQ(a, slurp(lab / "t2" / t)) << t;
  }
}

// The optimisation's sweeps are planned and scored two at a time on each thread: the trials,
// their order and the result must not depend on the number of threads.
TEST(Batch, OptimisationGivesTheSameTraceAndResultOnAnyNumberOfThreads) {
  const fs::path dir =
      fs::temp_directory_path() / ("ferolan_threads_test_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string data = std::string(FEROLAN_EXAMPLES) + "/data.mdf";
  std::vector<Outcome> runs;
  for (int threads : {1, 2, 3}) {
    const std::string n = std::to_string(threads);
    runs.push_back(
        run(data + " --pk 4,9,11 --level very-high --threads " + n + " --trace t" + n, dir));
    EXPECT_EQ(runs.back().status, 0) << runs.back().err;
  }
  const std::string trace = slurp(dir / "t1");
  EXPECT_GT(std::count(trace.begin(), trace.end(), '\n'), 10000);
  for (size_t i = 1; i < runs.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    EXPECT_EQ(slurp(dir / ("t" + n)), trace) << n << " threads";
    EXPECT_EQ(without_times(runs[i].out), without_times(runs[0].out)) << n << " threads";
  }
  fs::remove_all(dir);
}

// Every key that docs/json.md documents, in every mode and status.
TEST(Batch, JsonCarriesEveryDocumentedKeyInEveryMode) {
  const std::string doc = slurp(fs::path(FEROLAN_SOURCE) / "docs" / "json.md");
  std::set<std::string> keys;
  const std::regex row("^\\| `([a-zA-Z_0-9]+)`");
  std::istringstream in(doc);
  bool in_always = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("## ")) in_always = line.find("every result") != std::string::npos;
    std::smatch m;
    if (in_always && std::regex_search(line, m, row)) keys.insert(m[1]);
  }
  ASSERT_GT(keys.size(), 40u);
  const fs::path lab = make_lab();
  for (const char* mode :
       {"acids/b.txt", "acids/b.txt --search manual --range 1:4:6:0.5", "acids/b.txt --search auto",
        "acids/b.txt --pk 5 --evaluate", "acids/b.txt --compare", "acids/b.txt --factors",
        "acids/d.txt", "acids/f.mdf", "acids/e.mdf", "acids/b.txt --ionic-strength 0.1"}) {
    const Outcome r = run(std::string(mode) + " --json", lab);
    EXPECT_NE(r.out.find("\"schema\": 1,"), std::string::npos) << mode;
    for (const std::string& k : keys)
      EXPECT_NE(r.out.find("\"" + k + "\": "), std::string::npos) << mode << ": " << k;
  }
}

}  // namespace
}  // namespace ferolan::cli

namespace ferolan::cli {
namespace {

TEST(Svg, TicksCoverTheRangeInRoundStepsWhateverTheNumbers) {
  struct Case {
    double lo, hi, step;  // step 0: not checked
  } cases[] = {
      {250, 700, 100},  {0, 1, 0.2},         {1.5, 12.3, 2},     {-0.0043, 0.0041, 0.002},
      {5, 5, 0},        {0, 1e30, 0},        {-1e308, 1e308, 0}, {NAN, 3, 0},
      {0, INFINITY, 0}, {1e-300, 2e-300, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lo) + " " + std::to_string(c.hi));
    const std::vector<double> t = tick_values(c.lo, c.hi);
    ASSERT_GE(t.size(), 2u);
    EXPECT_LE(t.size(), 12u);
    for (double v : t) EXPECT_TRUE(std::isfinite(v));
    const double span = c.hi - c.lo;
    if (std::isfinite(span) && span > 1e-200) {
      EXPECT_LE(t.front(), c.lo + span * 1e-9);
      EXPECT_GE(t.back(), c.hi - span * 1e-9);
    }
    if (c.step > 0) {
      for (size_t i = 1; i < t.size(); ++i) EXPECT_NEAR(t[i] - t[i - 1], c.step, c.step * 1e-9);
    }
  }
  SvgPlot flat{"Flat", "pH", "fraction", {{"A⁻ & <b>", "#000000", {1, 2, 3}, {0.5, 0.5, 0.5}}}};
  const std::string svg = svg_text(flat);
  EXPECT_NE(svg.find(">A⁻ &amp; &lt;b&gt;</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(">pH</text>"), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos);
}

}  // namespace
}  // namespace ferolan::cli

namespace ferolan::cli {
namespace {

FileJob job_of(const std::string& text, Options o) {
  FileJob job;
  job.path = "x.txt";
  job.sample = "x";
  job.bytes = text;
  job.settings = std::make_shared<const Options>(std::move(o));
  return job;
}

TEST(AnalyseFile, ConstantsAndScoreAreThoseOfTheResult) {
  testing::SyntheticRecipe recipe;  // pKa 4 and 7
  const std::string text = testing::table_text(*testing::make_synthetic(recipe).data);
  Options o;
  o.search = Search::Manual;
  o.zero = {3};
  o.ranges = {{1, "3", "5", "0.25"}, {2, "6", "8", "0.25"}};
  const FileResult r = analyse_file(job_of(text, o));
  ASSERT_EQ(r.status, Status::Ok) << r.message;
  EXPECT_EQ(r.constants, 2);
  EXPECT_EQ(*r.per_slot[1].pka, 4.0);  // on the grid
  EXPECT_EQ(*r.per_slot[2].pka, 7.0);
  EXPECT_STREQ(r.per_slot[3].state, "removed");
  EXPECT_FALSE(r.per_slot[3].pka);

  // Ka of the printed pKa, and s(A) of every point at that result, computed here anew.
  DataFile f = read_data_file("x.txt", text, InputFormat::Detect);
  DataSet& d = *f.data;
  sort_by_ph(d);
  for (int s = 1; s <= d.n_spectra; ++s) d.spectrum_used[s] = 1;
  analysis::KaSet ka{};
  for (int k = 1; k <= 2; ++k) {
    ka[k] = std::pow(10.0, -static_cast<double>(static_cast<float>(*r.per_slot[k].pka)));
    EXPECT_EQ(*r.per_slot[k].ka, ka[k]) << k;
  }
  EXPECT_EQ(*r.s_a, std::sqrt(analysis::fit_full(d, ka)->s_a_sq));
  EXPECT_GT(*r.trials, 0);
}

TEST(AnalyseFile, RefusalsCarryTheirCodeStatusAndTheWindowsText) {
  testing::SyntheticRecipe recipe;
  const std::string good = testing::table_text(*testing::make_synthetic(recipe).data);
  testing::SyntheticRecipe flat_spec;
  flat_spec.pk = {30.0};
  const std::string flat = testing::table_text(*testing::make_synthetic(flat_spec).data);
  std::string typo = good;
  typo.replace(typo.find('\t', typo.find('\n')) + 1, 1, "x");
  struct Case {
    std::string text;
    std::function<void(Options&)> set;
    Status status;
    const char* code;
    int exit;
    const char* display;  // part of the window's text, or ""
  } cases[] = {
      {flat, [](Options&) {}, Status::Refused, "too_few_forms", 3, ""},
      {good, [](Options& o) { o.search = Search::Auto, o.pk = {"4"}, o.hold = {1}; },
       Status::Refused, "no_fitted_slot", 3, ""},
      {good,
       [](Options& o) {
         o.search = Search::Manual, o.zero = {2}, o.ranges = {{1, "5", "3", "0.5"}};
       },
       Status::Refused, "range_order", 3, "має бути більшим за початкове"},
      {good, [](Options& o) { o.exclude = {30}; }, Status::Refused, "exclude_out_of_range", 1, ""},
      {typo, [](Options& o) { o.strict = true; }, Status::Refused, "not_a_number", 2, ""},
      {std::string("0.1\t2\n400\0", 10), [](Options&) {}, Status::Refused, "not_text", 2, ""},
      {good,
       [](Options& o) {
         o.pk = {"4", "7"}, o.factors_only = true;
       },
       Status::Ok, "", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Options o;
    c.set(o);
    const FileResult r = analyse_file(job_of(c.text, o));
    EXPECT_EQ(r.status, c.status) << r.message;
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.exit_status, c.exit);
    EXPECT_EQ(r.message.empty(), c.status == Status::Ok) << r.message;
    EXPECT_NE(r.display_message.find(c.display), std::string::npos) << r.display_message;
  }
}

}  // namespace
}  // namespace ferolan::cli
