// A minimal X11 clipboard manager and clipboard reader for the hand-over test.
//   clipboard_keeper keep     owns CLIPBOARD_MANAGER; on SAVE_TARGETS it reads the clipboard
//                             as UTF8_STRING, takes the clipboard over and serves that text
//   clipboard_keeper mute     owns CLIPBOARD_MANAGER and never answers
//   clipboard_keeper paste    prints the clipboard's UTF8_STRING; exit 1 when there is none
// keep and mute print "ready" once they own the selection.
#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

xcb_connection_t* c;
xcb_window_t win;

xcb_atom_t atom(const char* name) {
  auto* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  if (!r) std::exit(3);
  const xcb_atom_t a = r->atom;
  std::free(r);
  return a;
}

// The next event of the given type, or nullptr after timeout_ms (negative: wait for ever).
xcb_generic_event_t* next_event(uint8_t type, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      if ((e->response_type & 0x7F) == type) return e;
      std::free(e);
    }
    if (xcb_connection_has_error(c)) return nullptr;
    int wait = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return nullptr;
      wait = static_cast<int>(left.count());
    }
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    poll(&p, 1, wait);
  }
}

// Asks the owner of CLIPBOARD for UTF8_STRING; false when it has none to give.
bool read_clipboard(std::string& text, int timeout_ms) {
  const xcb_atom_t data = atom("KEEPER_DATA");
  xcb_convert_selection(c, win, atom("CLIPBOARD"), atom("UTF8_STRING"), data, XCB_CURRENT_TIME);
  xcb_flush(c);
  auto* n =
      reinterpret_cast<xcb_selection_notify_event_t*>(next_event(XCB_SELECTION_NOTIFY, timeout_ms));
  if (!n) return false;
  const bool given = n->property != XCB_ATOM_NONE;
  std::free(n);
  if (!given) return false;
  auto* r = xcb_get_property_reply(
      c, xcb_get_property(c, 1, win, data, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 24), nullptr);
  if (!r) return false;
  text.assign(static_cast<const char*>(xcb_get_property_value(r)),
              static_cast<size_t>(xcb_get_property_value_length(r)));
  std::free(r);
  return true;
}

void notify(const xcb_selection_request_event_t* req, xcb_atom_t property) {
  xcb_selection_notify_event_t n{};
  n.response_type = XCB_SELECTION_NOTIFY;
  n.time = req->time;
  n.requestor = req->requestor;
  n.selection = req->selection;
  n.target = req->target;
  n.property = property;
  xcb_send_event(c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
  xcb_flush(c);
}

int serve(bool answer) {
  const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), clipboard = atom("CLIPBOARD");
  const xcb_atom_t save = atom("SAVE_TARGETS"), targets = atom("TARGETS");
  const xcb_atom_t utf8 = atom("UTF8_STRING");
  xcb_set_selection_owner(c, win, manager, XCB_CURRENT_TIME);
  auto* o = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, manager), nullptr);
  if (!o || o->owner != win) return 3;
  std::free(o);
  std::printf("ready\n");
  std::fflush(stdout);

  std::string kept;
  bool keeping = false;
  for (;;) {
    auto* req =
        reinterpret_cast<xcb_selection_request_event_t*>(next_event(XCB_SELECTION_REQUEST, -1));
    if (!req) return 4;
    xcb_atom_t answered = XCB_ATOM_NONE;
    if (req->selection == manager && req->target == save) {
      if (!answer) {
        std::free(req);
        continue;
      }
      if (read_clipboard(kept, 3000)) {
        keeping = true;
        xcb_set_selection_owner(c, win, clipboard, XCB_CURRENT_TIME);
      }
      answered = req->property;
    } else if (req->selection == clipboard && keeping && req->target == targets) {
      const xcb_atom_t list[] = {targets, utf8};
      xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, XCB_ATOM_ATOM,
                          32, 2, list);
      answered = req->property;
    } else if (req->selection == clipboard && keeping && req->target == utf8) {
      xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, utf8, 8,
                          static_cast<uint32_t>(kept.size()), kept.data());
      answered = req->property;
    }
    notify(req, answered);
    std::free(req);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string mode = argv[1];
  int screen_no = 0;
  c = xcb_connect(nullptr, &screen_no);
  if (xcb_connection_has_error(c)) return 3;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_no; ++i) xcb_screen_next(&it);
  win = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, win, it.data->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, it.data->root_visual, 0, nullptr);
  if (mode == "keep" || mode == "mute") return serve(mode == "keep");
  if (mode == "paste") {
    std::string text;
    if (!read_clipboard(text, 3000)) return 1;
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  return 2;
}
