// Keeps the widgets in step with the control model. Outside a search every change reaches
// its widget at once. During a search the core rewrites captions at every trial, far more
// often than a screen can show: the mirror then only notes what changed and brings those
// widgets (and the picture boxes) up to date once a frame, and whenever it is flushed.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <unordered_map>
#include <vector>

#include "state/controls.h"

class QWidget;

namespace ferolan {

class WidgetMirror : public QObject {
 public:
  // Changes are held back for a frame while *defer is true (a search runs).
  explicit WidgetMirror(const bool* defer, QObject* parent = nullptr);

  void add(const Control& c, QWidget* w);
  // c changed in the model.
  void changed(const Control& c);
  // The drawing of a picture box changed.
  void picture_changed(QWidget* box);
  // Every held-back change into its widget now.
  void flush();
  bool pending() const { return !dirty_.empty() || !pictures_.empty(); }

  // Milliseconds between two screen updates during a search (about 60 a second).
  static constexpr int kFrameMs = 16;

 private:
  struct Entry {
    QWidget* w = nullptr;
    bool dirty = false;
  };
  void schedule();
  static void show(QWidget* w, const Control& c);

  const bool* defer_;
  std::unordered_map<const Control*, Entry> entries_;
  std::vector<const Control*> dirty_;  // in the order of their first change
  std::vector<QWidget*> pictures_;
  QTimer frame_;
  QElapsedTimer since_flush_;
};

}  // namespace ferolan
