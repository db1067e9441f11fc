// Keeps the widgets in step with the control model. Outside a search every change reaches
// its widget at once. During a search the core rewrites captions at every trial, far more
// often than a screen can show: the mirror then only notes what changed and brings those
// widgets up to date once a frame, and everything whenever it is flushed. Frames are spaced
// so that repainting takes a small share of the search's time: the spectra of a large data
// set take milliseconds to paint, and each repaint may wait for the display server.
#pragma once

#include "qt/layer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <unordered_map>
#include <vector>

#include "window/ui/controls.h"

class QWidget;

namespace ferolan {

class WidgetMirror : public QObject {
 public:
  // Changes are held back while *defer is true (a search runs).
  explicit WidgetMirror(const bool* defer, QObject* parent = nullptr);

  void add(const Control& c, QWidget* w);
  // c changed in the model.
  void changed(const Control& c);
  // The drawing shown by box changed.
  void picture_changed(QWidget* box);
  // The window has repainted what changed, in ns nanoseconds.
  void painted(qint64 ns);
  // Every held-back change into its widget now.
  void flush();
  // What the user just did shows with the next frame, however costly the last repaint was.
  void prompt();
  bool pending() const { return !dirty_.empty() || !pictures_.empty(); }
  // Whether a drawing made now would reach the screen within about a frame: the pictures
  // are repainted less often than once a frame when painting them is slow. Asked during a
  // search only; the search's start counts as the last repaint, so that a short search
  // shows its pictures once, at the end.
  bool pictures_due();

  // Milliseconds between two screen updates during a search: about 60 a second at most,
  // and the search's own captions at least 10 a second.
  static constexpr int kFrameMs = 16;
  static constexpr int kMaxControlsGapMs = 100;
  // A frame follows the last one after at least this many times its repaint took.
  static constexpr int kPaintShare = 80;

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
  std::vector<QWidget*> pictures_;
  QTimer controls_timer_, pictures_timer_;
  QElapsedTimer since_controls_, since_pictures_;
  qint64 controls_gap_ms_ = kFrameMs, pictures_gap_ms_ = kFrameMs;
  bool pictures_flushed_ = false;  // the next repaint is one of the pictures
  bool search_seen_ = false;       // pictures_due was asked since the last flush
};

}  // namespace ferolan
