// zefmon: the debug monitor and toolbox.
#include "shell/app.h"
#include "shell/mainframe.h"
#include "res/stringtable.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  zef::CQrbWinApp app(std::make_unique<zef::CProfile>(QStringLiteral("Quorbel"), zef::AppName()));
  QString error;
  if (!app.InitInstance(&error)) {
    std::fprintf(stderr, "zefmon: %s\n", qPrintable(error));
    return 1;
  }
  QObject::connect(app.GetMainWnd(), &zef::CMainFrame::closed, &application, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  return application.exec();
}
