#include "qt/main_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProxyStyle>
#include <cstdlib>

#include "qt/clipboard_handover.h"
#include "qt/control_widgets.h"
#include "qt/picture_box.h"
#include "qt/pictures.h"
#include "qt/qt_canvas.h"
#include "qt/widget_mirror.h"
#include "qt/window_functions.h"
#include "window/ui/events.h"

namespace ferolan {

namespace {
// A manager takes the text within milliseconds; one that does not answer must not hold up
// the close for long.
constexpr int kClipboardHandOverMs = 500;

// Narrow boxes ("10.35", "дуже високий") need their caption close to the indicator.
class CompactStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};
}  // namespace

QFont window_font() {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(10);
  return f;
}

MainWindow::MainWindow(Module& m, QtCanvas& spectrs, QtCanvas& pict_e, QtCanvas& picture1)
    : m_(m), close_action_([] {
        // Copied forms' spectra outlive the program only in the desktop's clipboard manager.
        static bool closing = false;
        if (closing) return;
        closing = true;
        hand_over_clipboard(kClipboardHandOverMs);
        std::_Exit(0);
      }) {
  const Control& form = m_.ui.Form1;
  setWindowTitle(qstr(form.text));
  setFont(window_font());
  const QColor grey((form.back >> 16) & 0xFF, (form.back >> 8) & 0xFF, form.back & 0xFF);
  setPalette(QPalette(grey, grey));
  setAutoFillBackground(true);
  setFixedSize(control_rect(form).size());
  fixed_size_functions(this);
  setMouseTracking(true);
  compact_ = new CompactStyle;
  compact_->setParent(this);
  mirror_ = new WidgetMirror(&m_.running, this);
  build(spectrs, pict_e, picture1);
  m_.ui.observer = this;
}

MainWindow::~MainWindow() {
  if (m_.ui.observer == this) m_.ui.observer = nullptr;
}

void MainWindow::build(QtCanvas& spectrs, QtCanvas& pict_e, QtCanvas& picture1) {
  widgets_[&m_.ui.Form1] = this;
  for (Control* c : m_.ui.all()) {
    if (c->kind == Kind::Form) continue;
    QWidget* parent = c->parent ? widgets_.at(c->parent) : this;
    QWidget* w = make_widget(*c, parent);
    // A control's own mouse moves must not reach the frame or window behind it.
    w->setAttribute(Qt::WA_NoMousePropagation);
    w->installEventFilter(this);
    if (c->kind == Kind::CheckBox || c->kind == Kind::Option) w->setStyle(compact_);
    widgets_[c] = w;
    controls_[w] = c;
    mirror_->add(*c, w);
    connect_actions(*c, w);
  }
  auto show_canvas = [this](const Control& c, QtCanvas& canvas) {
    auto* box = static_cast<PictureBox*>(widgets_.at(&c));
    box->set_canvas(&canvas);
    canvas.set_on_change([this, box] { mirror_->picture_changed(box); });
  };
  show_canvas(m_.ui.spectrs, spectrs);
  show_canvas(m_.ui.Pict_e, pict_e);
  show_canvas(m_.ui.Picture1, picture1);
  static_cast<PictureBox*>(widgets_.at(&m_.ui.Picture2))
      ->set_picture(help_picture(picture_ratio()));
}

void MainWindow::connect_actions(Control& c, QWidget* w) {
  switch (c.kind) {
    case Kind::Button:
      connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this, [this, &c] {
        on_click(m_, c);
        sync_widgets();
      });
      break;
    case Kind::CheckBox:
    case Kind::Option:
      // clicked, not toggled: changes made by the model must not come back as user clicks.
      connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this,
              [this, &c, w](bool checked) {
                on_user_check(m_, c, checked);
                mirror_->prompt();
                static_cast<QAbstractButton*>(w)->setChecked(c.checked);
              });
      break;
    case Kind::TextBox:
      connect(static_cast<QLineEdit*>(w), &QLineEdit::textEdited, this,
              [this, &c](const QString& text) { on_user_text(m_, c, text.toStdString()); });
      break;
    case Kind::Picture:
      connect(static_cast<PictureBox*>(w), &PictureBox::clicked, this,
              [this, &c] { on_click(m_, c); });
      break;
    default:
      break;
  }
}

QWidget* MainWindow::widget(const Control& c) const {
  auto it = widgets_.find(&c);
  return it == widgets_.end() ? nullptr : it->second;
}

void MainWindow::sync_widgets() {
  mirror_->flush();
}

bool MainWindow::pictures_due() {
  return mirror_->pictures_due();
}

void MainWindow::control_changed(const Control& c) {
  mirror_->changed(c);
}

void MainWindow::focus_changed(const Control& c) {
  // The widget must already be enabled, as the model says.
  sync_widgets();
  if (QWidget* w = widget(c)) w->setFocus(Qt::OtherFocusReason);
}

bool MainWindow::event(QEvent* event) {
  if (event->type() != QEvent::UpdateRequest) return QWidget::event(event);
  // The repaint of everything that changed, with the wait for the display server.
  QElapsedTimer t;
  t.start();
  const bool done = QWidget::event(event);
  mirror_->painted(t.nsecsElapsed());
  return done;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    auto it = controls_.find(watched);
    if (it != controls_.end()) {
      const QPointF pos = static_cast<QMouseEvent*>(event)->position();
      const int border =
          it->second->kind == Kind::Picture ? static_cast<PictureBox*>(watched)->border() : 0;
      on_mouse_move(m_, *it->second, pos.x() - border, pos.y() - border);
      mirror_->prompt();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  on_mouse_move(m_, m_.ui.Form1, event->position().x(), event->position().y());
  mirror_->prompt();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Ends the program at once, also from inside a search's yield: nothing to save or ask.
  close_action_();
  event->accept();
}

}  // namespace ferolan
