// The window as built from the control model: size, caption, layout, fonts, colours,
// start-up states, and what the user's actions do.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include "qt/control_widgets.h"
#include "qt/picture_box.h"
#include "qt/qt_platform.h"
#include "ui_fixture.h"
#include "window/search/run_control.h"

using namespace ferolan;
using ferolan::testing::UiFixture;

Q_DECLARE_METATYPE(ferolan::Ctl)

namespace {
// Width that a check box or option button needs for its indicator and caption.
int indicator_and_caption(QWidget* w, const QString& text) {
  const bool radio = qobject_cast<QRadioButton*>(w);
  QStyle* st = w->style();
  const int indicator = st->pixelMetric(
      radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr, w);
  const int spacing = st->pixelMetric(
      radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
  return indicator + spacing + QFontMetrics(w->font()).horizontalAdvance(text);
}
}  // namespace

class WindowTest : public QObject {
  Q_OBJECT
  std::unique_ptr<QtPlatform> platform_;  // outlives the fixture that uses it
  std::unique_ptr<UiFixture> f;
  QString old_dir_;
  QByteArray old_path_;

 private slots:
  void init() {
    old_dir_ = QDir::currentPath();
    old_path_ = qgetenv("PATH");
    f = std::make_unique<UiFixture>();
  }
  void cleanup() {
    f.reset();
    platform_.reset();
    qputenv("PATH", old_path_);
    QDir::setCurrent(old_dir_);
  }

  void caption_and_fixed_client_area() {
    QCOMPARE(f->window->windowTitle(), QString::fromUtf8("Ferolan-H5A   V.1.0"));
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    QCOMPARE(f->window->size(), QSize(928, 542));
    QCOMPARE(f->window->minimumSize(), QSize(928, 542));
    QCOMPARE(f->window->maximumSize(), QSize(928, 542));
    f->window->resize(1000, 700);
    QCOMPARE(f->window->size(), QSize(928, 542));
  }

  void one_widget_of_the_right_kind_per_control() {
    for (Control* c : f->m.ui.all()) {
      QWidget* w = f->w(*c);
      QVERIFY2(w, c->display_name().c_str());
      bool ok = false;
      switch (c->kind) {
        case Kind::Form:
          ok = w == f->window.get();
          break;
        case Kind::Frame:
          ok = qobject_cast<QGroupBox*>(w);
          break;
        case Kind::Button:
          ok = qobject_cast<QPushButton*>(w);
          break;
        case Kind::CheckBox:
          ok = qobject_cast<QCheckBox*>(w);
          break;
        case Kind::Option:
          ok = qobject_cast<QRadioButton*>(w);
          break;
        case Kind::TextBox:
          ok = qobject_cast<QLineEdit*>(w);
          break;
        case Kind::Label:
          ok = qobject_cast<QLabel*>(w);
          break;
        case Kind::Picture:
          ok = qobject_cast<PictureBox*>(w);
          break;
      }
      QVERIFY2(ok, c->display_name().c_str());
      QWidget* parent = c->parent ? f->w(*c->parent) : f->window.get();
      if (c->kind != Kind::Form) QCOMPARE(w->parentWidget(), parent);
    }
  }

  void positions_follow_the_table_data() {
    QTest::addColumn<Ctl>("id");
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("rect");
    // Twips of the control table divided by 15, relative to the parent.
    QTest::newRow("Frame3") << Ctl::Frame3 << -1 << QRect(4, 8, 109, 421);
    QTest::newRow("Check3(1)") << Ctl::Check3 << 1 << QRect(4, 16, 49, 17);
    QTest::newRow("Check3(25)") << Ctl::Check3 << 25 << QRect(4, 400, 49, 17);
    QTest::newRow("Check3(26)") << Ctl::Check3 << 26 << QRect(56, 16, 49, 17);
    QTest::newRow("Check3(50)") << Ctl::Check3 << 50 << QRect(56, 400, 49, 17);
    QTest::newRow("Command7") << Ctl::Command7 << -1 << QRect(4, 432, 109, 21);
    QTest::newRow("spectrs") << Ctl::spectrs << -1 << QRect(116, 32, 401, 253);
    QTest::newRow("Pict_e") << Ctl::Pict_e << -1 << QRect(524, 32, 401, 253);
    QTest::newRow("Command4") << Ctl::Command4 << -1 << QRect(524, 4, 193, 25);
    QTest::newRow("Picture1") << Ctl::Picture1 << -1 << QRect(344, 292, 172, 112);
    QTest::newRow("Picture2") << Ctl::Picture2 << -1 << QRect(272, 348, 69, 56);
    QTest::newRow("Option1(3)") << Ctl::Option1 << 3 << QRect(8, 60, 97, 17);
    QTest::newRow("Option2(5)") << Ctl::Option2 << 5 << QRect(8, 64, 29, 17);
    QTest::newRow("Label8") << Ctl::Label8 << -1 << QRect(276, 444, 240, 37);
    QTest::newRow("Label5") << Ctl::Label5 << -1 << QRect(276, 444, 20, 36);
    QTest::newRow("Command9") << Ctl::Command9 << -1 << QRect(660, 288, 129, 25);
    QTest::newRow("txt_poch(1)") << Ctl::txt_poch << 1 << QRect(524, 316, 33, 21);
    QTest::newRow("txt_pK(5)") << Ctl::txt_pK << 5 << QRect(708, 428, 77, 21);
    QTest::newRow("Lab_K(2)") << Ctl::Lab_K << 2 << QRect(832, 344, 73, 21);
    QTest::newRow("Check2(3)") << Ctl::Check2 << 3 << QRect(908, 376, 13, 17);
    QTest::newRow("Check2(1)") << Ctl::Check2 << 1 << QRect(928, 296, 13, 17);
    QTest::newRow("Command1") << Ctl::Command1 << -1 << QRect(720, 456, 205, 25);
    QTest::newRow("Label9") << Ctl::Label9 << -1 << QRect(8, 16, 905, 37);
    QTest::newRow("Label3") << Ctl::Label3 << -1 << QRect(12, 548, 465, 29);
  }
  void positions_follow_the_table() {
    QFETCH(Ctl, id);
    QFETCH(int, index);
    QFETCH(QRect, rect);
    Control* c = f->m.ui.find(id, index);
    QVERIFY(c);
    QCOMPARE(f->w(*c)->geometry(), rect);
  }

  void offscreen_controls_lie_outside_the_client_area() {
    QVERIFY(f->w(f->m.ui.Check2[1])->x() >= f->window->width());
    QVERIFY(f->w(f->m.ui.Label3)->y() >= f->window->height());
    QVERIFY(f->w(f->m.ui.Check2[1])->focusPolicy() != Qt::NoFocus);
  }

  void captions_have_cyrillic_glyphs_and_fit() {
    int cyrillic = 0;
    for (Control* c : f->m.ui.all()) {
      if (c->kind == Kind::Form || c->text.empty()) continue;
      QWidget* w = f->w(*c);
      const QString text = qstr(c->text);
      const QFontMetrics fm(w->font());
      for (char32_t ch : text.toUcs4()) {
        if (ch >= 0x400 && ch < 0x500) ++cyrillic;
        QVERIFY2(ch == ' ' || fm.inFontUcs4(ch), c->display_name().c_str());
      }
      const QSize box = w->size();
      if (c->kind == Kind::Label && c->id != Ctl::Label5 && c->id != Ctl::Label8) {
        auto* l = static_cast<QLabel*>(w);
        QVERIFY2(l->heightForWidth(box.width()) <= box.height() + 2, c->display_name().c_str());
      } else if (c->kind == Kind::Button) {
        QVERIFY2(w->sizeHint().width() <= box.width(), c->display_name().c_str());
      } else if (c->kind == Kind::Option || c->kind == Kind::CheckBox) {
        QVERIFY2(indicator_and_caption(w, text) <= box.width(), c->display_name().c_str());
      } else if (c->kind == Kind::Frame) {
        QVERIFY2(fm.horizontalAdvance(text) + 8 <= box.width(), c->display_name().c_str());
      }
    }
    QVERIFY(cyrillic > 200);
  }

  void ph_captions_fit_the_selection_boxes() {
    for (const char* ph : {"10.35", "12.00", "0.00"}) {
      f->m.ui.set_text(f->m.ui.Check3[30], ph);
      QVERIFY2(indicator_and_caption(f->w(f->m.ui.Check3[30]), QString(ph)) <= 49, ph);
    }
  }

  void tooltips_come_from_the_model() {
    int with_tip = 0;
    for (Control* c : f->m.ui.all()) {
      if (c->kind == Kind::Form) continue;
      QCOMPARE(f->w(*c)->toolTip(), qstr(c->tooltip));
      with_tip += !c->tooltip.empty();
    }
    QVERIFY(with_tip >= 20);
    QCOMPARE(f->w(f->m.ui.Command4)->toolTip(),
             QString::fromUtf8(" Копіювати спектри форм кислоти у форматі \"довжина хвилі - "
                               "молярний коеф.поглинання\" "));
  }

  void colours_render_as_specified() {
    f->m.ui.set_text(f->m.ui.Lab_K[1], "████");
    f->m.ui.set_text(f->m.ui.Lab_chas, "████");
    const QImage img = f->window->grab().toImage();
    auto at = [&](const Control& c, QPoint inside) {
      QWidget* w = f->w(c);
      return QColor(img.pixel(w->mapTo(f->window.get(), inside))).rgb();
    };
    QCOMPARE(QColor(img.pixel(520, 10)).rgb(), qRgb(192, 192, 192));  // window background
    QCOMPARE(at(f->m.ui.Label9, QPoint(450, 30)), qRgb(255, 255, 192));
    QCOMPARE(at(f->m.ui.Label5, QPoint(10, 18)), qRgb(0, 0, 128));
    // The indicator's track is the window's grey; only its edge sets it apart.
    QCOMPARE(at(f->m.ui.Label8, QPoint(200, 18)), qRgb(192, 192, 192));
    const int right = f->w(f->m.ui.Label8)->width() - 1,
              bottom = f->w(f->m.ui.Label8)->height() - 1;
    QVERIFY(at(f->m.ui.Label8, QPoint(right, 18)) != qRgb(192, 192, 192));
    QVERIFY(at(f->m.ui.Label8, QPoint(200, bottom)) != qRgb(192, 192, 192));
    QCOMPARE(at(f->m.ui.txt_pK[1], QPoint(60, 4)), qRgb(255, 255, 192));
    QCOMPARE(at(f->m.ui.txt_poch[1], QPoint(25, 4)), qRgb(255, 192, 128));
    QCOMPARE(at(f->m.ui.txt_krok[1], QPoint(30, 4)), qRgb(192, 255, 255));
    QCOMPARE(at(f->m.ui.spectrs, QPoint(200, 200)), qRgb(255, 255, 255));
    // Text colours: the block characters paint solid in the label's foreground.
    auto has = [&](const Control& c, QRgb colour) {
      QWidget* w = f->w(c);
      const QImage part = img.copy(QRect(w->mapTo(f->window.get(), QPoint(0, 0)), w->size()));
      for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
          if (QColor(part.pixel(x, y)).rgb() == colour) return true;
      return false;
    };
    QVERIFY(has(f->m.ui.Lab_K[1], qRgb(128, 0, 0)));
    QVERIFY(has(f->m.ui.Lab_chas, qRgb(0, 0, 255)));
    QVERIFY(QFontInfo(f->w(f->m.ui.Command1)->font()).bold());
    QVERIFY(!QFontInfo(f->w(f->m.ui.Command2)->font()).bold());
  }

  void start_up_states() {
    Controls& ui = f->m.ui;
    for (Control* c : ui.all()) {
      if (c->kind != Kind::Button) continue;
      const bool expected = c == &ui.Command5 || c == &ui.load;
      QVERIFY2(f->w(*c)->isEnabled() == expected, c->display_name().c_str());
    }
    for (int i = 1; i <= kWindowSpectra; ++i) {
      auto* b = static_cast<QCheckBox*>(f->w(ui.Check3[i]));
      QVERIFY(!b->isEnabled() && !b->isChecked() && b->text().isEmpty());
    }
    for (int k = 1; k <= kSlots; ++k) {
      QVERIFY(static_cast<QCheckBox*>(f->w(ui.Check1[k]))->isChecked());
      QVERIFY(!static_cast<QCheckBox*>(f->w(ui.Check2[k]))->isChecked());
    }
    QVERIFY(static_cast<QRadioButton*>(f->w(ui.Option1[1]))->isChecked());
    QVERIFY(static_cast<QRadioButton*>(f->w(ui.Option2[1]))->isChecked());
    QCOMPARE(f->text_of(ui.txt_pK[4]), QString("11"));
    QCOMPARE(f->text_of(ui.txt_kin[5]), QString("13"));
    QCOMPARE(f->text_of(ui.txt_krok[3]), QString("0.5"));
  }

  void hint_line_follows_the_mouse() {
    Controls& ui = f->m.ui;
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    const QString optimisation = QString::fromUtf8(hint_text(ui.Command2));
    f->hover(ui.Command2);  // disabled at start, still explains itself
    QCOMPARE(f->hint_line(), optimisation);
    f->hover(ui.Command1);  // no hint of its own: unchanged
    QCOMPARE(f->hint_line(), optimisation);
    f->hover(ui.Frame3);  // a frame without a hint: unchanged
    QCOMPARE(f->hint_line(), optimisation);
    f->hover_window(QPoint(520, 10));  // the window background empties it
    QCOMPARE(f->hint_line(), QString());
    QCOMPARE(ui.Label9.text, std::string());
    f->hover(ui.Command1);
    QCOMPARE(f->hint_line(), QString());
    f->hover(ui.Label2[0]);
    const QString conc = f->hint_line();
    QVERIFY(conc.startsWith(QString::fromUtf8("Концентрація")));
    f->hover(ui.Label2[1]);
    f->hover(ui.LabC);
    QCOMPARE(f->hint_line(), conc);
    f->hover(ui.Label4);
    QVERIFY(f->hint_line().startsWith(QString::fromUtf8("Стандартне відхилення")));
    f->hover(ui.Check3[40]);
    QVERIFY(f->hint_line().startsWith(QString::fromUtf8("Кожному спектру")));
    f->hover(ui.Option1[2]);  // inside Frame1, no hint of its own: unchanged
    QVERIFY(f->hint_line().startsWith(QString::fromUtf8("Кожному спектру")));
    QTest::mouseMove(f->w(ui.Frame1), QPoint(100, 80));  // the frame's own area
    QVERIFY(f->hint_line().startsWith(QString::fromUtf8("Рівень оптимізації")));
    f->hover(ui.Picture2);
    QCOMPARE(f->hint_line(), QString::fromUtf8(hint_text(ui.Picture2)));
  }

  void path_length_options() {
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    struct Case {
      int option;
      float path_len;
    };
    for (Case c : {Case{5, 5}, Case{3, 3}, Case{2, 2}, Case{1, 1}, Case{5, 5}}) {
      QTest::mouseClick(f->w(f->m.ui.Option2[c.option]), Qt::LeftButton, {}, QPoint(5, 8));
      QCOMPARE(f->m.state.settings.path_len, c.path_len);
      for (int k : {1, 2, 3, 5}) {
        QCOMPARE(f->m.ui.Option2[k].checked, k == c.option);
        QCOMPARE(static_cast<QRadioButton*>(f->w(f->m.ui.Option2[k]))->isChecked(), k == c.option);
      }
    }
  }

  void model_changes_are_mirrored() {
    Controls& ui = f->m.ui;
    ui.set_text(ui.txt_pK[2], "4.20 ± 0.01");
    QCOMPARE(f->text_of(ui.txt_pK[2]), QString::fromUtf8("4.20 ± 0.01"));
    ui.set_text(ui.Label9, " РОЗРАХУНОК ЗАВЕРШЕНО !!!");
    QCOMPARE(f->hint_line(), QString::fromUtf8(" РОЗРАХУНОК ЗАВЕРШЕНО !!!"));
    ui.set_enabled(ui.Command2, true);
    QVERIFY(f->w(ui.Command2)->isEnabled());
    ui.set_tooltip(ui.spectrs, " A = 0.500 (500 нм) ");
    QCOMPARE(f->w(ui.spectrs)->toolTip(), QString::fromUtf8(" A = 0.500 (500 нм) "));
    ui.set_enabled(ui.Frame1, false);  // the run lock greys the level options with it
    QVERIFY(!f->w(ui.Option1[2])->isEnabled());
    // Zeroing slot 3 from code runs the cascade; every box it touches follows.
    ui.set_checked(ui.Check2[3], true);
    for (int k = 1; k <= kSlots; ++k) {
      QCOMPARE(static_cast<QCheckBox*>(f->w(ui.Check2[k]))->isChecked(), k >= 3);
      QCOMPARE(static_cast<QCheckBox*>(f->w(ui.Check1[k]))->isChecked(), k < 3);
      QCOMPARE(f->w(ui.txt_poch[k])->isEnabled(), k < 3);
    }
    QCOMPARE(f->text_of(ui.txt_pK[4]), QString());
    QCOMPARE(f->text_of(ui.Lab_K[5]), QString("0"));
  }

  void user_clicks_and_typing_reach_the_model() {
    Controls& ui = f->m.ui;
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    QTest::mouseClick(f->w(ui.Check2[4]), Qt::LeftButton, {}, QPoint(6, 8));
    QVERIFY(ui.Check2[4].checked && ui.Check2[5].checked && !ui.Check2[3].checked);
    QVERIFY(!ui.Check1[4].checked && !ui.Check1[5].checked);
    QVERIFY(!static_cast<QCheckBox*>(f->w(ui.Check1[5]))->isChecked());
    // Ticking Check1(4) again un-zeroes it.
    QTest::mouseClick(f->w(ui.Check1[4]), Qt::LeftButton, {}, QPoint(6, 8));
    QVERIFY(ui.Check1[4].checked && !ui.Check2[4].checked);
    QVERIFY(!static_cast<QCheckBox*>(f->w(ui.Check2[4]))->isChecked());
    QTest::mouseClick(f->w(ui.Option1[3]), Qt::LeftButton, {}, QPoint(5, 8));
    QCOMPARE(window_setup(f->m).level, 3);
    QVERIFY(ui.Option1[3].checked && !ui.Option1[1].checked);

    auto* edit = static_cast<QLineEdit*>(f->w(ui.txt_pK[1]));
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, ".5");
    QCOMPARE(ui.txt_pK[1].text, std::string("1.5"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(ui.txt_pK[1].text, std::string("1."));
  }

  void progress_bar_grows_with_its_caption() {
    Controls& ui = f->m.ui;
    const int track = f->w(ui.Label8)->width();
    int last = -1;
    for (int n = 2; n <= 28; n += 2) {
      ui.set_text(ui.Label5, std::string(n, ' '));
      const int w = f->w(ui.Label5)->width();
      QVERIFY(w > last);
      last = w;
    }
    QCOMPARE(last, track);
    ui.set_text(ui.Label5, "  ");
    QCOMPARE(f->w(ui.Label5)->width(), 20);
    ui.set_text(ui.Label5, std::string(3, ' '));
    QVERIFY(f->w(ui.Label5)->width() > 20);
  }

  void focus_from_the_model() {
    f->window->show();
    f->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
    f->m.ui.set_enabled(f->m.ui.Command2, true);
    f->m.ui.set_focus(f->m.ui.Command2);
    QCOMPARE(QApplication::focusWidget(), f->w(f->m.ui.Command2));
    f->m.ui.set_focus(f->m.ui.txt_pK[3]);
    QCOMPARE(QApplication::focusWidget(), f->w(f->m.ui.txt_pK[3]));
  }

  void help_picture_opens_the_document() {
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    QTest::mouseClick(f->w(f->m.ui.Picture2), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(f->fake.opened, std::vector<std::string>{"help.doc"});
  }

  // With no program for .doc the desktop's opener exits with 3 after the click: the hint
  // line then says so, and the window went on serving events meanwhile.
  void a_help_no_program_opens_is_said_in_the_hint_line() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path());
    QVERIFY(QDir(dir.path()).mkdir("bin"));
    {
      QFile opener(dir.filePath("bin/xdg-open"));
      QVERIFY(opener.open(QIODevice::WriteOnly));
      opener.write("#!/bin/sh\nsleep 0.2\nexit 3\n");
      opener.setPermissions(opener.permissions() | QFileDevice::ExeOwner);
      QFile doc(dir.filePath("help.doc"));
      QVERIFY(doc.open(QIODevice::WriteOnly));
    }
    qputenv("PATH", dir.filePath("bin").toUtf8() + ":" + old_path_);
    platform_ = std::make_unique<QtPlatform>();
    f = std::make_unique<UiFixture>(platform_.get());
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    const Controls& ui = f->m.ui;
    f->hover(ui.Command2);  // the pointer may still be where an earlier window had it
    f->hover(ui.Picture2);
    QTest::mouseClick(f->w(ui.Picture2), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(f->hint_line(), QString::fromUtf8(hint_text(ui.Picture2)));
    const QString said =
        QString::fromUtf8("Не вдалося відкрити довідку help.doc з робочої папки ") +
        QDir::toNativeSeparators(dir.path()) +
        QString::fromUtf8(": файлу там немає або на комп'ютері немає програми для файлів .doc.");
    QTRY_COMPARE(f->hint_line(), said);
    QVERIFY(!platform_->opening());
    f->hover(ui.Picture2);
    QCOMPARE(f->hint_line(), said);
    f->hover(ui.Command5);
    QCOMPARE(f->hint_line(), QString::fromUtf8(hint_text(ui.Command5)));
  }

  void closing_runs_the_close_action() {
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    f->window->close();
    QCOMPARE(f->closes, 1);
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
