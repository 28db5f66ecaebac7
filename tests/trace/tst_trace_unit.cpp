// The emitter inside one process: line forms, the three-message hand-over,
// PrintF formatting and text conversions, through the tests' trace capture.
#include "tests/support/tracecapture.h"

#include <zeftrace/trace.h>
#include <zeftrace/windowhost.h>
#include <zeftrace/zeftrace.h>

#include <QStringList>
#include <QTemporaryFile>
#include <QTest>

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <thread>

namespace {

using SMessage = zef::test::CTraceCapture::SMessage;
constexpr zef::HWND kMonitor = zef::test::CTraceCapture::kMonitor;
constexpr zef::HWND kBuffer = zef::test::CTraceCapture::kBuffer;

// What one line traced with `mode` writes to standard error.
QByteArray MirrorOf(zef::ETraceMirror mode, std::u16string_view line) {
  QTemporaryFile file;
  if (!file.open()) return "cannot make a temporary file";
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(file.handle(), STDERR_FILENO);
  zef::SetTraceMirror(mode);
  zef::TraceLine(line);
  zef::SetTraceMirror(zef::ETraceMirror::kOff);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  file.seek(0);
  return file.readAll();
}

}  // namespace

class TestTraceEmitter : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    // A window procedure that traces while handling a line.
    m_host.OnLine([](const QString& line) {
      if (line == QStringLiteral("trigger")) zef::TraceLine("traced by the handler");
    });
  }
  void init() { m_host.Clear(); }

  void handOverIsThreeMessagesInOrder() {
    zef::TraceLine("hello");
    QCOMPARE(m_host.Messages().size(), size_t(3));
    const SMessage& set = m_host.Messages()[0];
    const SMessage& command = m_host.Messages()[1];
    const SMessage& reset = m_host.Messages()[2];
    QCOMPARE(set.hWindow, kBuffer);
    QCOMPARE(set.nMessage, std::uint32_t(zef::WM_SETTEXT));
    QCOMPARE(set.strText, QStringLiteral("hello"));
    QCOMPARE(command.hWindow, kMonitor);
    QCOMPARE(command.nMessage, std::uint32_t(zef::WM_COMMAND));
    QCOMPARE(command.nWParam, zef::WPARAM(32779));
    QCOMPARE(reset.hWindow, kBuffer);
    QCOMPARE(reset.strText, QStringLiteral("{QRBDBGLOG}"));
    zef::TraceLine("again");
    QCOMPARE(m_host.Lookups(), 1);  // looked up once, at the first line
  }

  void scopeWritesEnterAndLeaveLines_data() {
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("leave");
    QTest::newRow("no result") << QString() << QStringLiteral("} Foo()");
    QTest::newRow("result 0") << QStringLiteral("0") << QStringLiteral("} Foo() (0)");
    QTest::newRow("result set empty") << QStringLiteral("") << QStringLiteral("} Foo()");
    QTest::newRow("result text") << QStringLiteral("not found") << QStringLiteral("} Foo() (not found)");
  }
  void scopeWritesEnterAndLeaveLines() {
    QFETCH(QString, result);
    QFETCH(QString, leave);
    {
      zef::CTraceScope scope(u"Foo()");
      scope.Print("inside");
      if (!result.isNull()) scope.SetResult(result.toStdU16String());
    }
    QCOMPARE(m_host.Lines(), (QStringList{QStringLiteral("Foo() {"), QStringLiteral("inside"), leave}));
  }

  void printFFormatsOneValueByItsType_data() {
    using zef::detail::FormatOne;
    using zef::detail::MakeFormatValue;
    auto f = [](std::string_view format, const auto& value) {
      return QString::fromStdString(FormatOne(format, MakeFormatValue(value)));
    };
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    QTest::newRow("last error") << f("last error: 0x%04x", 5) << QStringLiteral("last error: 0x0005");
    QTest::newRow("negative int as hex keeps 32 bits") << f("%x", -1) << QStringLiteral("ffffffff");
    QTest::newRow("negative short as hex keeps 16 bits") << f("%X", short(-2)) << QStringLiteral("FFFE");
    QTest::newRow("int64 max") << f("%lld", LLONG_MAX) << QStringLiteral("9223372036854775807");
    QTest::newRow("uint64 max with %d") << f("%d", ULLONG_MAX) << QStringLiteral("18446744073709551615");
    QTest::newRow("length modifier ignored") << f("%ld items", 7) << QStringLiteral("7 items");
    QTest::newRow("width and flags") << f("[%-5d]", 42) << QStringLiteral("[42   ]");
    QTest::newRow("percent escape") << f("%d%%", 7) << QStringLiteral("7%");
    QTest::newRow("float precision") << f("%5.1f", 3.14159) << QStringLiteral("  3.1");
    QTest::newRow("string") << f("name=%s", "abc") << QStringLiteral("name=abc");
    QTest::newRow("utf16 string") << f("%s", std::u16string(u"\u00e4\u00f6")) << QStringLiteral("\u00e4\u00f6");
    QTest::newRow("int given to %s") << f("%s", 42) << QStringLiteral("42");
    QTest::newRow("string given to %d") << f("%d", "x") << QStringLiteral("x");
    QTest::newRow("second conversion kept as text") << f("%d and %d", 1) << QStringLiteral("1 and %d");
    QTest::newRow("star width kept as text") << f("%*d", 1) << QStringLiteral("%*d");
    QTest::newRow("no conversion") << f("plain", 5) << QStringLiteral("plain");
    QTest::newRow("trailing percent") << f("50%", 5) << QStringLiteral("50%");
    QTest::newRow("char") << f("%c", 'A') << QStringLiteral("A");
    QTest::newRow("char beyond ASCII is Latin-1 in UTF-8") << f("%c", '\xe4') << QString::fromUtf16(u"\u00e4");
    QTest::newRow("char16_t") << f("[%c]", u'\u20ac') << QString::fromUtf16(u"[\u20ac]");
    QTest::newRow("char32_t astral") << f("%c", U'\U0001F600') << QString::fromUtf16(u"\U0001F600");
    QTest::newRow("int code point") << f("%c", 0xe9) << QString::fromUtf16(u"\u00e9");
    QTest::newRow("not a character") << f("%c", -1) << QString::fromUtf16(u"\uFFFD");
    QTest::newRow("lone surrogate") << f("%c", char16_t(0xD800)) << QString::fromUtf16(u"\uFFFD");
    QTest::newRow("character width counts characters")
        << f("[%3c|%-2c]", '\xe4') << QString::fromUtf16(u"[  \u00e4|%-2c]");
    const char* none = nullptr;
    const char16_t* none16 = nullptr;
    const wchar_t* noneWide = nullptr;
    QTest::newRow("null string") << f("name=%s", none) << QStringLiteral("name=(null)");
    QTest::newRow("null UTF-16 string") << f("%s", none16) << QStringLiteral("(null)");
    QTest::newRow("null wide string") << f("%s", noneWide) << QStringLiteral("(null)");
    QTest::newRow("nullptr") << f("%s", nullptr) << QStringLiteral("(null)");
    QTest::newRow("null string, width kept") << f("[%8s]", none) << QStringLiteral("[  (null)]");
    QTest::newRow("bool") << f("%d", true) << QStringLiteral("1");
  }
  void printFFormatsOneValueByItsType() {
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
  }

  void scopePrintFTakesEveryFormatEncoding() {
    {
      zef::CTraceScope scope("P()");
      scope.PrintF("a%d", 1);
      scope.PrintF(u"b%d", 2);
      scope.PrintF(L"c%d", 3);
    }
    QCOMPARE(m_host.Lines(), (QStringList{QStringLiteral("P() {"), QStringLiteral("a1"), QStringLiteral("b2"),
                                          QStringLiteral("c3"), QStringLiteral("} P()")}));
  }

  void textIsConvertedToUtf16_data() {
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("expected");
    QTest::newRow("utf8 astral") << 0 << QString::fromUtf16(u"x\U0001F600y");
    QTest::newRow("wide astral") << 1 << QString::fromUtf16(u"x\U0001F600y");
    QTest::newRow("invalid utf8 byte") << 2 << QString::fromUtf16(u"a\uFFFDb");
    QTest::newRow("truncated utf8 sequence") << 3 << QString::fromUtf16(u"a\uFFFD");
    QTest::newRow("overlong utf8") << 4 << QString::fromUtf16(u"\uFFFD\uFFFD");
    QTest::newRow("char8_t literal") << 5 << QString::fromUtf16(u"\u00e4");
  }
  void textIsConvertedToUtf16() {
    QFETCH(int, encoding);
    QFETCH(QString, expected);
    switch (encoding) {
      case 0:
        zef::TraceLine("x\xf0\x9f\x98\x80y");
        break;
      case 1:
        zef::TraceLine(L"x\U0001F600y");
        break;
      case 2:
        zef::TraceLine(
            "a\xff"
            "b");
        break;
      case 3:
        zef::TraceLine("a\xe2\x82");
        break;
      case 4:
        zef::TraceLine("\xc0\xaf");
        break;
      case 5:
        zef::TraceLine(u8"\u00e4");
        break;
    }
    QCOMPARE(m_host.Lines(), QStringList{expected});
  }

  void lineTracedByAHandlerWaitsForTheHandOver() {
    zef::TraceLine("trigger");
    QCOMPARE(m_host.Lines(), (QStringList{QStringLiteral("trigger"), QStringLiteral("traced by the handler")}));
    QCOMPARE(m_host.Messages().size(), size_t(6));
    QCOMPARE(m_host.Messages()[2].strText, QStringLiteral("{QRBDBGLOG}"));  // first hand-over whole
  }

  void cApiWritesTheSameLines() {
    zef_trace_scope* scope = zef_trace_scope_begin("c()");
    zef_trace_scope_printf(scope, "%s=%d", "n", 3);
    zef_trace_scope_set_result(scope, "ok");
    zef_trace_scope_end(scope);
    zef_trace_scope_print(nullptr, "ignored");
    QCOMPARE(m_host.Lines(),
             (QStringList{QStringLiteral("c() {"), QStringLiteral("n=3"), QStringLiteral("} c() (ok)")}));
    QCOMPARE(zef_trace_monitor_found(), 1);
  }

  void nullStringsAreEmptyLinesNotCrashes() {
    const char* none = nullptr;
    const char16_t* none16 = nullptr;
    const wchar_t* noneWide = nullptr;
    zef::TraceLine(none);
    zef::TraceLine(none16);
    zef::TraceLine(noneWide);
    {
      zef::CTraceScope scope(none);
      scope.Print(none16);
      scope.PrintF(none, 5);
      scope.SetResult(noneWide);
    }
    QCOMPARE(m_host.Lines(), (QStringList{QString(), QString(), QString(), QStringLiteral(" {"), QString(), QString(),
                                          QStringLiteral("} ")}));
  }

  void cApiPrintfConvertsLikePrintf_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    auto c = [this](const char* format, auto... args) {
      m_host.Clear();
      zef_trace_scope* scope = zef_trace_scope_begin("s()");
      zef_trace_scope_printf(scope, format, args...);
      zef_trace_scope_end(scope);
      return m_host.Lines().value(1);
    };
    // Nulls unseen by the compiler's format check.
    const char* volatile none = nullptr;
    const wchar_t* volatile noneWide = nullptr;
    QTest::newRow("several conversions") << c("%s=%d, %u%%", "n", -3, 7u) << QStringLiteral("n=-3, 7%");
    QTest::newRow("null string") << c("[%s]", static_cast<const char*>(none)) << QStringLiteral("[(null)]");
    QTest::newRow("null wide string") << c("[%ls]", static_cast<const wchar_t*>(noneWide))
                                      << QStringLiteral("[(null)]");
    QTest::newRow("char beyond ASCII") << c("%c", 0xe4) << QString::fromUtf16(u"\u00e4");
    QTest::newRow("signed char promoted")
        << c("%c", static_cast<int>(static_cast<signed char>(-28))) << QString::fromUtf16(u"\u00e4");
    QTest::newRow("wide char") << c("%lc", static_cast<wint_t>(0x20ac)) << QString::fromUtf16(u"\u20ac");
    QTest::newRow("wide string") << c("%ls", L"\u00fc\U0001F600") << QString::fromUtf16(u"\u00fc\U0001F600");
    QTest::newRow("star width and precision") << c("[%*.*f]", 7, 2, 3.14159) << QStringLiteral("[   3.14]");
    QTest::newRow("negative star width") << c("[%-*d]", -4, 5) << QStringLiteral("[5   ]");
    QTest::newRow("length modifiers") << c("%hhd %hd %ld %lld %zu %jd", 300, 70000, -5L, 1LL << 40, size_t(9),
                                           intmax_t(-1))
                                      << QStringLiteral("44 4464 -5 1099511627776 9 -1");
    QTest::newRow("hex of a negative int") << c("%x", -1) << QStringLiteral("ffffffff");
    QTest::newRow("long double") << c("%.1Lf", 2.25L) << QStringLiteral("2.2");
    QTest::newRow("pointer") << c("%p", static_cast<void*>(nullptr)) << QStringLiteral("(nil)");
    QTest::newRow("positional arguments") << c("%2$s %1$s", "b", "a") << QStringLiteral("a b");
    int written = 0;
    QTest::newRow("%n reads its argument, writes nothing") << c("a%nb%d", &written, 5) << QStringLiteral("ab5");
    QTest::newRow("negative star precision is absent") << c("[%.*f]", -1, 1.5) << QStringLiteral("[1.500000]");
    QTest::newRow("lone percent at the end") << c("100%") << QStringLiteral("100%");
    QTest::newRow("unknown conversion keeps the rest") << c("%d %y %d", 1, 2) << QStringLiteral("1 %y %d");
  }
  void cApiPrintfConvertsLikePrintf() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(line, expected);
  }

  void otherThreadDoesNotCallTheLocalHost() {
    // The host's windows belong to the thread that registered it.
    std::thread([] { zef::TraceLine("from a worker"); }).join();
    QVERIFY(m_host.Messages().empty());
  }

  void mirrorWritesControlsAsEscapesOnlyWhenAsked_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("title and colour sequence")
        << QStringLiteral("\x1b]0;PWNED\a\x1b[31mred") << QByteArray("\\e]0;PWNED\\a\\e[31mred\n");
    QTest::newRow("forged line") << QStringLiteral("a\r\nhwnd=0x0001, class=X")
                                 << QByteArray("a\\r\\nhwnd=0x0001, class=X\n");
    QTest::newRow("other C0, DEL, C1") << QString::fromUtf16(u"\x01\x7f\x9b\x85.")
                                       << QByteArray("\\x01\\x7f\\u009b\\u0085.\n");
    QTest::newRow("backslash doubled, tab kept") << QStringLiteral("C:\\e\tx") << QByteArray("C:\\\\e\tx\n");
    QTest::newRow("text beyond ASCII kept") << QString::fromUtf16(u"Gr\u00fc\u00dfe \U0001F600")
                                            << QByteArray(
                                                   "Gr\xc3\xbc\xc3\x9f"
                                                   "e \xf0\x9f\x98\x80\n");
  }
  void mirrorWritesControlsAsEscapesOnlyWhenAsked() {
    QFETCH(QString, line);
    QFETCH(QByteArray, escaped);
    const std::u16string text = line.toStdU16String();
    QCOMPARE(MirrorOf(zef::ETraceMirror::kEscaped, text), escaped);
    // Other programs' copies stay as their authors wrote them.
    QCOMPARE(MirrorOf(zef::ETraceMirror::kOn, text), line.toUtf8() + '\n');
    QCOMPARE(MirrorOf(zef::ETraceMirror::kOff, text), QByteArray());
  }

  void unregisteredHostGetsNothing() {
    zef::SetLocalWindowHost(nullptr);
    zef::TraceLine("after shutdown");
    zef::SetLocalWindowHost(&m_host);
    QVERIFY(m_host.Messages().empty());
  }

 private:
  zef::test::CTraceCapture m_host;
};

QTEST_APPLESS_MAIN(TestTraceEmitter)
#include "tst_trace_unit.moc"
