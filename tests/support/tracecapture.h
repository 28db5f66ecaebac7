// Stands for the monitor inside a test process: the trace channel hands its
// lines here by direct calls, as it does to the program's own main window.
// Register it before the process emits its first line (the lookup is made
// once per process). It keeps the lines and every message as they came.
// With the expected lines' helpers.
#pragma once

#include <zeftrace/trace.h>
#include <zeftrace/windowhost.h>

#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

namespace zef::test {

class CTraceCapture final : public IWindowHost {
 public:
  static constexpr HWND kMonitor = 1;
  static constexpr HWND kView = 2;
  static constexpr HWND kBuffer = 3;

  struct SMessage {
    HWND hWindow;
    std::uint32_t nMessage;
    WPARAM nWParam;
    QString strText;
  };

  CTraceCapture() {
    SetTraceMirror(ETraceMirror::kOff);
    SetLocalWindowHost(this);
  }
  ~CTraceCapture() override { SetLocalWindowHost(nullptr); }
  CTraceCapture(const CTraceCapture&) = delete;
  CTraceCapture& operator=(const CTraceCapture&) = delete;

  // The title is written out here rather than taken from the code under test.
  HWND FindWindow(std::u16string_view title) override {
    ++m_nLookups;
    return title == u"ZEF" ? kMonitor : 0;
  }
  HWND GetFirstChild(HWND window) override { return window == kMonitor ? kView : window == kView ? kBuffer : 0; }
  LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                      std::u16string*) override {
    m_messages.push_back({window, message, wParam, QString::fromStdU16String(std::u16string(text))});
    if (window == kBuffer && message == WM_SETTEXT) m_strBuffer = m_messages.back().strText;
    if (window == kMonitor && message == WM_COMMAND && wParam == kEntryFromBufferCommand) {
      m_lines.append(m_strBuffer);
      if (m_onLine) m_onLine(m_lines.back());
    }
    return 1;
  }

  // The lines handed over since the last call.
  QStringList Take() { return std::exchange(m_lines, {}); }
  const QStringList& Lines() const { return m_lines; }
  // Every message since the last Clear, in order.
  const std::vector<SMessage>& Messages() const { return m_messages; }
  // How often the monitor was looked up.
  int Lookups() const { return m_nLookups; }
  void Clear() {
    m_lines.clear();
    m_messages.clear();
  }
  // Runs `handler` with each line while its hand-over is still running, as a
  // window procedure that traces itself would.
  void OnLine(std::function<void(const QString&)> handler) { m_onLine = std::move(handler); }

 private:
  QString m_strBuffer;
  QStringList m_lines;
  std::vector<SMessage> m_messages;
  int m_nLookups = 0;
  std::function<void(const QString&)> m_onLine;
};

// "0x%04x", written out here rather than taken from the code under test.
inline QString Hex4(std::uint32_t value) { return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0')); }

// `lines` between the enter and leave lines of the scope `name`.
inline QStringList Scoped(const char* name, const QStringList& lines) {
  const QString scope = QString::fromLatin1(name);
  return QStringList{scope + QStringLiteral(" {")} + lines + QStringList{QStringLiteral("} ") + scope};
}

}  // namespace zef::test
