// One include per case, compiled by layer_guard_test with the flags of the layer the case
// names. Case 0 includes what the layer may use and must compile; every other case reaches
// above the layer and must stop at the guard (or, for Qt, at a header that is not there).
#if FEROLAN_CASE == 0 && defined(FEROLAN_LAYER_WINDOW)
#include "window/view/plots.h"
#elif FEROLAN_CASE == 0 && defined(FEROLAN_LAYER_CLI)
#include "cli/svg.h"
#elif FEROLAN_CASE == 0
#include "engine/model/fit.h"
#elif FEROLAN_CASE == 1
#include "window/view/plots.h"
#elif FEROLAN_CASE == 2
#include <window/state/module.h>
#elif FEROLAN_CASE == 3
#include "../../src/window/platform/canvas.h"
#elif FEROLAN_CASE == 4
// clang-format off
  #include "window/search/searches.h"
#elif FEROLAN_CASE == 5
# include "window/ui/events.h"
// clang-format on
#elif FEROLAN_CASE == 6
#include "qt/qt_platform.h"
#elif FEROLAN_CASE == 7
#include "cli/session.h"
#elif FEROLAN_CASE == 8
#include <QWidget>
#elif FEROLAN_CASE == 9
#include "../../src/cli_png/png_support.h"
#endif

int ferolan_layer_case() {
  return FEROLAN_CASE;
}
