// zefdb as a user runs it, and several processes writing one store at once.
#include <zefstore/store.h>
#include <zefstore/storetesting.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include "tests/support/sanitized.h"

#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

struct SRun {
  int nExit = -1;
  QString strOut;
  QString strErr;
};

using Args = QList<QByteArray>;

// How zefdb's standard streams are set up beyond the usual pipes.
enum class EStreams { kPipes, kOutputFull, kOutputClosed, kInputClosed };

SRun Zefdb(const QString& store, const Args& args, const QByteArray& input = {}, EStreams streams = EStreams::kPipes) {
  QProcess process;
  QStringList all = {QStringLiteral("--store"), store};
  for (const QByteArray& arg : args) all << QString::fromUtf8(arg);
  if (streams == EStreams::kOutputFull) process.setStandardOutputFile(QStringLiteral("/dev/full"));
  if (streams == EStreams::kOutputClosed) process.setChildProcessModifier([] { ::close(1); });
  if (streams == EStreams::kInputClosed) process.setChildProcessModifier([] { ::close(0); });
  process.start(QStringLiteral(ZEF_ZEFDB), all);
  if (!process.waitForStarted()) return {};
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(120000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

struct SMeasured {
  int nExit = -1;
  double dSeconds = -1;
  long nPeakKb = -1;
  QString strErr;
};

// zefdb run with standard input from `input`, its time and its own peak
// resident size (wait4 reports it for this one child).
SMeasured ZefdbMeasured(const QString& store, const Args& args, const QString& input) {
  std::vector<std::string> strings = {ZEF_ZEFDB, "--store", store.toStdString()};
  for (const QByteArray& arg : args) strings.push_back(arg.toStdString());
  std::vector<char*> argv;
  for (std::string& arg : strings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int errors[2];
  if (::pipe(errors) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.toLocal8Bit().constData(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
  pid_t child = -1;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(errors[1]);
  SMeasured measured;
  QByteArray message;
  char block[4096];
  for (ssize_t n; spawned == 0 && (n = ::read(errors[0], block, sizeof block)) > 0;) message.append(block, n);
  ::close(errors[0]);
  int status = 0;
  rusage usage{};
  if (spawned != 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return measured;
  measured.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  measured.nExit = WEXITSTATUS(status);
  measured.nPeakKb = usage.ru_maxrss;
  measured.strErr = QString::fromUtf8(message);
  return measured;
}

// The system call `pid` is blocked in, or -1 (running, or not readable).
long BlockedIn(qint64 pid) {
  QFile file(QStringLiteral("/proc/%1/syscall").arg(pid));
  if (!file.open(QIODevice::ReadOnly)) return -1;
  bool ok = false;
  const long call = file.readAll().split(' ').value(0).trimmed().toLong(&ok);
  return ok ? call : -1;
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
    const QByteArray lines =
        "i4:1 u4:2 bool:0 str:\"two words \\\"q\\\" \\\\\" time:2024-05-01T12:00:00Z\n"
        "\n"
        "  \t \r\n"
        "str:plain\ti2:7\r\n"
        "u4:3";  // no newline at the end
    QCOMPARE(Zefdb(store, {"import", "MyData"}, lines).nExit, 0);
    const SRun records = Zefdb(store, {"records", "MyData"});
    QCOMPARE(records.nExit, 0);
    QCOMPARE(
        records.strOut,
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
    QVERIFY(Zefdb(store, {"records", "MyData"})
                .strOut.startsWith(QStringLiteral("000: [1,16] (uint32)5; \n001: [0,0] \n")));
    QCOMPARE(Zefdb(store, {"drop", "MyData"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"list"}).strOut.count(QLatin1Char('\n')), 2);
  }

  void sizesInKilobytes() {
    const QString store = NewPath();
    for (const char* name : {"k1023", "k1024", "k2047"}) QCOMPARE(Zefdb(store, {"create", name}).nExit, 0);
    // A blob record is 16 bytes of entry plus its bytes.
    QCOMPARE(Zefdb(store, {"add", "k1023", "blob:" + QByteArray(2 * 1007, 'a')}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "k1024", "blob:" + QByteArray(2 * 1008, 'b')}).nExit, 0);
    QCOMPARE(
        Zefdb(store, {"import", "k2047"}, "blob:" + QByteArray(2 * 1000, 'c') + "\nblob:" + QByteArray(2 * 1015, 'd'))
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
    QTest::newRow("name of 16 surrogate pairs")
        << Args{"create", QByteArray("😀").repeated(16)} << QByteArray("longer than 31");
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
    QTest::newRow("i4 with two signs") << Args{"add", "db", "i4:+-1"} << QByteArray("i4:+-1");
    QTest::newRow("u4 with two plus signs") << Args{"add", "db", "u4:++1"} << QByteArray("u4:++1");
    QTest::newRow("time with two signs") << Args{"add", "db", "time:+-5"} << QByteArray("not a time");
    QTest::newRow("--type without a name or value") << Args{"create", "--type"} << QByteArray("--type needs a value");
    QTest::newRow("--type without a value") << Args{"create", "t", "--type"} << QByteArray("--type needs a value");
    QTest::newRow("--type before the name, no name") << Args{"create", "--type", "3"} << QByteArray("NAME missing");
    QTest::newRow("a newline in a new name") << Args{"create", "a\nb"} << QByteArray("control character (EINVAL)");
    QTest::newRow("an escape in a new name") << Args{"create", "\x1b]0;x\x07"} << QByteArray("control character");
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
    QTest::newRow("65,536 values") << QByteArray("u4:1\n") + QByteArray("u2:0 ").repeated(65536)
                                   << QByteArray("line 2: more than 65,535 values (E2BIG)");
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

  // Output that cannot be written, or an import with nothing to read, is a
  // failure with one line saying so, never exit 0.
  void unusableStreamsFail_data() {
    QTest::addColumn<Args>("args");
    QTest::addColumn<int>("streams");
    QTest::addColumn<QByteArray>("message");
    const int full = int(EStreams::kOutputFull);
    QTest::newRow("list to /dev/full") << Args{"list"} << full << QByteArray("standard output: No space left");
    QTest::newRow("records to /dev/full") << Args{"records", "db"} << full << QByteArray("(ENOSPC)");
    QTest::newRow("help to /dev/full") << Args{"--help"} << full << QByteArray("(ENOSPC)");
    QTest::newRow("list, standard output closed")
        << Args{"list"} << int(EStreams::kOutputClosed) << QByteArray("cannot write standard output");
    QTest::newRow("import, standard input closed")
        << Args{"import", "db"} << int(EStreams::kInputClosed) << QByteArray("standard input is closed");
  }
  void unusableStreamsFail() {
    QFETCH(Args, args);
    QFETCH(int, streams);
    QFETCH(QByteArray, message);
    const QString store = NewPath();
    QCOMPARE(Zefdb(store, {"create", "db"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "db", "str:" + QByteArray(200, 'r')}).nExit, 0);
    const SRun run = Zefdb(store, args, {}, EStreams(streams));
    QCOMPARE(run.nExit, 1);
    QVERIFY2(run.strErr.contains(QString::fromUtf8(message)), qPrintable(run.strErr));
    QCOMPARE(run.strErr.count(QLatin1Char('\n')), 1);
    QCOMPARE(Zefdb(store, {"list"}).strOut, QStringLiteral("\"db\" type=0 records=1, size=0 KB\n"));
  }

  // Hostile input costs zefdb little: a record whose 4,096 strings share
  // one 1 MiB text (8 GiB of text once formatted) is refused as damaged,
  // and one endless import line stops at the line limit.
  void hostileInputCostsLittle_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("records of shared texts") << QByteArray("shared") << QByteArray("position 1 is damaged (EILSEQ)");
    QTest::newRow("import of a 40 MiB line") << QByteArray("line") << QByteArray("line 2: longer than 33 MiB (E2BIG)");
  }
  void hostileInputCostsLittle() {
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, message);
    const QString store = NewPath();
    QCOMPARE(Zefdb(store, {"create", "db"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "db", "u4:1"}).nExit, 0);
    const QString input = store + QStringLiteral(".in");
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly));
    Args args = {"import", "db"};
    if (kind == "line") {
      file.write("u4:1\n");
      for (int i = 0; i < 40; ++i) file.write(QByteArray("u2:0 ").repeated((1 << 20) / 5 + 1));
    } else {
      args = {"records", "db"};
      constexpr int kEntries = 4096;
      QByteArray buffer(kEntries * 16, '\0');
      for (int i = 0; i < kEntries; ++i) {
        buffer[i * 16] = 31;
        buffer[i * 16 + 10] = 1;  // offset 65,536, just after the entries
      }
      buffer += QByteArray("x\0", 2).repeated(1 << 19) + QByteArray(2, '\0');
      // The raw stored form: format 0, count 4096 and the size as varints.
      QByteArray stored = QByteArray::fromHex("008020");
      for (quint32 size = quint32(buffer.size());; size >>= 7) {
        stored += char((size & 0x7F) | (size >= 0x80 ? 0x80 : 0));
        if (size < 0x80) break;
      }
      QCOMPARE(zef::store::testing::ExecuteSql(store.toStdString(), "INSERT INTO record VALUES((1 << 32) | 1000, X'" +
                                                                        (stored + buffer).toHex().toStdString() + "')"),
               std::string());
    }
    file.close();
    const SMeasured run = ZefdbMeasured(store, args, input);
    QCOMPARE(run.nExit, 1);
    QVERIFY2(run.strErr.contains(QString::fromUtf8(message)), qPrintable(run.strErr));
    QVERIFY2(run.dSeconds < zef::testing::SecondsBound(1), qPrintable(QString::number(run.dSeconds)));
    if (!zef::testing::kSanitized) QVERIFY2(run.nPeakKb < 64 * 1024, qPrintable(QString::number(run.nPeakKb)));
  }

  // Names and strings that other programs stored reach the terminal shown,
  // never obeyed: a newline cannot forge a line, an escape cannot act.
  void foreignTextIsShownNotObeyed() {
    const QString store = NewPath();
    QCOMPARE(Zefdb(store, {"create", "ab"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"add", "ab",
                           "str:\x1b]0;x\x07\xe2\x80\xae"
                           "evil\ttab\xf0\x9f\x98\x80\xf3\xa0\x80\x81"})
                 .nExit,
             0);
    QCOMPARE(
        zef::store::testing::ExecuteSql(store.toStdString(), "UPDATE database SET name='a'||char(10)||'\"x\" type=0'"),
        std::string());
    QCOMPARE(Zefdb(store, {"list"}).strOut, QStringLiteral("\"a\uFFFD\"x\" type=0\" type=0 records=1, size=0 KB\n"));
    QCOMPARE(Zefdb(store, {"records", "a\n\"x\" type=0"}).strOut,
             QStringLiteral("000: [1,56] (wchar *)\"\uFFFD]0;x\uFFFD\uFFFDevil\ttab\U0001F600\uFFFD\"; \n"));
    QCOMPARE(Zefdb(store, {"drop", "a\n\"x\" type=0"}).nExit, 0);
    QCOMPARE(Zefdb(store, {"list"}).strOut, QString());
  }

  // A database dropped by another program between zefdb's lookup and its
  // write is named as such, not taken for a missing store file.
  void databaseDroppedDuringAddIsNamed() {
    if (!QFile::exists(QStringLiteral("/proc/self/syscall"))) QSKIP("no /proc/PID/syscall to see zefdb waiting");
    const QString path = NewPath();
    QCOMPARE(Zefdb(path, {"create", "db"}).nExit, 0);
    zef::store::CObjectStore holder(path.toStdString());
    zef::store::CEOID db = 0;
    QCOMPARE(holder.FindDatabase(u"db", &db), 0);
    QCOMPARE(holder.BeginWrite(), 0);
    QProcess add;
    add.start(QStringLiteral(ZEF_ZEFDB),
              {QStringLiteral("--store"), path, QStringLiteral("add"), QStringLiteral("db"), QStringLiteral("u4:1")});
    QVERIFY(add.waitForStarted());
    // It looked the database up and now sleeps, waiting for the write lock.
    QTRY_VERIFY_WITH_TIMEOUT(
        BlockedIn(add.processId()) == SYS_clock_nanosleep || BlockedIn(add.processId()) == SYS_nanosleep, 4000);
    QCOMPARE(holder.DeleteDatabase(db), 0);
    QCOMPARE(holder.Commit(), 0);
    QVERIFY(add.waitForFinished(10000));
    QCOMPARE(add.exitCode(), 1);
    const QString error = QString::fromUtf8(add.readAllStandardError());
    QVERIFY2(error.contains(QStringLiteral("no such database \"db\"")) && error.contains(QStringLiteral("(ENOENT)")),
             qPrintable(error));
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
