// Keeps the widgets in step with the control model. Outside a search every change reaches
// its widget at once. During a search the core rewrites captions at every trial, far more
// often than a screen can show: the mirror then only notes what changed and brings those
// widgets up to date once a frame, and everything whenever it is flushed. A picture box
// repaints at most once a frame too, and no more often than keeps its painting to a small
// share of the search's time (the spectra of a large data set take milliseconds).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <unordered_map>
#include <vector>

#include "state/controls.h"

class QWidget;

namespace ferolan {

class PictureBox;

class WidgetMirror : public QObject {
 public:
  // Changes are held back while *defer is true (a search runs).
  explicit WidgetMirror(const bool* defer, QObject* parent = nullptr);

  void add(const Control& c, QWidget* w);
  // c changed in the model.
  void changed(const Control& c);
  // The drawing shown by box changed.
  void picture_changed(PictureBox* box);
  // Every held-back change into its widget now.
  void flush();
  bool pending() const { return !dirty_.empty() || !pictures_.empty(); }

  // Milliseconds between two screen updates during a search (about 60 a second).
  static constexpr int kFrameMs = 16;
  // During a search the pictures repaint at most once per this many times their painting
  // takes.
  static constexpr int kPaintShare = 20;

 private:
  struct Entry {
    QWidget* w = nullptr;
    bool dirty = false;
  };
  void flush_controls();
  void flush_pictures();
  static void show(QWidget* w, const Control& c);

  const bool* defer_;
  std::unordered_map<const Control*, Entry> entries_;
  std::vector<const Control*> dirty_;  // in the order of their first change
  std::vector<PictureBox*> pictures_;
  QTimer controls_timer_, pictures_timer_;
  QElapsedTimer since_controls_, since_pictures_;
  qint64 pictures_gap_ms_ = kFrameMs;
};

}  // namespace ferolan
