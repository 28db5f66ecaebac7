// Following a file: appends, the held last line, every kind of rotation,
// hostile content and a file that is not there yet.
#include "sources/filefollow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using zef::CFileFollow;

namespace {

// A followed file in a directory of the test's own, with what it handed on.
struct SFollowed {
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("app.log"));
  QStringList lines;
  QStringList notices;
  std::unique_ptr<CFileFollow> follow;

  void Begin(bool fromStart) {
    follow = std::make_unique<CFileFollow>(
        path, [this](const QString& t) { lines << t; }, [this](const QString& t) { notices << t; });
    follow->Start(fromStart);
  }
  void Append(const QByteArray& bytes, const QString& name = {}) {
    QFile file(name.isEmpty() ? path : dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    QCOMPARE(file.write(bytes), bytes.size());
  }
};

// Whether this process holds a file that was deleted (its disk space then
// stays in use).
bool HoldsDeletedFile() {
  const QDir fds(QStringLiteral("/proc/self/fd"));
  for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
    if (QFile::symLinkTarget(fds.filePath(fd)).endsWith(QStringLiteral(" (deleted)"))) return true;
  }
  return false;
}

}  // namespace

class TestFileFollow : public QObject {
  Q_OBJECT
 private slots:
  void startsAtTheEndOrTheBeginning_data();
  void startsAtTheEndOrTheBeginning();
  void holdsTheLastLineUntilItsNewline();
  void rotationLosesAndDoublesNothing_data();
  void rotationLosesAndDoublesNothing();
  void hostileBytesBecomeLinesAsATraceClientsDo();
  void overlongLineIsCutAndSaidOnce();
  void missingFileIsSaidAndWaitedFor();
  void aPassReadsABoundedAmount();
  void inotifyBringsAppendsWithoutAsking();
  void rotationsAtSpeedLoseAndDoubleNothing();
};

void TestFileFollow::startsAtTheEndOrTheBeginning_data() {
  QTest::addColumn<bool>("fromStart");
  QTest::addColumn<QStringList>("expected");
  QTest::newRow("end") << false << QStringList{QStringLiteral("new")};
  QTest::newRow("beginning") << true << QStringList{QStringLiteral("old"), QStringLiteral("new")};
}

void TestFileFollow::startsAtTheEndOrTheBeginning() {
  QFETCH(bool, fromStart);
  QFETCH(QStringList, expected);
  SFollowed f;
  f.Append("old\n");
  f.Begin(fromStart);
  f.Append("new\n");
  f.follow->Pass();
  QCOMPARE(f.lines, expected);
  QVERIFY(f.notices.isEmpty());
  QCOMPARE(f.follow->Label(), QStringLiteral("file:") + f.path);
  QCOMPARE(CFileFollow::LabelFor(QStringLiteral("a\nb\tc")), QStringLiteral("file:a\uFFFDb\uFFFDc"));
}

void TestFileFollow::holdsTheLastLineUntilItsNewline() {
  SFollowed f;
  f.Append("");
  f.Begin(false);
  f.Append("one\r\ntw");
  f.follow->Pass();
  QCOMPARE(f.lines, QStringList{QStringLiteral("one")});
  f.Append("o\n\nthree\n");
  f.follow->Pass();
  QCOMPARE(f.lines, (QStringList{QStringLiteral("one"), QStringLiteral("two"), QString(), QStringLiteral("three")}));
}

void TestFileFollow::rotationLosesAndDoublesNothing_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("rename and a new file") << QStringLiteral("rename");
  QTest::newRow("copy and truncate") << QStringLiteral("truncate");
  QTest::newRow("delete and create again") << QStringLiteral("delete");
}

void TestFileFollow::rotationLosesAndDoublesNothing() {
  QFETCH(QString, how);
  SFollowed f;
  f.Append("");
  f.Begin(false);
  f.Append("1\n2\n");
  f.follow->Pass();
  QStringList expected{QStringLiteral("1"), QStringLiteral("2")};
  if (how == QStringLiteral("rename")) {
    QVERIFY(QFile::rename(f.path, f.dir.filePath(QStringLiteral("app.log.1"))));
    f.Append("3 late into the old file\npartial", QStringLiteral("app.log.1"));
    f.Append("4\n");
    expected << QStringLiteral("3 late into the old file") << QStringLiteral("partial") << QStringLiteral("4");
  } else if (how == QStringLiteral("truncate")) {
    f.Append("3\n");
    QVERIFY(QFile::copy(f.path, f.dir.filePath(QStringLiteral("app.log.1"))));
    f.follow->Pass();  // the rotating program read the file as it copied it; so did we
    QVERIFY(QFile::resize(f.path, 0));
    f.Append("4\n");
    expected << QStringLiteral("3") << QStringLiteral("4");
  } else {
    QVERIFY(QFile::remove(f.path));
    f.follow->Pass();
    QCOMPARE(f.notices.size(), 1);
    QVERIFY2(!HoldsDeletedFile(), "a deleted file is held open");
    f.Append("3\n");
    expected << QStringLiteral("3");
  }
  f.follow->Pass();
  QCOMPARE(f.lines, expected);
  f.Append("5\n");
  f.follow->Pass();
  QCOMPARE(f.lines, expected << QStringLiteral("5"));
  QVERIFY2(!f.notices.isEmpty() && f.notices.size() <= 2, qPrintable(f.notices.join(u'|')));
}

void TestFileFollow::hostileBytesBecomeLinesAsATraceClientsDo() {
  SFollowed f;
  f.Append(
      QByteArray("\xff\xfe"
                 "A\0B\x1b[2J\xc3\n\xe2\x82\xac\n",
                 15));
  f.Begin(true);
  const QString nul(QChar(0));
  QCOMPARE(f.lines, (QStringList{QStringLiteral(u"\uFFFD\uFFFDA") + nul + QStringLiteral(u"B\x1b[2J\uFFFD"),
                                 QStringLiteral(u"\u20AC")}));
}

void TestFileFollow::overlongLineIsCutAndSaidOnce() {
  SFollowed f;
  f.Append(QByteArray(CFileFollow::kMaxLineBytes + 3, 'x') + QByteArray(CFileFollow::kMaxLineBytes, 'y') + "\nnext\n");
  f.Begin(true);
  while (f.lines.size() < 2) f.follow->Pass();
  QCOMPARE(f.lines.size(), 2);
  QCOMPARE(f.lines[0], QString(CFileFollow::kMaxLineBytes, u'x'));
  QCOMPARE(f.lines[1], QStringLiteral("next"));
  QCOMPARE(f.notices.size(), 1);
  QVERIFY2(f.notices[0].contains(QStringLiteral("cut")), qPrintable(f.notices[0]));
}

void TestFileFollow::missingFileIsSaidAndWaitedFor() {
  SFollowed f;
  f.Begin(false);
  f.follow->Pass();
  QCOMPARE(f.notices.size(), 1);  // said once
  QVERIFY2(f.notices[0].contains(QStringLiteral("waiting")), qPrintable(f.notices[0]));
  f.Append("first\n");  // a file that appears is read from its beginning
  f.follow->Pass();
  QCOMPARE(f.lines, QStringList{QStringLiteral("first")});
  QCOMPARE(f.notices.size(), 2);
}

void TestFileFollow::aPassReadsABoundedAmount() {
  SFollowed f;
  const QByteArray line(99, 'z');
  QByteArray content;
  for (int i = 0; i < 30000; ++i) content += line + '\n';  // 3 MB
  f.Append(content);
  f.Begin(true);
  QVERIFY(f.lines.size() <= CFileFollow::kMaxPassBytes / 100);
  QVERIFY(f.lines.size() > 0);
  QTRY_COMPARE(f.lines.size(), 30000);  // the rest in passes queued behind
}

void TestFileFollow::inotifyBringsAppendsWithoutAsking() {
  SFollowed f;
  f.Append("");
  f.Begin(false);
  f.Append("seen\n");
  QTRY_COMPARE_WITH_TIMEOUT(f.lines, QStringList{QStringLiteral("seen")}, 400);  // before the recheck
  QVERIFY(QFile::rename(f.path, f.dir.filePath(QStringLiteral("app.log.1"))));
  f.Append("after\n");
  QTRY_COMPARE(f.lines, (QStringList{QStringLiteral("seen"), QStringLiteral("after")}));
}

void TestFileFollow::rotationsAtSpeedLoseAndDoubleNothing() {
  // A writer at about 100,000 lines/s renames its file away and starts a new
  // one every 20,000 lines, while the follower runs on the event loop alone.
  constexpr int kLines = 200000;
  SFollowed f;
  f.Append("");
  f.Begin(false);
  std::unique_ptr<QThread> writer(QThread::create([&f] {
    auto file = std::make_unique<QFile>(f.path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) return;
    for (int i = 0; i < kLines; ++i) {
      if (i > 0 && i % 20000 == 0) {
        file->close();
        QFile::rename(f.path, f.path + QStringLiteral(".%1").arg(i));
        file = std::make_unique<QFile>(f.path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) return;
      }
      file->write(QByteArray::number(i) + '\n');
      if (i % 100 == 99) {
        file->flush();
        QThread::usleep(1000);  // the pace is what is tested
      }
    }
    file->close();
  }));
  writer->start();
  QTRY_VERIFY_WITH_TIMEOUT(writer->isFinished() && f.lines.size() >= kLines, 30000);
  QCOMPARE(f.lines.size(), kLines);
  for (int i = 0; i < kLines; ++i) {
    if (f.lines[i] != QString::number(i)) QFAIL(qPrintable(QStringLiteral("line %1 is %2").arg(i).arg(f.lines[i])));
  }
}

QTEST_MAIN(TestFileFollow)
#include "tst_filefollow.moc"
