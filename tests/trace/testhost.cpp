// A stand-in monitor for the transport tests and benchmarks: a main window
// titled "ZEF" (or --title), its first child, and that child's first child
// as the buffer; the main window takes command 32779 by reading the buffer.
// Served through CWindowServer. Talks to its driver on stdin/stdout:
//   stdout: "READY <socket>", "ERROR <text>", "REFUSED <uid>", "DROPPED <reason>"
//   stdin:  "dump" -> one "LINE <text>" per received line, then "END";
//           "count" -> "COUNT <n>"; "quit";
//           "modal" -> runs a nested event loop, as a modal message box does,
//           says "MODAL", and leaves it at "endmodal".
// --nest-on <line>: taking that line, the handler runs a nested event loop
// for a moment, as a handler that shows a message box would.
#include "platform/window/windowserver.h"
#include "platform/window/window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void Say(const QString& text) {
  const QByteArray bytes = text.toUtf8() + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
  std::fflush(stdout);
}

class CBufferHost final : public zef::CWindowObject {};

class CMainWindow final : public zef::CWindowObject {
 public:
  explicit CMainWindow(const QString& title) {
    RegisterWindow(nullptr, title);
    m_wndView.RegisterWindow(this, QStringLiteral("view"));
    m_wndBuffer.RegisterWindow(&m_wndView, QString::fromUtf16(zef::kBufferMarker));
  }
  const QStringList& Lines() const { return m_lines; }
  void SetNestOn(const QString& line) { m_strNestOn = line; }

  zef::LRESULT WindowProc(std::uint32_t message, zef::WPARAM wParam, std::u16string_view text,
                          std::u16string* textOut) override {
    if (message == zef::WM_COMMAND && wParam == zef::kEntryFromBufferCommand) {
      m_lines.append(zef::GetWindowText(m_wndBuffer.GetSafeHwnd()));
      if (!m_strNestOn.isEmpty() && m_lines.back() == m_strNestOn) {
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
      }
      return 0;
    }
    if (message == zef::WM_CLOSE) {
      QCoreApplication::quit();
      return 0;
    }
    return CWindowObject::WindowProc(message, wParam, text, textOut);
  }

 private:
  zef::CWindowObject m_wndView;
  CBufferHost m_wndBuffer;
  QStringList m_lines;
  QString m_strNestOn;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString title = QStringLiteral("ZEF");
  const QStringList args = app.arguments();
  if (int i = int(args.indexOf(QStringLiteral("--title"))); i >= 0 && i + 1 < args.size()) title = args[i + 1];

  CMainWindow window(title);
  if (int i = int(args.indexOf(QStringLiteral("--nest-on"))); i >= 0 && i + 1 < args.size()) window.SetNestOn(args[i + 1]);
  zef::CWindowServer server(zef::CWindowManager::Instance());
  QObject::connect(&server, &zef::CWindowServer::ClientRefused,
                   [](quint32 uid) { Say(QStringLiteral("REFUSED %1").arg(uid)); });
  QObject::connect(&server, &zef::CWindowServer::ClientDropped,
                   [](const QString& reason) { Say(QStringLiteral("DROPPED ") + reason); });
  QString error;
  if (!server.Listen(title, &error)) {
    Say(QStringLiteral("ERROR ") + error);
    return 2;
  }
  Say(QStringLiteral("READY ") + server.SocketPath());

  std::string command;
  QEventLoop modal;
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
