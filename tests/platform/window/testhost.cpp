// A stand-in monitor for the transport tests and benchmarks: a main window
// titled "ZEF" (or --title), its first child, and that child's first child
// as the buffer; the main window takes command 32779 by reading the buffer.
// Served through CWindowServer. Talks to its driver on stdin/stdout:
//   stdout: "READY <socket>", "ERROR <text>", "NOTICE <text>" (the server's notices)
//   stdin:  "dump" -> one "LINE <text>" per received line, then "END";
//           "count" -> "COUNT <n>"; "quit";
//           "stats" -> "STATS <clients> <buffered bytes> <drops> <rss KiB>";
//           "modal" -> runs a nested event loop, as a modal message box does,
//           says "MODAL", and leaves it at "endmodal";
//           "peerlines" -> one "PLINE <peer id>\t<text>" per received line
//           (id 0: no client's), then "END";
//           "peer <id>" -> "PEER <id>\t<pid>\t<name>\t<told 0|1>\t<told host>\t
//           <told pid>\t<told name>" as last seen with a line, or "PEER <id> none";
//           "gone" -> one "GONE <id> <lines taken before it> <1 if a peer was
//           current then>" per PeerGone, then "END".
// Any other WM_COMMAND, and WM_CLOSE, that reaches the main window is taken
// as the line "command <id>" or "close", so that a test sees it ran.
// --modal-on <line>: taking that line, the handler runs the same nested loop
// (a handler that opens a dialog): "MODAL", then "endmodal".
// --own-line-on <line>: taking that line, the handler hands over the line
// "own line" by direct calls, as the monitor's own tools trace.
// --nest-on <line>: taking that line, the handler runs a nested event loop
// for a moment, as a handler that shows a message box would, then says
// "NESTED <peer id before> <peer id after> <lines taken meanwhile>".
// --freeze-on <line>: taking that line, the handler blocks the UI thread for
// a second and a half, as a hung monitor would.
// --stall-timeout-ms <n>: the server's stall timeout.
#include "platform/window/windowserver.h"
#include "platform/window/window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QSocketNotifier>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

void Say(const QString& text) {
  const QByteArray bytes = text.toUtf8() + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
  std::fflush(stdout);
}

class CBufferHost final : public zef::CWindowObject {};

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word)
    if (word == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  return 0;
}

class CMainWindow final : public zef::CWindowObject {
 public:
  explicit CMainWindow(const QString& title) {
    RegisterWindow(nullptr, title);
    m_wndView.RegisterWindow(this, QStringLiteral("view"));
    m_wndBuffer.RegisterWindow(&m_wndView, QString::fromUtf16(zef::kBufferMarker));
  }
  const QStringList& Lines() const { return m_lines; }
  const std::vector<quint32>& LinePeers() const { return m_linePeers; }
  const zef::SPeer* Peer(quint32 id) const {
    const auto it = m_peers.find(id);
    return it == m_peers.end() ? nullptr : &it->second;
  }
  void SetNestOn(const QString& line) { m_strNestOn = line; }
  void SetFreezeOn(const QString& line) { m_strFreezeOn = line; }
  void SetModalOn(const QString& line) { m_strModalOn = line; }
  void SetOwnLineOn(const QString& line) { m_strOwnLineOn = line; }
  QEventLoop& Modal() { return m_modal; }

  zef::LRESULT WindowProc(std::uint32_t message, zef::WPARAM wParam, std::u16string_view text,
                          std::u16string* textOut) override {
    if (message == zef::WM_COMMAND && wParam == zef::kEntryFromBufferCommand) {
      m_lines.append(zef::GetWindowText(m_wndBuffer.GetSafeHwnd()));
      const zef::SPeer* peer = zef::CWindowManager::Instance().CurrentPeer();
      m_linePeers.push_back(peer ? peer->nId : 0);
      if (peer) m_peers[peer->nId] = *peer;
      if (!m_strNestOn.isEmpty() && m_lines.back() == m_strNestOn) {
        const qsizetype before = m_lines.size();
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        const zef::SPeer* after = zef::CWindowManager::Instance().CurrentPeer();
        Say(QStringLiteral("NESTED %1 %2 %3")
                .arg(m_linePeers[size_t(before - 1)])
                .arg(after ? after->nId : 0)
                .arg(m_lines.size() - before));
      }
      if (!m_strFreezeOn.isEmpty() && m_lines.back() == m_strFreezeOn)
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      if (!m_strOwnLineOn.isEmpty() && m_lines.back() == m_strOwnLineOn) {
        zef::SendMessage(m_wndBuffer.GetSafeHwnd(), zef::WM_SETTEXT, 0, QStringLiteral("own line"));
        zef::SendMessage(GetSafeHwnd(), zef::WM_COMMAND, zef::kEntryFromBufferCommand);
        zef::SendMessage(m_wndBuffer.GetSafeHwnd(), zef::WM_SETTEXT, 0, QString::fromUtf16(zef::kBufferMarker));
      }
      if (!m_strModalOn.isEmpty() && m_lines.back() == m_strModalOn) {
        Say(QStringLiteral("MODAL"));
        m_modal.exec();
      }
      return 0;
    }
    if (message == zef::WM_COMMAND || message == zef::WM_CLOSE) {
      m_lines.append(message == zef::WM_CLOSE ? QStringLiteral("close") : QStringLiteral("command %1").arg(wParam));
      m_linePeers.push_back(0);
      return 0;
    }
    return CWindowObject::WindowProc(message, wParam, text, textOut);
  }

 private:
  zef::CWindowObject m_wndView;
  CBufferHost m_wndBuffer;
  QStringList m_lines;
  std::vector<quint32> m_linePeers;  // beside m_lines
  std::map<quint32, zef::SPeer> m_peers;
  QString m_strNestOn;
  QString m_strFreezeOn;
  QString m_strModalOn;
  QString m_strOwnLineOn;
  QEventLoop m_modal;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString title = QStringLiteral("ZEF");
  const QStringList args = app.arguments();
  if (int i = int(args.indexOf(QStringLiteral("--title"))); i >= 0 && i + 1 < args.size()) title = args[i + 1];

  CMainWindow window(title);
  if (int i = int(args.indexOf(QStringLiteral("--nest-on"))); i >= 0 && i + 1 < args.size())
    window.SetNestOn(args[i + 1]);
  if (int i = int(args.indexOf(QStringLiteral("--freeze-on"))); i >= 0 && i + 1 < args.size())
    window.SetFreezeOn(args[i + 1]);
  if (int i = int(args.indexOf(QStringLiteral("--modal-on"))); i >= 0 && i + 1 < args.size())
    window.SetModalOn(args[i + 1]);
  if (int i = int(args.indexOf(QStringLiteral("--own-line-on"))); i >= 0 && i + 1 < args.size())
    window.SetOwnLineOn(args[i + 1]);
  zef::CWindowServer server(zef::CWindowManager::Instance());
  if (int i = int(args.indexOf(QStringLiteral("--stall-timeout-ms"))); i >= 0 && i + 1 < args.size())
    server.SetStallTimeout(std::chrono::milliseconds(args[i + 1].toInt()));
  QObject::connect(&server, &zef::CWindowServer::Notice,
                   [](const QString& text) { Say(QStringLiteral("NOTICE ") + text); });
  struct SGone {
    quint32 nId;
    qsizetype nLines;
    bool bInside;
  };
  std::vector<SGone> gone;
  QObject::connect(&server, &zef::CWindowServer::PeerGone, [&](quint32 id) {
    gone.push_back({id, window.Lines().size(), zef::CWindowManager::Instance().CurrentPeer() != nullptr});
  });
  QString error;
  if (server.Listen(title, &error) != zef::EListenError::kNone) {
    Say(QStringLiteral("ERROR ") + error);
    return 2;
  }
  Say(QStringLiteral("READY ") + server.SocketPath());

  std::string command;
  QEventLoop& modal = window.Modal();
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char chunk[256];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
      QCoreApplication::quit();
      return;
    }
    command.append(chunk, size_t(n));
    for (size_t eol; (eol = command.find('\n')) != std::string::npos; command.erase(0, eol + 1)) {
      const std::string word = command.substr(0, eol);
      if (word == "dump") {
        QByteArray out;
        for (const QString& line : window.Lines()) out += "LINE " + line.toUtf8() + '\n';
        out += "END\n";
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        std::fflush(stdout);
      } else if (word == "peerlines") {
        QByteArray out;
        for (qsizetype i = 0; i < window.Lines().size(); ++i)
          out +=
              "PLINE " + QByteArray::number(window.LinePeers()[size_t(i)]) + '\t' + window.Lines()[i].toUtf8() + '\n';
        out += "END\n";
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        std::fflush(stdout);
      } else if (word.rfind("peer ", 0) == 0) {
        const quint32 id = quint32(std::stoul(word.substr(5)));
        if (const zef::SPeer* peer = window.Peer(id)) {
          // One pass: a told text may hold "%1" itself.
          Say(QStringLiteral("PEER %1\t%2\t%3\t%4\t%5\t%6\t%7")
                  .arg(QString::number(peer->nId), QString::number(peer->nPid), peer->strName,
                       QString::number(peer->bTold ? 1 : 0), peer->strToldHost, QString::number(peer->nToldPid),
                       peer->strToldName));
        } else {
          Say(QStringLiteral("PEER %1 none").arg(id));
        }
      } else if (word == "gone") {
        for (const SGone& g : gone)
          Say(QStringLiteral("GONE %1 %2 %3").arg(g.nId).arg(g.nLines).arg(g.bInside ? 1 : 0));
        Say(QStringLiteral("END"));
      } else if (word == "stats") {
        Say(QStringLiteral("STATS %1 %2 %3 %4")
                .arg(server.ClientCount())
                .arg(server.BufferedBytes())
                .arg(server.DropCount())
                .arg(ResidentKiB()));
      } else if (word == "count") {
        Say(QStringLiteral("COUNT %1").arg(window.Lines().size()));
      } else if (word == "modal") {
        // Started from a timer, as a dialog is, not from inside this notifier.
        QTimer::singleShot(0, &modal, [&modal] {
          Say(QStringLiteral("MODAL"));
          modal.exec();
        });
      } else if (word == "endmodal") {
        modal.quit();
      } else if (word == "quit") {
        QCoreApplication::quit();
      }
    }
  });
  return app.exec();
}
