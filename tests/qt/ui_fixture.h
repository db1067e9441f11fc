// A window on a fake platform and real Qt canvases, for one UI test case.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "qt/main_window.h"
#include "qt/pictures.h"
#include "qt/qt_canvas.h"
#include "support/fake_platform.h"
#include "window/state/module.h"

namespace ferolan::testing {

struct UiFixture {
  // ratio: device pixels per logical pixel of the diagrams.
  explicit UiFixture(Platform* platform = nullptr, qreal ratio = 1)
      : spectrs(spectrs_background(ratio)),
        pict_e(pict_e_background(ratio)),
        picture1(picture1_background(ratio)),
        m(platform ? *platform : fake, spectrs, pict_e, picture1) {
    form_load(m.state, m.ui);
    window = std::make_unique<MainWindow>(m, spectrs, pict_e, picture1);
    window->set_close_action([this] { ++closes; });
  }

  QWidget* w(const Control& c) const { return window->widget(c); }
  QString text_of(const Control& c) const {
    QWidget* x = w(c);
    if (auto* l = qobject_cast<QLabel*>(x)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(x)) return e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(x)) return b->text();
    return {};
  }
  QString hint_line() const { return text_of(m.ui.Label9); }
  // Moves the pointer over the middle of c (or over a point of the window).
  void hover(const Control& c) const { QTest::mouseMove(w(c), w(c)->rect().center()); }
  void hover_window(QPoint p) const { QTest::mouseMove(window.get(), p); }

  FakePlatform fake;
  QtCanvas spectrs, pict_e, picture1;
  Module m;
  std::unique_ptr<MainWindow> window;
  int closes = 0;
};

}  // namespace ferolan::testing
