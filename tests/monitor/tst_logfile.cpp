// The log file's bytes and its failure modes.
#include "monitor/logfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace zef;

class TestLogFile : public QObject {
  Q_OBJECT
 private slots:
  void recordBytes_data();
  void recordBytes();
  void asciiLinesAreUnchanged();
  void recordsAreAppendedToExistingFile();
  void longLinesAreWrittenWhole();
  void onlyRegularFilesAreWritten_data();
  void onlyRegularFilesAreWritten();
  void writeFailureIsReported();
  void aRecordThatDoesNotFitIsCutBack_data();
  void aRecordThatDoesNotFitIsCutBack();
  void failuresAreReportedOncePerDistinctFailure();
  void storedPathsResolve_data();
  void storedPathsResolve();
  void rotationStartsANewFileBetweenRecords_data();
  void rotationStartsANewFileBetweenRecords();
  void rotationKeepsTheNewestOldFiles_data();
  void rotationKeepsTheNewestOldFiles();
  void refusedRotationKeepsLoggingAndSaysSoOnce_data();
  void refusedRotationKeepsLoggingAndSaysSoOnce();
};

namespace {
QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}
// The log and its old files NAME.1 ... NAME.count, newest first, as "|"
// separated contents.
QByteArray Files(const QString& path, int count) {
  QByteArray all = Contents(path);
  for (int k = 1; k <= count; ++k) all += '|' + Contents(path + u'.' + QString::number(k));
  return all;
}
}  // namespace

void TestLogFile::recordBytes_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QByteArray>("bytes");
  QTest::newRow("ascii") << QStringLiteral("Hello") << QByteArray("Hello");
  QTest::newRow("empty") << QString() << QByteArray();
  QTest::newRow("latin-1") << QString::fromUtf16(u"Gr\u00FC\u00DFe")
                           << QByteArray(
                                  "Gr\xC3\xBC\xC3\x9F"
                                  "e");
  QTest::newRow("euro sign") << QString::fromUtf16(u"a\u20ACb")
                             << QByteArray(
                                    "a\xE2\x82\xAC"
                                    "b");
  QTest::newRow("U+0100 and what follows")
      << QString::fromUtf16(u"\u0100 then text") << QByteArray("\xC4\x80 then text");
  QTest::newRow("emoji") << QString::fromUtf16(u"before \U0001F600 after")
                         << QByteArray("before \xF0\x9F\x98\x80 after");
  QTest::newRow("lone high surrogate") << QString::fromUtf16(u"a") + QChar(0xD83D) + QStringLiteral("b")
                                       << QByteArray(
                                              "a\xEF\xBF\xBD"
                                              "b");
  QTest::newRow("lone low surrogate at the end") << QStringLiteral("a") + QChar(0xDE00) << QByteArray("a\xEF\xBF\xBD");
  QTest::newRow("pair in the wrong order")
      << QString(QChar(0xDE00)) + QChar(0xD83D) << QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD");
  QTest::newRow("CR LF inside cannot forge a record")
      << QStringLiteral("one\r\ntwo") << QByteArray("one\xE2\x90\x8D\xE2\x90\x8Atwo");
  QTest::newRow("NUL does not end the record")
      << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QByteArray("a\0b", 3);
}

void TestLogFile::recordBytes() {
  QFETCH(QString, line);
  QFETCH(QByteArray, bytes);
  QCOMPARE(ToNarrow(line), bytes);
}

void TestLogFile::asciiLinesAreUnchanged() {
  QString line;
  for (char16_t c = 0; c < 0x80; ++c)
    if (c != u'\r' && c != u'\n') line += QChar(c);
  QCOMPARE(ToNarrow(line), line.toLatin1());
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
  QCOMPARE(file.readAll(), QByteArray("earlier\r\nHello\r\n\r\nx\xC4\x80y\r\n"));
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

void TestLogFile::onlyRegularFilesAreWritten_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<LogWrite>("result");
  QTest::addColumn<QString>("reason");  // empty: any reason
  QTest::newRow("missing directory") << QStringLiteral("missing") << LogWrite::OpenFailed << QString();
  QTest::newRow("directory") << QStringLiteral("directory") << LogWrite::OpenFailed
                             << QStringLiteral("not a regular file");
  QTest::newRow("FIFO without a reader, no wait")
      << QStringLiteral("fifo") << LogWrite::OpenFailed << QStringLiteral("not a regular file");
  QTest::newRow("device") << QStringLiteral("/dev/full") << LogWrite::OpenFailed
                          << QStringLiteral("not a regular file");
  QTest::newRow("empty path") << QString() << LogWrite::OpenFailed << QStringLiteral("no path");
  QTest::newRow("/dev/null") << QStringLiteral("/dev/null") << LogWrite::Written << QString();
}

void TestLogFile::onlyRegularFilesAreWritten() {
  QFETCH(QString, kind);
  QFETCH(LogWrite, result);
  QFETCH(QString, reason);
  QTemporaryDir dir;
  QString path = kind;
  if (kind == QLatin1String("missing")) path = dir.filePath(QStringLiteral("missing/dir/log.txt"));
  if (kind == QLatin1String("directory")) path = dir.path();
  if (kind == QLatin1String("fifo")) {
    path = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  }
  if (path.startsWith(QLatin1String("/dev/")) && !QFile::exists(path)) QSKIP("no such device here");
  QString why;
  QCOMPARE(AppendToLogFile(path, QStringLiteral("x"), &why), result);
  if (result == LogWrite::Written) QVERIFY(why.isEmpty());
  else if (reason.isEmpty()) QVERIFY(!why.isEmpty());
  else QCOMPARE(why, reason);
}

void TestLogFile::writeFailureIsReported() {
  // A file size limit makes the write itself fail (EFBIG) after a
  // successful open.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("limited.txt"));
  rlimit previous{};
  QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = 4;
  QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  QString why;
  const LogWrite result = AppendToLogFile(path, QStringLiteral("longer than four bytes"), &why);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);
  QCOMPARE(result, LogWrite::WriteFailed);
  QVERIFY(!why.isEmpty());
}

void TestLogFile::aRecordThatDoesNotFitIsCutBack_data() {
  QTest::addColumn<QString>("tooLong");
  QTest::addColumn<int>("room");  // bytes the file may still grow by after the first record
  QTest::newRow("ends mid-line") << QString(1006, u'x') << 960;
  QTest::newRow("ends between CR and LF") << QStringLiteral("abcd") << 5;
  QTest::newRow("ends before the record") << QStringLiteral("abcd") << 3;
}

void TestLogFile::aRecordThatDoesNotFitIsCutBack() {
  QFETCH(QString, tooLong);
  QFETCH(int, room);
  // A file size limit stands for a disk that fills mid-record: the write
  // stops short at the limit, and the next one fails with EFBIG.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("full.log"));
  QStringList messages;
  CLogFile log([&](const QString& message) { messages << message; });
  QCOMPARE(log.Append(path, QStringLiteral("first")), LogWrite::Written);
  rlimit previous{};
  QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = rlim_t(7 + room);
  QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const LogWrite tooLongOnce = log.Append(path, tooLong);
  const LogWrite tooLongAgain = log.Append(path, tooLong);
  const LogWrite fits = log.Append(path, QStringLiteral("z"));
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);

  QCOMPARE(tooLongOnce, LogWrite::WriteFailed);
  QCOMPARE(tooLongAgain, LogWrite::WriteFailed);
  QCOMPARE(fits, LogWrite::Written);
  QCOMPARE(messages.size(), 1);
  QVERIFY2(messages[0].startsWith(QLatin1String("cannot write the log file")), qPrintable(messages[0]));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("first\r\nz\r\n"));
}

void TestLogFile::failuresAreReportedOncePerDistinctFailure() {
  QTemporaryDir dir;
  QStringList messages;
  CLogFile log([&](const QString& message) { messages << message; });
  const QString missing = dir.filePath(QStringLiteral("missing/a.log"));
  const QString good = dir.filePath(QStringLiteral("a.log"));
  for (int i = 0; i < 3; ++i) QCOMPARE(log.Append(missing, QStringLiteral("x")), LogWrite::OpenFailed);
  QCOMPARE(messages.size(), 1);
  QVERIFY2(messages[0].contains(missing), qPrintable(messages[0]));
  QVERIFY2(messages[0].contains(QLatin1String("No such file or directory")), qPrintable(messages[0]));
  QCOMPARE(log.Append(dir.path(), QStringLiteral("x")), LogWrite::OpenFailed);  // another failure
  QCOMPARE(messages.size(), 2);
  QVERIFY2(messages[1].contains(QLatin1String("not a regular file")), qPrintable(messages[1]));
  QCOMPARE(log.Append(good, QStringLiteral("x")), LogWrite::Written);
  QCOMPARE(messages.size(), 2);
  QCOMPARE(log.Append(dir.path(), QStringLiteral("x")), LogWrite::OpenFailed);  // failing again after a success
  QCOMPARE(messages.size(), 3);
}

void TestLogFile::storedPathsResolve_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("resolved");
  QTest::newRow("default") << QStringLiteral("\\ZEFMON.LOG") << QStringLiteral("/home/u/ZEFMON.LOG");
  QTest::newRow("nested") << QStringLiteral("\\logs\\a.log") << QStringLiteral("/home/u/logs/a.log");
  QTest::newRow("absolute") << QStringLiteral("/var/tmp/a.log") << QStringLiteral("/var/tmp/a.log");
  QTest::newRow("relative") << QStringLiteral("a\\b.log") << QStringLiteral("a/b.log");
  QTest::newRow("tilde slash") << QStringLiteral("~/x.log") << QStringLiteral("/home/u/x.log");
  QTest::newRow("tilde backslash") << QStringLiteral("~\\logs\\x.log") << QStringLiteral("/home/u/logs/x.log");
  QTest::newRow("tilde user is not expanded") << QStringLiteral("~other/x.log") << QStringLiteral("~other/x.log");
  QTest::newRow("tilde inside") << QStringLiteral("/tmp/~/x.log") << QStringLiteral("/tmp/~/x.log");
}

void TestLogFile::storedPathsResolve() {
  QFETCH(QString, stored);
  QFETCH(QString, resolved);
  QCOMPARE(ResolveLogFilePath(stored, QStringLiteral("/home/u")), resolved);
}

void TestLogFile::rotationStartsANewFileBetweenRecords_data() {
  QTest::addColumn<QString>("lines");     // separated by spaces
  QTest::addColumn<QByteArray>("files");  // NAME|NAME.1|NAME.2
  // Records of "aaaa" are 6 bytes; the files start a new one at 12.
  QTest::newRow("up to the size stays") << QStringLiteral("aaaa bbbb") << QByteArray("aaaa\r\nbbbb\r\n|(none)|(none)");
  QTest::newRow("the record past it goes whole to a new file")
      << QStringLiteral("aaaa bbbb c") << QByteArray("c\r\n|aaaa\r\nbbbb\r\n|(none)");
  QTest::newRow("crossing by one byte") << QStringLiteral("aaaaa bbbbb") << QByteArray("bbbbb\r\n|aaaaa\r\n|(none)");
  QTest::newRow("a record larger than the size gets a file of its own")
      << QStringLiteral("a 0123456789abcdef b") << QByteArray("b\r\n|0123456789abcdef\r\n|a\r\n");
}

void TestLogFile::rotationStartsANewFileBetweenRecords() {
  QFETCH(QString, lines);
  QFETCH(QByteArray, files);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("r.log"));
  QStringList messages;
  CLogFile log([&](const QString& message) { messages << message; });
  for (const QString& line : lines.split(u' ')) QCOMPARE(log.Append(path, line, {12, 5}), LogWrite::Written);
  QCOMPARE(Files(path, 2), files);
  QVERIFY2(messages.isEmpty(), qPrintable(messages.join(u'\n')));
}

void TestLogFile::rotationKeepsTheNewestOldFiles_data() {
  QTest::addColumn<int>("keep");
  QTest::addColumn<QByteArray>("files");  // NAME|NAME.1|...|NAME.4 after records 1 to 5, one per file
  QTest::newRow("keep 0 keeps one") << 0 << QByteArray("5\r\n|4\r\n|(none)|(none)|(none)");
  QTest::newRow("keep 1") << 1 << QByteArray("5\r\n|4\r\n|(none)|(none)|(none)");
  QTest::newRow("keep 3, the oldest gone") << 3 << QByteArray("5\r\n|4\r\n|3\r\n|2\r\n|(none)");
  QTest::newRow("keep more than there are") << 9 << QByteArray("5\r\n|4\r\n|3\r\n|2\r\n|1\r\n");
}

void TestLogFile::rotationKeepsTheNewestOldFiles() {
  QFETCH(int, keep);
  QFETCH(QByteArray, files);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("k.log"));
  CLogFile log;
  for (int i = 1; i <= 5; ++i) QCOMPARE(log.Append(path, QString::number(i), {3, keep}), LogWrite::Written);
  QCOMPARE(Files(path, 4), files);
  // A gap in the numbers ends the shift: with NAME.2 gone, the shift fills
  // it, and NAME.3 and NAME.4 stay where they are.
  if (keep == 9) {
    QVERIFY(QFile::remove(path + QStringLiteral(".2")));
    QCOMPARE(log.Append(path, QStringLiteral("6"), {3, keep}), LogWrite::Written);
    QCOMPARE(Files(path, 5), QByteArray("6\r\n|5\r\n|4\r\n|2\r\n|1\r\n|(none)"));
  }
}

void TestLogFile::refusedRotationKeepsLoggingAndSaysSoOnce_data() {
  QTest::addColumn<QString>("obstacle");
  // Each holds for root too: none of them is a permission.
  QTest::newRow("NAME.1 is a directory with a file in it") << QStringLiteral("directory");
  QTest::newRow("NAME.2 links to another file") << QStringLiteral("link");
  QTest::newRow("NAME itself is a link") << QStringLiteral("linked log");
}

void TestLogFile::refusedRotationKeepsLoggingAndSaysSoOnce() {
  QFETCH(QString, obstacle);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("f.log"));
  const QString other = dir.filePath(QStringLiteral("other.txt"));
  QVERIFY(QFile(other).open(QIODevice::WriteOnly));
  QString blocker = path + QStringLiteral(".1");
  if (obstacle == u"directory") {
    QVERIFY(QDir(dir.path()).mkpath(blocker));
    QVERIFY(QFile(blocker + QStringLiteral("/inside")).open(QIODevice::WriteOnly));
  } else if (obstacle == u"link") {
    QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
    blocker = path + QStringLiteral(".2");
    QVERIFY(QFile::link(other, blocker));
  } else {
    blocker = path;
    QVERIFY(QFile::link(other, path));
  }
  QStringList messages;
  CLogFile log([&](const QString& message) { messages << message; });
  const SLogRotation rotation{6, 3};  // "n\r\n" is 3 bytes: a new file every two records
  QCOMPARE(log.Append(path, QStringLiteral("1"), rotation), LogWrite::Written);
  QCOMPARE(log.Append(path, QStringLiteral("2"), rotation), LogWrite::Written);
  QCOMPARE(log.Append(path, QStringLiteral("3"), rotation), LogWrite::WrittenNotRotated);
  for (int i = 4; i <= 7; ++i) QCOMPARE(log.Append(path, QString::number(i), rotation), LogWrite::Written);
  QCOMPARE(messages.size(), 1);
  QVERIFY2(messages[0].contains(QLatin1String("cannot start a new log file")), qPrintable(messages[0]));
  QVERIFY2(messages[0].contains(blocker), qPrintable(messages[0]));
  QCOMPARE(Contents(path), QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n"));
  if (obstacle != u"linked log") QCOMPARE(Contents(other), QByteArray());  // never written through a link

  // Tried again only each time the file grew by the size (at 12, 18, 24
  // bytes): with the way clear, record 8 still goes to the old file.
  if (obstacle == u"directory") QVERIFY(QDir(blocker).removeRecursively());
  else QVERIFY(QFile::remove(blocker));
  QCOMPARE(log.Append(path, QStringLiteral("8"), rotation), LogWrite::Written);
  if (obstacle == u"linked log") return;  // the link is gone with NAME; nothing left to rotate
  QCOMPARE(Contents(path).size(), 24);
  QCOMPARE(log.Append(path, QStringLiteral("9"), rotation), LogWrite::Written);
  QCOMPARE(Contents(path), QByteArray("9\r\n"));
  QCOMPARE(messages.size(), 1);
}

QTEST_APPLESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
