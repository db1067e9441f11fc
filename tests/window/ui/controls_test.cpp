// The window's start-up state, the control table and the hint line.
#include "window/ui/controls.h"

#include <gtest/gtest.h>

#include "support/test_module.h"
#include "window/search/run_control.h"
#include "window/ui/events.h"

namespace ferolan {
namespace {

using testing::TestModule;

TEST(StartUp, StartValuesAndEverythingElseZero) {
  TestModule t;
  const State& st = t->state;
  EXPECT_EQ(st.search.opt_factor_min, 1.0001f);
  EXPECT_FLOAT_EQ(static_cast<double>(st.search.opt_factor_min), 1.00010001659393310546875);
  EXPECT_EQ(st.search.step_factor_start, 1.5f);
  EXPECT_EQ(st.calc.fit_step, 10);
  EXPECT_EQ(st.settings.path_len, 1.0f);
  EXPECT_EQ(st.data.acid_conc, 0.0f);
  EXPECT_EQ(st.data.n_spectra, 0);
  EXPECT_EQ(st.data.n_wavelengths, 0);
  for (int s = 0; s <= kWindowSpectra; ++s) EXPECT_EQ(st.data.spectrum_used[s], 0);
  for (int k = 0; k <= kSlots; ++k) EXPECT_EQ(st.calc.ka[k], 0.0);
}

TEST(StartUp, OnlyTheImportButtonsAreEnabled) {
  TestModule t;
  Controls& ui = t->ui;
  EXPECT_TRUE(ui.Command5.enabled);
  EXPECT_TRUE(ui.load.enabled);
  for (Control* c : {&ui.Command1, &ui.Command2, &ui.Command4, &ui.Command6, &ui.Command7,
                     &ui.Command8, &ui.Command9})
    EXPECT_FALSE(c->enabled) << c->display_name();
}

TEST(StartUp, BoxesAndOptionsAsTheTableSays) {
  TestModule t;
  Controls& ui = t->ui;
  EXPECT_TRUE(ui.Option1[1].checked);
  EXPECT_FALSE(ui.Option1[2].checked || ui.Option1[3].checked);
  EXPECT_TRUE(ui.Option2[1].checked);
  for (int k : {2, 3, 5}) EXPECT_FALSE(ui.Option2[k].checked);
  for (int k = 1; k <= kSlots; ++k) {
    EXPECT_TRUE(ui.Check1[k].checked);
    EXPECT_FALSE(ui.Check2[k].checked);
    EXPECT_EQ(ui.Check1[k].tooltip, " Розраховувати? ");
    EXPECT_EQ(ui.Check2[k].tooltip, " Обнулити? ");
    EXPECT_EQ(ui.txt_krok[k].text, "0.5");
  }
  for (int i = 1; i <= kWindowSpectra; ++i) {
    EXPECT_FALSE(ui.Check3[i].enabled);
    EXPECT_FALSE(ui.Check3[i].checked);
    EXPECT_EQ(ui.Check3[i].text, "");
  }
  const char* pk[] = {"", "1", "5", "5", "11", "12"};
  const char* poch[] = {"", "1", "3", "5", "7", "9"};
  const char* kin[] = {"", "5", "7", "9", "11", "13"};
  for (int k = 1; k <= kSlots; ++k) {
    EXPECT_EQ(ui.txt_pK[k].text, pk[k]);
    EXPECT_EQ(ui.txt_poch[k].text, poch[k]);
    EXPECT_EQ(ui.txt_kin[k].text, kin[k]);
  }
}

TEST(ControlTable, PositionsOfASample) {
  Controls ui;
  struct Case {
    const Control& c;
    Rect r;
  } cases[] = {
      {ui.Frame3, {60, 120, 1635, 6315}},
      {ui.Check3[1], {60, 240, 735, 255}},
      {ui.Check3[25], {60, 240 + 240 * 24, 735, 255}},
      {ui.Check3[26], {840, 240, 735, 255}},
      {ui.Check3[50], {840, 240 + 240 * 24, 735, 255}},
      {ui.spectrs, {1740, 480, 6015, 3795}},
      {ui.Pict_e, {7860, 480, 6015, 3795}},
      {ui.Command1, {10800, 6840, 3075, 375}},
      {ui.txt_pK[1], {10620, 4740, 1155, 315}},
      {ui.txt_pK[5], {10620, 6420, 1155, 315}},
      {ui.Check1[3], {9540, 5580 + 60, 195, 255}},
      {ui.Check2[2], {13620, 5160 + 60, 195, 255}},
      {ui.Check2[1], {13920, 4440, 195, 255}},
      {ui.Label2[6], {9780, 4740, 795, 315}},
      {ui.Label2[5], {9780, 6000, 795, 315}},
      {ui.Label2[11], {11820, 6420, 615, 315}},
      {ui.Option2[5], {120, 960, 435, 255}},
      {ui.Label3, {180, 8220, 6975, 435}},
      {ui.Label9, {120, 240, 13575, 555}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c.display_name());
    EXPECT_EQ(c.c.pos.left, c.r.left);
    EXPECT_EQ(c.c.pos.top, c.r.top);
    EXPECT_EQ(c.c.pos.width, c.r.width);
    EXPECT_EQ(c.c.pos.height, c.r.height);
  }
  EXPECT_EQ(ui.Form1.text, "Ferolan-H5A   V.1.0");
  EXPECT_EQ(ui.Form1.pos.width / kTwipsPerPixel, 928);
  EXPECT_EQ(ui.Form1.pos.height / kTwipsPerPixel, 542);
  EXPECT_EQ(ui.Label9.parent, &ui.Frame2);
  EXPECT_EQ(ui.Option1[2].parent, &ui.Frame1);
  EXPECT_EQ(ui.Label2[5].text, "pKa4=");
  EXPECT_EQ(ui.Label2[10].text, "Ka4=");
  EXPECT_EQ(ui.Label8.text, std::string(28, ' '));
}

TEST(ControlTable, AllListsEveryControlOnceParentsFirst) {
  Controls ui;
  auto all = ui.all();
  EXPECT_EQ(all.size(), 1u + 4 + 50 + 12 + 3 + 4 + 13 + 7 + 35 + 3 + 3);
  for (size_t i = 0; i < all.size(); ++i) {
    for (size_t j = i + 1; j < all.size(); ++j) ASSERT_NE(all[i], all[j]);
    if (all[i]->parent) {
      auto parent = std::find(all.begin(), all.end(), all[i]->parent);
      EXPECT_LT(parent - all.begin(), static_cast<long>(i)) << all[i]->display_name();
    }
  }
  EXPECT_EQ(ui.find(Ctl::Check3, 17), &ui.Check3[17]);
  EXPECT_EQ(ui.find(Ctl::Option2, 5), &ui.Option2[5]);
  EXPECT_EQ(ui.find(Ctl::Command2, -1), &ui.Command2);
}

TEST(HintLine, FollowsTheControlUnderThePointer) {
  TestModule t;
  Controls& ui = t->ui;
  on_mouse_move(*t, ui.Command2, 5, 5);
  EXPECT_EQ(ui.Label9.text.rfind("Запустити алгоритм оптимізації рКа.", 0), 0u);
  on_mouse_move(*t, ui.Command1, 5, 5);  // no hint of its own: the text stays
  EXPECT_EQ(ui.Label9.text.rfind("Запустити алгоритм оптимізації рКа.", 0), 0u);
  for (Control* c :
       {&ui.Command7, &ui.Command8, &ui.Option1[2], &ui.Option2[3], &ui.txt_poch[1], &ui.txt_kin[2],
        &ui.txt_krok[3], &ui.Frame2, &ui.Frame3, &ui.Label2[6], &ui.Label2[12]})
    EXPECT_EQ(hint_text(*c), nullptr) << c->display_name();
  on_mouse_move(*t, ui.Form1, 5, 5);
  EXPECT_EQ(ui.Label9.text, "");
}

TEST(HintLine, SharedAndExactTexts) {
  Controls ui;
  EXPECT_STREQ(hint_text(ui.Label2[0]), hint_text(ui.LabC));
  EXPECT_STREQ(hint_text(ui.Label2[1]), hint_text(ui.Label4));
  EXPECT_STREQ(hint_text(ui.Lab_K[3]), "Значення Ка");
  EXPECT_STREQ(hint_text(ui.Check2[4]),
               "Обнулити рКа. Програма дозволяє розраховувати навіть п'ятиосновні кислоти. Якщо "
               "у вас кислота менш основна чи ви досліджуєте у вузькому діапазоні рН, то зайві "
               "рКа слід обнулити.");
  EXPECT_STREQ(hint_text(ui.Check1[1]),
               "Якщо ви не хочете, щоб програма розраховувала це значення рКа, то зніміть "
               "відповідну галочку. Так ви заморозите його (не забудьте вказати значення рКа у "
               "відповідній клітинці!) ");
  for (int i : {1, 26, 50}) EXPECT_STREQ(hint_text(ui.Check3[i]), hint_text(ui.Check3[1]));
}

TEST(PathLength, OptionsSetOneTwoThreeOrFive) {
  TestModule t;
  Controls& ui = t->ui;
  for (int k : {5, 3, 2, 1}) {
    on_user_check(*t, ui.Option2[k], true);
    EXPECT_EQ(t->state.settings.path_len, static_cast<float>(k));
    for (int o : {1, 2, 3, 5}) EXPECT_EQ(ui.Option2[o].checked, o == k);
  }
}

TEST(Level, TheOptionPickedIsTheSearchLevel) {
  TestModule t;
  EXPECT_EQ(window_setup(*t).level, 1);
  for (int k : {3, 2, 1, 3}) {
    on_user_check(*t, t->ui.Option1[k], true);
    EXPECT_EQ(window_setup(*t).level, k);
  }
}

TEST(HelpPicture, OpensHelpDocWithoutWaiting) {
  TestModule t;
  on_mouse_move(*t, t->ui.Picture2, 3, 3);
  on_click(*t, t->ui.Picture2);
  ASSERT_EQ(t.pf.opened.size(), 1u);
  EXPECT_EQ(t.pf.opened[0], "help.doc");
  EXPECT_EQ(t->ui.Label9.text, hint_text(t->ui.Picture2));
}

TEST(HelpPicture, AHelpThatCannotOpenIsSaidInTheHintLine) {
  TestModule t;
  Controls& ui = t->ui;
  t.pf.opens = false;
  t.pf.folder = "/home/lab/кислоти";
  on_mouse_move(*t, ui.Picture2, 3, 3);
  on_click(*t, ui.Picture2);
  const std::string said =
      "Не вдалося відкрити довідку help.doc з робочої папки /home/lab/кислоти: файлу там немає "
      "або на комп'ютері немає програми для файлів .doc.";
  EXPECT_EQ(ui.Label9.text, said);
  on_mouse_move(*t, ui.Picture2, 10, 12);
  EXPECT_EQ(ui.Label9.text, said);
  on_mouse_move(*t, ui.Command1, 5, 5);
  EXPECT_EQ(ui.Label9.text, said);
  on_mouse_move(*t, ui.Picture2, 3, 3);  // back after leaving: the hint again
  EXPECT_EQ(ui.Label9.text, hint_text(ui.Picture2));
  EXPECT_TRUE(t.pf.messages.empty());
}

// The desktop's handler says only after the click that no program took the file.
TEST(HelpPicture, AHandlerThatFailsLaterIsSaidInTheHintLine) {
  TestModule t;
  Controls& ui = t->ui;
  on_mouse_move(*t, ui.Picture2, 3, 3);
  on_click(*t, ui.Picture2);
  EXPECT_EQ(ui.Label9.text, hint_text(ui.Picture2));
  ASSERT_TRUE(t.pf.late_failure);
  t.pf.late_failure();
  const std::string said =
      "Не вдалося відкрити довідку help.doc з робочої папки /home/lab/spectra: файлу там немає "
      "або на комп'ютері немає програми для файлів .doc.";
  EXPECT_EQ(ui.Label9.text, said);
  on_mouse_move(*t, ui.Picture2, 20, 20);
  EXPECT_EQ(ui.Label9.text, said);
  on_mouse_move(*t, ui.Form1, 1, 1);
  EXPECT_EQ(ui.Label9.text, "");
  EXPECT_TRUE(t.pf.messages.empty());
}

// An import's failure sentence stays while the pointer stays over the button that failed,
// and goes once the pointer leaves it or something else writes the hint line.
TEST(HintLine, AnImportFailureStaysUntilThePointerLeavesItsButton) {
  TestModule t;
  Controls& ui = t->ui;
  const std::string missing =
      "Помилка імпорту: не вдалося прочитати файл data.mdf з робочої папки /home/lab/spectra.";

  on_mouse_move(*t, ui.load, 4, 4);
  on_click(*t, ui.load);
  EXPECT_EQ(ui.Label9.text, missing);
  for (double x : {5.0, 20.0, 60.0}) on_mouse_move(*t, ui.load, x, 10);
  EXPECT_EQ(ui.Label9.text, missing);
  on_mouse_move(*t, ui.Command5, 4, 4);
  EXPECT_EQ(ui.Label9.text, hint_text(ui.Command5));

  on_click(*t, ui.Command5);  // an empty clipboard
  const std::string empty = ui.Label9.text;
  EXPECT_TRUE(empty.starts_with("Помилка імпорту: ")) << empty;
  on_mouse_move(*t, ui.Command5, 8, 8);
  EXPECT_EQ(ui.Label9.text, empty);
  on_mouse_move(*t, ui.Form1, 1, 1);
  EXPECT_EQ(ui.Label9.text, "");

  // Another action writes the line while the pointer is still over the button.
  on_mouse_move(*t, ui.Command5, 4, 4);
  on_click(*t, ui.Command5);
  ui.set_text(ui.Label9, " РОЗРАХУНОК ЗАВЕРШЕНО !!!");
  on_mouse_move(*t, ui.Command5, 9, 9);
  EXPECT_EQ(ui.Label9.text, hint_text(ui.Command5));

  // A success after the failure puts the button's hint back, and it stays the hint.
  on_click(*t, ui.Command5);
  t.pf.clipboard = "1\t2\t3\t4\r\n400\t0.1\t0.2\t0.3\r\n";
  on_click(*t, ui.Command5);
  EXPECT_EQ(ui.Label9.text, hint_text(ui.Command5));
  on_mouse_move(*t, ui.Command2, 4, 4);
  EXPECT_EQ(ui.Label9.text, hint_text(ui.Command2));
}

}  // namespace
}  // namespace ferolan
