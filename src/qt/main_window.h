// The main window Form1: one widget per control of the model, kept in step with it through
// the model's observer; user actions go to the core's event functions.
#pragma once

#include "qt/layer.h"

#include <QWidget>
#include <functional>
#include <unordered_map>

#include "window/state/module.h"

namespace ferolan {

class QtCanvas;
class WidgetMirror;

class MainWindow : public QWidget, public ControlObserver {
  Q_OBJECT
 public:
  MainWindow(Module& m, QtCanvas& spectrs, QtCanvas& pict_e, QtCanvas& picture1);
  ~MainWindow() override;

  // The widget that shows c (the window itself for Form1).
  QWidget* widget(const Control& c) const;
  // What closing the window does; by default the process ends at once (after handing the
  // clipboard to the desktop's clipboard manager).
  void set_close_action(std::function<void()> action) { close_action_ = std::move(action); }
  // Brings every widget up to the model's state now (changes of a search wait for a frame).
  void sync_widgets();
  // Whether a drawing made now would soon be on the screen (see WidgetMirror).
  bool pictures_due();

  void control_changed(const Control& c) override;
  void focus_changed(const Control& c) override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build(QtCanvas& spectrs, QtCanvas& pict_e, QtCanvas& picture1);
  void connect_actions(Control& c, QWidget* w);

  Module& m_;
  std::unordered_map<const Control*, QWidget*> widgets_;
  std::unordered_map<const QObject*, Control*> controls_;
  std::function<void()> close_action_;
  QStyle* compact_ = nullptr;       // owned by the window
  WidgetMirror* mirror_ = nullptr;  // owned by the window
};

// The window's font: a sans serif with Cyrillic, close to an 8-point dialog font.
QFont window_font();

}  // namespace ferolan
