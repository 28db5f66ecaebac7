// The benchmarks' trace line: made in place, so that making lines costs
// next to nothing beside what is measured.
#pragma once

#include <QString>

namespace zef::bench {

// Line i: the index as a decimal number, then fixed text, 60 units in all,
// written into one buffer so that making lines costs next to nothing.
class CLineMaker {
 public:
  CLineMaker() : m_str(60, QLatin1Char('.')) {
    // No braces: the monitor path would nest (and indent) every line after one.
    const QString body = QStringLiteral(" ZEFMON_EnumProcesses() returned pid=1234 hwnd=0x0042 ok");
    for (int i = 0; i < body.size() && 10 + i < 60; ++i) m_str[10 + i] = body[i];
  }
  const QString& Line(int i) {
    for (int k = 9; k >= 0; --k, i /= 10) m_str[k] = QChar(u'0' + i % 10);
    return m_str;
  }

 private:
  QString m_str;
};

}  // namespace zef::bench
