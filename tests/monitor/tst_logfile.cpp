// The log file's bytes and its failure modes.
#include "monitor/logfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zef;

class TestLogFile : public QObject {
  Q_OBJECT
 private slots:
  void narrowing_data();
  void narrowing();
  void recordsAreAppendedToExistingFile();
  void longLinesAreWrittenWhole();
  void unopenablePathIsReported();
  void storedPathsResolve_data();
  void storedPathsResolve();
};

void TestLogFile::narrowing_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QByteArray>("bytes");
  QTest::newRow("ascii") << QStringLiteral("Hello") << QByteArray("Hello");
  QTest::newRow("empty") << QString() << QByteArray();
  QTest::newRow("euro sign keeps its low byte") << QString::fromUtf16(u"a\u20ACb") << QByteArray("a\xAC" "b");
  QTest::newRow("U+0100 ends the record") << QString::fromUtf16(u"ab\u0100cd") << QByteArray("ab");
  QTest::newRow("latin-1 unchanged") << QString::fromUtf16(u"\u00E9t\u00E9") << QByteArray("\xE9t\xE9");
}

void TestLogFile::narrowing() {
  QFETCH(QString, line);
  QFETCH(QByteArray, bytes);
  QCOMPARE(ToNarrow(line), bytes);
}

void TestLogFile::recordsAreAppendedToExistingFile() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("log.txt"));
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("earlier\r\n");
  }
  QCOMPARE(AppendToLogFile(path, QStringLiteral("Hello")), LogWrite::Written);
  QCOMPARE(AppendToLogFile(path, QString()), LogWrite::Written);
  QCOMPARE(AppendToLogFile(path, QString::fromUtf16(u"x\u0100y")), LogWrite::Written);
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("earlier\r\nHello\r\n\r\nx\r\n"));
}

void TestLogFile::longLinesAreWrittenWhole() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("long.txt"));
  for (int length : {1023, 1024, 70000}) {
    QFile::remove(path);
    const QString line(length, u'x');
    QCOMPARE(AppendToLogFile(path, line), LogWrite::Written);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), qint64(length) + 2);
  }
}

void TestLogFile::unopenablePathIsReported() {
  QTemporaryDir dir;
  QCOMPARE(AppendToLogFile(dir.filePath(QStringLiteral("missing/dir/log.txt")), QStringLiteral("x")), LogWrite::OpenFailed);
  QCOMPARE(AppendToLogFile(dir.path(), QStringLiteral("x")), LogWrite::OpenFailed);  // a directory
  QCOMPARE(AppendToLogFile(QString(), QStringLiteral("x")), LogWrite::OpenFailed);
  if (QFile::exists(QStringLiteral("/dev/full")))
    QCOMPARE(AppendToLogFile(QStringLiteral("/dev/full"), QStringLiteral("x")), LogWrite::WriteFailed);
}

void TestLogFile::storedPathsResolve_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("resolved");
  QTest::newRow("default") << QStringLiteral("\\ZEFMON.LOG") << QStringLiteral("/home/u/ZEFMON.LOG");
  QTest::newRow("nested") << QStringLiteral("\\logs\\a.log") << QStringLiteral("/home/u/logs/a.log");
  QTest::newRow("absolute") << QStringLiteral("/var/tmp/a.log") << QStringLiteral("/var/tmp/a.log");
  QTest::newRow("relative") << QStringLiteral("a\\b.log") << QStringLiteral("a/b.log");
}

void TestLogFile::storedPathsResolve() {
  QFETCH(QString, stored);
  QFETCH(QString, resolved);
  QCOMPARE(ResolveLogFilePath(stored, QStringLiteral("/home/u")), resolved);
}

QTEST_APPLESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
