// Stands for the monitor inside a test process: the trace channel hands its
// lines here by direct calls, as it does to the program's own main window.
// Register it before the process emits its first line (the lookup is made
// once per process). With the expected lines' helpers.
#pragma once

#include <zeftrace/trace.h>
#include <zeftrace/windowhost.h>

#include <QStringList>

namespace zef::test {

class CTraceCapture final : public IWindowHost {
 public:
  static constexpr HWND kMonitor = 1;
  static constexpr HWND kView = 2;
  static constexpr HWND kBuffer = 3;

  CTraceCapture() {
    SetTraceMirror(ETraceMirror::kOff);
    SetLocalWindowHost(this);
  }
  ~CTraceCapture() override { SetLocalWindowHost(nullptr); }

  HWND FindWindow(std::u16string_view title) override { return title == kMonitorTitle ? kMonitor : 0; }
  HWND GetFirstChild(HWND window) override { return window == kMonitor ? kView : window == kView ? kBuffer : 0; }
  LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                      std::u16string*) override {
    if (window == kBuffer && message == WM_SETTEXT) m_buffer.assign(text);
    if (window == kMonitor && message == WM_COMMAND && wParam == kEntryFromBufferCommand)
      m_lines.append(QString::fromStdU16String(m_buffer));
    return 1;
  }

  // The lines handed over since the last call.
  QStringList Take() { return std::exchange(m_lines, {}); }

 private:
  std::u16string m_buffer;
  QStringList m_lines;
};

// "0x%04x", written out here rather than taken from the code under test.
inline QString Hex4(std::uint32_t value) { return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0')); }

// `lines` between the enter and leave lines of the scope `name`.
inline QStringList Scoped(const char* name, const QStringList& lines) {
  const QString scope = QString::fromLatin1(name);
  return QStringList{scope + QStringLiteral(" {")} + lines + QStringList{QStringLiteral("} ") + scope};
}

}  // namespace zef::test
