// Listing the top-level windows of an X display with 1,000 windows on it
// (made by the test X client that the benchmark starts).
//
//   xvfb-run -a -s "-screen 0 1024x768x24" bench_window_list [windows] [rounds]   (1000, 15)
//
// Figures, medians of alternating rounds: the walk the window tools use
// (every request sent before the first reply is read), the same requests
// made one round trip at a time, and the whole "List all" command through
// the main window (connection, walk, one monitor line per window). The
// one-at-a-time walk is written here with xcb directly, as a yardstick.
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"
#include "platform/x11/x11windows.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace zef;

namespace {

int PipelinedWalk() {
  CX11Windows windows;
  std::vector<CTopLevelWindow> found;
  return windows.EnumWindows(found, 86) ? int(found.size()) : -1;
}

QString Text(xcb_get_property_reply_t* reply, xcb_atom_t utf8, int skip = 0) {
  if (!reply || reply->format != 8) return {};
  const char* data = static_cast<const char*>(xcb_get_property_value(reply));
  const char* end = data + xcb_get_property_value_length(reply);
  for (; skip > 0 && data < end; --skip) data += std::strlen(data) + 1;
  if (data >= end) return {};
  const auto length = qsizetype(strnlen(data, size_t(end - data)));
  return reply->type == utf8 ? QString::fromUtf8(data, length) : QString::fromLatin1(data, length);
}

// Every reply awaited before the next request goes out.
int SequentialWalk() {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) return -1;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  auto atom = [c](const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
  };
  const xcb_atom_t clientList = atom("_NET_CLIENT_LIST");
  const xcb_atom_t netWmName = atom("_NET_WM_NAME");
  const xcb_atom_t utf8 = atom("UTF8_STRING");
  std::vector<xcb_window_t> list;
  bool onlyMapped = true;
  if (clientList != XCB_ATOM_NONE) {
    auto* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 65536), nullptr);
    if (reply && reply->type == XCB_ATOM_WINDOW) {
      const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
      list.assign(ids, ids + xcb_get_property_value_length(reply) / 4);
      onlyMapped = false;
    }
    std::free(reply);
  }
  if (onlyMapped) {
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (tree)
      list.assign(xcb_query_tree_children(tree), xcb_query_tree_children(tree) + xcb_query_tree_children_length(tree));
    std::free(tree);
  }
  int count = 0;
  for (xcb_window_t window : list) {
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    auto* net = xcb_get_property_reply(c, xcb_get_property(c, 0, window, netWmName, XCB_ATOM_ANY, 0, 66), nullptr);
    auto* name =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 66), nullptr);
    auto* cls =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_ANY, 0, 1024), nullptr);
    if (attributes && (!onlyMapped || attributes->map_state != XCB_MAP_STATE_UNMAPPED)) {
      QString title = Text(net, utf8);
      if (title.isEmpty()) title = Text(name, utf8);
      const QString className = Text(cls, utf8, 1);
      count += title.size() >= 0 && className.size() >= 0;
    }
    std::free(attributes);
    std::free(net);
    std::free(name);
    std::free(cls);
  }
  xcb_disconnect(c);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr, "needs an X display: run under xvfb-run\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);

  QProcess client;
  client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  client.start(QStringLiteral(ZEF_X11CLIENT), {QStringLiteral("--count"), QString::number(count)});
  for (;;) {
    if (!client.canReadLine() && !client.waitForReadyRead(60000)) {
      std::fprintf(stderr, "the X client did not come up\n");
      return 1;
    }
    if (client.readLine() == "ready\n") break;
  }

  bench::CToolFrame tool;
  CMainFrame& frame = tool.Frame();
  app.processEvents();

  std::vector<double> pipelined;
  std::vector<double> sequential;
  std::vector<double> command;
  int windows = 0;
  int sequentialWindows = 0;
  int lines = 0;
  for (int round = 0; round < rounds; ++round) {
    QElapsedTimer timer;
    timer.start();
    windows = PipelinedWalk();
    pipelined.push_back(double(timer.nsecsElapsed()) / 1e6);

    timer.restart();
    sequentialWindows = SequentialWalk();
    sequential.push_back(double(timer.nsecsElapsed()) / 1e6);

    frame.GetList().ResetContent();
    app.processEvents();
    timer.restart();
    frame.OnCmdMsg(CommandId::WindowListAll);
    command.push_back(double(timer.nsecsElapsed()) / 1e6);
    lines = frame.GetList().GetCount();
    app.processEvents();
  }
  const double pipelinedMs = bench::Median(pipelined);
  const double sequentialMs = bench::Median(sequential);
  std::printf("windows: %d listed (%d made by the benchmark, %d by the one-at-a-time walk); %d rounds, medians\n",
              windows, count, sequentialWindows, rounds);
  std::printf("pipelined walk:             %7.2f ms  %6.2f us/window\n", pipelinedMs, pipelinedMs * 1000 / windows);
  std::printf("one round trip at a time:   %7.2f ms  %6.2f us/window  (%.1fx the pipelined walk)\n", sequentialMs,
              sequentialMs * 1000 / windows, sequentialMs / pipelinedMs);
  std::printf("List all through the frame: %7.2f ms  (%d monitor lines)\n", bench::Median(command), lines);
  client.kill();
  client.waitForFinished();
  return 0;
}
