// A small X client whose windows the window tools list and close.
//
//   zef_x11_testclient [options] [CLASS TITLE]...
//     --no-delete   the windows do not take part in WM_DELETE_WINDOW
//     --wm-name     titles go to WM_NAME (type STRING, bytes as given)
//                   instead of _NET_WM_NAME (UTF-8)
//     --compound    titles go to WM_NAME typed COMPOUND_TEXT; "\xHH" in a
//                   title stands for that byte (so ESC and GR bytes can be
//                   given whatever the test's encoding)
//     --instance N  the instance part of WM_CLASS is N bytes long (not
//                   "zeftest")
//     --stale-list  put on the root what a window manager that exited leaves
//                   behind: _NET_SUPPORTING_WM_CHECK and _NET_CLIENT_LIST
//                   naming a check window of its own that is gone
//     --count N     N more windows, class "ZefBench", title "bench window <i>"
//     --unmapped    one more window, made but never mapped, title "unmapped"
//     --fake-wm     stand for a window manager: announce one through
//                   _NET_SUPPORTING_WM_CHECK, publish _NET_CLIENT_LIST with
//                   this client's windows in reverse order, and report
//                   _NET_CLOSE_WINDOW requests
//
// Prints each window id ("0x..."), in the order made, then "ready". Then
// reports "closed 0x..." for each WM_DELETE_WINDOW (the window is destroyed;
// the client exits when none is left) and "net-close 0x..." for each
// _NET_CLOSE_WINDOW. Closing its standard input removes what it put on the
// root window and ends it.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_connection_t* g_connection = nullptr;

xcb_atom_t Atom(const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      g_connection, xcb_intern_atom(g_connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

void SetText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const std::string& text) {
  xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, window, property, type, 8, std::uint32_t(text.size()),
                      text.data());
}

// `text` with each "\xHH" made the byte it names.
std::string Unescaped(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size()) {
      bytes += char(std::strtoul(text.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

void RoundTrip() { std::free(xcb_get_input_focus_reply(g_connection, xcb_get_input_focus(g_connection), nullptr)); }

}  // namespace

int main(int argc, char** argv) {
  bool takesPart = true;
  bool wmName = false;
  bool unmapped = false;
  bool fakeWm = false;
  bool compound = false;
  bool staleList = false;
  std::string instance = "zeftest";
  int count = 0;
  std::vector<std::pair<std::string, std::string>> requested;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-delete") takesPart = false;
    else if (arg == "--wm-name") wmName = true;
    else if (arg == "--unmapped") unmapped = true;
    else if (arg == "--fake-wm") fakeWm = true;
    else if (arg == "--compound") compound = true;
    else if (arg == "--stale-list") staleList = true;
    else if (arg == "--instance" && i + 1 < argc) instance.assign(std::size_t(std::atoi(argv[++i])), 'i');
    else if (arg == "--count" && i + 1 < argc) count = std::atoi(argv[++i]);
    else if (i + 1 < argc) {
      requested.emplace_back(arg, argv[i + 1]);
      ++i;
    } else {
      std::fprintf(
          stderr,
          "usage: %s [--no-delete] [--wm-name] [--count N] [--unmapped] [--fake-wm] [--compound] [--instance N] "
          "[--stale-list] [CLASS TITLE]...\n",
          argv[0]);
      return 2;
    }
  }
  for (int i = 0; i < count; ++i) requested.emplace_back("ZefBench", "bench window " + std::to_string(i));

  int screenNumber = 0;
  g_connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(g_connection)) {
    std::fprintf(stderr, "cannot connect to the X server\n");
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(g_connection));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  xcb_screen_t* screen = screens.data;

  const xcb_atom_t wmProtocols = Atom("WM_PROTOCOLS");
  const xcb_atom_t wmDeleteWindow = Atom("WM_DELETE_WINDOW");
  const xcb_atom_t netWmName = Atom("_NET_WM_NAME");
  const xcb_atom_t utf8String = Atom("UTF8_STRING");
  const xcb_atom_t netClientList = Atom("_NET_CLIENT_LIST");
  const xcb_atom_t netSupportingWmCheck = Atom("_NET_SUPPORTING_WM_CHECK");
  const xcb_atom_t netCloseWindow = Atom("_NET_CLOSE_WINDOW");
  const xcb_atom_t compoundText = Atom("COMPOUND_TEXT");

  auto make = [&](const std::string& cls, const std::string& title) {
    const xcb_window_t window = xcb_generate_id(g_connection);
    xcb_create_window(g_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 40, 30, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    SetText(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, instance + '\0' + cls + '\0');
    if (compound) SetText(window, XCB_ATOM_WM_NAME, compoundText, Unescaped(title));
    else if (wmName) SetText(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title);
    else SetText(window, netWmName, utf8String, title);
    if (takesPart)
      xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, window, wmProtocols, XCB_ATOM_ATOM, 32, 1,
                          &wmDeleteWindow);
    return window;
  };

  std::vector<xcb_window_t> windows;
  for (const auto& [cls, title] : requested) {
    windows.push_back(make(cls, title));
    xcb_map_window(g_connection, windows.back());
  }
  if (unmapped) windows.push_back(make("ZefTest", "unmapped"));
  xcb_window_t check = XCB_WINDOW_NONE;
  if (fakeWm) {
    check = xcb_generate_id(g_connection);
    xcb_create_window(g_connection, XCB_COPY_FROM_PARENT, check, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, check, netSupportingWmCheck, XCB_ATOM_WINDOW, 32, 1,
                        &check);
    xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, screen->root, netSupportingWmCheck, XCB_ATOM_WINDOW, 32, 1,
                        &check);
    const std::vector<xcb_window_t> reversed(windows.rbegin(), windows.rend());
    xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, screen->root, netClientList, XCB_ATOM_WINDOW, 32,
                        std::uint32_t(reversed.size()), reversed.data());
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(g_connection, screen->root, XCB_CW_EVENT_MASK, &mask);
  }
  if (staleList) {
    const xcb_window_t gone = xcb_generate_id(g_connection);
    xcb_create_window(g_connection, XCB_COPY_FROM_PARENT, gone, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, gone, netSupportingWmCheck, XCB_ATOM_WINDOW, 32, 1, &gone);
    xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, screen->root, netSupportingWmCheck, XCB_ATOM_WINDOW, 32, 1,
                        &gone);
    xcb_change_property(g_connection, XCB_PROP_MODE_REPLACE, screen->root, netClientList, XCB_ATOM_WINDOW, 32, 1,
                        &gone);
    xcb_destroy_window(g_connection, gone);
  }
  RoundTrip();
  for (xcb_window_t window : windows) std::printf("0x%x\n", window);
  std::printf("ready\n");
  std::fflush(stdout);

  std::size_t open = windows.size();
  pollfd fds[2] = {{xcb_get_file_descriptor(g_connection), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(g_connection)) {
      if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (message->type == wmProtocols && message->data.data32[0] == wmDeleteWindow) {
          std::printf("closed 0x%x\n", message->window);
          std::fflush(stdout);
          xcb_destroy_window(g_connection, message->window);
          xcb_flush(g_connection);
          --open;
        } else if (message->type == netCloseWindow) {
          std::printf("net-close 0x%x\n", message->window);
          std::fflush(stdout);
        }
      }
      std::free(event);
    }
    if (windows.size() > 0 && open == 0) break;
    if (xcb_connection_has_error(g_connection)) return 1;
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) {
      char c;
      if (::read(STDIN_FILENO, &c, 1) <= 0) break;
    }
  }
  if (fakeWm || staleList) {
    xcb_delete_property(g_connection, screen->root, netClientList);
    xcb_delete_property(g_connection, screen->root, netSupportingWmCheck);
  }
  RoundTrip();
  xcb_disconnect(g_connection);
  return 0;
}
