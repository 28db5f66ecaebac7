// The record layout and the two line formats, without a store file: the
// bytes BuildPropertyBuffer lays out, what ValidatePropertyBuffer refuses,
// and the lines FormatRecordLine and FormatDatabaseLine make of them.
#include <zefstore/propbuffer.h>
#include <zefstore/recordline.h>

#include "tests/support/sanitized.h"

#include <QElapsedTimer>
#include <QTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

using namespace zef::store;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(SPropValue)
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes Build(const std::vector<SPropValue>& values) {
  Bytes buffer;
  if (BuildPropertyBuffer(values, &buffer) != 0) return {};
  return buffer;
}

QString Line(const std::vector<SPropValue>& values, int position = 0, int maxLength = 0) {
  const Bytes buffer = Build(values);
  return QString::fromStdU16String(
      FormatRecordLine(buffer.data(), std::uint16_t(values.size()), std::uint32_t(buffer.size()), position, maxLength));
}

// One 16-byte entry: type, number, zero length and flags, then the value.
Bytes Entry(std::uint16_t type, std::uint16_t number, std::initializer_list<std::uint8_t> value) {
  Bytes entry(16, 0);
  entry[0] = std::uint8_t(type), entry[1] = std::uint8_t(type >> 8);
  entry[2] = std::uint8_t(number), entry[3] = std::uint8_t(number >> 8);
  std::size_t at = 8;
  for (std::uint8_t byte : value) entry[at++] = byte;
  return entry;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    for (std::uint8_t byte : part) all.push_back(byte);
  }
  return all;
}

// A record of `entries` strings that all point at one text of `units`
// units after the entries, ended by a zero unit when `ended`.
Bytes SharedText(std::size_t entries, std::size_t units, bool ended) {
  Bytes buffer(entries * 16 + units * 2 + 2, 0);
  const std::uint32_t offset = std::uint32_t(entries * 16);
  for (std::size_t i = 0; i < entries; ++i) {
    buffer[i * 16] = 31;
    std::memcpy(&buffer[i * 16 + 8], &offset, 4);
  }
  for (std::size_t u = 0; u < units + (ended ? 0 : 1); ++u) buffer[offset + 2 * u] = 'x';
  return buffer;
}

struct SCost {
  double dSeconds = -1;
  long nPeakKb = -1;
  std::string strResult;
};

// Runs `work` in a child process, so that its peak memory is its own: the
// time it took, the child's peak resident size, and what `work` returned.
template <class F>
SCost MeasureInChild(F work) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    QElapsedTimer timer;
    timer.start();
    const std::string result = work();
    const std::string report = std::to_string(timer.nsecsElapsed()) + " " + result;
    const bool written = ::write(channel[1], report.data(), report.size()) == ssize_t(report.size());
    ::_exit(written ? 0 : 1);
  }
  ::close(channel[1]);
  std::string report;
  char block[256];
  for (ssize_t n; (n = ::read(channel[0], block, sizeof block)) > 0;) report.append(block, std::size_t(n));
  ::close(channel[0]);
  int status = 0;
  rusage usage{};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return {};
  }
  const std::size_t blank = report.find(' ');
  return {std::stod(report.substr(0, blank)) / 1e9, usage.ru_maxrss, report.substr(blank + 1)};
}

}  // namespace

class TestStoreFormat : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void layoutIsByteExact_data() {
    QTest::addColumn<SPropValue>("value");
    QTest::addColumn<Bytes>("expected");
    SPropValue numbered = SPropValue::UI4(5);
    numbered.nPropNumber = 0x1234;
    QTest::newRow("u4 is one 16-byte entry") << SPropValue::UI4(5) << Entry(19, 0, {5, 0, 0, 0});
    QTest::newRow("property number in bytes 2-3") << numbered << Entry(19, 0x1234, {5, 0, 0, 0});
    QTest::newRow("i2 -5") << SPropValue::I2(-5) << Entry(2, 0, {0xFB, 0xFF});
    QTest::newRow("u2 max") << SPropValue::UI2(65535) << Entry(18, 0, {0xFF, 0xFF});
    QTest::newRow("i4 min") << SPropValue::I4(INT32_MIN) << Entry(3, 0, {0, 0, 0, 0x80});
    QTest::newRow("i8 -2") << SPropValue::I8(-2) << Entry(5, 0, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    QTest::newRow("bool is 32 bits of 1") << SPropValue::Bool(true) << Entry(11, 0, {1, 0, 0, 0});
    QTest::newRow("file time, low half first")
        << SPropValue::FileTime(0x0102030405060708ull) << Entry(64, 0, {8, 7, 6, 5, 4, 3, 2, 1});
    QTest::newRow("string: offset, then UTF-16LE and a zero unit")
        << SPropValue::String(u"aé") << Cat({Entry(31, 0, {16, 0, 0, 0}), {'a', 0, 0xE9, 0, 0, 0}});
    QTest::newRow("empty string is its zero unit")
        << SPropValue::String(u"") << Cat({Entry(31, 0, {16, 0, 0, 0}), {0, 0}});
    QTest::newRow("blob: count, offset, bytes")
        << SPropValue::Blob({0xAB, 0xCD, 0xEF}) << Cat({Entry(65, 0, {3, 0, 0, 0, 16, 0, 0, 0}), {0xAB, 0xCD, 0xEF}});
  }
  void layoutIsByteExact() {
    QFETCH(SPropValue, value);
    QFETCH(Bytes, expected);
    QCOMPARE(Build({value}), expected);
  }

  void stringAfterOddDataStartsEven() {
    // The blob leaves the data at an odd offset; the string is padded to even.
    const Bytes buffer = Build({SPropValue::Blob({1}), SPropValue::String(u"x")});
    QCOMPARE(buffer.size(), std::size_t(32 + 1 + 1 + 4));
    QCOMPARE(int(buffer[16 + 8]), 34);  // the string's offset
    QCOMPARE(int(buffer[32]), 1);
    QCOMPARE(int(buffer[34]), int('x'));
  }

  void buildRefuses_data() {
    QTest::addColumn<SPropValue>("value");
    QTest::addColumn<int>("error");
    SPropValue unknown = SPropValue::UI4(1);
    unknown.eType = static_cast<EPropType>(7);
    QTest::newRow("unknown type") << unknown << EINVAL;
    QTest::newRow("U+0000 in a string") << SPropValue::String(std::u16string(u"a\0b", 3)) << EINVAL;
    QTest::newRow("blob over the record limit") << SPropValue::Blob(Bytes(kMaxRecordSize)) << E2BIG;
  }
  void buildRefuses() {
    QFETCH(SPropValue, value);
    QFETCH(int, error);
    Bytes buffer;
    QCOMPARE(BuildPropertyBuffer({value}, &buffer), error);
  }

  void validateRefusesOutOfBounds_data() {
    QTest::addColumn<Bytes>("buffer");
    QTest::addColumn<int>("count");
    QTest::newRow("count beyond the size") << Entry(19, 0, {}) << 2;
    QTest::newRow("string offset past the end") << Entry(31, 0, {0x00, 0x10}) << 1;
    QTest::newRow("string without zero unit") << Cat({Entry(31, 0, {16}), {'a', 0, 'b'}}) << 1;
    QTest::newRow("string offset at the last byte") << Cat({Entry(31, 0, {17}), {0, 0}}) << 1;
    QTest::newRow("blob longer than the buffer") << Cat({Entry(65, 0, {5, 0, 0, 0, 16}), {1, 2, 3, 4}}) << 1;
    QTest::newRow("blob offset overflowing 32 bits")
        << Cat({Entry(65, 0, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), {1}}) << 1;
  }
  void validateRefusesOutOfBounds() {
    QFETCH(Bytes, buffer);
    QFETCH(int, count);
    QCOMPARE(ValidatePropertyBuffer(buffer.data(), buffer.size(), std::size_t(count)), EILSEQ);
    // The formatter on the same bytes stays inside them (checked by ASan).
    FormatRecordLine(buffer.data(), std::uint16_t(count), std::uint32_t(buffer.size()), 0, 0);
  }

  // Strings and blobs that share bytes would let a small record stand for
  // an unbounded amount of text; apart, in any order, they are sound.
  void validateRefusesSharedData_data() {
    QTest::addColumn<Bytes>("buffer");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("error");
    const Bytes text = {'a', 0, 'b', 0, 0, 0};
    QTest::newRow("two strings on one text") << Cat({Entry(31, 0, {32}), Entry(31, 1, {32}), text}) << 2 << EILSEQ;
    QTest::newRow("a string inside another") << Cat({Entry(31, 0, {32}), Entry(31, 1, {34}), text}) << 2 << EILSEQ;
    QTest::newRow("a blob over a string")
        << Cat({Entry(31, 0, {32}), Entry(65, 1, {2, 0, 0, 0, 32}), text}) << 2 << EILSEQ;
    QTest::newRow("two blobs overlapping")
        << Cat({Entry(65, 0, {4, 0, 0, 0, 32}), Entry(65, 1, {4, 0, 0, 0, 34}), text}) << 2 << EILSEQ;
    QTest::newRow("a string in the entries") << Cat({Entry(31, 0, {12}), text}) << 1 << EILSEQ;
    QTest::newRow("strings apart in reverse order")
        << Cat({Entry(31, 0, {36}), Entry(31, 1, {32}), {'a', 0, 0, 0, 'b', 0, 0, 0}}) << 2 << 0;
    QTest::newRow("empty blobs share an offset")
        << Cat({Entry(65, 0, {0, 0, 0, 0, 32}), Entry(65, 1, {0, 0, 0, 0, 32}), Entry(31, 2, {48}), text}) << 3 << 0;
  }
  void validateRefusesSharedData() {
    QFETCH(Bytes, buffer);
    QFETCH(int, count);
    QFETCH(int, error);
    QCOMPARE(ValidatePropertyBuffer(buffer.data(), buffer.size(), std::size_t(count)), error);
  }

  // A 16 MiB record of 65,535 strings on one text (and one whose text never
  // ends): refused in linear time, and shown to the monitor's cut without
  // building more than the cut.
  void hostileRecordCostsLittle_data() {
    QTest::addColumn<bool>("ended");
    QTest::newRow("shared text") << true;
    QTest::newRow("shared text without an end") << false;
  }
  void hostileRecordCostsLittle() {
    QFETCH(bool, ended);
    const SCost cost = MeasureInChild([ended] {
      const Bytes buffer = SharedText(kMaxProperties, (kMaxRecordSize - kMaxProperties * 16) / 2 - 2, ended);
      const int error = ValidatePropertyBuffer(buffer.data(), buffer.size(), kMaxProperties);
      const std::u16string line =
          FormatRecordLine(buffer.data(), std::uint16_t(kMaxProperties), std::uint32_t(buffer.size()), 0, 1024);
      return std::to_string(error) + " " + std::to_string(line.size()) + " " + std::to_string(line.capacity());
    });
    QCOMPARE(QString::fromStdString(cost.strResult).section(QLatin1Char(' '), 0, 1),
             QStringLiteral("%1 %2").arg(EILSEQ).arg(1024 + 6));
    QVERIFY2(cost.dSeconds < zef::testing::SecondsBound(1), qPrintable(QString::number(cost.dSeconds)));
    if (!zef::testing::kSanitized) QVERIFY2(cost.nPeakKb < 64 * 1024, qPrintable(QString::number(cost.nPeakKb)));
  }

  void validateAcceptsUnknownTypes() {
    const Bytes buffer = Entry(99, 0, {1, 2, 3});
    QCOMPARE(ValidatePropertyBuffer(buffer.data(), buffer.size(), 1), 0);
    QCOMPARE(QString::fromStdU16String(FormatRecordLine(buffer.data(), 1, 16, -1, 0)), QStringLiteral("[1,16] (?)?; "));
  }

  void recordLine_data() {
    QTest::addColumn<std::vector<SPropValue>>("values");
    QTest::addColumn<QString>("line");
    using V = std::vector<SPropValue>;
    QTest::newRow("no properties") << V{} << QStringLiteral("000: [0,0] ");
    QTest::newRow("one u4") << V{SPropValue::UI4(5)} << QStringLiteral("000: [1,16] (uint32)5; ");
    QTest::newRow("i2 negative") << V{SPropValue::I2(-5)} << QStringLiteral("000: [1,16] (int16)-5; ");
    QTest::newRow("u2 with the same bits")
        << V{SPropValue::UI2(65531)} << QStringLiteral("000: [1,16] (uint16)65531; ");
    QTest::newRow("u4 all bits") << V{SPropValue::UI4(UINT32_MAX)}
                                 << QStringLiteral("000: [1,16] (uint32)4294967295; ");
    QTest::newRow("i4 all bits") << V{SPropValue::I4(-1)} << QStringLiteral("000: [1,16] (int32)-1; ");
    QTest::newRow("i8 min") << V{SPropValue::I8(INT64_MIN)}
                            << QStringLiteral("000: [1,16] (int64)-9223372036854775808; ");
    QTest::newRow("bool false") << V{SPropValue::Bool(false)} << QStringLiteral("000: [1,16] (bool)false; ");
    QTest::newRow("time and blob unknown")
        << V{SPropValue::FileTime(1), SPropValue::Blob({1})} << QStringLiteral("000: [2,33] (?)?; (?)?; ");
    QTest::newRow("string with quotes and semicolons")
        << V{SPropValue::String(u"a\"b;c\"; ")} << QStringLiteral("000: [1,34] (wchar *)\"a\"b;c\"; \"; ");
    QTest::newRow("non-ASCII and a surrogate pair")
        << V{SPropValue::String(u"ü😀")} << QString::fromUtf8("000: [1,24] (wchar *)\"ü😀\"; ");
    QTest::newRow("three in buffer order") << V{SPropValue::UI2(5), SPropValue::String(u"abc"), SPropValue::Bool(true)}
                                           << QStringLiteral("000: [3,56] (uint16)5; (wchar *)\"abc\"; (bool)true; ");
  }
  void recordLine() {
    QFETCH(std::vector<SPropValue>, values);
    QFETCH(QString, line);
    QCOMPARE(Line(values), line);
  }

  void boolReadsFourBytes() {
    // A bool whose value is 2, or whose only set bit is in byte 11, is true.
    for (std::uint8_t byte : {8, 11}) {
      Bytes buffer = Entry(11, 0, {});
      buffer[byte] = 2;
      QCOMPARE(QString::fromStdU16String(FormatRecordLine(buffer.data(), 1, 16, -1, 0)),
               QStringLiteral("[1,16] (bool)true; "));
    }
    Bytes high = Entry(11, 0, {});
    high[12] = 1;  // beyond the four bytes read
    QCOMPARE(QString::fromStdU16String(FormatRecordLine(high.data(), 1, 16, -1, 0)),
             QStringLiteral("[1,16] (bool)false; "));
  }

  void prefix_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("line");
    QTest::newRow("7") << 7 << QStringLiteral("007: [0,0] ");
    QTest::newRow("1234 in full") << 1234 << QStringLiteral("1234: [0,0] ");
    QTest::newRow("none") << -1 << QStringLiteral("[0,0] ");
    QTest::newRow("other negative, padded as printf does") << -5 << QStringLiteral("-05: [0,0] ");
    QTest::newRow("0") << 0 << QStringLiteral("000: [0,0] ");
  }
  void prefix() {
    QFETCH(int, position);
    QFETCH(QString, line);
    QCOMPARE(Line({}, position), line);
  }

  void shortening_data() {
    QTest::addColumn<std::vector<SPropValue>>("values");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("line");
    using V = std::vector<SPropValue>;
    const V none, number = {SPropValue::UI4(500)}, unknown = {SPropValue::Blob({})};
    const V text = {SPropValue::String(std::u16string(300, u'x'))};
    QTest::newRow("12 over 10: whole, then ...") << none << 1000 << 10 << QStringLiteral("1000: [0,0] ...");
    QTest::newRow("13 over 10: whole, then ...") << none << 10000 << 10 << QStringLiteral("10000: [0,0] ...");
    QTest::newRow("14 over 10: cut to 13") << none << 100000 << 10 << QStringLiteral("100000: [0,0]...");
    QTest::newRow("20 over 10: cut to 13") << number << -1 << 10 << QStringLiteral("[1,16] (uint3...");
    QTest::newRow("13 at 13: unchanged") << unknown << -1 << 13 << QStringLiteral("[1,16] (?)?; ");
    QTest::newRow("0 never shortens") << text << -1 << 0 << Line(text, -1, 0);
    QTest::newRow("negative never shortens") << text << -1 << -5 << Line(text, -1, 0);
    QTest::newRow("179: 182 units, then ...")
        << text << -1 << 179 << Line(text, -1, 0).left(182) + QStringLiteral("...");
  }
  void shortening() {
    QFETCH(std::vector<SPropValue>, values);
    QFETCH(int, position);
    QFETCH(int, maxLength);
    QFETCH(QString, line);
    QCOMPARE(Line(values, position, maxLength), line);
  }

  void databaseLine_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::uint32_t>("type");
    QTest::addColumn<quint64>("records");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<QString>("line");
    QTest::newRow("example") << "MyData" << 0u << quint64(12) << quint64(5000)
                             << QStringLiteral("\"MyData\" type=0 records=12, size=4 KB");
    QTest::newRow("1023 bytes") << "a" << 0u << quint64(1) << quint64(1023)
                                << QStringLiteral("\"a\" type=0 records=1, size=0 KB");
    QTest::newRow("1024 bytes") << "a" << 0u << quint64(1) << quint64(1024)
                                << QStringLiteral("\"a\" type=0 records=1, size=1 KB");
    QTest::newRow("2047 bytes") << "a" << 0u << quint64(1) << quint64(2047)
                                << QStringLiteral("\"a\" type=0 records=1, size=1 KB");
    QTest::newRow("type 2^31 is negative") << "a" << 2147483648u << quint64(0) << quint64(0)
                                           << QStringLiteral("\"a\" type=-2147483648 records=0, size=0 KB");
    QTest::newRow("type all bits") << "a" << 4294967295u << quint64(0) << quint64(0)
                                   << QStringLiteral("\"a\" type=-1 records=0, size=0 KB");
    QTest::newRow("records above 65535 whole") << "a" << 7u << quint64(70000) << quint64(5ull << 32)
                                               << QStringLiteral("\"a\" type=7 records=70000, size=20971520 KB");
    QTest::newRow("name with a double quote")
        << "My\"Data" << 0u << quint64(0) << quint64(0) << QStringLiteral("\"My\"Data\" type=0 records=0, size=0 KB");
  }
  void databaseLine() {
    QFETCH(QString, name);
    QFETCH(std::uint32_t, type);
    QFETCH(quint64, records);
    QFETCH(quint64, size);
    QFETCH(QString, line);
    QCOMPARE(QString::fromStdU16String(FormatDatabaseLine(name.toStdU16String(), type, records, size)), line);
  }
};

QTEST_APPLESS_MAIN(TestStoreFormat)
#include "tst_store_format.moc"
