#include "ui/widget_mirror.h"

#include <QCursor>
#include <QToolTip>
#include <QWidget>
#include <algorithm>

#include "ui/control_widgets.h"

namespace ferolan {

WidgetMirror::WidgetMirror(const bool* defer, QObject* parent) : QObject(parent), defer_(defer) {
  frame_.setSingleShot(true);
  connect(&frame_, &QTimer::timeout, this, &WidgetMirror::flush);
  since_flush_.start();
}

void WidgetMirror::add(const Control& c, QWidget* w) {
  entries_[&c].w = w;
}

void WidgetMirror::show(QWidget* w, const Control& c) {
  apply_state(w, c);
  // The plots' read-out is their tooltip: keep it next to the pointer while it changes.
  if (c.kind == Kind::Picture && w->underMouse() && !c.tooltip.empty())
    QToolTip::showText(QCursor::pos(), w->toolTip(), w);
}

void WidgetMirror::changed(const Control& c) {
  auto it = entries_.find(&c);
  if (it == entries_.end()) return;
  Entry& e = it->second;
  if (!*defer_) {
    // Held-back changes are older: they go first, so that this one is not overwritten.
    if (pending()) flush();
    show(e.w, c);
    return;
  }
  if (e.dirty) return;
  e.dirty = true;
  dirty_.push_back(&c);
  schedule();
}

void WidgetMirror::picture_changed(QWidget* box) {
  if (!*defer_) {
    box->update();
    return;
  }
  if (std::find(pictures_.begin(), pictures_.end(), box) == pictures_.end()) {
    pictures_.push_back(box);
    schedule();
  }
}

void WidgetMirror::schedule() {
  if (frame_.isActive()) return;
  // After a quiet spell the first change shows at the next event processing; a stream of
  // changes shows once a frame.
  const qint64 wait = kFrameMs - since_flush_.elapsed();
  frame_.start(static_cast<int>(std::clamp<qint64>(wait, 0, kFrameMs)));
}

void WidgetMirror::flush() {
  frame_.stop();
  since_flush_.restart();
  // Whatever changes while the widgets are set is noted afresh.
  std::vector<const Control*> dirty;
  dirty.swap(dirty_);
  std::vector<QWidget*> pictures;
  pictures.swap(pictures_);
  for (const Control* c : dirty) {
    Entry& e = entries_.at(c);
    e.dirty = false;
    show(e.w, *c);
  }
  for (QWidget* box : pictures) box->update();
}

}  // namespace ferolan
