// The last error of a failed call and the system's text for a code.
#include "platform/system/errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace zef;

class TestErrors : public QObject {
  Q_OBJECT
 private slots:
  void lastErrorIsTheFailedCallsCode_data();
  void lastErrorIsTheFailedCallsCode();
  void setLastErrorIsReadBack();
  void formatMessage_data();
  void formatMessage();
};

void TestErrors::lastErrorIsTheFailedCallsCode_data() {
  QTest::addColumn<QString>("name");  // relative to a temporary folder
  QTest::addColumn<int>("flags");
  QTest::addColumn<uint>("expected");
  QTest::newRow("missing file") << QStringLiteral("absent") << int(O_RDONLY) << uint(ENOENT);
  QTest::newRow("folder opened for writing") << QString() << int(O_WRONLY) << uint(EISDIR);
  QTest::newRow("file taken as a folder") << QStringLiteral("file/below") << int(O_RDONLY) << uint(ENOTDIR);
  QTest::newRow("exclusive create of an existing file") << QStringLiteral("file") << int(O_CREAT | O_EXCL | O_WRONLY)
                                                        << uint(EEXIST);
}

void TestErrors::lastErrorIsTheFailedCallsCode() {
  QFETCH(QString, name);
  QFETCH(int, flags);
  QFETCH(uint, expected);
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("file")));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.close();
  const QByteArray path = QFile::encodeName(name.isEmpty() ? dir.path() : dir.filePath(name));
  SetLastError(0);
  const int fd = ::open(path.constData(), flags, 0600);
  QCOMPARE(fd, -1);
  QCOMPARE(GetLastError(), std::uint32_t(expected));
}

void TestErrors::setLastErrorIsReadBack() {
  SetLastError(0x1234);
  QCOMPARE(GetLastError(), std::uint32_t(0x1234));
  SetLastError(0);
  QCOMPARE(GetLastError(), std::uint32_t(0));
}

void TestErrors::formatMessage_data() {
  QTest::addColumn<uint>("code");
  QTest::addColumn<bool>("known");
  QTest::addColumn<QString>("text");
  QTest::newRow("ENOENT") << uint(ENOENT) << true << QStringLiteral("No such file or directory");
  QTest::newRow("EACCES") << uint(EACCES) << true << QStringLiteral("Permission denied");
  QTest::newRow("EILSEQ") << uint(EILSEQ) << true << QStringLiteral("Invalid or incomplete multibyte or wide character");
  QTest::newRow("code the library does not know") << uint(4711) << false << QString();
  QTest::newRow("beyond a signed int") << uint(0x80000002u) << false << QString();
  QTest::newRow("all bits") << uint(0xFFFFFFFFu) << false << QString();
}

void TestErrors::formatMessage() {
  QFETCH(uint, code);
  QFETCH(bool, known);
  QFETCH(QString, text);
  // Whatever the buffer held before is replaced, also when there is no text.
  QString message = QStringLiteral("stale");
  QCOMPARE(FormatMessage(code, &message), known);
  QCOMPARE(message, text);
}

QTEST_APPLESS_MAIN(TestErrors)
#include "tst_errors.moc"
