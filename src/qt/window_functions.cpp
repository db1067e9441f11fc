#include "qt/window_functions.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef FEROLAN_WITH_XCB
#include <xcb/xcb.h>
#endif

namespace ferolan {

namespace {
// The Motif hints a window manager reads (flags, functions, decorations, input mode, status).
constexpr uint32_t kHintsFunctions = 1u << 0, kHintsDecorations = 1u << 1;
constexpr uint32_t kFuncMove = 1u << 2, kFuncMinimise = 1u << 3, kFuncClose = 1u << 5;
constexpr uint32_t kDecorBorder = 1u << 1, kDecorTitle = 1u << 3, kDecorMenu = 1u << 4,
                   kDecorMinimise = 1u << 5;
}  // namespace

void fixed_size_functions(QWidget* window) {
  window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint);
#ifdef FEROLAN_WITH_XCB
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return;
  const auto id = static_cast<xcb_window_t>(window->winId());  // creates the native window
  static const char kName[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(kName)), kName), nullptr);
  if (!atom) return;
  const uint32_t hints[5] = {kHintsFunctions | kHintsDecorations,
                             kFuncMove | kFuncMinimise | kFuncClose,
                             kDecorBorder | kDecorTitle | kDecorMenu | kDecorMinimise, 0, 0};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom->atom, atom->atom, 32, 5, hints);
  xcb_flush(c);
  std::free(atom);
#endif
}

}  // namespace ferolan
