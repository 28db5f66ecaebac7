// The monitor list as a widget: the horizontal extent in pixels, and lines
// read back with the indent they are shown with.
#include "monitor/lineintake.h"
#include "monitor/monitorlist.h"
#include "platform/window/peer.h"

#include <QDateTime>
#include <QFontMetrics>
#include "tests/support/sanitized.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <malloc.h>
#include <unistd.h>

#include <fstream>

using zef::CMonitorList;

class TestMonitorList : public QObject {
  Q_OBJECT
 private slots:
  void extentFollowsTheLongestLineInPixels_data();
  void extentFollowsTheLongestLineInPixels();
  void linesReadBackWithTheirIndent();
  void linesKeepTimeSenderAndDuration();
  void gutterTexts_data();
  void gutterTexts();
  void gutterIsNeverPartOfTheText();
  void clockTimesOfSuccessiveSeconds();
  void durations_data();
  void durations();
  void clearGivesMemoryBack();
  void droppedLinesAreNotedWithWhetherTheLogHasThem();
  void goneSendersCostOnlyTheirLabels();
  void intakeTakesEachLineOnceUnderItsPeer();
  void intakeRotatesTheLogAndShowsARefusalOnce();
  void sourceLinesKeepTheirLabelTimeAndDropRules();
};

namespace {

using zef::testing::kSanitized;

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Bytes allocated, in the heap and in blocks of their own.
std::size_t HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace

void TestMonitorList::extentFollowsTheLongestLineInPixels_data() {
  // Lines added in order ("<reset>" empties the list); the extent expected
  // is the pixel width of the line named after `depth` indent strings, plus 5.
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<int>("depth");
  QTest::addColumn<QString>("measured");
  QTest::newRow("a longer line in narrower glyphs sets a smaller extent")
      << QStringList{QStringLiteral("WWWW"), QStringLiteral("iiiii")} << 0 << QStringLiteral("iiiii");
  QTest::newRow("an equal length changes nothing")
      << QStringList{QStringLiteral("WWWW"), QStringLiteral("iiii")} << 0 << QStringLiteral("WWWW");
  QTest::newRow("the prefix is measured")
      << QStringList{QStringLiteral("a {"), QStringLiteral("WW")} << 1 << QStringLiteral("WW");
  QTest::newRow("the prefix counts toward the length")
      << QStringList{QStringLiteral("abcd {"), QStringLiteral("wxy")} << 0 << QStringLiteral("abcd {");
  QTest::newRow("the first line after a reset sets it anew")
      << QStringList{QStringLiteral("a long first line"), QStringLiteral("<reset>"), QStringLiteral("i")} << 0
      << QStringLiteral("i");
  QTest::newRow("deep lines") << QStringList{QStringLiteral("a {"), QStringLiteral("b {"), QStringLiteral("c {"),
                                             QStringLiteral("WWWW")}
                              << 3 << QStringLiteral("WWWW");
}

void TestMonitorList::extentFollowsTheLongestLineInPixels() {
  QFETCH(QStringList, lines);
  QFETCH(int, depth);
  QFETCH(QString, measured);
  CMonitorList list;
  for (const QString& line : lines) {
    if (line == QLatin1String("<reset>")) {
      list.ResetContent();
      QCOMPARE(list.GetHorizontalExtent(), 5);
    } else {
      list.AddString(line);
    }
  }
  // The line and its indent measured as one text.
  const QFontMetrics metrics(list.font());
  QCOMPARE(list.GetHorizontalExtent(), metrics.horizontalAdvance(QStringLiteral("  ").repeated(depth) + measured) + 5);
}

void TestMonitorList::linesReadBackWithTheirIndent() {
  // 20,000 unbalanced enter lines: each read back with its whole indent,
  // while the list holds the indent once.
  CMonitorList list;
  constexpr int kLines = 20000;
  for (int i = 0; i < kLines; ++i) list.AddString(QStringLiteral("f() {"));
  QCOMPARE(list.Nesting(), kLines);
  QCOMPARE(list.GetText(kLines - 1), QString(2 * (kLines - 1), u' ') + QStringLiteral("f() {"));
  QCOMPARE(list.GetTextLen(kLines - 1), 2 * (kLines - 1) + 5);
  QVERIFY2(list.MemoryUsed() < std::size_t(kLines) * 32, qPrintable(QStringLiteral("%1 bytes").arg(list.MemoryUsed())));
  // Mark Block's search for the leave line goes through the indents.
  QCOMPARE(list.FindContaining(0, 1, QStringLiteral("} f()"), Qt::CaseSensitive), zef::LB_ERR);
  QCOMPARE(list.FindContaining(0, 1, QString(200, u' ') + QStringLiteral("f"), Qt::CaseSensitive), 100);
}

void TestMonitorList::linesKeepTimeSenderAndDuration() {
  CMonitorList list;
  // The real clock: times in microseconds since the epoch, never decreasing.
  const std::int64_t before = QDateTime::currentMSecsSinceEpoch() * 1000;
  list.MeetSender(5, QStringLiteral("demo[5]"));
  list.AddLine(QStringLiteral("Load() {"), 5);
  list.AddString(QStringLiteral("a line of the monitor's own"));
  QThread::usleep(2000);
  list.AddLine(QStringLiteral("} Load()"), 5);
  const std::int64_t after = QDateTime::currentMSecsSinceEpoch() * 1000;
  const zef::SLineStamp enter = list.GetStamp(0);
  const zef::SLineStamp own = list.GetStamp(1);
  const zef::SLineStamp leave = list.GetStamp(2);
  // Within a few milliseconds of the system clock, and in microseconds.
  QVERIFY(enter.nTime >= before - 5000 && leave.nTime <= after + 5000);
  QVERIFY(enter.nTime <= own.nTime && own.nTime <= leave.nTime);
  QVERIFY2(leave.nTime - enter.nTime >= 2000, qPrintable(QString::number(leave.nTime - enter.nTime)));
  QCOMPARE(list.Senders().Label(enter.nSender), QStringLiteral("demo[5]"));
  QCOMPARE(own.nSender, zef::CSenders::kSelf);
  QCOMPARE(enter.nSpan, -1);
  QCOMPARE(own.nSpan, -1);
  QCOMPARE(leave.nSpan, leave.nTime - enter.nTime);
}

void TestMonitorList::gutterTexts_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<int>("line");
  QTest::addColumn<QStringList>("texts");
  // Lines at 1.5 s, 1.5 s + 120 µs and 2 s + 345,678 µs past a minute.
  const auto clock = CMonitorList::EGutter::kClockTime;
  const auto since = CMonitorList::EGutter::kSincePrevious;
  QTest::newRow("clock time, enter line")
      << int(clock) << 0 << QStringList{QStringLiteral(":01.500000"), QString(), QStringLiteral("demo[5]")};
  QTest::newRow("clock time, leave line")
      << int(clock) << 1
      << QStringList{QStringLiteral(":01.500120"), QStringLiteral("120 \u00B5s"), QStringLiteral("demo[5]")};
  QTest::newRow("since previous, first line")
      << int(since) << 0 << QStringList{QString(), QString(), QStringLiteral("demo[5]")};
  QTest::newRow("since previous, leave line")
      << int(since) << 1
      << QStringList{QStringLiteral("+0.000120"), QStringLiteral("120 \u00B5s"), QStringLiteral("demo[5]")};
  QTest::newRow("since previous, own line")
      << int(since) << 2 << QStringList{QStringLiteral("+0.845558"), QString(), QStringLiteral("ZEFMON")};
}

void TestMonitorList::gutterTexts() {
  QFETCH(int, mode);
  QFETCH(int, line);
  QFETCH(QStringList, texts);
  CMonitorList list;
  const std::int64_t minute = std::int64_t(1'700'000'040) * 1'000'000;  // a whole minute
  std::vector<std::int64_t> times{minute + 1'500'000, minute + 1'500'120, minute + 2'345'678};
  std::size_t next = 0;
  list.SetClock([&] { return times[std::min(next++, times.size() - 1)]; });
  list.MeetSender(5, QStringLiteral("demo[5]"));
  list.AddLine(QStringLiteral("Run() {"), 5);
  list.AddLine(QStringLiteral("} Run()"), 5);
  list.AddString(QStringLiteral("own"));
  list.SetGutter(CMonitorList::EGutter(mode));
  const std::vector<QString> shown = list.GutterTexts(line);
  QCOMPARE(int(shown.size()), 3);
  // The clock column is local time: only its seconds are certain here.
  if (CMonitorList::EGutter(mode) == CMonitorList::EGutter::kClockTime) {
    QCOMPARE(shown[0].size(), 15);
    QVERIFY2(shown[0].endsWith(texts[0]), qPrintable(shown[0]));
  } else {
    QCOMPARE(shown[0], texts[0]);
  }
  QCOMPARE(shown[1], texts[1]);
  QCOMPARE(shown[2], texts[2]);
}

void TestMonitorList::clockTimesOfSuccessiveSeconds() {
  // Each time in its own local second, whatever second came before.
  const std::int64_t base = std::int64_t(1'700'000'040) * 1'000'000;
  for (const std::int64_t us :
       {base + 7, base + 999'999, base + 1'000'000, base - std::int64_t(3'600'000'000), base + 7}) {
    const QString expected = QDateTime::fromMSecsSinceEpoch(us / 1000).toString(QStringLiteral("hh:mm:ss")) +
                             QStringLiteral(".%1").arg(us % 1'000'000, 6, 10, QChar(u'0'));
    QCOMPARE(zef::FormatClockTime(us), expected);
  }
}

void TestMonitorList::gutterIsNeverPartOfTheText() {
  CMonitorList list;
  list.resize(600, 200);
  list.show();
  list.MeetSender(5, QStringLiteral("needle[5]"));
  list.AddLine(QStringLiteral("Run() {"), 5);
  list.AddLine(QStringLiteral("} Run()"), 5);
  for (auto mode : {CMonitorList::EGutter::kClockTime, CMonitorList::EGutter::kSincePrevious}) {
    list.SetGutter(mode);
    QCOMPARE(list.GetText(0), QStringLiteral("Run() {"));
    QCOMPARE(list.GetText(1), QStringLiteral("} Run()"));
    QCOMPARE(list.FindContaining(0, 1, QStringLiteral("needle"), Qt::CaseSensitive), zef::LB_ERR);
    QCOMPARE(list.FindContaining(0, 1, QStringLiteral("\u00B5s"), Qt::CaseSensitive), zef::LB_ERR);
    QCOMPARE(list.FindContaining(0, 1, QStringLiteral(":"), Qt::CaseSensitive), zef::LB_ERR);
    QVERIFY(!list.LineContains(1, u'+'));
  }
  list.SetGutter(CMonitorList::EGutter::kOff);
  QCOMPARE(list.Gutter(), CMonitorList::EGutter::kOff);
}

void TestMonitorList::durations_data() {
  QTest::addColumn<qint64>("microseconds");
  QTest::addColumn<QString>("text");
  QTest::newRow("zero") << qint64(0) << QStringLiteral("0 \u00B5s");
  QTest::newRow("below a millisecond") << qint64(999) << QStringLiteral("999 \u00B5s");
  QTest::newRow("milliseconds") << qint64(12'345) << QStringLiteral("12.345 ms");
  QTest::newRow("seconds") << qint64(1'500'000) << QStringLiteral("1.500 s");
  QTest::newRow("minutes") << qint64(125'000'000) << QStringLiteral("2 min 05 s");
  QTest::newRow("hours") << qint64(3'600'000'000) * 26 + 60'000'000 << QStringLiteral("26 h 01 min");
}

void TestMonitorList::durations() {
  QFETCH(qint64, microseconds);
  QFETCH(QString, text);
  QCOMPARE(zef::FormatDuration(microseconds), text);
}

void TestMonitorList::clearGivesMemoryBack() {
  if (kSanitized) QSKIP("resident memory is not comparable under sanitizers");
  CMonitorList list;
  list.resize(600, 400);
  list.show();
  list.SetGutter(CMonitorList::EGutter::kClockTime);
  list.AddString(QStringLiteral("painted once"));
  QCoreApplication::processEvents();
  list.ResetContent();
  const long fresh = ResidentBytes();
  // Lines of the monitor's own and of clients that connect now and then,
  // painted as they come: what painting and the clients leave on the heap
  // between the lines' segments outlives the Clear.
  constexpr int kLines = 5'000'000;
  const QString own = QStringLiteral("a line of the monitor's own");
  const QString traced = QStringLiteral("a traced line");
  for (int i = 0; i < kLines; ++i) {
    const std::uint32_t sender = std::uint32_t(i / 100'000 + 1);
    if (i % 100'000 == 0) {
      list.MeetSender(sender, QStringLiteral("client[%1]").arg(sender));
      QCoreApplication::processEvents();
    }
    list.AddLine(i % 2 ? own : traced, i % 2 ? zef::CSenders::kSelf : sender);
  }
  const long full = ResidentBytes();
  QVERIFY(full - fresh > 6L << 20);  // held packed, the lines cost far less than they did
  list.ResetContent();
  const long cleared = ResidentBytes();
  qInfo("resident: %ld MB before, %ld MB with %d lines, %ld MB after clear", fresh >> 20, full >> 20, kLines,
        cleared >> 20);
  // Within a tenth of what the process held with the list fresh, and a few
  // MB of the allocator's own.
  QVERIFY2(cleared <= fresh + fresh / 10 + (4L << 20),
           qPrintable(QStringLiteral("fresh %1 MB, after clear %2 MB").arg(fresh >> 20).arg(cleared >> 20)));
}

void TestMonitorList::droppedLinesAreNotedWithWhetherTheLogHasThem() {
  QLocale::setDefault(QLocale::c());
  constexpr int kSegment = zef::CLineStore::kSegmentLines;
  CMonitorList list;
  list.resize(600, 400);
  list.show();
  const auto add = [&](int lines, bool logged) {
    for (int i = 0; i < lines; ++i) list.AddLine(QStringLiteral("traced %1").arg(i), 1, logged);
  };
  add(3 * kSegment, true);
  list.AddString(QStringLiteral("a line of the monitor's own"));  // not logged
  add(kSegment, true);
  QVERIFY(list.DroppedNote()->isHidden());
  const int rowsTop = list.viewport()->geometry().top();
  // A limit of one byte keeps only the open segment.
  list.SetMemoryLimit(1);
  QVERIFY(list.DroppedNote()->isVisibleTo(&list));
  QVERIFY(list.viewport()->geometry().top() > rowsTop);  // the rows make room for it
  QCOMPARE(list.DroppedLines(), qint64(4 * kSegment));
  QCOMPARE(list.DroppedNote()->text(), QStringLiteral("\u2026 16,384 earlier lines dropped (not logged)"));
  list.ResetContent();
  QVERIFY(list.DroppedNote()->isHidden());
  list.SetMemoryLimit(0);
  add(2 * kSegment + 1, true);
  list.SetMemoryLimit(1);
  QCOMPARE(list.DroppedNote()->text(), QStringLiteral("\u2026 8,192 earlier lines dropped (the log file has them)"));
}

void TestMonitorList::goneSendersCostOnlyTheirLabels() {
  // Clients that each connect, write one line and go: what a line of such a
  // client holds beyond a line of the monitor's own, once its sender is gone.
  if (kSanitized) QSKIP("heap figures are not comparable under sanitizers");
  constexpr int kSenders = 100'000;
  int wrongLabels = 0;
  const auto heapPerLine = [&](bool ownLines) {
    CMonitorList list;
    const QString line = QStringLiteral("one line and goes");
    const std::size_t before = HeapBytes();
    for (std::uint32_t id = 1; id <= kSenders; ++id) {
      if (ownLines) {
        list.AddString(line);
        continue;
      }
      list.MeetSender(id, QStringLiteral("zeftrace[%1]").arg(id + 100'000));
      list.AddLine(line, id);
      list.Senders().End(id);
    }
    const double perLine = double(HeapBytes() - before) / kSenders;
    for (int i = 0; i < kSenders; i += 9973) {
      if (!ownLines) wrongLabels += list.GutterTexts(i)[2] != QStringLiteral("zeftrace[%1]").arg(i + 100'001);
    }
    return perLine;
  };
  heapPerLine(true);  // the first list also loads what every list shares
  const double own = heapPerLine(true);
  const double gone = heapPerLine(false);
  QCOMPARE(wrongLabels, 0);
  qInfo("heap per line: %.1f B of the monitor's own, %.1f B of a gone one-line sender", own, gone);
  // The label, a dozen characters, kept once; its key in the line's stamp.
  QVERIFY2(gone - own < 40, qPrintable(QStringLiteral("%1 B more per line").arg(gone - own)));
}

void TestMonitorList::intakeTakesEachLineOnceUnderItsPeer() {
  QTemporaryDir dir;
  CMonitorList list;
  zef::CMonitorSettings settings;
  settings.m_bLogToFile = true;
  settings.m_strLogFile = dir.filePath(QStringLiteral("monitor.log"));
  zef::CLineIntake intake(list, settings);
  zef::SPeer peer;
  peer.nId = 7;
  peer.nPid = 4242;
  peer.strName = QStringLiteral("demo");
  const QString host = QSysInfo::machineHostName();

  intake.AddLine(QStringLiteral("Load() {"), &peer);
  intake.AddLine(QStringLiteral("own"), nullptr);
  // Told who it is after its first line: named anew.
  zef::TakeToldIdentity(QStringLiteral("far\n99\nrelayed"), &peer);
  QVERIFY(peer.bTold);
  intake.AddLine(QStringLiteral("Run() {"), &peer);
  intake.PeerGone(peer.nId);  // Run() left open: a line of the monitor's own
  intake.PeerGone(peer.nId);  // said once

  QCOMPARE(list.GetCount(), 4);
  QCOMPARE(list.Senders().Label(list.GetStamp(0).nSender), zef::SenderLabel(peer, host));
  QCOMPARE(list.GetStamp(1).nSender, zef::CSenders::kSelf);
  QCOMPARE(list.GetStamp(2).nSender, list.GetStamp(0).nSender);
  QCOMPARE(list.GetStamp(3).nSender, zef::CSenders::kSelf);
  QVERIFY2(list.GetOwnText(3).contains(QStringLiteral("Run()")), qPrintable(list.GetOwnText(3)));
  // Every line reached the log exactly once, in order.
  QFile log(settings.m_strLogFile);
  QVERIFY(log.open(QIODevice::ReadOnly));
  const QList<QByteArray> records = log.readAll().split('\n');
  QCOMPARE(records.size(), 5);  // four records and what follows the last CR LF
  QCOMPARE(records[0], QByteArray("Load() {\r"));
  QCOMPARE(records[1], QByteArray("own\r"));
  QCOMPARE(records[2], QByteArray("Run() {\r"));

  // Logging off: the list still takes the line, the file does not.
  settings.m_bLogToFile = false;
  intake.AddLine(QStringLiteral("unlogged"), nullptr);
  QCOMPARE(list.GetCount(), 5);
  QCOMPARE(QFileInfo(settings.m_strLogFile).size(), log.size());
}

void TestMonitorList::intakeRotatesTheLogAndShowsARefusalOnce() {
  QTemporaryDir dir;
  CMonitorList list;
  zef::CMonitorSettings settings;
  settings.m_bLogToFile = true;
  settings.m_strLogFile = dir.filePath(QStringLiteral("monitor.log"));
  settings.m_nLogRotateMB = 1;
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("monitor.log.1")));  // in the way of the rotation
  zef::CLineIntake intake(list, settings);
  const QString line(400 * 1024, u'x');  // two records fit in 1 MB, three do not
  for (int i = 0; i < 4; ++i) intake.AddLine(line, nullptr);
  QCOMPARE(list.GetCount(), 5);
  QCOMPARE(list.GetOwnText(2), QStringLiteral("Failed to start a new log file, logging goes on in the old one!"));
  QCOMPARE(QFileInfo(settings.m_strLogFile).size(), 4 * (line.size() + 2));
}

void TestMonitorList::sourceLinesKeepTheirLabelTimeAndDropRules() {
  QTemporaryDir dir;
  CMonitorList list;
  list.SetClock([] { return std::int64_t(5000); });
  zef::CMonitorSettings settings;
  settings.m_bLogToFile = true;
  settings.m_strLogFile = dir.filePath(QStringLiteral("monitor.log"));
  zef::CLineIntake intake(list, settings);
  const std::uint32_t id = zef::kFirstSourceId + 3;
  intake.AddSourceLine(QStringLiteral("first"), id, QStringLiteral("file:/var/log/a\x1b[31m.log"), 1234);
  intake.AddSourceLine(QStringLiteral("second"), id, QStringLiteral("file:other"));  // named once: kept
  list.SetDropFilter([](const QString& line, std::uint32_t) { return line == QStringLiteral("dropped"); });
  intake.AddSourceLine(QStringLiteral("dropped"), id, QString());
  QCOMPARE(list.GetCount(), 2);
  QCOMPARE(list.GetStamp(0).nTime, 1234);
  QCOMPARE(list.GetStamp(1).nTime, 5000);  // 0: stamped with the list's clock
  QCOMPARE(list.GetStamp(1).nSender, list.GetStamp(0).nSender);
  const QString label = list.Senders().Label(list.GetStamp(0).nSender);
  QVERIFY2(label.startsWith(QStringLiteral("file:/var/log/a")), qPrintable(label));
  QVERIFY2(!label.contains(QChar(0x1b)), qPrintable(label));
  QFile log(settings.m_strLogFile);
  QVERIFY(log.open(QIODevice::ReadOnly));
  QCOMPARE(log.readAll(), QByteArray("first\r\nsecond\r\ndropped\r\n"));  // the log has every line
}

QTEST_MAIN(TestMonitorList)
#include "tst_monitorlist.moc"
