// A source as a settings value, both ways, what a hostile value gets, and
// the Init.Sources section saved and read back.
#include "platform/system/profile.h"
#include "sources/sourcesettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zef;

Q_DECLARE_METATYPE(zef::SSource)

namespace {

SSource Entry(ESourceKind kind, const QString& argument, bool fromStart, int last = 0) {
  SSource entry = MakeSource(kind, argument);
  entry.bFromStart = fromStart;
  entry.nLast = last;
  return entry;
}

// The section as read from `iniText`.
CSourceSettings Load(const QByteArray& iniText) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("p.conf"));
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly) || out.write(iniText) != iniText.size())
    qFatal("cannot write %s", qPrintable(file));
  out.close();
  CProfile profile(file);
  CSourceSettings settings;
  settings.Exchange(profile, DataDirection::ToControls);
  return settings;
}

}  // namespace

class TestSourceSettings : public QObject {
  Q_OBJECT
 private slots:
  void printedValueReadsBack_data();
  void printedValueReadsBack();
  void hostileValueIsRefusedInWords_data();
  void hostileValueIsRefusedInWords();
  void sectionRoundTripsWithoutCommandLineSources();
  void damagedSectionKeepsWhatIsGoodAndSaysWhatWasLeftOut();
  void hugeCountIsBounded();
};

void TestSourceSettings::printedValueReadsBack_data() {
  QTest::addColumn<SSource>("entry");
  QTest::addColumn<QString>("text");
  const auto F = ESourceKind::File;
  QTest::newRow("file") << Entry(F, QStringLiteral("/var/log/syslog"), false) << QStringLiteral("file:/var/log/syslog");
  QTest::newRow("file from start") << Entry(F, QStringLiteral("/a b/x.log"), true)
                                   << QStringLiteral("file,start:/a b/x.log");
  QTest::newRow("colon in path") << Entry(F, QStringLiteral("/tmp/a:b,c"), false) << QStringLiteral("file:/tmp/a:b,c");
  QTest::newRow("kernel") << Entry(ESourceKind::Kernel, {}, true) << QStringLiteral("kernel");
  QTest::newRow("kernel new only") << Entry(ESourceKind::Kernel, {}, false) << QStringLiteral("kernel,end");
  QTest::newRow("journal all") << Entry(ESourceKind::Journal, {}, false) << QStringLiteral("journal:");
  QTest::newRow("journal matches") << Entry(ESourceKind::Journal,
                                            QStringLiteral("_SYSTEMD_UNIT=a.service + PRIORITY=0..4"), false, 100)
                                   << QStringLiteral("journal,last=100:_SYSTEMD_UNIT=a.service + PRIORITY=0..4");
  QTest::newRow("journal dir") << Entry(ESourceKind::JournalDir, QStringLiteral("/var/log/journal/remote"), false)
                               << QStringLiteral("journal-dir:/var/log/journal/remote");
  QTest::newRow("journal dir from its oldest")
      << Entry(ESourceKind::JournalDir, QStringLiteral("/j"), true) << QStringLiteral("journal-dir,all:/j");
}

void TestSourceSettings::printedValueReadsBack() {
  QFETCH(SSource, entry);
  QFETCH(QString, text);
  QCOMPARE(PrintSource(entry), text);
  SSource read;
  QString error;
  QVERIFY2(ParseSource(text, &read, &error), qPrintable(error));
  QCOMPARE(read, entry);
}

void TestSourceSettings::hostileValueIsRefusedInWords_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("error");
  QTest::newRow("empty") << QString() << QStringLiteral("unknown kind \"\"");
  QTest::newRow("unknown kind") << QStringLiteral("socket:/x") << QStringLiteral("unknown kind \"socket\"");
  QTest::newRow("no file") << QStringLiteral("file:") << QStringLiteral("no file named");
  QTest::newRow("no directory") << QStringLiteral("journal-dir:") << QStringLiteral("no directory named");
  QTest::newRow("kernel with argument") << QStringLiteral("kernel:/dev/mem")
                                        << QStringLiteral("the kernel log takes no argument");
  QTest::newRow("unknown option") << QStringLiteral("file,fast:/x") << QStringLiteral("unknown option \"fast\"");
  QTest::newRow("last on a file") << QStringLiteral("file,last=3:/x") << QStringLiteral("unknown option \"last=3\"");
  QTest::newRow("start on journal") << QStringLiteral("journal,start:") << QStringLiteral("unknown option \"start\"");
  QTest::newRow("negative last") << QStringLiteral("journal,last=-1:") << QStringLiteral("unknown option \"last=-1\"");
  QTest::newRow("huge last") << QStringLiteral("journal,last=99999999999:")
                             << QStringLiteral("unknown option \"last=99999999999\"");
  QTest::newRow("control character") << QStringLiteral("file:/tmp/a\nb") << QStringLiteral("holds a control character");
  QTest::newRow("escape") << QStringLiteral("file:/tmp/\x1b[2J") << QStringLiteral("holds a control character");
  QTest::newRow("match without field") << QStringLiteral("journal:foo")
                                       << QStringLiteral(
                                              "\"foo\" is no journal match (FIELD=VALUE, the field in capitals)");
  QTest::newRow("lower-case field") << QStringLiteral("journal:unit=a")
                                    << QStringLiteral(
                                           "\"unit=a\" is no journal match (FIELD=VALUE, the field in capitals)");
  QTest::newRow("priority out of range") << QStringLiteral("journal:PRIORITY=0..9")
                                         << QStringLiteral(
                                                "\"PRIORITY=0..9\": PRIORITY is 0 to 7 (emerg to debug), or "
                                                "a range such as 0..4");
  QTest::newRow("all on a file") << QStringLiteral("file,all:/x") << QStringLiteral("unknown option \"all\"");
  QTest::newRow("too many matches") << QStringLiteral("journal:") + QStringLiteral("A=1 ").repeated(65)
                                    << QStringLiteral("more than 64 journal matches");
  QTest::newRow("long path") << QStringLiteral("file:/") + QString(4096, u'x')
                             << QStringLiteral("longer than 4096 characters");
  QTest::newRow("huge value") << QStringLiteral("file:/") + QString(1 << 20, u'x')
                              << QStringLiteral("longer than 4160 characters");
}

void TestSourceSettings::hostileValueIsRefusedInWords() {
  QFETCH(QString, text);
  QFETCH(QString, error);
  SSource entry = MakeSource(ESourceKind::File, QStringLiteral("/untouched"));
  const SSource before = entry;
  QString why;
  QVERIFY(!ParseSource(text, &entry, &why));
  QCOMPARE(why, error);
  QCOMPARE(entry, before);
}

void TestSourceSettings::sectionRoundTripsWithoutCommandLineSources() {
  CSourceSettings edited;
  SSource off = Entry(ESourceKind::File, QStringLiteral("/var/log/a.log"), true);
  off.bEnabled = false;
  SSource session = Entry(ESourceKind::File, QStringLiteral("relative.log"), false);
  session.bSession = true;
  SSource resumed = Entry(ESourceKind::JournalDir, QStringLiteral("/j"), false);
  resumed.strCursor = QStringLiteral("s=1a;i=2b;b=3c;m=4d;t=5e;x=6f");
  resumed.strMatches = QStringLiteral("_SYSTEMD_UNIT=a.service PRIORITY=0..3");
  edited.m_vSources = {off, session, Entry(ESourceKind::Kernel, {}, false),
                       Entry(ESourceKind::Journal, QStringLiteral("PRIORITY=3"), false, 50), resumed};
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("p.conf"));
  {
    CProfile profile(file);
    CSourceSettings saved = edited;
    saved.Exchange(profile, DataDirection::FromControls);
    QVERIFY(profile.Flush());
  }
  CProfile profile(file);
  // A load keeps the session's own source, after the saved ones.
  CSourceSettings loaded;
  loaded.m_vSources = {session};
  loaded.Exchange(profile, DataDirection::ToControls);
  const std::vector<SSource> expected{off, edited.m_vSources[2], edited.m_vSources[3], resumed, session};
  QCOMPARE(loaded.m_vSources, expected);
  QVERIFY(loaded.Problems().isEmpty());
}

void TestSourceSettings::damagedSectionKeepsWhatIsGoodAndSaysWhatWasLeftOut() {
  const CSourceSettings loaded = Load(
      "[Init.Sources]\nCount=7\nSource1=file:/ok.log\nOn1=0\nSource2=pipe:/x\nSource3=file:rel.log\n"
      "Source4=journal-dir:var/log\nSource5=journal-dir:/j\nMatches5=nginx\nSource6=kernel\nSource7=journal:\n"
      "Cursor7=s=1\x1b[2J\n");
  const std::vector<SSource> expected{[] {
                                        SSource s = Entry(ESourceKind::File, QStringLiteral("/ok.log"), false);
                                        s.bEnabled = false;
                                        return s;
                                      }(),
                                      Entry(ESourceKind::Kernel, {}, true), Entry(ESourceKind::Journal, {}, false)};
  QCOMPARE(loaded.m_vSources, expected);
  const QStringList problems{
      QStringLiteral("Sources: source 2 left out: unknown kind \"pipe\"."),
      QStringLiteral("Sources: source 3 left out: \"rel.log\" is not a full path."),
      QStringLiteral("Sources: source 4 left out: \"var/log\" is not a full path."),
      QStringLiteral("Sources: source 5 left out: \"nginx\" is no journal match (FIELD=VALUE, the field in capitals)."),
      QStringLiteral("Sources: source 7: its saved journal position is damaged and was not used."),
  };
  QCOMPARE(loaded.Problems(), problems);
}

void TestSourceSettings::hugeCountIsBounded() {
  QByteArray ini = "[Init.Sources]\nCount=2000000000\nSource1=kernel\n";
  for (int n = 2; n <= 100; ++n) ini += "Source" + QByteArray::number(n) + "=bad\n";
  const CSourceSettings loaded = Load(ini);
  QCOMPARE(loaded.m_vSources.size(), std::size_t(1));
  // A few lines, not one per damaged entry.
  const QStringList& problems = loaded.Problems();
  QCOMPARE(problems.size(), 22);
  QCOMPARE(problems.front(), QStringLiteral("Sources: 2000000000 listed, only the first 4096 are read."));
  QCOMPARE(problems[1], QStringLiteral("Sources: source 2 left out: unknown kind \"bad\"."));
  QCOMPARE(problems[20], QStringLiteral("Sources: 80 more left out."));
  QCOMPARE(problems[21], QStringLiteral("Sources: 3996 of those listed are missing."));
}

QTEST_GUILESS_MAIN(TestSourceSettings)
#include "tst_sourcesettings.moc"
