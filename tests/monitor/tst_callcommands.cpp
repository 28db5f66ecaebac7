// Call statistics through the main window: the table as the monitor's own
// lines in one traced call, over the shown lines or the selected ones, and
// the same figures when the list is walked in parts.
#include "monitor/callcommands.h"
#include "monitor/monitorlist.h"
#include "tests/support/fixture.h"

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

QTEST_MAIN(TestCallCommands)
#include "tst_callcommands.moc"
