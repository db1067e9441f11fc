// What the window shows while a search runs and after it: changes held back for a frame,
// widgets equal to the control model at the end, a stop or a hint delivered at a yield.
#include <QGroupBox>
#include <QMouseEvent>
#include <QTimer>
#include <chrono>
#include <functional>

#include "qt/control_widgets.h"
#include "qt/qt_platform.h"
#include "qt/widget_mirror.h"
#include "support/acid_spectra.h"
#include "support/test_module.h"
#include "ui_fixture.h"
#include "window/search/run_control.h"
#include "window/ui/events.h"

using namespace ferolan;
using ferolan::testing::UiFixture;

namespace {

// A Qt platform whose yields can be scripted around the real one.
class ScriptedPlatform : public QtPlatform {
 public:
  std::function<void(long)> before, after;  // with the number of the yield, from 1
  long yields = 0;

  void yield() override {
    ++yields;
    if (before) before(yields);
    QtPlatform::yield();
    if (after) after(yields);
  }
};

// Long enough for the next yield to serve the window's events.
void let_next_yield_serve() {
  QTest::qSleep(
      static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(kServeInterval).count() + 1));
}

// Five constants on small spectra: the manual grid's default ranges score 32 589 trials.
const DataSet& five_constants() {
  static const DataSet d = [] {
    testing::AcidRecipe recipe;
    recipe.pka = {2.5, 4.5, 6.5, 8.5, 10.5};
    recipe.n_spectra = 20;
    recipe.ph_last = 13;
    recipe.noise = 0.001;
    return testing::make_acid_data(recipe);
  }();
  return d;
}

// The first control whose widget differs from the model, with what differs; empty if none.
QString first_difference(UiFixture& f) {
  for (Control* c : f.m.ui.all()) {
    if (c->kind == Kind::Form) continue;
    QWidget* w = f.w(*c);
    const QString name = QString::fromStdString(c->display_name());
    QString shown = f.text_of(*c);
    if (auto* g = qobject_cast<QGroupBox*>(w)) shown = g->title();
    if (c->kind != Kind::Picture && shown != qstr(c->text))
      return name + " shows \"" + shown + "\" for \"" + qstr(c->text) + "\"";
    if (w->toolTip() != qstr(c->tooltip)) return name + " tooltip";
    if (w->testAttribute(Qt::WA_ForceDisabled) == c->enabled) return name + " enabled";
    if (auto* b = qobject_cast<QAbstractButton*>(w);
        b && b->isCheckable() && b->isChecked() != c->checked)
      return name + " checked";
    if (c->id == Ctl::Label5 && w->width() != progress_bar_width(static_cast<int>(c->text.size())))
      return name + " width";
  }
  return {};
}

}  // namespace

class SearchDisplayTest : public QObject {
  Q_OBJECT
  ScriptedPlatform pf;
  std::unique_ptr<UiFixture> f;

  // The button's own click: nothing of the event loop runs after its handler.
  void click(const Control& c) { static_cast<QAbstractButton*>(f->w(c))->click(); }

 private slots:
  void init() {
    pf.before = pf.after = nullptr;
    pf.yields = 0;
    pf.set_unattended(true);
    f = std::make_unique<UiFixture>(&pf);
    pf.set_window(f->window.get());
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    testing::load_data(f->m, five_constants());
  }
  void cleanup() { f.reset(); }

  void changes_wait_for_a_flush_while_deferred() {
    bool defer = true;
    WidgetMirror mirror(&defer);
    Control a, b;
    a.kind = b.kind = Kind::Label;
    a.id = Ctl::Label3;
    b.id = Ctl::Label4;
    QLabel la, lb;
    mirror.add(a, &la);
    mirror.add(b, &lb);
    auto set_text = [&](Control& c, std::string text) {
      c.text = std::move(text);
      mirror.changed(c);
    };
    set_text(a, "1");
    set_text(a, "2");
    b.enabled = false;
    mirror.changed(b);
    QCOMPARE(la.text(), QString());
    QVERIFY(lb.isEnabled());
    QVERIFY(mirror.pending());
    mirror.flush();
    QVERIFY(!mirror.pending());
    QCOMPARE(la.text(), QString("2"));
    QVERIFY(!lb.isEnabled());

    // A change made outside a search shows at once, after the held-back ones before it.
    set_text(a, "3");
    defer = false;
    set_text(b, "4");
    QCOMPARE(la.text(), QString("3"));
    QCOMPARE(lb.text(), QString("4"));
    QVERIFY(!mirror.pending());

    // Held back, a change shows with the next frame of the event loop.
    defer = true;
    set_text(a, "5");
    QTRY_COMPARE(la.text(), QString("5"));
  }

  // Pictures that took long to paint are not drawn again soon after a search starts; cheap
  // ones are drawn at once; and each search starts the wait anew.
  void a_search_draws_costly_pictures_after_their_share_of_time() {
    bool defer = false;
    WidgetMirror mirror(&defer);
    QLabel box;
    mirror.picture_changed(&box);  // outside a search: repainted at once
    mirror.painted(10'000'000);    // and that took 10 ms
    defer = true;
    QVERIFY(!mirror.pictures_due());
    QVERIFY(!mirror.pictures_due());
    mirror.flush();  // the search ended

    defer = false;
    mirror.picture_changed(&box);
    mirror.painted(100'000);  // 0.1 ms
    defer = true;
    QVERIFY(mirror.pictures_due());
  }

  void widgets_equal_the_model_after_a_search_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("manual grid") << static_cast<int>(Ctl::Command6);
    QTest::newRow("automatic grid") << static_cast<int>(Ctl::Command9);
  }
  void widgets_equal_the_model_after_a_search() {
    QFETCH(int, button);
    Control& c = *f->m.ui.find(static_cast<Ctl>(button), -1);
    int yields_while_running = 0;
    pf.after = [&](long) { yields_while_running += f->m.running; };
    click(c);
    QVERIFY(yields_while_running > 0);
    QCOMPARE(f->hint_line(), QString::fromUtf8(kDoneText));
    QCOMPARE(first_difference(*f), QString());
    QVERIFY(f->w(f->m.ui.Command2)->isEnabled());
  }

  void widgets_catch_up_after_a_search_run_from_the_core() {
    // Without the button's handler nobody flushes: the frame timer must.
    on_click(f->m, f->m.ui.Command6);
    QCOMPARE(f->m.ui.Label9.text, std::string(kDoneText));
    QTRY_COMPARE(first_difference(*f), QString());
  }

  void stop_takes_effect_at_the_first_stop_test_after_its_yield_data() {
    // The manual grid yields after each innermost step (no trial before the next stop test)
    // and after each growth of the progress bar (inside a trial: that trial is still scored).
    QTest::addColumn<bool>("progress_yield");
    QTest::addColumn<int>("ordinal");
    QTest::newRow("first step") << false << 1;
    QTest::newRow("step 700") << false << 700;
    QTest::newRow("first growth") << true << 1;
    QTest::newRow("tenth growth") << true << 10;
  }
  void stop_takes_effect_at_the_first_stop_test_after_its_yield() {
    QFETCH(bool, progress_yield);
    QFETCH(int, ordinal);
    std::string bar = "  ";
    int seen = 0;
    long posted_at = 0, delivered_at = 0, trials_at_delivery = -1;
    QWidget* stop = f->w(f->m.ui.Command1);
    pf.before = [&](long n) {
      const bool growth = f->m.ui.Label5.text != bar;
      bar = f->m.ui.Label5.text;
      if (posted_at || growth != progress_yield || ++seen != ordinal) return;
      QMetaObject::invokeMethod(
          stop, [stop] { static_cast<QAbstractButton*>(stop)->click(); }, Qt::QueuedConnection);
      let_next_yield_serve();
      posted_at = n;
    };
    pf.after = [&](long n) {
      if (delivered_at || !f->m.stop_request) return;
      delivered_at = n;
      trials_at_delivery = f->m.state.search.trials;
    };
    click(f->m.ui.Command6);
    QVERIFY(posted_at > 0);
    QCOMPARE(delivered_at, posted_at);
    QCOMPARE(f->m.state.search.trials, trials_at_delivery + (progress_yield ? 1 : 0));
    QVERIFY(f->m.state.search.trials < 32589);
    QCOMPARE(f->hint_line(), QString::fromUtf8(kDoneText));
    QCOMPARE(first_difference(*f), QString());
    QVERIFY(!stop->isEnabled());
  }

  void hint_line_answers_during_a_search() {
    const QString hint = QString::fromUtf8(hint_text(f->m.ui.Picture2));
    QWidget* help = f->w(f->m.ui.Picture2);
    long posted_at = 0, served_at = 0, shown_at = 0;
    pf.before = [&](long n) {
      if (n == 100) {
        const QPointF at(10, 10);
        QCoreApplication::postEvent(
            help, new QMouseEvent(QEvent::MouseMove, at, help->mapToGlobal(at), Qt::NoButton,
                                  Qt::NoButton, Qt::NoModifier));
        posted_at = n;
      }
      // Time passes for the event loop while the search goes on.
      if (posted_at && !shown_at) let_next_yield_serve();
    };
    pf.after = [&](long n) {
      if (!served_at && f->m.ui.Label9.text == hint.toStdString()) served_at = n;
      if (!shown_at && f->hint_line() == hint) shown_at = n;
    };
    click(f->m.ui.Command6);
    QCOMPARE(served_at, posted_at);
    QVERIFY(shown_at >= served_at);
    QVERIFY2(shown_at > 0 && shown_at < pf.yields, "shown while the search ran");
  }
};

QTEST_MAIN(SearchDisplayTest)
#include "search_display_test.moc"
