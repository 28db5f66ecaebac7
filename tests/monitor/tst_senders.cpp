// Senders and their calls: durations matched by each sender's own nesting,
// the line that names the calls a sender left open, and how senders are
// named.
#include "monitor/senders.h"
#include "platform/window/peer.h"

#include <QTest>

using zef::CSenders;

class TestSenders : public QObject {
  Q_OBJECT
 private slots:
  void callsMatchPerSender();
  void endNamesOpenCallsInnermostLast_data();
  void endNamesOpenCallsInnermostLast();
  void endListsDeepNestingInPart();
  void endNamesTheRealInnermostCalls_data();
  void endNamesTheRealInnermostCalls();
  void forgetGoneKeepsLiveSenders();
  void labels_data();
  void labels();
};

namespace {
// A line of `sender` at `time` as the list hands it over: braces judged from
// the line itself.
std::int64_t Take(CSenders& s, std::uint32_t sender, const QString& line, std::int64_t time) {
  return s.Take(sender, line, line.contains(u'}'), line.contains(u'{'), time);
}
}  // namespace

void TestSenders::callsMatchPerSender() {
  CSenders s;
  s.Meet(1, QStringLiteral("a[1]"));
  s.Meet(2, QStringLiteral("b[2]"));
  // Interleaved: each leave line ends its own sender's innermost call.
  QCOMPARE(Take(s, 1, QStringLiteral("Load() {"), 100), -1);
  QCOMPARE(Take(s, 2, QStringLiteral("Save() {"), 200), -1);
  QCOMPARE(Take(s, 1, QStringLiteral("Parse() {"), 250), -1);
  QCOMPARE(Take(s, 2, QStringLiteral("} Save() (0)"), 260), 60);
  QCOMPARE(Take(s, 1, QStringLiteral("} Parse()"), 300), 50);
  QCOMPARE(Take(s, 1, QStringLiteral("plain"), 310), -1);
  // "} else {" ends one call and opens the next.
  QCOMPARE(Take(s, 1, QStringLiteral("} else {"), 400), 300);
  QCOMPARE(Take(s, 1, QStringLiteral("} If()"), 450), 50);
  // A sender's leave line with nothing open has no duration, and another
  // sender's open call is not taken for it.
  QCOMPARE(Take(s, 2, QStringLiteral("Other() {"), 500), -1);
  QCOMPARE(Take(s, 1, QStringLiteral("} Stray()"), 600), -1);
  QCOMPARE(s.OpenCalls(2), 1);
  QCOMPARE(Take(s, 2, QStringLiteral("} Other()"), 700), 200);
  // A sender never met still gets its calls timed, as "?".
  QCOMPARE(Take(s, 9, QStringLiteral("X() {"), 10), -1);
  QCOMPARE(Take(s, 9, QStringLiteral("} X()"), 15), 5);
  QCOMPARE(s.Label(s.LabelKey(9)), QStringLiteral("?"));
}

void TestSenders::endNamesOpenCallsInnermostLast_data() {
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<QString>("ended");
  QTest::newRow("two calls open") << QStringList{QStringLiteral("  Load() {"), QStringLiteral("Parse(\"x\") {  ")}
                                  << QStringLiteral("demo[4711] ended inside: Load() > Parse(\"x\")");
  QTest::newRow("every call left") << QStringList{QStringLiteral("Load() {"), QStringLiteral("} Load()")} << QString();
  QTest::newRow("no calls at all") << QStringList{QStringLiteral("hello")} << QString();
  QTest::newRow("braces in a name never reach the line")
      << QStringList{QStringLiteral("Map({1}) {")} << QStringLiteral("demo[4711] ended inside: Map((1))");
  QTest::newRow("an else branch") << QStringList{QStringLiteral("If() {"), QStringLiteral("  } else {")}
                                  << QStringLiteral("demo[4711] ended inside: else");
  QTest::newRow("bidi and invisible characters in names")
      << QStringList{QStringLiteral("Load\u202Egnp.exe() {"), QStringLiteral("\u200BParse\u2066() {")}
      << QStringLiteral("demo[4711] ended inside: Load\uFFFDgnp.exe() > \uFFFDParse\uFFFD()");
  QTest::newRow("a long name is cut") << QStringList{QString(200, u'n') + QStringLiteral(" {")}
                                      << QStringLiteral("demo[4711] ended inside: ") + QString(79, u'n') +
                                             QChar(0x2026);
}

void TestSenders::endNamesOpenCallsInnermostLast() {
  QFETCH(QStringList, lines);
  QFETCH(QString, ended);
  CSenders s;
  s.Meet(7, QStringLiteral("demo[4711]"));
  const std::uint32_t key = s.LabelKey(7);
  std::int64_t time = 0;
  for (const QString& line : lines) Take(s, 7, line, ++time);
  QCOMPARE(s.End(7), ended);
  // Said once: the calls are forgotten with it.
  QCOMPARE(s.End(7), QString());
  QCOMPARE(s.OpenCalls(7), 0);
  QCOMPARE(s.Label(key), QStringLiteral("demo[4711]"));
}

void TestSenders::endListsDeepNestingInPart() {
  CSenders s;
  s.Meet(3, QStringLiteral("deep[3]"));
  const int half = CSenders::kMaxListedCalls / 2;
  const int depth = CSenders::kMaxOpenCalls + 5 + half;
  for (int i = 0; i < depth; ++i) Take(s, 3, QStringLiteral("f%1() {").arg(i), i);
  QCOMPARE(s.OpenCalls(3), depth);
  // Beyond the limit the innermost calls are timed, those between them and
  // the limit counted only: their leave lines have no duration, the rest
  // still do.
  for (int i = 0; i < half; ++i) QCOMPARE(Take(s, 3, QStringLiteral("} f()"), depth + i), 2 * i + 1);
  for (int i = 0; i < 5; ++i) QCOMPARE(Take(s, 3, QStringLiteral("} f()"), depth + i), -1);
  QCOMPARE(Take(s, 3, QStringLiteral("} f()"), 20000), 20000 - (CSenders::kMaxOpenCalls - 1));
  Take(s, 3, QStringLiteral("} f()"), 20000);
  Take(s, 3, QStringLiteral("} f()"), 20000);
  // Room again for named calls.
  Take(s, 3, QStringLiteral("g() {"), 20001);
  Take(s, 3, QStringLiteral("h() {"), 20002);
  Take(s, 3, QStringLiteral("i() {"), 20003);
  const QString line = s.End(3);
  QVERIFY2(line.startsWith(QStringLiteral("deep[3] ended inside: f0() > f1() >")), qPrintable(line));
  QVERIFY2(line.endsWith(QStringLiteral("> g() > h() > i()")), qPrintable(line));
  QVERIFY2(line.contains(QStringLiteral("\u2026 %1 more \u2026").arg(CSenders::kMaxOpenCalls - 2 * half)),
           qPrintable(line));
  QCOMPARE(line.count(QStringLiteral(" > ")), 2 * half);
}

namespace {
// "fFirst() > ... > fLast()" as listed, both ends included.
QStringList Calls(int first, int last) {
  QStringList names;
  for (int i = first; i <= last; ++i) names << QStringLiteral("f%1()").arg(i);
  return names;
}
QString More(int count) { return QStringLiteral("\u2026 %1 more \u2026").arg(count); }
}  // namespace

void TestSenders::endNamesTheRealInnermostCalls_data() {
  // `opened` calls f0 .. f(opened - 1), then `closed` of them closed and
  // `reopened` opened: the line names `listed`.
  QTest::addColumn<int>("opened");
  QTest::addColumn<int>("closed");
  QTest::addColumn<QStringList>("reopened");
  QTest::addColumn<QStringList>("listed");
  constexpr int kLimit = CSenders::kMaxOpenCalls;
  QTest::newRow("100,000 open") << 100'000 << 0 << QStringList()
                                << Calls(0, 7) + QStringList{More(99'984)} + Calls(99'992, 99'999);
  // Closed back past the innermost ones kept: the calls now innermost were
  // only counted, and are counted with those left out.
  QTest::newRow("a few of them closed") << 100'000 << 3 << QStringList()
                                        << Calls(0, 7) + QStringList{More(99'984)} + Calls(99'992, 99'996);
  QTest::newRow("just past the timed ones")
      << kLimit + 3 << 0 << QStringList()
      << Calls(0, 7) + QStringList{More(kLimit + 3 - 16)} + Calls(kLimit - 5, kLimit + 2);
  QTest::newRow("closed back into the counted ones")
      << 100'000 << 50'000 << QStringList() << Calls(0, 7) + QStringList{More(49'992)};
  QTest::newRow("closed back, then opened anew")
      << 100'000 << 50'000 << QStringList{QStringLiteral("g() {"), QStringLiteral("h() {")}
      << Calls(0, 7) + QStringList{More(49'992), QStringLiteral("g()"), QStringLiteral("h()")};
  QTest::newRow("closed back below the listed count") << 100'000 << 100'000 - 12 << QStringList() << Calls(0, 11);
}

void TestSenders::endNamesTheRealInnermostCalls() {
  QFETCH(int, opened);
  QFETCH(int, closed);
  QFETCH(QStringList, reopened);
  QFETCH(QStringList, listed);
  CSenders s;
  s.Meet(3, QStringLiteral("deep[3]"));
  std::int64_t time = 0;
  for (int i = 0; i < opened; ++i) s.Take(3, QStringLiteral("f%1() {").arg(i), false, true, ++time);
  for (int i = 0; i < closed; ++i) s.Take(3, u"} f()", true, false, ++time);
  for (const QString& line : reopened) Take(s, 3, line, ++time);
  QCOMPARE(s.OpenCalls(3), opened - closed + int(reopened.size()));
  QCOMPARE(s.End(3), QStringLiteral("deep[3] ended inside: ") + listed.join(QStringLiteral(" > ")));
}

void TestSenders::forgetGoneKeepsLiveSenders() {
  CSenders s;
  s.Meet(1, QStringLiteral("gone[1]"));
  s.Meet(2, QStringLiteral("live[2]"));
  Take(s, 2, QStringLiteral("Run() {"), 1);
  s.End(1);
  s.ForgetGone();
  QVERIFY(!s.Knows(1));
  QVERIFY(s.Knows(2));
  QVERIFY(s.Knows(CSenders::kSelf));
  QCOMPARE(s.Label(CSenders::kSelf), QStringLiteral("ZEFMON"));
  // The live sender's open call survives the emptied list, and so it does
  // when the sender is named anew from what it told of itself.
  QVERIFY(!s.KnowsAsTold(2));
  s.Meet(2, QStringLiteral("live[2] \u00ABbox: live[9]\u00BB"), true);
  QVERIFY(s.KnowsAsTold(2));
  QCOMPARE(Take(s, 2, QStringLiteral("} Run()"), 11), 10);
}

void TestSenders::labels_data() {
  QTest::addColumn<bool>("told");
  QTest::addColumn<QString>("toldHost");
  QTest::addColumn<qint64>("toldPid");
  QTest::addColumn<QString>("toldName");
  QTest::addColumn<QString>("label");
  QTest::newRow("not told") << false << QString() << qint64(0) << QString() << QStringLiteral("worker[31]");
  QTest::newRow("told the same") << true << QStringLiteral("here") << qint64(31) << QStringLiteral("worker")
                                 << QStringLiteral("worker[31]");
  QTest::newRow("through a relay on this host")
      << true << QStringLiteral("here") << qint64(77) << QStringLiteral("demo")
      << QStringLiteral("worker[31] \u00ABdemo[77]\u00BB");
  QTest::newRow("from another host") << true << QStringLiteral("build01") << qint64(31) << QStringLiteral("worker")
                                     << QStringLiteral("worker[31] \u00ABbuild01: worker[31]\u00BB");
  QTest::newRow("told no pid") << true << QStringLiteral("box") << qint64(0) << QStringLiteral("x")
                               << QStringLiteral("worker[31] \u00ABbox: x[?]\u00BB");
  QTest::newRow("bidi controls shown, not obeyed")
      << true << QStringLiteral("here") << qint64(5) << QStringLiteral("a\u202Eb\u2066c\u200F")
      << QStringLiteral("worker[31] \u00ABa\uFFFDb\uFFFDc\uFFFD[5]\u00BB");
  QTest::newRow("braces and line breaks made plain")
      << true << QStringLiteral("h{}") << qint64(5) << QStringLiteral("a\nb")
      << QStringLiteral("worker[31] \u00ABh(): a\uFFFDb[5]\u00BB");
}

void TestSenders::labels() {
  QFETCH(bool, told);
  QFETCH(QString, toldHost);
  QFETCH(qint64, toldPid);
  QFETCH(QString, toldName);
  QFETCH(QString, label);
  zef::SPeer peer;
  peer.nId = 4;
  peer.nPid = 31;
  peer.strName = QStringLiteral("worker");
  peer.bTold = told;
  peer.strToldHost = toldHost;
  peer.nToldPid = toldPid;
  peer.strToldName = toldName;
  QCOMPARE(zef::SenderLabel(peer, QStringLiteral("here")), label);
}

QTEST_MAIN(TestSenders)
#include "tst_senders.moc"
