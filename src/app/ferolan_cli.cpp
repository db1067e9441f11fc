// ferolan-cli: the determination of the window, without the window.
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/merge.h"
#include "cli/options.h"
#include "cli/stop_signal.h"

int main(int argc, char** argv) {
  using namespace ferolan::cli;
  if (argc > 1 && std::string(argv[1]) == "merge")
    return run_merge(std::vector<std::string>(argv + 2, argv + argc), std::cerr);
  Options o;
  std::string error;
  if (!parse_options(argc, argv, o, error)) {
    std::cerr << "ferolan-cli: " << error << "\n";
    return kUsage;
  }
  if (o.help || o.version) {
    std::cout << (o.help ? help_text() : version_text()) << (o.help ? "" : "\n");
    std::cout.flush();
    return std::fflush(stdout) == 0 && std::cout ? kOk : kOutput;
  }
  // Pictures need Qt's font and image machinery, but never a display.
  std::unique_ptr<QGuiApplication> app;
  char runtime_dir[] = "/tmp/ferolan-cli-XXXXXX";
  bool own_runtime_dir = false;
  if (!o.plots_dir.empty()) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt warns on standard error without a runtime folder; a private one keeps it quiet.
    if (!std::getenv("XDG_RUNTIME_DIR") && mkdtemp(runtime_dir)) {
      setenv("XDG_RUNTIME_DIR", runtime_dir, 1);
      own_runtime_dir = true;
    }
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  catch_stop_signals();
  int status = run_batch(o, std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
  app.reset();
  // A full disk or a closed pipe shows only when the buffers are flushed.
  std::cout.flush();
  if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::cerr << "ferolan-cli: standard output: write error\n";
    status = kOutput;
  }
  if (own_runtime_dir) rmdir(runtime_dir);
  return status;
}
