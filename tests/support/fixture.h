// A main window of its own for each test: settings and the object store in
// a temporary directory, message boxes answered and recorded by the test.
#pragma once

#include "shell/app.h"
#include "shell/mainframe.h"
#include "platform/dialog/msgbox.h"

#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>

namespace zef::test {

class CFrameFixture {
 public:
  // `iniText` is written to the settings file first (empty: no file at all).
  // The monitor serves trace clients from a socket folder of its own, or
  // from `runtimeDir` when given (where another monitor may serve already).
  explicit CFrameFixture(const QByteArray& iniText = {}, const QString& runtimeDir = {}) {
    m_strSettings = m_dir.filePath(QStringLiteral("ZEFMON.conf"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.isEmpty() ? m_dir.path() : runtimeDir));
    // The object store is TempPath("zef/objectstore.db"), never the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
    if (!iniText.isEmpty()) {
      QFile file(m_strSettings);
      if (file.open(QIODevice::WriteOnly)) file.write(iniText);
    }
    m_previousHook = SetMessageBoxHook([this](const MessageBoxRequest& request) {
      m_boxes.push_back(request);
      if (m_answers.empty()) return int(IDYES);
      const int answer = m_answers.front();
      m_answers.pop_front();
      return answer;
    });
    m_pApp = std::make_unique<CQrbWinApp>(std::make_unique<CProfile>(m_strSettings));
    QString error;
    m_bCreated = m_pApp->InitInstance(&error);
  }
  ~CFrameFixture() {
    m_pApp.reset();
    SetMessageBoxHook(std::move(m_previousHook));
  }

  CMainFrame& Frame() { return *m_pApp->GetMainWnd(); }
  CQrbWinApp& App() { return *m_pApp; }
  CMonitorList& List() { return Frame().GetList(); }
  QString SettingsFile() const { return m_strSettings; }
  QString TempPath(const QString& name) const { return m_dir.filePath(name); }

  // Answers for the next message boxes, in order (IDYES when none is left).
  void Answer(std::initializer_list<int> answers) { m_answers.insert(m_answers.end(), answers); }
  std::vector<MessageBoxRequest>& Boxes() { return m_boxes; }

  QStringList Lines() {
    QStringList lines;
    for (int i = 0; i < List().GetCount(); ++i) lines << List().GetText(i);
    return lines;
  }

  bool m_bCreated = false;

 private:
  QTemporaryDir m_dir;
  QString m_strSettings;
  MessageBoxHook m_previousHook;
  std::deque<int> m_answers;
  std::vector<MessageBoxRequest> m_boxes;
  std::unique_ptr<CQrbWinApp> m_pApp;
};

}  // namespace zef::test
