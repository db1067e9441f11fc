// The Ferolan window program. Scripting options (for pictures of the window and checks):
//   --screenshot FILE   render the window offscreen into FILE (PNG) and exit
//   --load              import data.mdf of the working folder first
//   --level 1|2|3       optimisation level (Option1)
//   --zero K            remove pKa K..5 from the model (Check2(K), K = 2..5)
//   --search opt|manual|auto   then run that search
//   --copy              then press "Копіювати спектри форм"
//   --close-after MS    close the window MS milliseconds after start
//   --quit              after the search, print its wall time in seconds and its trials, exit
#include <QApplication>
#include <QStyleFactory>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "qt/main_window.h"
#include "qt/pictures.h"
#include "qt/qt_canvas.h"
#include "qt/qt_platform.h"
#include "window/state/module.h"
#include "window/ui/events.h"

namespace {

struct Options {
  const char* screenshot = nullptr;
  bool load = false;
  std::string search;
  int level = 0;
  int zero = 0;
  int close_after_ms = -1;
  bool copy = false;
  bool quit = false;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(a, "--screenshot") && has_value)
      o.screenshot = argv[++i];
    else if (!std::strcmp(a, "--load"))
      o.load = true;
    else if (!std::strcmp(a, "--copy"))
      o.copy = true;
    else if (!std::strcmp(a, "--level") && has_value)
      o.level = std::atoi(argv[++i]);
    else if (!std::strcmp(a, "--zero") && has_value)
      o.zero = std::atoi(argv[++i]);
    else if (!std::strcmp(a, "--search") && has_value)
      o.search = argv[++i];
    else if (!std::strcmp(a, "--close-after") && has_value)
      o.close_after_ms = std::atoi(argv[++i]);
    else if (!std::strcmp(a, "--quit"))
      o.quit = true;
    else
      return false;
  }
  if (o.level != 0 && (o.level < 1 || o.level > 3)) return false;
  if (o.zero != 0 && (o.zero < 2 || o.zero > 5)) return false;
  return o.search.empty() || o.search == "opt" || o.search == "manual" || o.search == "auto";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Options opt;
  if (!parse(argc, argv, opt)) {
    std::fprintf(stderr,
                 "usage: ferolan [--screenshot FILE] [--load] [--level 1|2|3] [--zero 2..5] "
                 "[--search opt|manual|auto] [--copy] [--close-after MS] [--quit]\n");
    return 2;
  }
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);

  using namespace ferolan;
  QtPlatform platform;
  // On a high-density screen the diagrams are drawn at its resolution, not scaled up.
  const qreal ratio = picture_ratio();
  QtCanvas spectrs(spectrs_background(ratio)), pict_e(pict_e_background(ratio)),
      picture1(picture1_background(ratio));
  Module m(platform, spectrs, pict_e, picture1);
  form_load(m.state, m.ui);
  m.shown_fit = std::make_unique<CalcState>();  // its page faults before, not in, a search
  MainWindow window(m, spectrs, pict_e, picture1);
  platform.set_window(&window);
  platform.set_frame_gate([&window] { return window.pictures_due(); });
  platform.set_unattended(opt.screenshot != nullptr);
  window.show();

  if (opt.close_after_ms >= 0) QTimer::singleShot(opt.close_after_ms, &window, &QWidget::close);
  if (opt.load || opt.level || opt.zero || !opt.search.empty() || opt.copy) {
    QApplication::processEvents();
    if (opt.load) on_click(m, m.ui.load);
    if (opt.level) on_user_check(m, m.ui.Option1[opt.level], true);
    if (opt.zero) on_user_check(m, m.ui.Check2[opt.zero], true);
    // A search starts from the window as shown, as it does for a user: the loaded data's
    // repaint is not the search's.
    window.sync_widgets();
    QApplication::processEvents();
    platform.reset_event_waits();
    const auto start = std::chrono::steady_clock::now();
    if (opt.search == "opt") on_click(m, m.ui.Command2);
    if (opt.search == "manual") on_click(m, m.ui.Command6);
    if (opt.search == "auto") on_click(m, m.ui.Command9);
    platform.end_event_waits();
    if (!opt.search.empty()) {
      // The time includes showing the final state of the window.
      window.sync_widgets();
      QApplication::processEvents();
      const std::chrono::duration<double> t = std::chrono::steady_clock::now() - start;
      std::printf("search finished\n");
      if (opt.quit) {
        std::printf("search seconds: %.3f trials: %ld\n", t.count(), m.state.search.trials);
        const QtPlatform::EventWaits w = platform.event_waits();
        std::printf(
            "events waited at most %.1f ms, a pass of the event loop took at most %.1f ms\n",
            w.between.count() / 1e6, w.pass.count() / 1e6);
      }
    }
    if (opt.copy) on_click(m, m.ui.Command4);
    std::fflush(stdout);
  }
  if (opt.quit && !opt.screenshot) return 0;
  if (opt.screenshot) {
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(opt.screenshot), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", opt.screenshot);
      return 1;
    }
    return 0;
  }
  return app.exec();
}
