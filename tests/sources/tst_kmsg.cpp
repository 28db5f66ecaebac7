// The kernel log: records parsed (levels, escapes, continuation lines,
// broken headers) and read as the device gives them, one per read, through a
// socket of records: lost records, a record cut short, the bound per pass,
// the refusal to open.
#include "sources/kmsg.h"
#include "sources/kernellog.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>

using namespace zef;

class TestKmsg : public QObject {
  Q_OBJECT
 private slots:
  void levels_data();
  void levels();
  void escapes_data();
  void escapes();
  void brokenHeaders_data();
  void brokenHeaders();
  void continuationsAreJoined();
  void linesOfARecord_data();
  void linesOfARecord();
  void recordedRecordsBecomeLines();
  void lostRecordsAreCounted_data();
  void lostRecordsAreCounted();
  void truncatedRecordsAreKept();
  void timesComeOntoTheWallClock();
  void aPassReadsAtMostItsBound();
  void aReadErrorEndsTheReader();
  void refusalSaysWhatToDo_data();
  void refusalSaysWhatToDo();
  void theDeviceItself();
  void theLogReadsOnTheEventLoop();
};

namespace {

std::vector<SKmsgRecord> Parse(const std::string& data) {
  std::vector<SKmsgRecord> records;
  std::string_view bad;
  if (!ParseKmsgRecords(data, &records, &bad)) records.clear();
  return records;
}

QStringList Texts(const std::vector<SKmsgLine>& lines) {
  QStringList texts;
  for (const SKmsgLine& line : lines) texts << line.strText;
  return texts;
}

std::int64_t NowUs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return std::int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// A reader on one end of a socket that keeps each write one record, as the
// device gives them; the test writes to the other end.
struct SRecordPipe {
  SRecordPipe() {
    int fds[2];
    QVERIFY(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) == 0);
    reader.Adopt(fds[0]);
    writer = fds[1];
  }
  ~SRecordPipe() { CloseWriter(); }
  void Write(const std::string& record) const {
    QCOMPARE(::write(writer, record.data(), record.size()), ssize_t(record.size()));
  }
  void CloseWriter() {
    if (writer >= 0) ::close(writer);
    writer = -1;
  }
  CKmsgReader reader;
  int writer = -1;
};

// The records of the file of recorded ones, one string each.
std::vector<std::string> RecordedRecords() {
  QFile file(qEnvironmentVariable("ZEF_TEST_DATA") + QStringLiteral("/kmsg_records.txt"));
  std::vector<std::string> records;
  if (!file.open(QIODevice::ReadOnly)) return records;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    if (line.startsWith(' ') && !records.empty()) {
      records.back() += line.toStdString() + '\n';
    } else {
      records.push_back(line.toStdString() + '\n');
    }
  }
  return records;
}

}  // namespace

void TestKmsg::levels_data() {
  QTest::addColumn<QByteArray>("header");
  QTest::addColumn<int>("level");
  QTest::addColumn<int>("facility");
  QTest::addColumn<bool>("fragment");
  QTest::newRow("emergency") << QByteArray("0,1,2,-") << 0 << 0 << false;
  QTest::newRow("error") << QByteArray("3,1,2,-") << 3 << 0 << false;
  QTest::newRow("debug") << QByteArray("7,1,2,-") << 7 << 0 << false;
  QTest::newRow("user program info") << QByteArray("14,1,2,-") << 6 << 1 << false;
  QTest::newRow("daemon info") << QByteArray("30,1,2,-") << 6 << 3 << false;
  QTest::newRow("highest facility") << QByteArray("2047,1,2,-") << 7 << 255 << false;
  QTest::newRow("fragment") << QByteArray("4,1,2,c") << 4 << 0 << true;
  QTest::newRow("more fields") << QByteArray("5,1,2,-,caller=T1,x=y") << 5 << 0 << false;
}

void TestKmsg::levels() {
  QFETCH(QByteArray, header);
  const auto records = Parse(header.toStdString() + ";text\n");
  QCOMPARE(records.size(), std::size_t(1));
  QFETCH(int, level);
  QFETCH(int, facility);
  QFETCH(bool, fragment);
  QCOMPARE(records[0].nLevel, level);
  QCOMPARE(records[0].nFacility, facility);
  QCOMPARE(records[0].bFragment, fragment);
  QCOMPARE(records[0].nSequence, std::uint64_t(1));
  QCOMPARE(records[0].nMonotonicUs, std::int64_t(2));
  QCOMPARE(records[0].strText, QStringLiteral("text"));
  QVERIFY(!records[0].bTruncated);
}

void TestKmsg::escapes_data() {
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<QString>("decoded");
  QTest::newRow("plain") << QByteArray("a b") << QStringLiteral("a b");
  QTest::newRow("backslash") << QByteArray("a\\x5cn") << QStringLiteral("a\\n");
  QTest::newRow("upper hex") << QByteArray("\\x2F") << QStringLiteral("/");
  QTest::newRow("utf-8 in escapes") << QByteArray("caf\\xc3\\xa9") << QString::fromUtf16(u"caf\u00e9");
  QTest::newRow("escape sequence") << QByteArray("\\x1b[31m") << QStringLiteral("\x1b[31m");
  QTest::newRow("invalid utf-8") << QByteArray("a\\xffb") << QString::fromUtf16(u"a\uFFFDb");
  QTest::newRow("nul") << QByteArray("a\\x00b") << QStringView(u"a\0b", 3).toString();
  QTest::newRow("cut escape") << QByteArray("a\\x4") << QStringLiteral("a\\x4");
  QTest::newRow("not hex") << QByteArray("\\xzz") << QStringLiteral("\\xzz");
  QTest::newRow("lone backslash") << QByteArray("a\\") << QStringLiteral("a\\");
  QTest::newRow("raw utf-8") << QByteArray("\xc3\xa9") << QString::fromUtf16(u"\u00e9");
}

void TestKmsg::escapes() {
  QFETCH(QByteArray, text);
  QFETCH(QString, decoded);
  QCOMPARE(DecodeKmsgText(text.toStdString()), decoded);
}

void TestKmsg::brokenHeaders_data() {
  QTest::addColumn<QByteArray>("line");
  QTest::newRow("no semicolon") << QByteArray("6,1,2,- text");
  QTest::newRow("three fields") << QByteArray("6,1,2;text");
  QTest::newRow("sequence not a number") << QByteArray("6,x,2,-;text");
  QTest::newRow("negative time") << QByteArray("6,1,-2,-;text");
  QTest::newRow("priority too large") << QByteArray("2048,1,2,-;text");
  QTest::newRow("sign in priority") << QByteArray("+6,1,2,-;text");
  QTest::newRow("sequence overflows") << QByteArray("6,99999999999999999999999,2,-;text");
  QTest::newRow("empty line") << QByteArray("");
}

void TestKmsg::brokenHeaders() {
  QFETCH(QByteArray, line);
  const std::string data = "6,1,2,-;before\n" + line.toStdString() + "\n6,3,4,-;after\n";
  std::vector<SKmsgRecord> records;
  std::string_view bad;
  QVERIFY(!ParseKmsgRecords(data, &records, &bad));
  QCOMPARE(QByteArray(bad.data(), qsizetype(bad.size())), line);
  QCOMPARE(records.size(), std::size_t(1));
  QCOMPARE(records[0].strText, QStringLiteral("before"));
}

void TestKmsg::continuationsAreJoined() {
  const auto records = Parse(" ORPHAN=1\n6,1,2,-;probe\n SUBSYSTEM=pci\n DEVICE=+pci:0000:00:1f.\\x33\n");
  QCOMPARE(records.size(), std::size_t(1));
  QCOMPARE(records[0].keyValues,
           QStringList({QStringLiteral("SUBSYSTEM=pci"), QStringLiteral("DEVICE=+pci:0000:00:1f.3")}));
  std::vector<SKmsgLine> lines;
  KmsgLines(records[0], 0, &lines);
  QCOMPARE(Texts(lines), QStringList(QStringLiteral("probe [SUBSYSTEM=pci DEVICE=+pci:0000:00:1f.3]")));
}

void TestKmsg::linesOfARecord_data() {
  QTest::addColumn<QByteArray>("record");
  QTest::addColumn<QStringList>("lines");
  QTest::newRow("empty text") << QByteArray("6,1,2,-;\n") << QStringList(QString());
  QTest::newRow("empty text, key") << QByteArray("6,1,2,-;\n K=V\n") << QStringList(QStringLiteral(" [K=V]"));
  QTest::newRow("newline at the end") << QByteArray("6,1,2,-;a\\x0a\n K=V\n") << QStringList(QStringLiteral("a [K=V]"));
  QTest::newRow("inner newlines") << QByteArray("6,1,2,-;a\\x0a\\x0ab\n")
                                  << QStringList({QStringLiteral("a"), QString(), QStringLiteral("b")});
  QTest::newRow("only a newline") << QByteArray("6,1,2,-;\\x0a\n") << QStringList(QString());
}

void TestKmsg::linesOfARecord() {
  QFETCH(QByteArray, record);
  QFETCH(QStringList, lines);
  const auto records = Parse(record.toStdString());
  QCOMPARE(records.size(), std::size_t(1));
  std::vector<SKmsgLine> out;
  KmsgLines(records[0], 0, &out);
  QCOMPARE(Texts(out), lines);
}

void TestKmsg::recordedRecordsBecomeLines() {
  const std::vector<std::string> records = RecordedRecords();
  QCOMPARE(records.size(), std::size_t(7));
  SRecordPipe pipe;
  for (const std::string& record : records) pipe.Write(record);
  pipe.CloseWriter();
  std::vector<SKmsgLine> lines;
  QCOMPARE(pipe.reader.Read(&lines), CKmsgReader::ERead::kEnd);
  const QStringList expected = {
      QStringLiteral("NET: Registered protocol family 10"),
      QStringLiteral("pci_root PNP0A03:00: host bridge window [io  0x0000-0x0cf7] (ignored) "
                     "[SUBSYSTEM=acpi DEVICE=+acpi:PNP0A03:00]"),
      QStringLiteral("udevd[80]: starting version 181"),
      QStringLiteral("usb 1-1: device descriptor read/64, error -71"),
      QString::fromUtf16(u"caf\u00e9 \\n \x1b[31mred\x1b[0m"),
      QStringLiteral("first"),
      QStringLiteral("second"),
      QString::fromUtf16(u"bad byte \uFFFD end"),
  };
  QCOMPARE(Texts(lines), expected);
  const std::vector<int> levels = {6, 7, 6, 3, 4, 6, 6, 0};
  for (std::size_t i = 0; i < lines.size(); ++i) QCOMPARE(lines[i].nLevel, levels[i]);
  // The same bytes in one read (a file of them) give the same records.
  QFile file(qEnvironmentVariable("ZEF_TEST_DATA") + QStringLiteral("/kmsg_records.txt"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(Parse(file.readAll().toStdString()).size(), records.size());
}

void TestKmsg::lostRecordsAreCounted_data() {
  QTest::addColumn<QList<int>>("sequences");
  QTest::addColumn<QStringList>("lines");
  const QString lost1 = QStringLiteral("1 kernel message was lost");
  const QString lost3 = QStringLiteral("3 kernel messages were lost");
  QTest::newRow("none") << QList<int>{7, 8, 9}
                        << QStringList{QStringLiteral("r7"), QStringLiteral("r8"), QStringLiteral("r9")};
  QTest::newRow("one") << QList<int>{7, 9} << QStringList{QStringLiteral("r7"), lost1, QStringLiteral("r9")};
  QTest::newRow("three, twice") << QList<int>{1, 5, 6, 10}
                                << QStringList{QStringLiteral("r1"), lost3, QStringLiteral("r5"),
                                               QStringLiteral("r6"), lost3, QStringLiteral("r10")};
  // What went before the first record read was never shown: nothing lost.
  QTest::newRow("first is late") << QList<int>{500} << QStringList{QStringLiteral("r500")};
  QTest::newRow("backwards") << QList<int>{9, 3} << QStringList{QStringLiteral("r9"), QStringLiteral("r3")};
}

void TestKmsg::lostRecordsAreCounted() {
  QFETCH(QList<int>, sequences);
  SRecordPipe pipe;
  for (int seq : sequences) pipe.Write("6," + std::to_string(seq) + ",100,-;r" + std::to_string(seq) + "\n");
  QFETCH(QStringList, lines);
  std::vector<SKmsgLine> read;
  QCOMPARE(pipe.reader.Read(&read), CKmsgReader::ERead::kIdle);
  QCOMPARE(Texts(read), lines);
}

void TestKmsg::truncatedRecordsAreKept() {
  SRecordPipe pipe;
  pipe.Write("6,1,2,-;cut sho");
  // Larger than a read takes: the socket hands over the first part only.
  pipe.Write("6,2,2,-;" + std::string(CKmsgReader::kReadBufferBytes + 100, 'y') + "\n");
  pipe.Write("6,3,2,-;whole\n");
  std::vector<SKmsgLine> lines;
  QCOMPARE(pipe.reader.Read(&lines), CKmsgReader::ERead::kIdle);
  QCOMPARE(lines.size(), std::size_t(3));
  QCOMPARE(lines[0].strText, QStringLiteral("cut sho"));
  QCOMPARE(lines[1].strText.size(), qsizetype(CKmsgReader::kReadBufferBytes - 8));
  QCOMPARE(lines[2].strText, QStringLiteral("whole"));
  const auto records = Parse("6,1,2,-;cut sho");
  QCOMPARE(records.size(), std::size_t(1));
  QVERIFY(records[0].bTruncated);
  // A broken record is said once, cut, and what follows it in other reads still comes.
  pipe.Write("garbage " + std::string(1000, 'g') + "\n");
  pipe.Write("6,4,2,-;next\n");
  lines.clear();
  QCOMPARE(pipe.reader.Read(&lines), CKmsgReader::ERead::kIdle);
  QCOMPARE(lines.size(), std::size_t(2));
  QVERIFY(lines[0].strText.startsWith(QStringLiteral("Unreadable kernel record: garbage g")));
  QCOMPARE(lines[0].strText.size(), qsizetype(26 + 256));
  QCOMPARE(lines[1].strText, QStringLiteral("next"));
}

void TestKmsg::timesComeOntoTheWallClock() {
  SKmsgRecord record;
  record.nMonotonicUs = 5000000;
  record.strText = QStringLiteral("t");
  std::vector<SKmsgLine> lines;
  KmsgLines(record, 1700000000000000, &lines);
  QCOMPARE(lines[0].nTimeUs, std::int64_t(1700000005000000));
  // A record logged now, read now, is stamped with the wall clock's now.
  SRecordPipe pipe;
  const std::int64_t before = NowUs(CLOCK_REALTIME);
  pipe.Write("6,1," + std::to_string(NowUs(CLOCK_MONOTONIC)) + ",-;now\n");
  lines.clear();
  pipe.reader.Read(&lines);
  const std::int64_t after = NowUs(CLOCK_REALTIME);
  QCOMPARE(lines.size(), std::size_t(1));
  QVERIFY2(lines[0].nTimeUs >= before - 1000 && lines[0].nTimeUs <= after + 1000,
           qPrintable(QStringLiteral("%1 not in %2..%3").arg(lines[0].nTimeUs).arg(before).arg(after)));
}

void TestKmsg::aPassReadsAtMostItsBound() {
  SRecordPipe pipe;
  for (int seq = 1; seq <= 5; ++seq) pipe.Write("6," + std::to_string(seq) + ",1,-;r\n");
  std::vector<SKmsgLine> lines;
  QCOMPARE(pipe.reader.Read(&lines, 3), CKmsgReader::ERead::kMore);
  QCOMPARE(lines.size(), std::size_t(3));
  QCOMPARE(pipe.reader.Read(&lines, 3), CKmsgReader::ERead::kIdle);
  QCOMPARE(lines.size(), std::size_t(5));
  QCOMPARE(pipe.reader.Read(&lines, 3), CKmsgReader::ERead::kIdle);
  pipe.CloseWriter();
  QCOMPARE(pipe.reader.Read(&lines, 3), CKmsgReader::ERead::kEnd);
  QCOMPARE(lines.size(), std::size_t(5));
}

void TestKmsg::aReadErrorEndsTheReader() {
  CKmsgReader reader;
  reader.Adopt(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::vector<SKmsgLine> lines;
  QCOMPARE(reader.Read(&lines), CKmsgReader::ERead::kFailed);
  QVERIFY2(reader.Error().startsWith(QStringLiteral("Reading the kernel log failed: ")), qPrintable(reader.Error()));
  QCOMPARE(reader.Fd(), -1);
  QCOMPARE(reader.Read(&lines), CKmsgReader::ERead::kFailed);
  QVERIFY(lines.empty());
}

void TestKmsg::refusalSaysWhatToDo_data() {
  QTest::addColumn<int>("error");
  QTest::addColumn<int>("restrict");
  QTest::addColumn<bool>("advice");
  QTest::addColumn<bool>("namesRestrict");
  QTest::newRow("restricted") << EPERM << 1 << true << true;
  QTest::newRow("refused, restrict unknown") << EACCES << -1 << true << false;
  QTest::newRow("missing") << ENOENT << 1 << false << false;
}

void TestKmsg::refusalSaysWhatToDo() {
  QFETCH(int, error);
  QFETCH(int, restrict);
  QFETCH(bool, advice);
  QFETCH(bool, namesRestrict);
  const QString line = KmsgOpenError(QStringLiteral("/dev/kmsg"), error, restrict);
  QVERIFY2(line.startsWith(QStringLiteral("Cannot read the kernel log /dev/kmsg: ")), qPrintable(line));
  QCOMPARE(line.contains(QStringLiteral("sudo sysctl kernel.dmesg_restrict=0")), advice);
  QCOMPARE(line.contains(QStringLiteral("CAP_SYSLOG")), advice);
  QCOMPARE(line.contains(QStringLiteral("kernel.dmesg_restrict is 1")), namesRestrict);
  QVERIFY(!line.contains(u'\n'));
}

void TestKmsg::theDeviceItself() {
  // A file that refuses reading to everyone, root too.
  CKmsgReader refused;
  QVERIFY(!refused.Open(QStringLiteral("/proc/sys/vm/drop_caches")));
  QVERIFY2(refused.Error().contains(QStringLiteral("dmesg_restrict=0")), qPrintable(refused.Error()));
  QCOMPARE(refused.Fd(), -1);
  std::vector<SKmsgLine> lines;
  QCOMPARE(refused.Read(&lines), CKmsgReader::ERead::kFailed);

  CKmsgReader reader;
  if (!reader.Open()) QSKIP(qPrintable(QStringLiteral("no kernel log here: ") + reader.Error()));
  const CKmsgReader::ERead first = reader.Read(&lines, 100000);
  QVERIFY(first == CKmsgReader::ERead::kIdle || first == CKmsgReader::ERead::kMore);
  for (const SKmsgLine& line : lines) QVERIFY2(!line.strText.startsWith(u"Unreadable"), qPrintable(line.strText));
  // A line written to the log now comes to a reader that starts now.
  CKmsgReader fromNow;
  QVERIFY(fromNow.Open(QStringLiteral("/dev/kmsg"), CKmsgReader::EStart::kNow));
  const int device = ::open("/dev/kmsg", O_WRONLY | O_CLOEXEC);
  if (device < 0) QSKIP("cannot write to the kernel log");
  const QByteArray mark = "zefmon test " + QByteArray::number(NowUs(CLOCK_MONOTONIC));
  const QByteArray record = "<14>" + mark + '\n';
  const ssize_t written = ::write(device, record.constData(), std::size_t(record.size()));
  ::close(device);
  QCOMPARE(written, ssize_t(record.size()));
  lines.clear();
  fromNow.Read(&lines);
  QCOMPARE(Texts(lines).filter(QString::fromLatin1(mark)).size(), 1);
}

void TestKmsg::theLogReadsOnTheEventLoop() {
  QStringList got;
  CKernelLog refused([&got](const QString& text, std::int64_t timeUs) {
    QVERIFY(timeUs > 0);
    got << text;
  });
  QVERIFY(!refused.Start(QStringLiteral("/proc/sys/vm/drop_caches")));
  QCOMPARE(got.size(), 1);
  QVERIFY(got[0].contains(QStringLiteral("CAP_SYSLOG")));

  got.clear();
  int fds[2];
  QVERIFY(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) == 0);
  CKernelLog log([&got](const QString& text, std::int64_t) { got << text; });
  log.StartOn(fds[0]);
  // More than one pass takes: the notifier brings the rest.
  const int count = CKernelLog::kMaxPassRecords + 5;
  // The socket holds fewer records than that: write while the log reads.
  ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
  for (int seq = 1; seq <= count;) {
    const std::string record = "6," + std::to_string(seq) + ",1,-;r" + std::to_string(seq) + "\n";
    if (::write(fds[1], record.data(), record.size()) == ssize_t(record.size())) {
      ++seq;
    } else {
      QCOMPARE(errno, EAGAIN);
      QCoreApplication::processEvents();
    }
  }
  QTRY_COMPARE(got.size(), count);
  QCOMPARE(got.back(), QStringLiteral("r%1").arg(count));
  ::close(fds[1]);
  QTest::qWait(20);
  QCOMPARE(got.size(), count);
}

QTEST_GUILESS_MAIN(TestKmsg)
#include "tst_kmsg.moc"
