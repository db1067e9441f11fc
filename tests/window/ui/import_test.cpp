// The clipboard import: splitting into cells, conversion, sort, selection rebuild, and the
// refusals that leave the earlier data set as it was.
#include "engine/import/import.h"

#include <gtest/gtest.h>

#include "support/data_fixture.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"

namespace ferolan::testing {
namespace {

struct Expected {
  float conc;
  std::vector<float> ph;
  std::vector<int> wl;
  std::vector<std::vector<float>> a;  // a[point][spectrum]
};

const Expected kBase{0.001f, {2, 4, 7}, {400, 401}, {{0.1f, 0.2f, 0.3f}, {0.11f, 0.21f, 0.31f}}};

struct Case {
  const char* name;
  std::string text;
  Expected want;
};

void expect_data(const DataSet& d, const Expected& e) {
  EXPECT_EQ(e.conc, d.acid_conc);
  ASSERT_EQ(static_cast<int>(e.ph.size()), d.n_spectra);
  ASSERT_EQ(static_cast<int>(e.wl.size()), d.n_wavelengths);
  for (int s = 1; s <= d.n_spectra; ++s) EXPECT_EQ(e.ph[s - 1], d.ph_values[s]) << "pH " << s;
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    EXPECT_EQ(e.wl[w - 1], d.wavelengths[w]) << "point " << w;
    for (int s = 1; s <= d.n_spectra; ++s)
      EXPECT_EQ(e.a[w - 1][s - 1], d.absorbance[w][s]) << "point " << w << " spectrum " << s;
  }
}

class ClipboardImport : public ::testing::TestWithParam<Case> {};

TEST_P(ClipboardImport, ReadsTheTable) {
  TestModule t;
  t.pf.clipboard = GetParam().text;
  ASSERT_TRUE(Command5_Click(*t)) << t->ui.Label9.text;
  expect_data(t->state.data, GetParam().want);
  expect_import_invariants(t);
}

std::vector<Case> cases() {
  return {
      {"tabs_crlf", "0.001\t2\t4\t7\r\n400\t0.1\t0.2\t0.3\r\n401\t0.11\t0.21\t0.31\r\n", kBase},
      {"decimal_commas", "0,001\t2\t4\t7\r\n400\t0,1\t0,2\t0,3\r\n401\t0,11\t0,21\t0,31", kBase},
      {"single_spaces", "0.001 2 4 7\r400 0.1 0.2 0.3\r401 0.11 0.21 0.31\r", kBase},
      {"runs_of_spaces", "  0.001   2  4     7\r\n 400 0.1  0.2 0.3  \r\n401 0.11 0.21   0.31",
       kBase},
      {"trailing_tabs_and_breaks",
       "0.001\t2\t4\t7\t\t\r\n400\t0.1\t0.2\t0.3\t\r\n401\t0.11\t0.21\t0.31\r\n\r\n\t\r\n", kBase},
      {"ph_order_7_3_5",
       "0.001\t7\t3\t5\r\n400\t0.7\t0.3\t0.5\r\n401\t0.71\t0.31\t0.51\r\n",
       {0.001f, {3, 5, 7}, {400, 401}, {{0.3f, 0.5f, 0.7f}, {0.31f, 0.51f, 0.71f}}}},
      {"equal_ph_keep_order",
       "1\t5\t3\t5\r\n400\t0.1\t0.2\t0.3\r\n",
       {1, {3, 5, 5}, {400}, {{0.2f, 0.1f, 0.3f}}}},
      {"empty_corner", "\t2\t4\r\n400\t0.1\t0.2\r\n", {10, {2, 4}, {400}, {{0.1f, 0.2f}}}},
      {"zero_corner", "0\t2\t4\r\n400\t0.1\t0.2\r\n", {10, {2, 4}, {400}, {{0.1f, 0.2f}}}},
      {"empty_inner_row",
       "1\t2\r\n400\t0.5\r\n\r\n402\t0.7\r\n",
       {1, {2}, {400, 0, 402}, {{0.5f}, {0}, {0.7f}}}},
      {"short_rows_read_zero",
       "1\t2\t3\r\n400\t0.5\r\n401\r\n",
       {1, {2, 3}, {400, 401}, {{0.5f, 0}, {0, 0}}}},
      {"wavelengths_half_to_even",
       "1\t2\r\n400.5\t1\r\n401.5\t1\r\n-0.5\t1\r\n2.5\t1\r\n",
       {1, {2}, {400, 402, 0, 2}, {{1}, {1}, {1}, {1}}}},
      {"leading_number_rule", "1\t2x\r\n400nm\t1.5abc\r\n", {1, {2}, {400}, {{1.5f}}}},
      {"space_then_tab_skips_a_column",
       "1 \t7\r\n400\t0.5\t0.6\r\n",
       {1, {0, 7}, {400}, {{0.5f, 0.6f}}}},
      {"exponents", "1e-3\t2E0\r\n4.0e2\t-1.5e-1\r\n", {0.001f, {2}, {400}, {{-0.15f}}}},
  };
}

INSTANTIATE_TEST_SUITE_P(Tables, ClipboardImport, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

std::string wide_table(int spectra, int points) {
  std::vector<std::vector<std::string>> rows(points + 1);
  rows[0].push_back("0.002");
  for (int s = 1; s <= spectra; ++s) rows[0].push_back(std::to_string(s % 13));
  for (int w = 1; w <= points; ++w) {
    rows[w].push_back(std::to_string(200 + w));
    for (int s = 1; s <= spectra; ++s) rows[w].push_back(std::to_string(s) + ".25");
  }
  return table(rows);
}

TEST(ClipboardLimits, FiftySpectraAndNineHundredNinetyNinePoints) {
  TestModule t;
  t.pf.clipboard = wide_table(50, 1003);  // rows 1001.. are not read
  ASSERT_TRUE(Command5_Click(*t)) << t->ui.Label9.text;
  EXPECT_EQ(50, t->state.data.n_spectra);
  EXPECT_EQ(999, t->state.data.n_wavelengths);
  EXPECT_EQ(1199, t->state.data.wavelengths[999]);
  EXPECT_EQ(50.25, t->state.data.a_max);
  expect_import_invariants(t);
}

TEST(ClipboardLimits, AtMost999PointsEvenWhenLaterRowsAreBroken) {
  TestModule t;
  // Row 1001 would have 52 columns, but reading stops before it.
  t.pf.clipboard = wide_table(2, 999) + std::string(60, '\t') + "1\r\n";
  ASSERT_TRUE(Command5_Click(*t)) << t->ui.Label9.text;
  EXPECT_EQ(999, t->state.data.n_wavelengths);
}

TEST(ClipboardImportEffects, BoxesButtonsAndConcentration) {
  TestModule t;
  t.pf.clipboard = "0.001\t7\t3\t5\r\n400\t0.9\t0.3\t0.5\r\n401\t0.91\t0.31\t0.51\r\n";
  ASSERT_TRUE(Command5_Click(*t));
  const Controls& ui = t->ui;
  EXPECT_EQ("1.00e-03", ui.LabC.text);
  EXPECT_EQ("3.00", ui.Check3[1].text);
  EXPECT_EQ("5.00", ui.Check3[2].text);
  EXPECT_EQ("7.00", ui.Check3[3].text);
  EXPECT_EQ(0.91f, t->state.data.a_max);
  EXPECT_EQ(401, t->view.wl_last);
  EXPECT_EQ(0, t.pict_e.ops.size());
  EXPECT_EQ(3 * 3, t.spectrs.ops.size());  // three spectra, a point and two lines each
  EXPECT_EQ(1, t.picture1.scales);
  expect_import_invariants(t);
}

TEST(ClipboardImportEffects, LeavesModelResultsAlone) {
  TestModule t;
  t->state.calc.ka[1] = 1e-4;
  t->state.calc.eps_forms[1][1] = 123;
  t->state.search.pk_best[2] = 6.5f;
  t->ui.set_text(t->ui.txt_pK[1], "4.00");
  t->ui.set_text(t->ui.Label4, "0.001");
  t.pf.clipboard = "1\t2\t3\r\n400\t0.1\t0.2\r\n";
  ASSERT_TRUE(Command5_Click(*t));
  EXPECT_EQ(1e-4, t->state.calc.ka[1]);
  EXPECT_EQ(123, t->state.calc.eps_forms[1][1]);
  EXPECT_EQ(6.5f, t->state.search.pk_best[2]);
  EXPECT_EQ("4.00", t->ui.txt_pK[1].text);
  EXPECT_EQ("0.001", t->ui.Label4.text);
}

TEST(ClipboardImportEffects, SmallerSetKeepsOldEntriesBeyondItsCounts) {
  TestModule t;
  t.pf.clipboard = wide_table(10, 5);
  ASSERT_TRUE(Command5_Click(*t));
  const float old = t->state.data.absorbance[2][8];
  t.pf.clipboard = "1\t2\t3\t4\r\n400\t0.1\t0.2\t0.3\r\n";
  ASSERT_TRUE(Command5_Click(*t));
  EXPECT_EQ(3, t->state.data.n_spectra);
  EXPECT_EQ(old, t->state.data.absorbance[2][8]);
  for (int s = 4; s <= 10; ++s) {
    EXPECT_EQ(0, t->state.data.spectrum_used[s]);
    EXPECT_FALSE(t->ui.Check3[s].enabled);
    EXPECT_EQ("", t->ui.Check3[s].text);
  }
}

class ClipboardRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ClipboardRefusal, ChangesNothingAndSaysWhy) {
  TestModule t;
  t.pf.clipboard = wide_table(6, 4);
  ASSERT_TRUE(Command5_Click(*t));
  on_user_check(*t, t->ui.Check3[2], false);  // a selection of the user's own
  const Snapshot before(t);

  t.pf.clipboard = GetParam().text;
  EXPECT_FALSE(Command5_Click(*t));
  expect_refused(t, before, GetParam().message);
}

std::string fifty_one_spectra() {
  std::string t = wide_table(51, 2);
  return t;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ClipboardRefusal,
    ::testing::Values(
        Refusal{"fifty_one_spectra", fifty_one_spectra(),
                "Помилка імпорту: у рядку 1 більше 51 стовпчика (можна щонайбільше 50 "
                "спектрів)."},
        Refusal{"column_52_in_a_later_row", "1\t2\r\n400" + std::string(51, '\t') + "0.1\r\n",
                "Помилка імпорту: у рядку 2 більше 51 стовпчика (можна щонайбільше 50 "
                "спектрів)."},
        Refusal{"a_character_after_100000_tabs",
                "1\t2\r\n400" + std::string(100000, '\t') + "0.1\r\n",
                "Помилка імпорту: у рядку 2 більше 51 стовпчика (можна щонайбільше 50 "
                "спектрів)."},
        Refusal{"empty", "", "Помилка імпорту: буфер обміну порожній, скопіюйте таблицю спектрів."},
        Refusal{"only_blanks", " \t\r\n \r", ""},
        Refusal{"one_column", "1\r\n400\r\n401\r\n",
                "Помилка імпорту: у таблиці немає спектрів (потрібно щонайменше два "
                "стовпчики)."},
        Refusal{"one_row", "0.001\t2\t4\r\n",
                "Помилка імпорту: у таблиці немає довжин хвиль (потрібно щонайменше два "
                "рядки)."},
        Refusal{"lf_only_lands_in_row_1", "0.001\t2\n400\t0.1\n401\t0.2\n", ""},
        Refusal{"absorbance_beyond_single", "1\t2\t3\r\n400\t0.1\t1e39\r\n",
                "Помилка імпорту: у рядку 2, стовпчику 3 число поза допустимими межами."},
        Refusal{"absorbance_beyond_double", "1\t2\r\n400\t1e400\r\n", ""},
        Refusal{"ph_beyond_single", "1\t-4e38\r\n400\t0.1\r\n",
                "Помилка імпорту: у рядку 1, стовпчику 2 число поза допустимими межами."},
        Refusal{"infinity_text", "1\t2\t3\r\n400\t0.1\t-Inf\r\n",
                "Помилка імпорту: у рядку 2, стовпчику 3 число поза допустимими межами."},
        Refusal{"nan_text", "1\tNaN\r\n400\t0.1\r\n", ""},
        Refusal{"concentration_beyond_single", "1e39\t2\r\n400\t0.1\r\n", ""},
        Refusal{"wavelength_above_16_bits", "1\t2\r\n400\t0.1\r\n32767.5\t0.2\r\n",
                "Помилка імпорту: у рядку 3, стовпчику 1 довжина хвилі поза межами "
                "-32768…32767."},
        Refusal{"wavelength_below_16_bits", "1\t2\r\n-32769\t0.1\r\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Only the exact words of a value that is no number refuse the table; words that merely
// begin with them follow the leading-number rule like any other text.
struct CellWord {
  const char* cell;
  bool refused;
  float reads;  // the absorbance read when the table is accepted
};

class ClipboardNonFiniteWords : public ::testing::TestWithParam<CellWord> {};

TEST_P(ClipboardNonFiniteWords, RefusesOnlyTheExactWords) {
  TestModule t;
  t.pf.clipboard = std::string("1\tinfo\r\n400\t") + GetParam().cell + "\r\n";
  const bool imported = Command5_Click(*t);
  EXPECT_EQ(!GetParam().refused, imported) << GetParam().cell << ": " << t->ui.Label9.text;
  if (imported) {
    EXPECT_EQ(GetParam().reads, t->state.data.absorbance[1][1]);
    EXPECT_EQ(0.0f, t->state.data.ph_values[1]);  // the "info" header reads 0
  } else {
    EXPECT_EQ("Помилка імпорту: у рядку 2, стовпчику 2 число поза допустимими межами.",
              t->ui.Label9.text);
  }
}

INSTANTIATE_TEST_SUITE_P(Words, ClipboardNonFiniteWords,
                         ::testing::Values(CellWord{"inf", true, 0}, CellWord{"-INF", true, 0},
                                           CellWord{"+Infinity", true, 0},
                                           CellWord{"iNfInItY", true, 0}, CellWord{"nan", true, 0},
                                           CellWord{"-NaN", true, 0}, CellWord{"info", false, 0},
                                           CellWord{"nanoM", false, 0},
                                           CellWord{"Infrared", false, 0},
                                           CellWord{"infinite", false, 0}, CellWord{"in", false, 0},
                                           CellWord{"na", false, 0}, CellWord{"--inf", false, 0},
                                           CellWord{"nan5", false, 0},
                                           CellWord{"0.5nan", false, 0.5f}));

TEST(ClipboardLimits, AnyRunOfTrailingTabsEndsWithTheRow) {
  TestModule t;
  for (size_t tabs : {size_t{51}, size_t{52}, size_t{100000}}) {
    t.pf.clipboard = "1\t2\r\n400\t0.1" + std::string(tabs, '\t') + "\r\n401\t0.2\r\n";
    ASSERT_TRUE(Command5_Click(*t)) << tabs << ": " << t->ui.Label9.text;
    EXPECT_EQ(1, t->state.data.n_spectra);
    EXPECT_EQ(2, t->state.data.n_wavelengths);
    EXPECT_EQ(0.2f, t->state.data.absorbance[2][1]);
  }
}

TEST(ClipboardLimits, SixteenBitEdgesAreAccepted) {
  TestModule t;
  t.pf.clipboard = "1\t2\r\n32767.4\t0.1\r\n-32768.5\t0.2\r\n";
  ASSERT_TRUE(Command5_Click(*t)) << t->ui.Label9.text;
  EXPECT_EQ(32767, t->state.data.wavelengths[1]);
  EXPECT_EQ(-32768, t->state.data.wavelengths[2]);
}

TEST(ClipboardImportEffects, SuccessAfterARefusalClearsTheProblem) {
  TestModule t;
  show_hint(t->ui, t->ui.Command5);
  t.pf.clipboard = "";
  EXPECT_FALSE(Command5_Click(*t));
  t.pf.clipboard = "1\t2\r\n400\t0.1\r\n";
  ASSERT_TRUE(Command5_Click(*t));
  EXPECT_EQ(hint_text(t->ui.Command5), t->ui.Label9.text);
  // A success does not otherwise touch the hint line.
  t->ui.set_text(t->ui.Label9, "інше");
  ASSERT_TRUE(Command5_Click(*t));
  EXPECT_EQ("інше", t->ui.Label9.text);
}

}  // namespace
}  // namespace ferolan::testing
