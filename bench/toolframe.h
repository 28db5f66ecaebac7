// What the toolbox benchmarks share: a shown main window whose tools trace
// into it (settings in a temporary directory, no close confirmation, no
// standard-error copy of each line), the time a piece of work takes and the
// median of the rounds.
#pragma once

#include "platform/system/profile.h"
#include "shell/app.h"
#include "shell/mainframe.h"

#include <zeftrace/trace.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace zef::bench {

class CToolFrame {
 public:
  // Needs the QApplication; ends the program when the window cannot be made.
  CToolFrame() {
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
    m_pApp = std::make_unique<CQrbWinApp>(std::make_unique<CProfile>(m_dir.filePath(QStringLiteral("ZEFMON.conf"))));
    QString error;
    if (!m_pApp->InitInstance(&error)) {
      std::fprintf(stderr, "main window: %s\n", qPrintable(error));
      std::exit(1);
    }
    Frame().Settings().general.m_bAskBeforeClose = false;
    SetTraceMirror(ETraceMirror::kOff);
  }
  ~CToolFrame() { Frame().close(); }

  CMainFrame& Frame() { return *m_pApp->GetMainWnd(); }

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<CQrbWinApp> m_pApp;
};

// Milliseconds that `work` takes.
template <typename F>
double TimeMs(F&& work) {
  QElapsedTimer timer;
  timer.start();
  work();
  return double(timer.nsecsElapsed()) / 1e6;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace zef::bench
