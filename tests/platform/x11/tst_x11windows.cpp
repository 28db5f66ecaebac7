// Listing and closing windows of a real X server (a virtual one of the
// test's own), made by a small X client with known titles and classes.
#include "explore/windowlist.h"
#include "platform/x11/x11windows.h"
#include "tests/support/tracecapture.h"
#include "tests/support/xvfb.h"

#include <QProcess>
#include <QTest>

#include <memory>

using namespace zef;
using zef::test::Hex4;
using zef::test::Scoped;

namespace {

// One run of the test client: its window ids in the order it made them.
class CClient {
 public:
  ~CClient() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished();
  }

  bool Start(const QString& display, const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(ZEF_X11CLIENT), arguments);
    for (;;) {
      const QByteArray line = ReadLine();
      if (line.isNull()) return false;
      if (line == "ready") return true;
      m_ids.push_back(line.toUInt(nullptr, 16));
    }
  }

  // The next line it printed, waiting for it; null when it ended first.
  QByteArray ReadLine() {
    while (!m_process.canReadLine())
      if (!m_process.waitForReadyRead(20000)) return {};
    return m_process.readLine().trimmed();
  }

  // Closes its standard input, which ends it, and waits until it has.
  bool Stop() {
    m_process.closeWriteChannel();
    return m_process.waitForFinished(20000);
  }

  std::uint32_t Id(std::size_t index) const { return index < m_ids.size() ? m_ids[index] : 0; }
  QProcess& Process() { return m_process; }

 private:
  QProcess m_process;
  std::vector<std::uint32_t> m_ids;
};

QString Line(std::uint32_t hWnd, const QString& cls, const QString& name) {
  return QStringLiteral("hwnd=%1, class=%2, name='%3'").arg(Hex4(hWnd), cls, name);
}

}  // namespace

class TestX11Windows : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void listsTitlesAndClassesOfMappedWindowsInServerOrder();
  void wmNameServesWhenThereIsNoNetWmName();
  void aManagersClientListIsTheList();
  void aClientListLeftByAManagerThatExitedIsIgnored();
  void titlesAreDecodedAndShownNotObeyed_data();
  void titlesAreDecodedAndShownNotObeyed();
  void classShowsWhateverTheInstanceLength_data();
  void classShowsWhateverTheInstanceLength();
  void closeAsksAWindowThatTakesPartInDeleteWindow();
  void closeGoesThroughTheManagerOtherwise();
  void closeWithNeitherGivesTheFailureLine();
  void vanishedWindowGivesTheFailureLine();
  void noServerGivesTheFailureLines();

 private:
  std::unique_ptr<CX11Windows> Connect() {
    return std::make_unique<CX11Windows>(QFile::encodeName(m_xvfb.Display()).constData());
  }
  // The middle lines of a listing that name one of `ids`.
  QStringList LinesOf(const QStringList& lines, const std::vector<std::uint32_t>& ids);

  test::CTraceCapture m_trace;
  test::CXvfb m_xvfb;
};

void TestX11Windows::initTestCase() {
  QString why;
  if (!m_xvfb.Start(&why)) QFAIL(qPrintable(why));
}

QStringList TestX11Windows::LinesOf(const QStringList& lines, const std::vector<std::uint32_t>& ids) {
  QStringList found;
  for (const QString& line : lines)
    for (std::uint32_t id : ids)
      if (line.startsWith(QStringLiteral("hwnd=%1,").arg(Hex4(id)))) found << line;
  return found;
}

void TestX11Windows::listsTitlesAndClassesOfMappedWindowsInServerOrder() {
  const QString hundred = QStringLiteral("0123456789").repeated(10);
  const QString emoji = QString(85, u'a') + QString::fromUtf16(u"\U0001F600");
  CClient client;
  QVERIFY(client.Start(m_xvfb.Display(), {QStringLiteral("--unmapped"), QStringLiteral("ZefTest"),
                                          QStringLiteral("Hello ZEF"), QStringLiteral("ZefTest"), QString(),
                                          QStringLiteral("ZefTest"), hundred, QStringLiteral("Zef{Brace}"),
                                          QStringLiteral("Grüße aus Köln"), QStringLiteral("ZefTest"), emoji}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_EnumWindows(*x);
  const QStringList lines = m_trace.Take();
  QCOMPARE(lines.first(), QStringLiteral("ZEFMON_EnumWindows() {"));
  QCOMPARE(lines.last(), QStringLiteral("} ZEFMON_EnumWindows()"));
  QCOMPARE(WindowLines, lines.mid(1, lines.size() - 2));
  // The unmapped sixth window is not listed; the others in the order mapped.
  QCOMPARE(LinesOf(lines, {client.Id(0), client.Id(1), client.Id(2), client.Id(3), client.Id(4), client.Id(5)}),
           (QStringList{
               Line(client.Id(0), QStringLiteral("ZefTest"), QStringLiteral("Hello ZEF")),
               Line(client.Id(1), QStringLiteral("ZefTest"), QString()),
               Line(client.Id(2), QStringLiteral("ZefTest"), hundred.left(86)),
               Line(client.Id(3), QStringLiteral("Zef{Brace}"), QStringLiteral("Grüße aus Köln")),
               // The pair that would straddle the 86th unit is dropped whole.
               Line(client.Id(4), QStringLiteral("ZefTest"), QString(85, u'a')),
           }));
}

void TestX11Windows::wmNameServesWhenThereIsNoNetWmName() {
  CClient client;
  QVERIFY(client.Start(m_xvfb.Display(),
                       {QStringLiteral("--wm-name"), QStringLiteral("ZefLatin"), QStringLiteral("Plain name")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_EnumWindows(*x);
  QCOMPARE(LinesOf(m_trace.Take(), {client.Id(0)}),
           QStringList{Line(client.Id(0), QStringLiteral("ZefLatin"), QStringLiteral("Plain name"))});
}

void TestX11Windows::aManagersClientListIsTheList() {
  CClient manager;
  QVERIFY(manager.Start(m_xvfb.Display(),
                        {QStringLiteral("--fake-wm"), QStringLiteral("--unmapped"), QStringLiteral("ZefWm"),
                         QStringLiteral("one"), QStringLiteral("ZefWm"), QStringLiteral("two")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_EnumWindows(*x);
  // Exactly the list, in its order, unmapped windows included.
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_EnumWindows()",
                                  {
                                      Line(manager.Id(2), QStringLiteral("ZefTest"), QStringLiteral("unmapped")),
                                      Line(manager.Id(1), QStringLiteral("ZefWm"), QStringLiteral("two")),
                                      Line(manager.Id(0), QStringLiteral("ZefWm"), QStringLiteral("one")),
                                  }));
  QVERIFY(manager.Stop());
}

void TestX11Windows::aClientListLeftByAManagerThatExitedIsIgnored() {
  CClient leftovers;
  QVERIFY(leftovers.Start(m_xvfb.Display(), {QStringLiteral("--stale-list")}));
  CClient later;
  QVERIFY(later.Start(m_xvfb.Display(), {QStringLiteral("ZefLater"), QStringLiteral("mapped later")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_EnumWindows(*x);
  QCOMPARE(LinesOf(m_trace.Take(), {later.Id(0)}),
           QStringList{Line(later.Id(0), QStringLiteral("ZefLater"), QStringLiteral("mapped later"))});
  QVERIFY(leftovers.Stop());
}

void TestX11Windows::titlesAreDecodedAndShownNotObeyed_data() {
  QTest::addColumn<QString>("how");  // how the client sets the title
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("shown");
  const QString utf8 = QStringLiteral("--utf8");
  const QString compound = QStringLiteral("--compound");
  QTest::newRow("terminal sequences") << utf8 << QStringLiteral("\x1b]0;PWNED\a\x1b[31mred\nhwnd=0x0001")
                                      << QString::fromUtf16(u"\ufffd]0;PWNED\ufffd\ufffd[31mred\ufffdhwnd=0x0001");
  QTest::newRow("bidi and invisible format characters")
      << utf8 << QString::fromUtf16(u"a\u202eb\u200ec\u200fd\u061ce\ufeff")
      << QString::fromUtf16(u"a\ufffdb\ufffdc\ufffdd\ufffde\ufffd");
  QTest::newRow("compound: Latin-1 by default")
      << compound << QStringLiteral("caf\\xe9 \\xbb1\\xab") << QString::fromUtf16(u"caf\u00e9 \u00bb1\u00ab");
  QTest::newRow("compound: UTF-8 segment")
      << compound << QStringLiteral("a\\x1b%G\\xe2\\x82\\xac\\xf0\\x9f\\x98\\x80\\x1b%@\\xe9")
      << QString::fromUtf16(u"a\u20ac\U0001F600\u00e9");
  QTest::newRow("compound: sets designated again")
      << compound << QStringLiteral("\\x1b(B\\x1b-A\\xe9t\\xe9") << QString::fromUtf16(u"\u00e9t\u00e9");
  QTest::newRow("compound: a multi-byte set is one U+FFFD a run")
      << compound << QStringLiteral("x\\x1b$(B") + QStringLiteral("0!").repeated(60) + QStringLiteral(" 0\"\\x1b(By")
      << QString::fromUtf16(u"x\ufffd \ufffdy");
  QTest::newRow("compound: another 96-set")
      << compound << QStringLiteral("a\\x1b-B\\xe9\\xb1\\x1b-Ab\\xe9") << QString::fromUtf16(u"a\ufffdb\u00e9");
  QTest::newRow("compound: extended segment")
      << compound << QStringLiteral("a\\x1b%/1\\x80\\x89big5-0\\x02\\xa4\\xa4b") << QString::fromUtf16(u"a\ufffdb");
  QTest::newRow("compound: direction changes left out")
      << compound << QStringLiteral("\\x9b2]abc\\x9b]") << QStringLiteral("abc");
  QTest::newRow("compound: controls shown, sequence cut short ends it")
      << compound << QStringLiteral("ok\\x07\\x1b$") << QString::fromUtf16(u"ok\ufffd");
}

void TestX11Windows::titlesAreDecodedAndShownNotObeyed() {
  QFETCH(QString, how);
  QFETCH(QString, title);
  QFETCH(QString, shown);
  QStringList arguments{QStringLiteral("ZefTitle"), title};
  if (how != QStringLiteral("--utf8")) arguments.prepend(how);
  CClient client;
  QVERIFY(client.Start(m_xvfb.Display(), arguments));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_EnumWindows(*x);
  QCOMPARE(LinesOf(m_trace.Take(), {client.Id(0)}), QStringList{Line(client.Id(0), QStringLiteral("ZefTitle"), shown)});
}

void TestX11Windows::classShowsWhateverTheInstanceLength_data() {
  QTest::addColumn<int>("instance");
  QTest::addColumn<QString>("cls");
  QTest::addColumn<QString>("shown");
  const QString name = QStringLiteral("ZefLongInstance");
  QTest::newRow("class across the first read's end") << 4090 << name << name;
  QTest::newRow("class just after the first read") << 4095 << name << name;
  QTest::newRow("instance filling the first read") << 4096 << name << name;
  QTest::newRow("huge instance") << 300000 << name << name;
  QTest::newRow("huge class after a short instance") << 10 << QString(6000, u'C') << QString(86, u'C');
  QTest::newRow("long class after a long instance") << 8000 << QString(300, u'C') << QString(86, u'C');
  QTest::newRow("class with controls") << 5000 << QStringLiteral("Zef\x1b[2J") << QString::fromUtf16(u"Zef\ufffd[2J");
}

void TestX11Windows::classShowsWhateverTheInstanceLength() {
  QFETCH(int, instance);
  QFETCH(QString, cls);
  QFETCH(QString, shown);
  CClient client;
  QVERIFY(client.Start(m_xvfb.Display(), {QStringLiteral("--instance"), QString::number(instance), cls,
                                          QStringLiteral("long instance")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_EnumWindows(*x);
  QCOMPARE(LinesOf(m_trace.Take(), {client.Id(0)}),
           QStringList{Line(client.Id(0), shown, QStringLiteral("long instance"))});
}

void TestX11Windows::closeAsksAWindowThatTakesPartInDeleteWindow() {
  CClient client;
  QVERIFY(client.Start(m_xvfb.Display(), {QStringLiteral("ZefTest"), QStringLiteral("close me")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_CloseWindow(*x, client.Id(0));
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_CloseWindow()", {}));
  QCOMPARE(client.ReadLine(), QByteArray("closed 0x") + QByteArray::number(client.Id(0), 16));
  QVERIFY(client.Process().waitForFinished(20000));
  QCOMPARE(client.Process().exitCode(), 0);
}

void TestX11Windows::closeGoesThroughTheManagerOtherwise() {
  CClient stubborn;
  QVERIFY(stubborn.Start(m_xvfb.Display(),
                         {QStringLiteral("--no-delete"), QStringLiteral("ZefTest"), QStringLiteral("stubborn")}));
  CClient manager;
  QVERIFY(manager.Start(m_xvfb.Display(), {QStringLiteral("--fake-wm")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_CloseWindow(*x, stubborn.Id(0));
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_CloseWindow()", {}));
  QCOMPARE(manager.ReadLine(), QByteArray("net-close 0x") + QByteArray::number(stubborn.Id(0), 16));
  QVERIFY(manager.Stop());
  // The manager decides; this one did nothing, so the window is still there.
  QVERIFY(x->IsWindow(stubborn.Id(0)));
}

void TestX11Windows::closeWithNeitherGivesTheFailureLine() {
  CClient stubborn;
  QVERIFY(stubborn.Start(m_xvfb.Display(),
                         {QStringLiteral("--no-delete"), QStringLiteral("ZefTest"), QStringLiteral("stubborn")}));
  const auto x = Connect();
  m_trace.Take();
  ZEFMON_CloseWindow(*x, stubborn.Id(0));
  // No request could be sent: ENOTSUP.
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_CloseWindow()", {QStringLiteral("Failed to close window. HRESULT: 0x005f")}));
  QVERIFY(x->IsWindow(stubborn.Id(0)));
  QCOMPARE(stubborn.Process().state(), QProcess::Running);
}

void TestX11Windows::vanishedWindowGivesTheFailureLine() {
  CClient client;
  QVERIFY(client.Start(m_xvfb.Display(), {QStringLiteral("ZefTest"), QStringLiteral("short-lived")}));
  const std::uint32_t gone = client.Id(0);
  QVERIFY(client.Stop());
  const auto x = Connect();
  // The server destroys a client's windows once it has seen it leave.
  QTRY_VERIFY(!x->IsWindow(gone));
  for (const std::uint32_t hWnd : {gone, 0u}) {
    m_trace.Take();
    ZEFMON_CloseWindow(*x, hWnd);
    QCOMPARE(m_trace.Take(),
             Scoped("ZEFMON_CloseWindow()", {QStringLiteral("Failed to close window. HRESULT: 0x0006")}));
  }
}

void TestX11Windows::noServerGivesTheFailureLines() {
  CX11Windows nowhere(":65000");
  QVERIFY(!nowhere.IsConnected());
  m_trace.Take();
  ZEFMON_EnumWindows(nowhere);
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_EnumWindows()", {QStringLiteral("Failed to enum windows. HRESULT: 0x006f")}));
  ZEFMON_CloseWindow(nowhere, 0x400001);
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_CloseWindow()", {QStringLiteral("Failed to close window. HRESULT: 0x006f")}));
  CX11Windows unparsable("no display here");
  ZEFMON_EnumWindows(unparsable);
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_EnumWindows()", {QStringLiteral("Failed to enum windows. HRESULT: 0x0016")}));
}

QTEST_GUILESS_MAIN(TestX11Windows)
#include "tst_x11windows.moc"
