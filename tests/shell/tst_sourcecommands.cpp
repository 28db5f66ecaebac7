// Setup > Sources... and the command line's sources in a whole monitor:
// saved sources reopen at the next start, the command line's run beside them
// for the session only, and what a damaged section left out is said.
#include "shell/sourcecommands.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/fixture.h"

#include <QListWidget>
#include <QSettings>

using namespace zef;
using zef::test::CFrameFixture;

namespace {

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
  QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The sender's label of the first line whose text is `text`; empty when none.
QString SenderOf(CFrameFixture& f, const QString& text) {
  for (int i = 0; i < f.List().GetCount(); ++i)
    if (f.List().GetText(i) == text) return f.List().Senders().Label(f.List().GetStamp(i).nSender);
  return {};
}

SSource File(const QString& path) { return MakeSource(ESourceKind::File, path); }

}  // namespace

class TestSourceCommands : public QObject {
  Q_OBJECT
 private slots:
  void commandLineSourcesRunBesideSavedOnesAndAreNotSaved();
  void okRunsTheSourcesAtOnceAndTheNextStartReopensThem();
  void whatTheSectionLeftOutIsSaid();
};

void TestSourceCommands::commandLineSourcesRunBesideSavedOnesAndAreNotSaved() {
  QTemporaryDir dir;
  const QString saved = dir.filePath(QStringLiteral("saved.log"));
  const QString given = dir.filePath(QStringLiteral("given.log"));
  Write(saved, "saved 1\n");
  CFrameFixture f("[Init.Sources]\nCount=1\nSource1=file,start:" + saved.toUtf8() + "\n");
  // The saved file asked for again is not a second source.
  f.App().StartSources({File(given), File(saved)});
  QCOMPARE(SenderOf(f, QStringLiteral("saved 1")), QStringLiteral("file:") + saved);
  Write(given, "given 1\n");
  QTRY_COMPARE(SenderOf(f, QStringLiteral("given 1")), QStringLiteral("file:") + given);
  const std::vector<SSource>& listed = f.Frame().Settings().sources.m_vSources;
  QCOMPARE(listed.size(), std::size_t(2));
  QVERIFY(!listed[0].bSession);
  QVERIFY(listed[1].bSession);
  QCOMPARE(f.Frame().GetFeature<CSourceCommands>()->Set().Running().size(), std::size_t(2));
  QVERIFY(f.Frame().close());
  QSettings stored(f.SettingsFile(), QSettings::IniFormat);
  QCOMPARE(stored.value(QStringLiteral("Init.Sources/Count")).toInt(), 1);
  QCOMPARE(stored.value(QStringLiteral("Init.Sources/Source1")).toString(), QStringLiteral("file,start:") + saved);
}

void TestSourceCommands::okRunsTheSourcesAtOnceAndTheNextStartReopensThem() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("app.log"));
  Write(path, "first\n");
  QByteArray ini;
  {
    CFrameFixture f;
    f.App().StartSources({});
    zef::test::WhenOpen([&](CDialog& dlg) {
      zef::test::ClickChild(dlg, "sourceAdd");
      zef::test::TypeIntoChild(dlg, "sourceArgument", path);
      zef::test::TickChild(dlg, "sourceFromStart");
      zef::test::ClickCaptionOk(dlg);
    });
    QVERIFY(f.Frame().OnCmdMsg(CommandId::SetupSources));
    QCOMPARE(SenderOf(f, QStringLiteral("first")), QStringLiteral("file:") + path);
    QVERIFY(f.Frame().close());
    ini = ReadAll(f.SettingsFile());
  }
  Write(path, "second\n");
  CFrameFixture again(ini);
  again.App().StartSources({});
  QCOMPARE(again.Lines(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
}

void TestSourceCommands::whatTheSectionLeftOutIsSaid() {
  CFrameFixture f("[Init.Sources]\nCount=2\nSource1=pipe:/x\nSource2=file:relative.log\n");
  f.App().StartSources({});
  QCOMPARE(f.Lines(),
           (QStringList{QStringLiteral("Sources: source 1 left out: unknown kind \"pipe\"."),
                        QStringLiteral("Sources: source 2 left out: \"relative.log\" is not a full path.")}));
  QVERIFY(f.Frame().GetFeature<CSourceCommands>()->Set().Running().empty());
}

QTEST_MAIN(TestSourceCommands)
#include "tst_sourcecommands.moc"
