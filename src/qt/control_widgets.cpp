#include "qt/control_widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "qt/picture_box.h"

namespace ferolan {

namespace {

QColor rgb(uint32_t c) {
  return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

void apply_colours(QWidget* w, const Control& c) {
  if (c.fore == kNoColour && c.back == kNoColour) return;
  QPalette pal = w->palette();
  if (c.fore != kNoColour)
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      pal.setColor(QPalette::Active, role, rgb(c.fore)),
          pal.setColor(QPalette::Inactive, role, rgb(c.fore));
  if (c.back != kNoColour) {
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
      pal.setColor(role, rgb(c.back));
    w->setAutoFillBackground(true);
  }
  w->setPalette(pal);
}

// Picture boxes with a picture of their own have a 1-pixel border around the drawing area.
int picture_border(const Control& c) {
  return c.id == Ctl::Picture1 || c.id == Ctl::Picture2 ? 1 : 0;
}

QWidget* create(const Control& c, QWidget* parent) {
  switch (c.kind) {
    case Kind::Frame:
      return new QGroupBox(parent);
    case Kind::Button:
      return new QPushButton(parent);
    case Kind::CheckBox:
      return new QCheckBox(parent);
    case Kind::Option:
      return new QRadioButton(parent);
    case Kind::TextBox:
      return new QLineEdit(parent);
    case Kind::Picture:
      return new PictureBox(parent, picture_border(c));
    case Kind::Label:
    case Kind::Form:
      break;
  }
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(c.id != Ctl::Label5);
  // The indicator's track has the window's own grey: its sunken edge shows where it lies.
  if (c.id == Ctl::Label8) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return label;
}

}  // namespace

QString qstr(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QRect control_rect(const Control& c) {
  return QRect(c.pos.left / kTwipsPerPixel, c.pos.top / kTwipsPerPixel,
               c.pos.width / kTwipsPerPixel, c.pos.height / kTwipsPerPixel);
}

int progress_bar_width(int n) {
  if (n <= 0) return 0;
  return static_cast<int>(std::lround(20.0 + (n - 2) * 220.0 / 26.0));
}

QWidget* make_widget(const Control& c, QWidget* parent) {
  QWidget* w = create(c, parent);
  w->setObjectName(QString::fromLatin1(c.display_name().c_str()));
  w->setGeometry(control_rect(c));
  if (c.bold) {
    QFont f = w->font();
    f.setBold(true);
    w->setFont(f);
  }
  apply_colours(w, c);
  w->setMouseTracking(true);
  apply_state(w, c);
  return w;
}

void apply_state(QWidget* w, const Control& c) {
  const QString text = qstr(c.text);
  switch (c.kind) {
    case Kind::Frame:
      static_cast<QGroupBox*>(w)->setTitle(text);
      break;
    case Kind::Button:
      static_cast<QPushButton*>(w)->setText(text);
      break;
    case Kind::CheckBox:
    case Kind::Option: {
      auto* b = static_cast<QAbstractButton*>(w);
      b->setText(text);
      b->setChecked(c.checked);
      break;
    }
    case Kind::TextBox: {
      auto* e = static_cast<QLineEdit*>(w);
      if (e->text() != text) e->setText(text);
      break;
    }
    case Kind::Label:
      static_cast<QLabel*>(w)->setText(text);
      if (c.id == Ctl::Label5)
        w->resize(progress_bar_width(static_cast<int>(text.size())), w->height());
      break;
    case Kind::Picture:
    case Kind::Form:
      break;
  }
  const QString tip = qstr(c.tooltip);
  if (w->toolTip() != tip) w->setToolTip(tip);
  w->setEnabled(c.enabled);
}

}  // namespace ferolan
