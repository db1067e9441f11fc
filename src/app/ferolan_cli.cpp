// ferolan-cli: the determination of the window, without the window.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/merge.h"
#include "cli/options.h"
#include "cli/stop_signal.h"
#ifdef FEROLAN_CLI_PNG
#include "cli_png/png_support.h"
#endif

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
#ifdef FEROLAN_CLI_PNG
  std::optional<PngSupport> png;
  png.emplace(!o.plots_dir.empty(), argc, argv);
#endif
  catch_stop_signals();
  int status = run_batch(o, std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
#ifdef FEROLAN_CLI_PNG
  png.reset();
#endif
  // A full disk or a closed pipe shows only when the buffers are flushed.
  std::cout.flush();
  if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::cerr << "ferolan-cli: standard output: write error\n";
    status = kOutput;
  }
  return status;
}
