// The constants display and the forms' spectra export.
#include <gtest/gtest.h>

#include "engine/format/format.h"
#include "engine/model/fit.h"
#include "support/test_module.h"
#include "window/view/constants.h"
#include "window/view/export.h"

namespace ferolan::testing {
namespace {

TEST(VyvidK, MasksAndRemovedConstants) {
  TestModule t;
  SearchState& s = t->state.search;
  CalcState& c = t->state.calc;
  s.pk = {0, 4.5612f, 10, 7, 3.005f, 12};
  c.ka = {0, 2.746e-5, 1e-10, 0, 9.886e-4, 0};
  vyvid_K(s.pk, c.ka, t->ui, '.');
  const char* pk[] = {"", "4.56", "10.00", "", "3.01", ""};
  const char* ka[] = {"", "2.75e-05", "1.00e-10", "0", "9.89e-04", "0"};
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(pk[i], t->ui.txt_pK[i].text) << i;
    EXPECT_EQ(ka[i], t->ui.Lab_K[i].text) << i;
  }
  vyvid_K(s.pk, c.ka, t->ui, ',');
  EXPECT_EQ("4,56", t->ui.txt_pK[1].text);
  EXPECT_EQ("2,75e-05", t->ui.Lab_K[1].text);
  // A constant removed after being shown is emptied again.
  c.ka[1] = 0;
  vyvid_K(s.pk, c.ka, t->ui, '.');
  EXPECT_EQ("", t->ui.txt_pK[1].text);
  EXPECT_EQ("0", t->ui.Lab_K[1].text);
}

// A grid runs each slot through the same values again and again, more of them than the
// texts kept per slot, and with either separator: every text is that of the value shown.
TEST(Display, ConstantsTextsFollowRepeatedValues) {
  TestModule t;
  SearchState& s = t->state.search;
  CalcState& c = t->state.calc;
  for (int round = 0; round < 3; ++round) {
    for (int step = 0; step < 150; ++step) {
      const char dec = step % 7 == 0 ? ',' : '.';
      for (int k = 1; k <= 5; ++k) {
        s.pk[k] = 2.0f + 0.05f * static_cast<float>((step * k) % 150);
        c.ka[k] = ka_of(s.pk[k]);
      }
      vyvid_K(s.pk, c.ka, t->ui, dec);
      for (int k = 1; k <= 5; ++k) {
        ASSERT_EQ(format_single(s.pk[k], "#0.00", dec), t->ui.txt_pK[k].text) << step << " " << k;
        ASSERT_EQ(format_mask(c.ka[k], "0.00e+00", dec), t->ui.Lab_K[k].text) << step << " " << k;
      }
    }
  }
}

struct Export : ::testing::Test {
  TestModule t;
  DataSet& d = t->state.data;
  CalcState& c = t->state.calc;
  Export() {
    d.n_wavelengths = 3;
    d.wavelengths[1] = 95;
    d.wavelengths[2] = 400;
    d.wavelengths[3] = 1000;
    for (int w = 1; w <= 3; ++w)
      for (int j = 1; j <= 6; ++j) c.eps_forms[w][j] = static_cast<float>(1000 * w + 100 * j);
    c.eps_forms[2][2] = 1234.5f;
    c.eps_forms[3][1] = 0.25f;
  }
  std::string text() { return forms_export_text(d, t->state.settings, c, '.'); }
};

TEST_F(Export, MonoproticAcidHasTwoForms) {
  c.ka = {0, 1e-4, 0, 0, 0, 0};
  EXPECT_EQ(
      "095\t1100\t1200\r\n"
      "400\t2100\t1234.5\r\n"
      "1000\t0.25\t3200\r\n",
      text());
}

TEST_F(Export, EachPresentConstantAddsAFormUpToTheFirstZero) {
  c.ka = {0, 1e-4, 1e-6, 0, 1e-9, 1e-11};  // ka(3) = 0 ends the line after form 3
  EXPECT_EQ("095\t1100\t1200\t1300\r\n", text().substr(0, 20));
  c.ka = {0, 1e-4, 1e-6, 1e-8, 1e-9, 1e-11};
  EXPECT_EQ(
      "095\t1100\t1200\t1300\t1400\t1500\t1600\r\n"
      "400\t2100\t1234.5\t2300\t2400\t2500\t2600\r\n"
      "1000\t0.25\t3200\t3300\t3400\t3500\t3600\r\n",
      text());
  // The first slot does not count: forms 1 and 2 are always written.
  c.ka = {0, 0, 0, 0, 0, 0};
  EXPECT_EQ("095\t1100\t1200\r\n", text().substr(0, 15));
}

TEST_F(Export, DividedByThePathLengthWithTheLocaleSeparator) {
  c.ka = {0, 1e-4, 0, 0, 0, 0};
  t->state.settings.path_len = 2;
  EXPECT_EQ(
      "095\t550\t600\r\n"
      "400\t1050\t617.25\r\n"
      "1000\t0.125\t1600\r\n",
      text());
  t->state.settings.path_len = 5;
  EXPECT_EQ("400\t420\t246,9\r\n", forms_export_text(d, t->state.settings, c, ',').substr(13, 15));
}

TEST_F(Export, Command4PutsTheTextOnTheClipboard) {
  c.ka = {0, 1e-4, 1e-7, 0, 0, 0};
  Command4_Click(*t);
  EXPECT_EQ(1, t.pf.clipboard_writes);
  EXPECT_EQ(text(), t.pf.clipboard);
  EXPECT_TRUE(t.pf.clipboard.ends_with("3300\r\n"));
}

TEST_F(Export, NoPointsGiveAnEmptyText) {
  d.n_wavelengths = 0;
  EXPECT_EQ("", text());
}

}  // namespace
}  // namespace ferolan::testing
