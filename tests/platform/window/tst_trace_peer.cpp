// Who is on the other end of a connection: the told identity a client sends
// (untrusted text of another process) and the program name read from /proc,
// here from made-up process directories; and the listening socket, which
// says by a code why it does not serve.
#include "platform/window/listener.h"
#include "platform/window/peer.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/un.h>
#include <unistd.h>

namespace {

// Test texts spell the units that matter as \uXXXX, U+0000 too.
template <size_t N>
QString Units(const char16_t (&text)[N]) {
  return QString::fromUtf16(text, qsizetype(N - 1));
}

}  // namespace

class TestTracePeer : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void toldTextIsCleaned_data() {
    QTest::addColumn<QString>("told");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("build-07") << QStringLiteral("build-07");
    QTest::newRow("surrounding white space") << Units(u" \t\u00a0host\r ") << QStringLiteral("host");
    QTest::newRow("inner white space kept") << QStringLiteral("my host") << QStringLiteral("my host");
    QTest::newRow("C0, DEL and C1") << Units(u"a\u0000b\u001bc\u007fd\u0085e\u009bf")
                                    << Units(u"a\ufffdb\ufffdc\ufffdd\ufffde\ufffdf");
    QTest::newRow("line and paragraph separators") << Units(u"a\u2028b\u2029c") << Units(u"a\ufffdb\ufffdc");
    QTest::newRow("bidirectional overrides and isolates")
        << Units(u"a\u202eb\u202ac\u2066d\u2069e") << Units(u"a\ufffdb\ufffdc\ufffdd\ufffde");
    QTest::newRow("bidi marks and invisible format characters")
        << Units(u"a\u200eb\u200fc\u061cd\ufeffe\u200bf\u2067g")
        << Units(u"a\ufffdb\ufffdc\ufffdd\ufffde\ufffdf\ufffdg");
    QTest::newRow("inner tab") << QStringLiteral("a\tb") << Units(u"a\ufffdb");
    QTest::newRow("format character beyond the BMP") << Units(u"a\U000E0001b") << Units(u"a\ufffdb");
    QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + u'a' + QChar(0xDC00) << Units(u"\ufffda\ufffd");
    QTest::newRow("surrogate pair kept") << Units(u"x\U0001F600") << Units(u"x\U0001F600");
    QTest::newRow("64 units kept") << QString(64, u'h') << QString(64, u'h');
    QTest::newRow("65 units cut") << QString(65, u'h') << QString(64, u'h');
    QTest::newRow("huge cut") << QString(300000, u'h') << QString(64, u'h');
    QTest::newRow("leading white space does not count") << QString(10, u' ') + QString(70, u'h') << QString(64, u'h');
    QTest::newRow("pair across the cut dropped whole") << QString(63, u'a') + Units(u"\U0001F600") << QString(63, u'a');
    QTest::newRow("white space before the cut trimmed")
        << QString(60, u'a') + QString(10, u' ') + u'b' << QString(60, u'a');
    QTest::newRow("only white space") << Units(u" \t\u2028 ") << QString();
  }
  void toldTextIsCleaned() {
    QFETCH(QString, told);
    QFETCH(QString, shown);
    QCOMPARE(zef::CleanPeerText(told), shown);
  }

  void toldPidIsADecimalInTheKernelsRange_data() {
    QTest::addColumn<QString>("told");
    QTest::addColumn<qint64>("pid");
    QTest::newRow("1") << QStringLiteral("1") << qint64(1);
    QTest::newRow("largest") << QStringLiteral("4194304") << qint64(4194304);
    QTest::newRow("leading zeros") << QStringLiteral("0042") << qint64(42);
    QTest::newRow("0") << QStringLiteral("0") << qint64(0);
    QTest::newRow("beyond the range") << QStringLiteral("4194305") << qint64(0);
    QTest::newRow("overflowing") << QStringLiteral("99999999999999999999999") << qint64(0);
    QTest::newRow("negative") << QStringLiteral("-5") << qint64(0);
    QTest::newRow("plus sign") << QStringLiteral("+5") << qint64(0);
    QTest::newRow("spaces") << QStringLiteral(" 5") << qint64(0);
    QTest::newRow("hexadecimal") << QStringLiteral("0x10") << qint64(0);
    QTest::newRow("trailing letters") << QStringLiteral("12a") << qint64(0);
    QTest::newRow("other digits") << Units(u"\u0661\u0662") << qint64(0);
    QTest::newRow("empty") << QString() << qint64(0);
  }
  void toldPidIsADecimalInTheKernelsRange() {
    QFETCH(QString, told);
    QFETCH(qint64, pid);
    QCOMPARE(zef::ParseToldPid(told), pid);
  }

  void toldIdentityHasThreeFields_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("told");
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<QString>("name");
    QTest::newRow("three") << QStringLiteral("far\n4711\nzeftrace") << true << QStringLiteral("far") << qint64(4711)
                           << QStringLiteral("zeftrace");
    QTest::newRow("empty fields") << QStringLiteral("\n\n") << true << QString() << qint64(0) << QString();
    QTest::newRow("bad pid keeps the rest")
        << QStringLiteral("far\nx\nprog") << true << QStringLiteral("far") << qint64(0) << QStringLiteral("prog");
    QTest::newRow("CR LF ends") << QStringLiteral("far\r\n12\r\nprog\r") << true << QStringLiteral("far") << qint64(0)
                                << QStringLiteral("prog");
    QTest::newRow("two") << QStringLiteral("far\n4711") << false << QString() << qint64(0) << QString();
    QTest::newRow("four") << QStringLiteral("far\n4711\nprog\nmore") << false << QString() << qint64(0) << QString();
    QTest::newRow("empty") << QString() << false << QString() << qint64(0) << QString();
  }
  void toldIdentityHasThreeFields() {
    QFETCH(QString, text);
    QFETCH(bool, told);
    QFETCH(QString, host);
    QFETCH(qint64, pid);
    QFETCH(QString, name);
    zef::SPeer peer;
    zef::TakeToldIdentity(text, &peer);
    QCOMPARE(peer.bTold, told);
    QCOMPARE(peer.strToldHost, host);
    QCOMPARE(peer.nToldPid, pid);
    QCOMPARE(peer.strToldName, name);
  }

  void programNameFromProc_data() {
    QTest::addColumn<QByteArray>("exe");   // the link's target; empty: no link
    QTest::addColumn<QByteArray>("comm");  // the file's bytes; empty: no file
    QTest::addColumn<QString>("name");
    QTest::newRow("executable") << QByteArray("/usr/bin/ssh") << QByteArray("ssh\n") << QStringLiteral("ssh");
    QTest::newRow("removed executable") << QByteArray("/tmp/build/zefdemo (deleted)") << QByteArray()
                                        << QStringLiteral("zefdemo");
    QTest::newRow("name longer than comm") << QByteArray("/opt/a/zef_trace_testclient")
                                           << QByteArray("zef_trace_testc\n") << QStringLiteral("zef_trace_testclient");
    QTest::newRow("control characters in the file name")
        << QByteArray("/tmp/evil\nname\x1b[2J") << QByteArray() << Units(u"evil\ufffdname\ufffd[2J");
    QTest::newRow("invalid UTF-8") << QByteArray("/tmp/\xff\xfeok") << QByteArray() << Units(u"\ufffd\ufffdok");
    QTest::newRow("no executable: the command name")
        << QByteArray() << QByteArray("kworker/0:1\n") << QStringLiteral("kworker/0:1");
    QTest::newRow("nothing readable") << QByteArray() << QByteArray() << QStringLiteral("?");
    QTest::newRow("empty command name") << QByteArray() << QByteArray("\n") << QStringLiteral("?");
  }
  void programNameFromProc() {
    QFETCH(QByteArray, exe);
    QFETCH(QByteArray, comm);
    QFETCH(QString, name);
    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    const QByteArray dir = QFile::encodeName(proc.path());
    if (!exe.isEmpty()) QVERIFY(::symlink(exe.constData(), (dir + "/exe").constData()) == 0);
    if (!comm.isEmpty()) {
      QFile file(proc.path() + QStringLiteral("/comm"));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(comm);
    }
    QCOMPARE(zef::ReadPeerName(dir.toStdString()), name);
  }

  void listenSaysWhyItDoesNotServe();

  void programNameOfThisProcess() {
    QCOMPARE(zef::ReadPeerName(::getpid()), QStringLiteral("tst_trace_peer"));
    QCOMPARE(zef::ReadPeerName(pid_t(0)), QStringLiteral("?"));
  }
};

void TestTracePeer::listenSaysWhyItDoesNotServe() {
  using zef::EListenError;
  QTemporaryDir runtime;
  const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  zef::CListener first;
  zef::CListener second;
  QString error;
  QCOMPARE(first.Listen(QStringLiteral("T"), &error), EListenError::kNone);
  const std::string path = first.Path();
  QCOMPARE(second.Listen(QStringLiteral("T"), &error), EListenError::kServedElsewhere);
  QVERIFY(!error.isEmpty());

  // A successor replaced the file: the one that leaves does not remove it.
  ::unlink(path.c_str());
  QCOMPARE(second.Listen(QStringLiteral("T"), &error), EListenError::kNone);
  first.Close();
  QVERIFY(QFileInfo::exists(QString::fromStdString(path)));

  // A socket left by a dead server is replaced.
  second.Close();
  QVERIFY(!QFileInfo::exists(QString::fromStdString(path)));
  const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  QCOMPARE(::bind(dead, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(dead);
  QCOMPARE(first.Listen(QStringLiteral("T"), &error), EListenError::kNone);
  first.Close();

  // Anything else is a failure, with its reason.
  QFile file(QString::fromStdString(path));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.close();
  QCOMPARE(first.Listen(QStringLiteral("T"), &error), EListenError::kFailed);
  QVERIFY2(error.contains(QStringLiteral("not a socket")), qPrintable(error));
  QVERIFY(!first.IsListening());
  qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

QTEST_APPLESS_MAIN(TestTracePeer)
#include "tst_trace_peer.moc"
