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
  QTest::newRow("exclusive create of an existing file")
      << QStringLiteral("file") << int(O_CREAT | O_EXCL | O_WRONLY) << uint(EEXIST);
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
  QTest::addColumn<QString>("text");  // empty: the library does not know the code
  QTest::newRow("ENOENT") << uint(ENOENT) << QStringLiteral("No such file or directory (ENOENT)");
  QTest::newRow("EACCES") << uint(EACCES) << QStringLiteral("Permission denied (EACCES)");
  QTest::newRow("EILSEQ") << uint(EILSEQ)
                          << QStringLiteral("Invalid or incomplete multibyte or wide character (EILSEQ)");
  QTest::newRow("0 has no name") << uint(0) << QStringLiteral("Success");
  QTest::newRow("code the library does not know") << uint(4711) << QString();
  QTest::newRow("highest signed int") << uint(0x7FFFFFFFu) << QString();
  QTest::newRow("beyond a signed int") << uint(0x80000002u) << QString();
  QTest::newRow("all bits") << uint(0xFFFFFFFFu) << QString();
}

void TestErrors::formatMessage() {
  QFETCH(uint, code);
  QFETCH(QString, text);
  // Whatever the buffer held before is replaced, also when there is no text;
  // the count is of what was written, and a code without text sets the last
  // error. Without an application object the C locale holds: English texts.
  QString message = QStringLiteral("stale");
  SetLastError(0);
  QCOMPARE(FormatMessage(code, &message), std::uint32_t(text.size()));
  QCOMPARE(message, text);
  QCOMPARE(GetLastError(), text.isEmpty() ? std::uint32_t(EINVAL) : 0u);
}

QTEST_APPLESS_MAIN(TestErrors)
#include "tst_errors.moc"
