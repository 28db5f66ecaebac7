// Call statistics through the main window: the table as the monitor's own
// lines in one traced call, over the shown lines or the selected ones, and
// the same figures when the list is walked in parts.
#include "monitor/callcommands.h"
#include "monitor/monitorlist.h"
#include "tests/support/fixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace zef;
using namespace Qt::Literals::StringLiterals;
using zef::test::CFrameFixture;

class TestCallCommands : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QLocale::setDefault(QLocale::c()); }
  void statisticsAreWrittenAsOwnLines();
  void selectionNarrowsWhatIsCounted();
  void bracesInNamesDoNotNest();
  void longListWalkedInPartsCountsEveryCall();
  void exportWritesShownOrSelectedLines_data();
  void exportWritesShownOrSelectedLines();
  void failedExportSaysWhyAndLeavesNoFile();
};

namespace {

// Two senders interleaved, each line 1 ms after the one before.
void AddCalls(CFrameFixture& f) {
  std::int64_t now = 1'000'000;
  f.List().SetClock([&now] { return now += 1000; });
  f.List().MeetSender(5, QStringLiteral("app[5]"));
  f.List().MeetSender(6, QStringLiteral("tool[6]"));
  const std::vector<std::pair<std::uint32_t, QString>> lines = {
      {5, u"Load() {"_s},     {6, u"Scan() {"_s}, {5, u"Parse() {"_s}, {5, u"} Parse()"_s},
      {6, u"} Scan() (0)"_s}, {5, u"} Load()"_s}, {6, u"Scan() {"_s}};
  for (const auto& [sender, line] : lines) f.List().AddLine(line, sender);
  f.List().SetClock({});
}

QStringList OwnLines(CFrameFixture& f, int from) {
  QStringList lines;
  for (int i = from; i < f.List().GetCount(); ++i) lines << f.List().GetOwnText(i);
  return lines;
}

}  // namespace

void TestCallCommands::statisticsAreWrittenAsOwnLines() {
  CFrameFixture f;
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::CallStatistics));  // nothing to look at
  AddCalls(f);
  const int before = f.List().GetCount();
  QVERIFY(f.Frame().OnCmdMsg(CommandId::CallStatistics));
  const QStringList lines = OwnLines(f, before);
  QCOMPARE(lines.first(), QStringLiteral("ZEFMON_CallStatistics() {"));
  QCOMPARE(lines.last(), QStringLiteral("} ZEFMON_CallStatistics()"));
  QCOMPARE(lines[1], QStringLiteral("Calls in 7 shown lines: 3 calls from 2 senders"));
  QCOMPARE(lines[2], QStringLiteral("app[5]: 2 calls"));
  QVERIFY(lines[3].contains(QStringLiteral("count")) && lines[3].endsWith(QStringLiteral("p95")));
  // Load() took 5 ms, Parse() 1 ms: the longest total first.
  QCOMPARE(lines[4].simplified(), QStringLiteral("Load() 1 5.000 ms 5.000 ms 5.000 ms 5.000 ms 5.000 ms"));
  QCOMPARE(lines[5].simplified(), QStringLiteral("Parse() 1 1.000 ms 1.000 ms 1.000 ms 1.000 ms 1.000 ms"));
  QCOMPARE(lines[6], QStringLiteral("tool[6]: 1 call, 1 call still open"));
  QCOMPARE(lines[8].simplified(), QStringLiteral("Scan() 1 3.000 ms 3.000 ms 3.000 ms 3.000 ms 3.000 ms"));
  QCOMPARE(lines.size(), 10);
  // Inside the monitor's own call: indented one deeper, and it ends there.
  const auto indent = [&f](int row) { return f.List().GetText(row).size() - f.List().GetOwnText(row).size(); };
  QCOMPARE(indent(before + 1), indent(before) + 2);
  QVERIFY(f.List().GetStamp(f.List().GetCount() - 1).nSpan >= 0);
}

void TestCallCommands::selectionNarrowsWhatIsCounted() {
  CFrameFixture f;
  AddCalls(f);
  // One selected line is not a selection to count: every shown line is.
  f.List().SetSel(true, 3);
  const int before = f.List().GetCount();
  QVERIFY(f.Frame().OnCmdMsg(CommandId::CallStatistics));
  QCOMPARE(OwnLines(f, before)[1], QStringLiteral("Calls in 7 shown lines: 3 calls from 2 senders"));
  // The open "Load() {", then "} Scan() (0)", whose call began before the
  // selection, and the second "Scan() {", left open.
  f.List().SetSel(false, -1);
  for (int row : {0, 4, 6}) f.List().SetSel(true, row);
  const int after = f.List().GetCount();
  QVERIFY(f.Frame().OnCmdMsg(CommandId::CallStatistics));
  const QStringList lines = OwnLines(f, after);
  QCOMPARE(lines[1], QStringLiteral("Calls in 3 selected lines: 1 call from 2 senders"));
  QCOMPARE(lines[2], QStringLiteral("app[5]: 0 calls, 1 call still open"));
  QCOMPARE(lines[3], QStringLiteral("tool[6]: 1 call, 1 call still open"));
  QVERIFY(lines[5].startsWith(QStringLiteral("  Scan()")));
  QCOMPARE(lines.size(), 7);
}

void TestCallCommands::bracesInNamesDoNotNest() {
  CFrameFixture f;
  f.List().MeetSender(5, QStringLiteral("app[5]"));
  f.List().AddLine(QStringLiteral("Run() {"), 5);
  f.List().AddLine(QStringLiteral("} {weird} name"), 5);
  const int nesting = f.List().Nesting();
  const int before = f.List().GetCount();
  QVERIFY(f.Frame().OnCmdMsg(CommandId::CallStatistics));
  // The row names its call without braces, and the nesting is back where
  // it was after the table.
  QVERIFY(OwnLines(f, before).filter(QStringLiteral("(weird) name")).size() == 1);
  QCOMPARE(f.List().Nesting(), nesting);
}

void TestCallCommands::longListWalkedInPartsCountsEveryCall() {
  // Enough lines for several parts, with calls open across every cut.
  CFrameFixture f;
  f.List().MeetSender(5, QStringLiteral("app[5]"));
  const int calls = 70'000;
  f.List().AddLine(QStringLiteral("Outer() {"), 5);
  for (int i = 0; i < calls; ++i) {
    f.List().AddLine(QStringLiteral("Step() {"), 5);
    f.List().AddLine(QStringLiteral("} Step()"), 5);
  }
  const std::vector<CCallStatistics::SSender> result = CallStatisticsOf(f.List(), nullptr).Result();
  QCOMPARE(result.size(), std::size_t(1));
  QCOMPARE(result[0].nCalls, calls);
  QCOMPARE(result[0].nOpen, 1);
  std::vector<int> rows(std::size_t(f.List().GetCount()));
  std::iota(rows.begin(), rows.end(), 0);
  QCOMPARE(CallStatisticsOf(f.List(), &rows).Result()[0].nCalls, calls);
}

void TestCallCommands::exportWritesShownOrSelectedLines_data() {
  QTest::addColumn<QList<int>>("selected");
  QTest::addColumn<QStringList>("events");
  // Each event as "ph pid ts name": a process per sender by its label key
  // (app 2, tool 3), its lines 1 ms apart from 1.001 s on.
  QTest::newRow("every shown line") << QList<int>{} << QStringList{u"B 2 1001000 Load()"_s,  u"B 3 1002000 Scan()"_s,
                                                                   u"B 2 1003000 Parse()"_s, u"E 2 1004000"_s,
                                                                   u"E 3 1005000"_s,         u"E 2 1006000"_s,
                                                                   u"B 3 1007000 Scan()"_s,  u"E 3 1007000"_s};
  // A leave whose enter is not selected reaches back by its duration.
  QTest::newRow("selected lines") << QList<int>{3, 6}
                                  << QStringList{u"X 2 1003000 Parse()"_s, u"B 3 1007000 Scan()"_s, u"E 3 1007000"_s};
}

void TestCallCommands::exportWritesShownOrSelectedLines() {
  QFETCH(QList<int>, selected);
  QFETCH(QStringList, events);
  CFrameFixture f;
  AddCalls(f);
  for (int row : selected) f.List().SetSel(true, row);
  const QString path = f.TempPath(QStringLiteral("run.json"));
  QString title;
  f.Frame().GetFeature<CCallCommands>()->SetFileNameAsker([&](QWidget*, const QString& t) {
    title = t;
    return path;
  });
  QVERIFY(f.Frame().IsCommandEnabled(CommandId::ExportCalls));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ExportCalls));
  QCOMPARE(title, selected.isEmpty() ? u"Export the calls of the 7 shown lines as"_s
                                     : u"Export the calls of the 2 selected lines as"_s);
  QVERIFY(f.Boxes().empty());
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QJsonArray all = QJsonDocument::fromJson(file.readAll()).object()[u"traceEvents"_s].toArray();
  QStringList names;
  QStringList digest;
  for (const QJsonValue& value : all) {
    const QJsonObject e = value.toObject();
    const QString ph = e[u"ph"_s].toString();
    if (ph == u'M') {
      if (e[u"name"_s] == u"process_name"_s) names << e[u"args"_s].toObject()[u"name"_s].toString();
      continue;
    }
    digest << u"%1 %2 %3 %4"_s.arg(ph)
                  .arg(e[u"pid"_s].toInt())
                  .arg(e[u"ts"_s].toInteger())
                  .arg(e[u"name"_s].toString())
                  .trimmed();
  }
  QCOMPARE(digest, events);
  QCOMPARE(names, (QStringList{u"app[5]"_s, u"tool[6]"_s}));
}

void TestCallCommands::failedExportSaysWhyAndLeavesNoFile() {
  CFrameFixture f;
  AddCalls(f);
  const QString path = f.TempPath(QStringLiteral("missing/run.json"));
  f.Frame().GetFeature<CCallCommands>()->SetFileNameAsker([&](QWidget*, const QString&) { return path; });
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ExportCalls));
  QCOMPARE(f.Boxes().size(), std::size_t(1));
  QVERIFY2(f.Boxes().front().text.startsWith(
               u"The calls could not be exported to %1: "_s.arg(QDir::toNativeSeparators(path))),
           qPrintable(f.Boxes().front().text));
  QVERIFY(!QFile::exists(path));
  // A cancelled dialog writes nothing and says nothing.
  f.Frame().GetFeature<CCallCommands>()->SetFileNameAsker([](QWidget*, const QString&) { return QString(); });
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ExportCalls));
  QCOMPARE(f.Boxes().size(), std::size_t(1));
}

QTEST_MAIN(TestCallCommands)
#include "tst_callcommands.moc"
