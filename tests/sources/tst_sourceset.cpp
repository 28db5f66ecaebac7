// The set of running sources matched to a list again and again: what did not
// change is left alone, ids stay, and one source that fails stops no other.
#include "platform/window/peer.h"
#include "sources/sourceset.h"
#include "tests/support/journalfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using namespace zef;

namespace {

struct SLine {
  QString text;
  std::uint32_t id;
  QString label;
  friend bool operator==(const SLine&, const SLine&) = default;
};

// A set over files of a directory of the test's own, with what it handed on.
struct SSet {
  QTemporaryDir dir;
  std::vector<SLine> lines;
  CSourceSet set{[this](const QString& text, std::uint32_t id, const QString& label, std::int64_t) {
    lines.push_back({text, id, label});
  }};

  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
  SSource File(const char* name, bool fromStart = false) const {
    SSource entry = MakeSource(ESourceKind::File, Path(name));
    entry.bFromStart = fromStart;
    return entry;
  }
  void Append(const char* name, const QByteArray& bytes) const {
    QFile file(Path(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    QCOMPARE(file.write(bytes), bytes.size());
  }
  QStringList Texts(std::uint32_t id) const {
    QStringList texts;
    for (const SLine& line : lines)
      if (line.id == id) texts << line.text;
    return texts;
  }
};

SSource Off(SSource entry) {
  entry.bEnabled = false;
  return entry;
}

}  // namespace

class TestSourceSet : public QObject {
  Q_OBJECT
 private slots:
  void applyingAgainRestartsOnlyWhatChanged();
  void aFileKeepsItsIdThroughStopAndStart();
  void switchedOffOrRemovedSourcesStop();
  void aSourceListedTwiceRunsOnce();
  void aFailingSourceStopsNoOther();
  void aSpecThatCannotRunIsSaidOnce();
  void theJournalSaysItIsMissing();
  void journalsShareTheirSendersWithoutMixingThem();
  void aJournalGoesOnAfterItsSavedPosition();
};

void TestSourceSet::applyingAgainRestartsOnlyWhatChanged() {
  SSet s;
  s.Append("a.log", "a1\n");
  s.Append("b.log", "b1\n");
  s.set.Apply({s.File("a.log", true), s.File("b.log", true)});
  const std::uint32_t a = s.set.SenderOf(s.File("a.log"));
  const std::uint32_t b = s.set.SenderOf(s.File("b.log"));
  QCOMPARE(a, kFirstSourceId);
  QCOMPARE(b, kFirstSourceId + 1);
  QCOMPARE(s.lines, (std::vector<SLine>{{QStringLiteral("a1"), a, QStringLiteral("file:") + s.Path("a.log")},
                                        {QStringLiteral("b1"), b, QStringLiteral("file:") + s.Path("b.log")}}));
  // The same list again: nothing is reopened, so nothing is read twice.
  s.set.Apply({s.File("a.log", true), s.File("b.log", true)});
  QCOMPARE(s.lines.size(), std::size_t(2));
  // b from its end now, then from its beginning again: only b reads again.
  s.set.Apply({s.File("a.log", true), s.File("b.log", false)});
  s.set.Apply({s.File("a.log", true), s.File("b.log", true)});
  QCOMPARE(s.Texts(a), QStringList{QStringLiteral("a1")});
  QCOMPARE(s.Texts(b), (QStringList{QStringLiteral("b1"), QStringLiteral("b1")}));
  QCOMPARE(s.set.SenderOf(s.File("b.log")), b);
  // Both still follow their files.
  s.Append("a.log", "a2\n");
  QTRY_COMPARE(s.Texts(a), (QStringList{QStringLiteral("a1"), QStringLiteral("a2")}));
}

void TestSourceSet::aFileKeepsItsIdThroughStopAndStart() {
  SSet s;
  s.set.Apply({s.File("a.log"), s.File("b.log")});
  const std::uint32_t b = s.set.SenderOf(s.File("b.log"));
  s.set.Apply({s.File("c.log")});
  QCOMPARE(s.set.SenderOf(s.File("b.log")), 0u);
  s.set.Apply({s.File("c.log"), s.File("b.log")});
  // A stopped file's id is its own for the session; a new file gets a new one.
  QCOMPARE(s.set.SenderOf(s.File("b.log")), b);
  QCOMPARE(s.set.SenderOf(s.File("c.log")), kFirstSourceId + 2);
  s.set.Apply({MakeSource(ESourceKind::Kernel)});
  QCOMPARE(s.set.SenderOf(MakeSource(ESourceKind::Kernel)), kFirstSourceId + 0x8000);
}

void TestSourceSet::switchedOffOrRemovedSourcesStop() {
  SSet s;
  s.set.Apply({s.File("a.log"), s.File("b.log")});
  s.set.Apply({Off(s.File("a.log")), s.File("b.log")});
  QCOMPARE(s.set.Running(), std::vector<SSource>{s.File("b.log")});
  s.set.Apply({});
  QVERIFY(s.set.Running().empty());
  // Appends reach no stopped follower; a running one shows they would have.
  s.Append("a.log", "lost\n");
  s.set.Apply({s.File("c.log")});
  s.Append("c.log", "seen\n");
  QTRY_VERIFY(s.Texts(kFirstSourceId + 2).contains(QStringLiteral("seen")));
  QVERIFY(s.Texts(kFirstSourceId).filter(QStringLiteral("lost")).isEmpty());
}

void TestSourceSet::aSourceListedTwiceRunsOnce() {
  SSet s;
  s.Append("a.log", "a1\n");
  // The first of a source decides how it starts; one switched off is skipped.
  s.set.Apply({Off(s.File("a.log", false)), s.File("a.log", true), s.File("a.log", false)});
  QCOMPARE(s.set.Running(), std::vector<SSource>{s.File("a.log", true)});
  QCOMPARE(s.lines.size(), std::size_t(1));
}

void TestSourceSet::aFailingSourceStopsNoOther() {
  SSet s;
  s.set.SetKernelPath(s.Path("no-kmsg"));
  s.set.Apply({MakeSource(ESourceKind::Kernel), s.File("a.log")});
  QCOMPARE(s.lines.size(), std::size_t(2));
  QCOMPARE(s.lines[0].id, CSourceSet::KernelId());
  QCOMPARE(s.lines[0].label, QStringLiteral("kernel"));
  QVERIFY2(s.lines[0].text.contains(QStringLiteral("No such file")), qPrintable(s.lines[0].text));
  // The missing file is said and waited for.
  QCOMPARE(s.lines[1].id, kFirstSourceId);
  s.Append("a.log", "still here\n");
  QTRY_COMPARE(s.Texts(kFirstSourceId).last(), QStringLiteral("still here"));
}

void TestSourceSet::aSpecThatCannotRunIsSaidOnce() {
  SSet s;
  const SSource bad = MakeSource(ESourceKind::File);
  s.set.Apply({bad, s.File("a.log", true)});
  s.set.Apply({bad, s.File("a.log", true)});
  const std::vector<SLine> said{{QStringLiteral("Source \"file:\" not started: no file named"), 0, QString()}};
  QCOMPARE(std::vector<SLine>(s.lines.begin(), s.lines.begin() + 1), said);
  QCOMPARE(s.Texts(0).size(), 1);
  QCOMPARE(s.set.SenderOf(s.File("a.log")), kFirstSourceId);
}

void TestSourceSet::theJournalSaysItIsMissing() {
  SSet s;
  s.set.Apply({MakeSource(ESourceKind::Journal), MakeSource(ESourceKind::Journal)});
  QCOMPARE(s.lines.size(), std::size_t(1));
  QCOMPARE(s.lines.front().id, CSourceSet::FirstJournalId());
  QVERIFY(s.lines.front().id > CSourceSet::KernelId());
}

void TestSourceSet::journalsShareTheirSendersWithoutMixingThem() {
  if (!test::HaveJournalRemote())
    QSKIP("systemd-journal-remote (Debian package systemd-journal-remote) makes the journal");
  SSet s;
  QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("j")));
  test::CJournalExport entries;
  entries.Add(1765290000000000, {{"MESSAGE", "one"}, {"_COMM", "app"}, {"_HOSTNAME", "alpha"}});
  entries.Add(1765290001000000, {{"MESSAGE", "two"}, {"_COMM", "app"}, {"_HOSTNAME", "beta"}});
  QString error;
  QVERIFY2(entries.WriteTo(s.Path("j/alpha.journal"), &error), qPrintable(error));
  SSource all = MakeSource(ESourceKind::JournalDir, s.Path("j"));
  all.bFromStart = true;
  SSource missing = MakeSource(ESourceKind::JournalDir, s.Path("none"));
  s.set.Apply({missing, all});
  // The missing one's line, then the entries, each sender its own id above the kernel's.
  QCOMPARE(s.lines.size(), std::size_t(3));
  QCOMPARE(s.lines[0].id, s.set.SenderOf(missing));
  QCOMPARE(s.lines[1].label, QStringLiteral("app@alpha"));
  QCOMPARE(s.lines[2].label, QStringLiteral("app@beta"));
  std::set<std::uint32_t> ids{s.set.SenderOf(missing), s.set.SenderOf(all), s.lines[1].id, s.lines[2].id};
  QCOMPARE(ids.size(), std::size_t(4));
  QVERIFY(*ids.begin() >= CSourceSet::FirstJournalId());
  // Started again from its last entry, the same sender keeps its id.
  SSource last = all;
  last.bFromStart = false;
  last.nLast = 1;
  s.set.Apply({last});
  QCOMPARE(s.lines.size(), std::size_t(4));
  QCOMPARE(s.lines[3], s.lines[2]);
  // With matches it is another source: started again, it keeps only theirs.
  SSource beta = all;
  beta.strMatches = QStringLiteral("_HOSTNAME=beta");
  s.set.Apply({beta});
  QCOMPARE(s.lines.size(), std::size_t(5));
  QCOMPARE(s.lines[4], s.lines[2]);
}

void TestSourceSet::aJournalGoesOnAfterItsSavedPosition() {
  if (!test::HaveJournalRemote())
    QSKIP("systemd-journal-remote (Debian package systemd-journal-remote) makes the journal");
  SSet s;
  QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("j")));
  const auto write = [&](const QByteArray& message, std::int64_t timeUs) {
    test::CJournalExport entries;
    entries.Add(timeUs, {{"MESSAGE", message}});
    QString error;
    QVERIFY2(entries.WriteTo(s.Path("j/a.journal"), &error), qPrintable(error));
  };
  write("one", 1765290000000000);
  SSource entry = MakeSource(ESourceKind::JournalDir, s.Path("j"));
  entry.nLast = 5;
  s.set.Apply({entry});
  QCOMPARE(s.lines.size(), std::size_t(1));
  entry.strCursor = s.set.CursorOf(entry);
  QVERIFY(!entry.strCursor.isEmpty());
  QVERIFY(s.set.CursorOf(MakeSource(ESourceKind::JournalDir, s.Path("other"))).isEmpty());
  s.set.Apply({});
  write("two", 1765290001000000);
  // The next session: only what came after the position, not its last 5.
  SSet next;
  next.set.Apply({entry});
  QCOMPARE(next.lines.size(), std::size_t(1));
  QCOMPARE(next.lines[0].text, QStringLiteral("two"));
}

QTEST_GUILESS_MAIN(TestSourceSet)
#include "tst_sourceset.moc"
