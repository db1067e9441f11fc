#include "qt/clipboard_handover.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef FEROLAN_WITH_XCB
#include <xcb/xcb.h>
#endif

namespace ferolan {

#ifdef FEROLAN_WITH_XCB
namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(r);
  return a;
}

xcb_window_t owner_of(xcb_connection_t* c, xcb_atom_t selection) {
  xcb_get_selection_owner_reply_t* r =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
  const xcb_window_t w = r ? r->owner : XCB_NONE;
  std::free(r);
  return w;
}

// The manager fetches the text from Qt's own selection window, so Qt's event loop must keep
// running; the manager's answer goes to a window of a connection of our own, which Qt's
// event reader does not see.
void save_targets(xcb_connection_t* c, int timeout_ms) {
  const xcb_atom_t manager = intern(c, "CLIPBOARD_MANAGER");
  const xcb_atom_t save = intern(c, "SAVE_TARGETS");
  const xcb_atom_t property = intern(c, "FEROLAN_SAVE_TARGETS");
  if (manager == XCB_ATOM_NONE || owner_of(c, manager) == XCB_NONE) return;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (!screen) return;
  const xcb_window_t requestor = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
  xcb_convert_selection(c, requestor, manager, save, property, XCB_CURRENT_TIME);
  xcb_flush(c);

  QElapsedTimer clock;
  clock.start();
  for (bool answered = false; !answered && clock.elapsed() < timeout_ms;) {
    // User input must not start anything now: only the manager's requests are served.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      answered = answered || (e->response_type & 0x7F) == XCB_SELECTION_NOTIFY;
      std::free(e);
    }
    if (xcb_connection_has_error(c)) return;
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace
#endif

void hand_over_clipboard([[maybe_unused]] int timeout_ms) {
#ifdef FEROLAN_WITH_XCB
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  if (!QGuiApplication::clipboard()->ownsClipboard()) return;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (!xcb_connection_has_error(c)) save_targets(c, timeout_ms);
  xcb_disconnect(c);
#endif
}

}  // namespace ferolan
