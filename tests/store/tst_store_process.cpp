// zefdb as a user runs it, and several processes writing one store at once.
#include <zefstore/storetesting.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct SRun {
  int nExit = -1;
  QString strOut;
  QString strErr;
};

using Args = QList<QByteArray>;

SRun Zefdb(const QString& store, const Args& args, const QByteArray& input = {}) {
  QProcess process;
  QStringList all = {QStringLiteral("--store"), store};
  for (const QByteArray& arg : args) all << QString::fromUtf8(arg);
  process.start(QStringLiteral(ZEF_ZEFDB), all);
  if (!process.waitForStarted()) return {};
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(120000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

class TestStoreProcess : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  int m_nFile = 0;

  QString NewPath() { return QDir(m_dir.path()).filePath(QStringLiteral("s%1.db").arg(++m_nFile)); }

 private Q_SLOTS:
  void fillAndList() {
    const QString store = NewPath();
    QCOMPARE(Zefdb(store, {"create", "MyData"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"create", "Q\"uote", "--type", "2147483648"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"create", "neg", "--type", "-1"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "MyData", "u4:5"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "MyData", "u2:5", "str:a\"b; c ü", "bool:true", "i2:-5", "i8:-9", "time:0",
                           "blob:00ff", "i4:-2147483648"})
                 .nExit,
             0);
    QCOMPARE(Zefdb(store, {"add", "MyData"}).nExit, 0);
    const QByteArray lines = "i4:1 u4:2 bool:0 str:\"two words \\\"q\\\" \\\\\" time:2024-05-01T12:00:00Z\n"
                             "\n"
                             "  \t \r\n"
                             "str:plain\ti2:7\r\n"
                             "u4:3";  // no newline at the end
    QCOMPARE(Zefdb(store, {"import", "MyData"}, lines).nExit, 0);
    const SRun records = Zefdb(store, {"records", "MyData"});
    QCOMPARE(records.nExit, 0);
    QCOMPARE(records.strOut,
             QString::fromUtf8("000: [1,16] (uint32)5; \n"
                               "001: [8,148] (uint16)5; (wchar *)\"a\"b; c ü\"; (bool)true; (int16)-5; (int64)-9; "
                               "(?)?; (?)?; (int32)-2147483648; \n"
                               "002: [0,0] \n"
                               "003: [5,112] (int32)1; (uint32)2; (bool)false; (wchar *)\"two words \"q\" \\\"; (?)?; \n"
                               "004: [2,44] (wchar *)\"plain\"; (int16)7; \n"
                               "005: [1,16] (uint32)3; \n"));
    QCOMPARE(Zefdb(store, {"list"}).strOut, QStringLiteral("\"MyData\" type=0 records=6, size=0 KB\n"
                                                          "\"Q\"uote\" type=-2147483648 records=0, size=0 KB\n"
                                                          "\"neg\" type=-1 records=0, size=0 KB\n"));
    // Deleting by position, then the whole database.
    QCOMPARE(Zefdb(store, {"delete", "MyData", "1"}).nExit, 0);
    QVERIFY(Zefdb(store, {"records", "MyData"}).strOut.startsWith(QStringLiteral("000: [1,16] (uint32)5; \n001: [0,0] \n")));
    QCOMPARE(Zefdb(store, {"drop", "MyData"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"list"}).strOut.count(QLatin1Char('\n')), 2);
  }

  void sizesInKilobytes() {
    const QString store = NewPath();
    for (const char* name : {"k1023", "k1024", "k2047"}) QCOMPARE(Zefdb(store, {"create", name}).nExit, 0);
    // A blob record is 16 bytes of entry plus its bytes.
    QCOMPARE(Zefdb(store, {"add", "k1023", "blob:" + QByteArray(2 * 1007, 'a')}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "k1024", "blob:" + QByteArray(2 * 1008, 'b')}).nExit, 0);
    QCOMPARE(Zefdb(store, {"import", "k2047"}, "blob:" + QByteArray(2 * 1000, 'c') + "\nblob:" + QByteArray(2 * 1015, 'd'))
                 .nExit,
             0);
    QCOMPARE(Zefdb(store, {"list"}).strOut, QStringLiteral("\"k1023\" type=0 records=1, size=0 KB\n"
                                                          "\"k1024\" type=0 records=1, size=1 KB\n"
                                                          "\"k2047\" type=0 records=2, size=1 KB\n"));
  }

  void missingStoreListsNothingAndStaysMissing() {
    const QString store = QDir(m_dir.path()).filePath(QStringLiteral("none/store.db"));
    const SRun list = Zefdb(store, {"list"});
    QCOMPARE(list.nExit, 0);
    QCOMPARE(list.strOut, QString());
    QVERIFY(!QFile::exists(QDir(m_dir.path()).filePath(QStringLiteral("none"))));
  }

  void errorsExitOne_data() {
    QTest::addColumn<Args>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("unknown database") << Args{"records", "nope"} << QByteArray("no database named \"nope\"");
    QTest::newRow("add to unknown database") << Args{"add", "nope", "u4:1"} << QByteArray("no database named");
    QTest::newRow("duplicate name") << Args{"create", "db"} << QByteArray("exists (EEXIST)");
    QTest::newRow("name of 32 units") << Args{"create", QByteArray(32, 'n')} << QByteArray("longer than 31");
    QTest::newRow("name of 16 surrogate pairs") << Args{"create", QByteArray("😀").repeated(16)}
                                                << QByteArray("longer than 31");
    QTest::newRow("empty name") << Args{"create", ""} << QByteArray("empty database name");
    QTest::newRow("type over 32 bits") << Args{"create", "t", "--type", "4294967296"} << QByteArray("--type");
    QTest::newRow("type not a number") << Args{"create", "t", "--type", "x"} << QByteArray("--type");
    QTest::newRow("i2 too big") << Args{"add", "db", "i2:32768"} << QByteArray("i2:32768");
    QTest::newRow("u2 negative") << Args{"add", "db", "u2:-1"} << QByteArray("u2:-1");
    QTest::newRow("i4 too big") << Args{"add", "db", "i4:2147483648"} << QByteArray("i4:2147483648");
    QTest::newRow("u4 too big") << Args{"add", "db", "u4:4294967296"} << QByteArray("u4:4294967296");
    QTest::newRow("i8 too big") << Args{"add", "db", "i8:9223372036854775808"} << QByteArray("i8:");
    QTest::newRow("i4 empty") << Args{"add", "db", "i4:"} << QByteArray("i4:");
    QTest::newRow("i4 with text after") << Args{"add", "db", "i4:12x"} << QByteArray("i4:12x");
    QTest::newRow("bool 2") << Args{"add", "db", "bool:2"} << QByteArray("bool:2");
    QTest::newRow("odd hex") << Args{"add", "db", "blob:abc"} << QByteArray("odd number");
    QTest::newRow("not hex") << Args{"add", "db", "blob:zz"} << QByteArray("not hex");
    QTest::newRow("time garbage") << Args{"add", "db", "time:yesterday"} << QByteArray("not a time");
    QTest::newRow("time 30 February") << Args{"add", "db", "time:2023-02-30T00:00:00Z"} << QByteArray("not a time");
    QTest::newRow("time before 1601") << Args{"add", "db", "time:-12000000000"} << QByteArray("not a time");
    QTest::newRow("unknown type") << Args{"add", "db", "u8:1"} << QByteArray("unknown type");
    QTest::newRow("no type") << Args{"add", "db", "5"} << QByteArray("without a type");
    QTest::newRow("delete beyond the end") << Args{"delete", "db", "5"} << QByteArray("no record at position 5");
    QTest::newRow("delete at a bad position") << Args{"delete", "db", "-1"} << QByteArray("POSITION");
    QTest::newRow("unknown command") << Args{"frobnicate"} << QByteArray("unknown command");
    QTest::newRow("no command") << Args{} << QByteArray("usage");
    QTest::newRow("extra argument") << Args{"list", "x"} << QByteArray("takes no arguments");
  }
  void errorsExitOne() {
    QFETCH(Args, args);
    QFETCH(QByteArray, message);
    const QString store = NewPath();
    QCOMPARE(Zefdb(store, {"create", "db"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "db", "u4:1"}).nExit, 0);
    const SRun run = Zefdb(store, args);
    QCOMPARE(run.nExit, 1);
    QVERIFY2(run.strErr.contains(QString::fromUtf8(message)), qPrintable(run.strErr));
    // Nothing was written by the failed command.
    QCOMPARE(Zefdb(store, {"list"}).strOut, QStringLiteral("\"db\" type=0 records=1, size=0 KB\n"));
  }

  void importIsAllOrNothing_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("bad value on line 3") << QByteArray("u4:1\nu4:2\nu4:x\nu4:4\n") << QByteArray("line 3");
    QTest::newRow("unclosed quote") << QByteArray("u4:1\nstr:\"open\n") << QByteArray("unclosed quote");
    QTest::newRow("bad escape") << QByteArray("str:\"a\\qb\"\n") << QByteArray("unknown escape");
    QTest::newRow("text after a quote") << QByteArray("str:\"a\"b\n") << QByteArray("after a closing quote");
    QTest::newRow("not UTF-8") << QByteArray("str:\xff\xfe\n") << QByteArray("not UTF-8");
  }
  void importIsAllOrNothing() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, message);
    const QString store = NewPath();
    QCOMPARE(Zefdb(store, {"create", "db"}).nExit, 0);
    const SRun run = Zefdb(store, {"import", "db"}, input);
    QCOMPARE(run.nExit, 1);
    QVERIFY2(run.strErr.contains(QString::fromUtf8(message)) && run.strErr.contains(QStringLiteral("nothing imported")),
             qPrintable(run.strErr));
    QCOMPARE(Zefdb(store, {"records", "db"}).strOut, QString());
  }

  void unreadableStoresAreErrors_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("garbage") << QByteArray("garbage\n").repeated(1000) << QByteArray("not an object store");
    QTest::newRow("empty directory in its place") << QByteArray("dir") << QByteArray("directory");
  }
  void unreadableStoresAreErrors() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, message);
    const QString store = NewPath();
    if (content == "dir") {
      QVERIFY(QDir().mkpath(store));
    } else {
      QFile file(store);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(content);
    }
    for (const Args& args : {Args{"list"}, Args{"create", "x"}, Args{"records", "x"}}) {
      const SRun run = Zefdb(store, args);
      QCOMPARE(run.nExit, 1);
      QVERIFY2(run.strErr.contains(QString::fromUtf8(message), Qt::CaseInsensitive), qPrintable(run.strErr));
      QCOMPARE(run.strOut, QString());
    }
  }

  // Eight processes that all find no store make it at once, again and
  // again: whoever cannot switch the new file's journal mode waits for the
  // one that holds it and uses the store it made, and none gives up busy.
  void writersMakingTheStoreAtOnceAllSucceed() {
    // The race is narrow: enough rounds to meet it in most runs.
    for (int round = 0; round < 30; ++round) {
      const QString store = NewPath();
      std::vector<std::unique_ptr<QProcess>> writers;
      for (int tag = 0; tag < 8; ++tag) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(QStringLiteral(ZEF_TESTWRITER),
                              {store, QStringLiteral("shared"), QString::number(tag), QStringLiteral("3")});
      }
      for (auto& writer : writers) {
        QVERIFY(writer->waitForFinished(60000));
        QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
      }
      const SRun records = Zefdb(store, {"records", "shared"});
      QCOMPARE(records.nExit, 0);
      QCOMPARE(records.strOut.count(QLatin1Char('\n')), 24);
    }
  }

  // Four processes write 1,000 records each, one transaction per record, into
  // a store that none of them finds made: none is lost, each in its order.
  void concurrentWritersLoseNothing() {
    const QString store = NewPath();
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int tag = 0; tag < 4; ++tag) {
      writers.push_back(std::make_unique<QProcess>());
      writers.back()->start(QStringLiteral(ZEF_TESTWRITER),
                            {store, QStringLiteral("shared"), QString::number(tag), QStringLiteral("1000")});
    }
    for (auto& writer : writers) {
      QVERIFY(writer->waitForFinished(240000));
      QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
    }
    const SRun records = Zefdb(store, {"records", "shared"});
    QCOMPARE(records.nExit, 0);
    const QStringList lines = records.strOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4000);
    int next[4] = {0, 0, 0, 0};
    for (const QString& line : lines) {
      // "NNN: [2,32] (uint32)TAG; (uint32)I; "
      const QStringList parts = line.split(QStringLiteral("(uint32)"));
      QCOMPARE(parts.size(), 3);
      const int tag = parts[1].section(QLatin1Char(';'), 0, 0).toInt();
      const int i = parts[2].section(QLatin1Char(';'), 0, 0).toInt();
      QVERIFY(tag >= 0 && tag < 4);
      QCOMPARE(i, next[tag]);
      ++next[tag];
    }
    QCOMPARE(Zefdb(store, {"list"}).strOut, QStringLiteral("\"shared\" type=0 records=4000, size=125 KB\n"));
  }
};

QTEST_APPLESS_MAIN(TestStoreProcess)
#include "tst_store_process.moc"
