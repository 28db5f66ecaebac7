// The trace event file: valid JSON that a JSON parser reads back, B and E
// balanced per process, escaping, calls open at the end or begun before
// the first line, a failing sink, and zeftrace --export-trace on a file.
#include "trace/events/traceevents.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace zef;
using namespace Qt::Literals::StringLiterals;

class TestTraceEvents : public QObject {
  Q_OBJECT
 private slots:
  void callNamesFromScopeLines_data();
  void callNamesFromScopeLines();
  void textIsEscapedAsJson_data();
  void textIsEscapedAsJson();
  void linesBecomeBalancedEventsPerProcess();
  void callsBegunBeforeTheLinesReachBack();
  void failingSinkIsReportedAndStopsWriting();
  void bigExportIsHandedOverInBlocks();
  void commandLineExportsStandardInput();
  void commandLineLeavesNoFileWhenItCannotWrite();
};

namespace {

QJsonArray Events(const std::string& file) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(file), &error);
  if (error.error != QJsonParseError::NoError) qWarning() << error.errorString() << error.offset;
  return document.object().value(QStringLiteral("traceEvents")).toArray();
}

// One event as "ph pid ts name", then "|line" and "(note)" from its args,
// "dur=" for an X.
QStringList Digest(const QJsonArray& events) {
  QStringList out;
  for (const QJsonValue& value : events) {
    const QJsonObject e = value.toObject();
    const QString ph = e.value(u"ph"_s).toString();
    const QJsonObject args = e.value(u"args"_s).toObject();
    QStringList parts{ph, QString::number(e.value(u"pid"_s).toInt()), QString::number(e.value(u"ts"_s).toInteger())};
    QString name = e.value(u"name"_s).toString();
    if (ph == u'M') name += u'=' + args.value(u"name"_s).toString();
    if (!name.isEmpty()) parts << name;
    if (args.contains(u"line"_s)) parts << u'|' + args.value(u"line"_s).toString();
    if (args.contains(u"note"_s)) parts << u"(note)"_s;
    if (ph == u'X') parts << u"dur=%1"_s.arg(e.value(u"dur"_s).toInteger());
    out << parts.join(u' ');
  }
  return out;
}

// Whether every process's B and E pair up in order, with none left.
bool Balanced(const QJsonArray& events) {
  QHash<int, int> depth;
  for (const QJsonValue& value : events) {
    const QJsonObject e = value.toObject();
    int& d = depth[e.value(QStringLiteral("pid")).toInt()];
    if (e.value(QStringLiteral("ph")).toString() == u'B') ++d;
    if (e.value(QStringLiteral("ph")).toString() == u'E' && --d < 0) return false;
  }
  for (int d : depth)
    if (d != 0) return false;
  return true;
}

std::string Export(const std::function<void(CCallTraceExport&)>& lines) {
  std::string file;
  CCallTraceExport out([&file](std::string_view bytes) {
    file += bytes;
    return true;
  });
  lines(out);
  out.Finish();
  return file;
}

}  // namespace

void TestTraceEvents::callNamesFromScopeLines_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("enter");
  QTest::addColumn<QString>("leave");
  QTest::newRow("scope") << QStringLiteral("  Load() {") << QStringLiteral("Load()") << QStringLiteral("Load()");
  QTest::newRow("leave with result") << QStringLiteral("} Load() (0)") << QStringLiteral("Load() (0)")
                                     << QStringLiteral("Load()");
  QTest::newRow("else") << QStringLiteral(" } else { ") << QStringLiteral("else") << QStringLiteral("else");
  QTest::newRow("without parentheses") << QStringLiteral("}} build step ") << QStringLiteral("build step")
                                       << QStringLiteral("build step");
  QTest::newRow("a bare brace") << QStringLiteral(" } ") << QString() << QString();
  QTest::newRow("no-break spaces") << QStringLiteral("\u00A0}\u00A0step\u3000") << QStringLiteral("step")
                                   << QStringLiteral("step");
}

void TestTraceEvents::callNamesFromScopeLines() {
  QFETCH(QString, line);
  QFETCH(QString, enter);
  QFETCH(QString, leave);
  const std::u16string_view view(QStringView(line).utf16(), std::size_t(line.size()));
  QCOMPARE(QString::fromStdU16String(std::u16string(events::CallNameOfEnterLine(view))), enter);
  QCOMPARE(QString::fromStdU16String(std::u16string(events::CallNameOfLeaveLine(view))), leave);
}

void TestTraceEvents::textIsEscapedAsJson_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QByteArray>("json");
  QTest::newRow("quotes and backslash") << QStringLiteral("say \"hi\" \\ bye") << QByteArray(R"(say \"hi\" \\ bye)");
  QTest::newRow("control characters") << QStringLiteral("a\tb\nc\x01\x1f")
                                      << QByteArray(R"(a\u0009b\u000ac\u0001\u001f)");
  QTest::newRow("not ASCII") << QStringLiteral("\u00e9\u65e5\U0001F600\u007f")
                             << QByteArray("\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80\x7f");
  QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u'x' << QByteArray("\xef\xbf\xbdx");
}

void TestTraceEvents::textIsEscapedAsJson() {
  QFETCH(QString, text);
  QFETCH(QByteArray, json);
  std::string out;
  AppendJsonString(std::u16string_view(QStringView(text).utf16(), std::size_t(text.size())), &out);
  QCOMPARE(QByteArray::fromStdString(out), json);
  // And a parser reads the text back (a lone surrogate as U+FFFD).
  const std::string file = Export([&](CCallTraceExport& e) {
    e.NameSender(0, text.toStdU16String());
    e.AddLine(0, 5, text.toStdU16String());
  });
  const QJsonArray events = Events(file);
  QCOMPARE(events.size(), 3);
  QString back = text;
  back.replace(QChar(0xD800), QChar(0xFFFD));
  QCOMPARE(events[0].toObject()[QStringLiteral("args")].toObject()[QStringLiteral("name")].toString(), back);
  QCOMPARE(events[2].toObject()[QStringLiteral("name")].toString(), back);
}

void TestTraceEvents::linesBecomeBalancedEventsPerProcess() {
  // Two senders interleaved, nested and recursive calls, and calls left
  // open by each at the end.
  const std::string file = Export([](CCallTraceExport& e) {
    e.NameSender(0, u"ZEFMON");
    e.NameSender(7, u"app[7]");
    e.AddLine(7, 10, u"Walk() {");
    e.AddLine(0, 11, u"monitor line");
    e.AddLine(7, 12, u"  Walk() {");
    e.AddLine(7, 13, u"  } Walk() (3)", 1);
    e.AddLine(7, 14, u"} else {", 4);
    e.AddLine(0, 15, u"Own() {");
    e.AddLine(7, 16, u"} Walk()", 2);
    e.AddLine(7, 17, u"Open() {");
    e.AddLine(7, 18, u"inside");
  });
  const QJsonArray events = Events(file);
  QVERIFY(Balanced(events));
  QStringList digest = Digest(events);
  // The ends of open calls come last, in no set order between senders.
  std::sort(digest.end() - 2, digest.end());
  QCOMPARE(digest,
           (QStringList{u"M 1 0 process_name=ZEFMON"_s, u"M 1 0 thread_name=ZEFMON"_s, u"M 8 0 process_name=app[7]"_s,
                        u"M 8 0 thread_name=app[7]"_s, u"B 8 10 Walk()"_s, u"i 1 11 monitor line"_s, u"B 8 12 Walk()"_s,
                        u"E 8 13 |} Walk() (3)"_s, u"E 8 14"_s, u"B 8 14 else"_s, u"B 1 15 Own()"_s, u"E 8 16"_s,
                        u"B 8 17 Open()"_s, u"i 8 18 inside"_s, u"E 1 15 (note)"_s, u"E 8 18 (note)"_s}));
}

void TestTraceEvents::callsBegunBeforeTheLinesReachBack() {
  // A selection that starts inside two calls: each leave reaches back as
  // far as its duration, or to the sender's first line when that is
  // earlier; an untimed one is an instant.
  const std::string file = Export([](CCallTraceExport& e) {
    e.AddLine(3, 100, u"step");
    e.AddLine(3, 110, u"} Inner()", 30);
    e.AddLine(3, 120, u"} Outer()", 5);
    e.AddLine(3, 130, u"} Stray()");
  });
  const QJsonArray events = Events(file);
  QVERIFY(Balanced(events));
  QCOMPARE(Digest(events), (QStringList{u"i 4 100 step"_s, u"X 4 80 Inner() (note) dur=30"_s,
                                        u"X 4 100 Outer() (note) dur=20"_s, u"i 4 130 } Stray()"_s}));
}

void TestTraceEvents::failingSinkIsReportedAndStopsWriting() {
  int calls = 0;
  CCallTraceExport out([&calls](std::string_view) {
    ++calls;
    return false;
  });
  for (int i = 0; i < 10000; ++i) out.AddLine(0, i, u"a line long enough to fill a block now and then");
  QVERIFY(!out.Finish());
  QCOMPARE(calls, 1);
}

void TestTraceEvents::bigExportIsHandedOverInBlocks() {
  std::size_t largest = 0;
  std::string file;
  CCallTraceExport out([&](std::string_view bytes) {
    largest = std::max(largest, bytes.size());
    file += bytes;
    return true;
  });
  for (int i = 0; i < 20000; ++i) out.AddLine(1, i, i % 3 == 0 ? u"Call() {" : i % 3 == 1 ? u"text" : u"} Call()", 1);
  QVERIFY(out.Finish());
  QVERIFY(largest < 80 * 1024);
  const QJsonArray events = Events(file);
  QCOMPARE(events.size(), 20001);  // the last call is ended at the end
  QVERIFY(Balanced(events));
}

void TestTraceEvents::commandLineExportsStandardInput() {
  QTemporaryDir dir;
  const QString input = dir.filePath(QStringLiteral("in.txt"));
  const QString output = dir.filePath(QStringLiteral("run.json"));
  QFile in(input);
  QVERIFY(in.open(QIODevice::WriteOnly));
  in.write("build() {\r\ncc \"a.c\"\t\x01\n} build() (0)\ntest {\nno end\xff");
  in.close();
  QProcess cli;
  cli.setStandardInputFile(input);
  cli.start(QStringLiteral(ZEF_CLI), {QStringLiteral("--export-trace"), output});
  QVERIFY(cli.waitForFinished(30000));
  QCOMPARE(cli.exitCode(), 0);
  // The lines still go to standard error.
  QVERIFY(cli.readAllStandardError().startsWith("build() {\r\n"));
  QFile out(output);
  QVERIFY(out.open(QIODevice::ReadOnly));
  const QJsonArray events = Events(out.readAll().toStdString());
  QVERIFY(Balanced(events));
  QStringList digest;
  for (const QString& line : Digest(events)) digest << line.section(u' ', 0, 1) + u' ' + line.section(u' ', 3);
  QCOMPARE(digest.mid(2), (QStringList{u"B 1 build()"_s, u"i 1 cc \"a.c\"\t\x01"_s, u"E 1 |} build() (0)"_s,
                                       u"B 1 test"_s, u"i 1 no end\uFFFD"_s, u"E 1 (note)"_s}));
  QVERIFY(digest[0].startsWith(QStringLiteral("M 1 process_name=zeftrace[")));
}

void TestTraceEvents::commandLineLeavesNoFileWhenItCannotWrite() {
  QTemporaryDir dir;
  const QString output = dir.filePath(QStringLiteral("missing/run.json"));
  QProcess cli;
  cli.setStandardInputFile(QProcess::nullDevice());
  cli.start(QStringLiteral(ZEF_CLI), {QStringLiteral("--export-trace"), output});
  QVERIFY(cli.waitForFinished(30000));
  QCOMPARE(cli.exitCode(), 1);
  QVERIFY(cli.readAllStandardError().contains("cannot write"));
  QVERIFY(!QFile::exists(output));
}

QTEST_GUILESS_MAIN(TestTraceEvents)
#include "tst_traceevents.moc"
