// The whole program in the window: paste through the real clipboard, load the example,
// run each search from its button, stop a running optimisation, close during a search.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QRegularExpression>
#include <QTimer>
#include <QToolTip>

#include "qt/qt_platform.h"
#include "ui_fixture.h"
#include "window/search/run_control.h"

using namespace ferolan;
using ferolan::testing::UiFixture;

namespace {

const QString kFinished = QString::fromUtf8(" РОЗРАХУНОК ЗАВЕРШЕНО !!!");

QImage picture(QWidget* w) {
  return w->grab().toImage();
}

int count_colour(const QImage& img, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) | 0xFF000000u) == colour;
  return n;
}

// "4.20 ± 0.01" → value and uncertainty; false for any other text.
bool parse_result(const QString& text, double& value, double& u) {
  static const QRegularExpression re(
      QString::fromUtf8("^(\\d+)[.,](\\d\\d) ± (\\d+)[.,](\\d\\d)$"));
  const auto m = re.match(text);
  if (!m.hasMatch()) return false;
  value = (m.captured(1) + "." + m.captured(2)).toDouble();
  u = (m.captured(3) + "." + m.captured(4)).toDouble();
  return true;
}

bool is_exponential(const QString& text) {
  static const QRegularExpression re("^\\d[.,]\\d\\de[-+]\\d\\d$");
  return re.match(text).hasMatch();
}

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT
  QtPlatform pf;
  std::unique_ptr<UiFixture> f;
  QString old_dir_;

  void click(const Control& c) {
    QTest::mouseClick(f->w(c), Qt::LeftButton, {}, f->w(c)->rect().center());
  }
  void type(const Control& c, const char* text) {
    auto* e = static_cast<QLineEdit*>(f->w(c));
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, QString::fromUtf8(text));
  }
  // Loads examples/data.mdf (a diprotic acid, pKa 4.20 and 8.90) and keeps two constants.
  void load_example_with_two_constants() {
    click(f->m.ui.load);
    QCOMPARE(f->m.state.data.n_spectra, int16_t{21});
    QTest::mouseClick(f->w(f->m.ui.Check2[3]), Qt::LeftButton, {}, QPoint(6, 8));
    QVERIFY(f->m.ui.Check2[5].checked && !f->m.ui.Check1[3].checked);
  }
  void expect_example_result(double tolerance) {
    QTRY_COMPARE_WITH_TIMEOUT(f->hint_line(), kFinished, 30000);
    const double truth[] = {0, 4.20, 8.90};
    for (int k = 1; k <= 2; ++k) {
      double value = 0, u = 0;
      const QString text = f->text_of(f->m.ui.txt_pK[k]);
      QVERIFY2(parse_result(text, value, u), qPrintable(text));
      QVERIFY2(std::abs(value - truth[k]) <= tolerance, qPrintable(text));
      QVERIFY2(u < 0.1, qPrintable(text));
      QVERIFY2(is_exponential(f->text_of(f->m.ui.Lab_K[k])),
               qPrintable(f->text_of(f->m.ui.Lab_K[k])));
    }
    QCOMPARE(f->text_of(f->m.ui.Lab_K[3]), QString("0"));
    QString sa = f->text_of(f->m.ui.Label4);
    QVERIFY2(is_exponential(sa), qPrintable(sa));
    QVERIFY(sa.replace(',', '.').toDouble() < 0.01);
    // Unlocked again, and the forms' spectra exist to be copied.
    QVERIFY(f->w(f->m.ui.Command2)->isEnabled() && f->w(f->m.ui.Command4)->isEnabled());
    QVERIFY(!f->w(f->m.ui.Command1)->isEnabled());
    QVERIFY(count_colour(picture(f->w(f->m.ui.spectrs)), qRgb(255, 0, 0)) > 500);
    QVERIFY(count_colour(picture(f->w(f->m.ui.Pict_e)).copy(0, 30, 401, 223), qRgb(0, 128, 0)) >
            100);
  }

 private slots:
  void initTestCase() {
    pf.set_unattended(true);
    old_dir_ = QDir::currentPath();
    const QByteArray examples = qgetenv("FEROLAN_EXAMPLES");
    QVERIFY2(!examples.isEmpty() && QDir::setCurrent(QString::fromLocal8Bit(examples)),
             "FEROLAN_EXAMPLES must name the examples folder");
  }
  void cleanupTestCase() { QDir::setCurrent(old_dir_); }
  void init() {
    f = std::make_unique<UiFixture>(&pf);
    pf.set_window(f->window.get());
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
  }
  void cleanup() { f.reset(); }

  void pasted_table_with_decimal_commas() {
    // As a spreadsheet copies it: tabs, decimal commas, CR LF, pH columns out of order.
    const char* table =
        "0,0001\t7,0\t3,0\t5,0\r\n"
        "400\t0,30\t0,10\t0,20\r\n"
        "410\t0,35\t0,12\t0,25\r\n"
        "420\t0,40\t0,15\t0,30\r\n"
        "430\t0,30\t0,12\t0,22\r\n";
    QGuiApplication::clipboard()->setText(QString::fromUtf8(table));
    click(f->m.ui.Command5);
    const QChar d = QChar::fromLatin1(pf.decimal_separator());
    QCOMPARE(f->text_of(f->m.ui.Check3[1]), QString("3") + d + "00");
    QCOMPARE(f->text_of(f->m.ui.Check3[2]), QString("5") + d + "00");
    QCOMPARE(f->text_of(f->m.ui.Check3[3]), QString("7") + d + "00");
    QCOMPARE(f->text_of(f->m.ui.Check3[4]), QString());
    for (int s = 1; s <= 4; ++s) {
      auto* b = static_cast<QCheckBox*>(f->w(f->m.ui.Check3[s]));
      QCOMPARE(b->isEnabled(), s <= 3);
      QCOMPARE(b->isChecked(), s <= 3);
    }
    QCOMPARE(f->text_of(f->m.ui.LabC), QString("1") + d + "00e-04");
    for (Control* c : {&f->m.ui.Command2, &f->m.ui.Command6, &f->m.ui.Command9, &f->m.ui.Command7,
                       &f->m.ui.Command8})
      QVERIFY2(f->w(*c)->isEnabled(), c->name);
    QVERIFY(!f->w(f->m.ui.Command4)->isEnabled());
    QVERIFY(count_colour(picture(f->w(f->m.ui.spectrs)), qRgb(0, 0, 0)) > 300);
    QVERIFY(count_colour(picture(f->w(f->m.ui.Picture1)), qRgb(0, 0, 0)) > 40);  // with border
  }

  void example_loads_and_plots_read_out() {
    click(f->m.ui.load);
    QCOMPARE(f->text_of(f->m.ui.Check3[21]), QString("12") + QChar(pf.decimal_separator()) + "00");
    QVERIFY(count_colour(picture(f->w(f->m.ui.spectrs)), qRgb(0, 0, 0)) > 2000);
    // The read-outs of the plots become their tooltips while the pointer moves.
    QTest::mouseMove(f->w(f->m.ui.spectrs), QPoint(1, 251));
    const QString left = f->w(f->m.ui.spectrs)->toolTip();
    QVERIFY2(left.startsWith(" A = 0") && left.endsWith(QString::fromUtf8(" (250 нм) ")),
             qPrintable(left));
    QTest::mouseMove(f->w(f->m.ui.spectrs), QPoint(200, 100));  // shown next to the pointer
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), f->w(f->m.ui.spectrs)->toolTip());
    QVERIFY(QToolTip::text() != left);
    QTest::mouseMove(f->w(f->m.ui.Picture1), QPoint(86, 50));
    const QString ph = f->w(f->m.ui.Picture1)->toolTip();
    QVERIFY2(QRegularExpression("^ [67][.,]\\d $").match(ph).hasMatch(), qPrintable(ph));
    QTest::mouseMove(f->w(f->m.ui.Pict_e), QPoint(1, 100));
    QCOMPARE(f->w(f->m.ui.Pict_e)->toolTip(), QString::fromUtf8(" 250 нм "));
  }

  void selection_boxes_and_buttons_redraw_the_spectra() {
    click(f->m.ui.load);
    auto black = [&] { return count_colour(picture(f->w(f->m.ui.spectrs)), qRgb(0, 0, 0)); };
    const int all = black();
    QTest::mouseClick(f->w(f->m.ui.Check3[21]), Qt::LeftButton, {}, QPoint(6, 8));
    QCOMPARE(f->m.state.data.spectrum_used[21], int16_t{0});
    QVERIFY(!static_cast<QCheckBox*>(f->w(f->m.ui.Check3[21]))->isChecked());
    const int fewer = black();
    QVERIFY(fewer < all);
    click(f->m.ui.Command8);
    QCOMPARE(black(), 0);
    for (int s = 1; s <= 21; ++s)
      QVERIFY(!static_cast<QCheckBox*>(f->w(f->m.ui.Check3[s]))->isChecked());
    click(f->m.ui.Command7);
    QCOMPARE(black(), all);
    QVERIFY(static_cast<QCheckBox*>(f->w(f->m.ui.Check3[21]))->isChecked());
    QVERIFY(!f->w(f->m.ui.Check3[22])->isEnabled());
  }

  void optimisation_finds_the_example_constants() {
    load_example_with_two_constants();
    type(f->m.ui.txt_pK[1], "4");
    type(f->m.ui.txt_pK[2], "9");
    click(f->m.ui.Command2);
    expect_example_result(0.02);
  }

  void automatic_grid_finds_the_example_constants() {
    load_example_with_two_constants();
    click(f->m.ui.Command9);
    expect_example_result(0.02);
  }

  void manual_grid_finds_the_example_constants() {
    load_example_with_two_constants();
    type(f->m.ui.txt_poch[1], "3");
    type(f->m.ui.txt_kin[1], "5");
    type(f->m.ui.txt_krok[1], "0.1");
    type(f->m.ui.txt_poch[2], "8");
    type(f->m.ui.txt_kin[2], "10");
    type(f->m.ui.txt_krok[2], "0.1");
    click(f->m.ui.Command6);
    expect_example_result(0.051);
  }

  void stop_ends_a_running_optimisation_with_a_result() {
    click(f->m.ui.load);
    // Five constants at the most thorough level: far longer than the stop delay.
    click(f->m.ui.Option1[3]);
    long trials_at_stop = -1;
    bool locked = false;
    QTimer::singleShot(400, f->window.get(), [&] {
      trials_at_stop = f->m.state.search.trials;
      locked = !f->w(f->m.ui.Command5)->isEnabled() && f->w(f->m.ui.Command1)->isEnabled();
      click(f->m.ui.Command1);
    });
    click(f->m.ui.Command2);
    QVERIFY(trials_at_stop > 0);
    QVERIFY(locked);
    QVERIFY(f->m.state.search.trials <= trials_at_stop + 1);
    QCOMPARE(f->hint_line(), kFinished);
    // Stopped early, the estimate may come out negative or undetermined; a value is there.
    const QString text = f->text_of(f->m.ui.txt_pK[1]);
    QVERIFY2(
        QRegularExpression(QString::fromUtf8("^\\d+[.,]\\d\\d ± \\S+$")).match(text).hasMatch(),
        qPrintable(text));
    QVERIFY(f->w(f->m.ui.Command9)->isEnabled());
  }

  void closing_during_a_search_reaches_the_close_action() {
    click(f->m.ui.load);
    click(f->m.ui.Option1[3]);
    bool running_at_close = false;
    f->window->set_close_action([&] {
      running_at_close = f->m.running;
      ++f->closes;
      Command1_Click(f->m);  // the real action ends the process; here the search is stopped
    });
    QTimer::singleShot(300, f->window.get(), [&] { f->window->close(); });
    click(f->m.ui.Command2);
    QCOMPARE(f->closes, 1);
    QVERIFY(running_at_close);
  }
};

QTEST_MAIN(EndToEndTest)
#include "e2e_test.moc"
