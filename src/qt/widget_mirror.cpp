#include "qt/widget_mirror.h"

#include <QCursor>
#include <QToolTip>
#include <QWidget>
#include <algorithm>

#include "qt/control_widgets.h"

namespace ferolan {

namespace {
// Makes t fire gap_ms after the last flush, or at the next pass of the event loop when that
// is already over (after a quiet spell a change shows at once); never later than it would.
void start_after(QTimer& t, const QElapsedTimer& since, qint64 gap_ms) {
  const int wait = static_cast<int>(std::clamp<qint64>(gap_ms - since.elapsed(), 0, gap_ms));
  if (!t.isActive() || t.remainingTime() > wait) t.start(wait);
}
}  // namespace

WidgetMirror::WidgetMirror(const bool* defer, QObject* parent) : QObject(parent), defer_(defer) {
  for (QTimer* t : {&controls_timer_, &pictures_timer_}) t->setSingleShot(true);
  connect(&controls_timer_, &QTimer::timeout, this, &WidgetMirror::flush_controls);
  connect(&pictures_timer_, &QTimer::timeout, this, &WidgetMirror::flush_pictures);
  since_controls_.start();
  since_pictures_.start();
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
  start_after(controls_timer_, since_controls_, controls_gap_ms_);
}

void WidgetMirror::picture_changed(QWidget* box) {
  if (!*defer_) {
    box->update();
    pictures_flushed_ = true;  // what pictures cost to paint, for a search's frames
    return;
  }
  if (std::find(pictures_.begin(), pictures_.end(), box) != pictures_.end()) return;
  pictures_.push_back(box);
  start_after(pictures_timer_, since_pictures_, pictures_gap_ms_);
}

void WidgetMirror::prompt() {
  if (!dirty_.empty()) start_after(controls_timer_, since_controls_, kFrameMs);
  if (!pictures_.empty()) start_after(pictures_timer_, since_pictures_, kFrameMs);
}

void WidgetMirror::flush() {
  flush_controls();
  flush_pictures();
  search_seen_ = false;
}

bool WidgetMirror::pictures_due() {
  if (!search_seen_) {
    search_seen_ = true;
    since_pictures_.restart();
  }
  return since_pictures_.elapsed() + kFrameMs >= pictures_gap_ms_;
}

void WidgetMirror::flush_controls() {
  controls_timer_.stop();
  since_controls_.restart();
  // Whatever changes while the widgets are set is noted afresh.
  std::vector<const Control*> dirty;
  dirty.swap(dirty_);
  for (const Control* c : dirty) {
    Entry& e = entries_.at(c);
    e.dirty = false;
    show(e.w, *c);
  }
}

void WidgetMirror::flush_pictures() {
  pictures_timer_.stop();
  since_pictures_.restart();
  if (pictures_.empty()) return;
  std::vector<QWidget*> pictures;
  pictures.swap(pictures_);
  for (QWidget* box : pictures) box->update();
  pictures_flushed_ = true;
}

void WidgetMirror::painted(qint64 ns) {
  const qint64 gap_ms = ns * kPaintShare / 1000000;
  if (pictures_flushed_)
    pictures_gap_ms_ = std::max<qint64>(kFrameMs, gap_ms);
  else
    controls_gap_ms_ = std::clamp<qint64>(gap_ms, kFrameMs, kMaxControlsGapMs);
  pictures_flushed_ = false;
}

}  // namespace ferolan
