// The data.mdf import: the field stream, the end of the pH list by value, the end of the file
// before each row, and the refusals that leave the earlier data set as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/import/import.h"
#include "support/data_fixture.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"

namespace ferolan::testing {
namespace {

const char kExample[] = "0.001 2 4 7 400 0.1 0.2 0.3 401 0.11 0.21 0.31";

void expect_example(const DataSet& d, float conc = 0.001f) {
  EXPECT_EQ(conc, d.acid_conc);
  ASSERT_EQ(3, d.n_spectra);
  ASSERT_EQ(2, d.n_wavelengths);
  EXPECT_EQ(2, d.ph_values[1]);
  EXPECT_EQ(4, d.ph_values[2]);
  EXPECT_EQ(7, d.ph_values[3]);
  EXPECT_EQ(400, d.wavelengths[1]);
  EXPECT_EQ(401, d.wavelengths[2]);
  EXPECT_EQ(0.1f, d.absorbance[1][1]);
  EXPECT_EQ(0.3f, d.absorbance[1][3]);
  EXPECT_EQ(0.21f, d.absorbance[2][2]);
  EXPECT_EQ(0.31f, d.absorbance[2][3]);
}

bool load(TestModule& t, const std::string& text) {
  t.pf.files["data.mdf"] = text;
  return load_Click(*t);
}

struct Layout {
  const char* name;
  std::string text;
};

class MdfLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(MdfLayout, GivesTheSameDataSet) {
  TestModule t;
  ASSERT_TRUE(load(t, GetParam().text)) << t->ui.Label9.text;
  expect_example(t->state.data);
  expect_import_invariants(t);
  EXPECT_EQ("1.00e-03", t->ui.LabC.text);
  EXPECT_EQ("7.00", t->ui.Check3[3].text);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MdfLayout,
    ::testing::Values(
        Layout{"single_spaces", kExample},
        Layout{"three_per_line", "0.001 2 4\r\n7 400 0.1\r\n0.2 0.3 401\r\n0.11 0.21 0.31\r\n"},
        Layout{"four_per_line_lf", "0.001 2 4 7\n400 0.1 0.2 0.3\n401 0.11 0.21 0.31\n"},
        Layout{"commas", "0.001,2,4,7,400,0.1,0.2,0.3,401,0.11,0.21,0.31"},
        Layout{"commas_and_spaces", "0.001, 2 , 4, 7\r\n400, 0.1, 0.2, 0.3,\r\n401,0.11,0.21,0.31"},
        Layout{"tabs_and_runs", "\t0.001\t2   4\t\t7\r\n  400 0.1 0.2 0.3\r\n401 0.11 0.21 0.31"},
        Layout{"one_per_line_cr", "0.001\r2\r4\r7\r400\r0.1\r0.2\r0.3\r401\r0.11\r0.21\r0.31\r"},
        Layout{"blank_lines_after_the_end",
               "0.001 2 4 7\r\n400 0.1 0.2 0.3\r\n401 0.11 0.21 0.31\r\n\r\n   \r\n\t\n"},
        Layout{"exponents", "1e-3 2E0 4.0 7. 4e2 .1 0.2 0.3 401 1.1e-1 0.21 31E-2"},
        Layout{"unsorted_ph", "0.001 7 2 4 400 0.3 0.1 0.2 401 0.31 0.11 0.21"},
        Layout{"byte_order_mark", "\xEF\xBB\xBF" + std::string(kExample)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MdfImport, ZeroConcentrationBecomesTen) {
  TestModule t;
  ASSERT_TRUE(load(t, "0 2 4 7 400 0.1 0.2 0.3 401 0.11 0.21 0.31"));
  expect_example(t->state.data, 10);
}

TEST(MdfImport, FirstWavelengthIsRoundedFromTheSingleAndLaterOnesHalfToEven) {
  TestModule t;
  ASSERT_TRUE(load(t, "1 2 400.5 0.1 401.5 0.2 402.5 0.3 -0.5 0.4"));
  ASSERT_EQ(4, t->state.data.n_wavelengths);
  EXPECT_EQ(400, t->state.data.wavelengths[1]);
  EXPECT_EQ(402, t->state.data.wavelengths[2]);
  EXPECT_EQ(402, t->state.data.wavelengths[3]);
  EXPECT_EQ(0, t->state.data.wavelengths[4]);
}

TEST(MdfImport, AFirstFieldAboveTwentyGivesNoSpectraAndTheSearchesRefuse) {
  TestModule t;
  ASSERT_TRUE(load(t, kExample));
  on_user_check(*t, t->ui.Check2[3], true);
  ASSERT_TRUE(load(t, "0.002 400 401.5\r\n402 21\r\n")) << t->ui.Label9.text;
  const DataSet& d = t->state.data;
  EXPECT_EQ(0.002f, d.acid_conc);
  EXPECT_EQ(0, d.n_spectra);
  ASSERT_EQ(4, d.n_wavelengths);
  EXPECT_EQ(
      (std::vector<int>{400, 402, 402, 21}),
      (std::vector<int>{d.wavelengths[1], d.wavelengths[2], d.wavelengths[3], d.wavelengths[4]}));
  EXPECT_EQ(0.0, d.a_max);
  expect_import_invariants(t, 0);
  for (int s = 1; s <= kWindowSpectra; ++s) {
    EXPECT_EQ(0, d.spectrum_used[s]) << s;
    EXPECT_FALSE(t->ui.Check3[s].enabled) << s;
    EXPECT_EQ("", t->ui.Check3[s].text) << s;
  }
  EXPECT_TRUE(t.spectrs.ops.empty());
  EXPECT_TRUE(t.pict_e.ops.empty());
  EXPECT_TRUE(t.picture1.ops.empty());
  EXPECT_TRUE(t->ui.Command2.enabled && t->ui.Command6.enabled && t->ui.Command9.enabled);

  const std::string before = t->ui.txt_pK[1].text;
  for (Control* search : {&t->ui.Command2, &t->ui.Command6, &t->ui.Command9}) {
    t.pf.messages.clear();
    on_click(*t, *search);
    ASSERT_EQ(1u, t.pf.messages.size()) << search->name;
    EXPECT_EQ("Недостатньо даних!", t.pf.messages[0].title) << search->name;
    EXPECT_EQ("Надто мало спектрів для розрахунку!!!", t.pf.messages[0].text) << search->name;
    EXPECT_FALSE(t->running);
  }
  EXPECT_EQ(before, t->ui.txt_pK[1].text);
  EXPECT_TRUE(t.spectrs.ops.empty());
}

TEST(MdfImport, FiftyPhValuesEndTheListWhateverFollows) {
  std::string text = "0.01";
  for (int s = 1; s <= 50; ++s) (text += ' ') += std::to_string(s % 14);
  text += " 15";  // at most 20, yet the first wavelength
  for (int s = 1; s <= 50; ++s) text += " 0.5";
  TestModule t;
  ASSERT_TRUE(load(t, text)) << t->ui.Label9.text;
  EXPECT_EQ(50, t->state.data.n_spectra);
  EXPECT_EQ(1, t->state.data.n_wavelengths);
  EXPECT_EQ(15, t->state.data.wavelengths[1]);
  expect_import_invariants(t);
}

TEST(MdfImport, FieldsAfterTheThousandthRowAreNotRead) {
  std::string text = "0.01 3";
  for (int w = 1; w <= 1000; ++w) ((text += '\n') += std::to_string(300 + w)) += " 0.25";
  text += "\nthis is not read";
  TestModule t;
  ASSERT_TRUE(load(t, text)) << t->ui.Label9.text;
  EXPECT_EQ(1000, t->state.data.n_wavelengths);
  EXPECT_EQ(1300, t->state.data.wavelengths[1000]);
}

TEST(MdfImport, TheBundledExampleLoads) {
  const auto path = std::filesystem::path(FEROLAN_EXAMPLES) / "data.mdf";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  std::stringstream text;
  text << in.rdbuf();
  TestModule t;
  ASSERT_TRUE(load(t, text.str())) << t->ui.Label9.text;
  EXPECT_EQ(21, t->state.data.n_spectra);
  EXPECT_EQ(451, t->state.data.n_wavelengths);
  EXPECT_EQ(6.5e-5f, t->state.data.acid_conc);
  expect_import_invariants(t);
  EXPECT_TRUE(t.picture1.scales > 0 && t.spectrs.ops.size() == 21u * 452);
}

class MdfRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(MdfRefusal, ChangesNothingAndSaysWhy) {
  TestModule t;
  t.pf.clipboard = "0.5\t1\t2\t3\t4\r\n500\t1\t2\t3\t4\r\n501\t1\t2\t3\t4\r\n";
  ASSERT_TRUE(Command5_Click(*t));
  on_user_check(*t, t->ui.Check3[3], false);
  const Snapshot before(t);

  EXPECT_FALSE(load(t, GetParam().text));
  expect_refused(t, before, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MdfRefusal,
    ::testing::Values(
        Refusal{"empty", "", "Помилка імпорту: файл data.mdf порожній."},
        Refusal{"only_blanks", " \r\n\t \n", "Помилка імпорту: файл data.mdf порожній."},
        Refusal{"ends_in_ph_list", "0.001 2 4 7",
                "Помилка імпорту: data.mdf закінчується до першої довжини хвилі."},
        Refusal{"ends_inside_first_row", "0.001 2 4 400 0.1",
                "Помилка імпорту: data.mdf закінчується посеред рядка довжини хвилі 400 нм."},
        Refusal{"ends_inside_a_later_row", "0.001 2 4 7\r\n400 0.1 0.2 0.3\r\n401 0.11 0.21\r\n",
                "Помилка імпорту: data.mdf закінчується посеред рядка довжини хвилі 401 нм."},
        Refusal{"not_a_number", "0.001 2 4 7\r\n400 0.1 O.2 0.3\r\n",
                "Помилка імпорту: у data.mdf у рядку 2 поле 3 не число."},
        Refusal{"decimal_comma_word", "0.001 2 4 7\r\n400 0.1 abc 0.3\r\n", ""},
        Refusal{"empty_field_between_commas", "0.001,2,,4,400,0.1,0.2",
                "Помилка імпорту: у data.mdf у рядку 1 поле 3 не число."},
        Refusal{"infinity_text", "0.001 2 400 inf", ""},
        Refusal{"nan_text", "0.001 nan 400 0.1", ""},
        Refusal{"incomplete_exponent", "0.001 2 400 5e", ""},
        Refusal{"sign_only", "0.001 2 400 -", ""},
        Refusal{"absorbance_beyond_single", "0.001 2 400 1e39",
                "Помилка імпорту: у data.mdf у рядку 1 поле 4 число поза допустимими межами."},
        Refusal{"beyond_double", "0.001 2 400 1e999", ""},
        Refusal{"first_wavelength_beyond_16_bits", "0.001 2 40000 0.1",
                "Помилка імпорту: у data.mdf у рядку 1 поле 3 довжина хвилі поза межами "
                "-32768…32767."},
        Refusal{"later_wavelength_beyond_16_bits", "0.001 2\n400 0.1\n-32768.6 0.2",
                "Помилка імпорту: у data.mdf у рядку 3 поле 1 довжина хвилі поза межами "
                "-32768…32767."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MdfImport, MissingFileChangesNothing) {
  TestModule t;
  const Snapshot before(t);
  EXPECT_FALSE(load_Click(*t));
  expect_refused(
      t, before,
      "Помилка імпорту: не вдалося прочитати файл data.mdf з робочої папки /home/lab/spectra.");
}

}  // namespace
}  // namespace ferolan::testing
