// The journal as a source: fields mapped to sender and time, matches, many
// hosts in one directory, where reading starts, following, hostile entries,
// bounded senders and passes, and a journal that cannot be read beside one
// that can. The journal files are made in the test from export text.
#include "sources/journal.h"
#include "tests/support/journalfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>

using namespace Qt::StringLiterals;

using zef::CJournalSenders;
using zef::CJournalSource;
using zef::test::CJournalExport;
using zef::test::JournalFields;

Q_DECLARE_METATYPE(JournalFields)
Q_DECLARE_METATYPE(CJournalSource::SStart)

namespace {

constexpr std::uint32_t kFirstId = 0xFFFF8001u;
constexpr std::int64_t kT0 = 1700000000000000;  // microseconds

struct SGot {
  QString text;
  std::uint32_t id;
  QString label;
  std::int64_t timeUs;
};

// A directory of journal files of the test's own, and what its sources
// handed on.
struct SJournals {
  QTemporaryDir dir;
  std::shared_ptr<CJournalSenders> senders = std::make_shared<CJournalSenders>(kFirstId, 0x7FFE);
  std::vector<SGot> got;
  std::vector<std::unique_ptr<CJournalSource>> sources;

  bool Write(CJournalExport& entries, const QString& name = QStringLiteral("a.journal")) {
    QString error;
    const bool ok = entries.WriteTo(dir.filePath(name), &error);
    if (!ok) qWarning("%s", qPrintable(error));
    return ok;
  }
  // Messages "m0".."m<n-1>" from one unit, a second apart.
  bool WriteNumbered(int from, int n, const QString& name = QStringLiteral("a.journal")) {
    CJournalExport entries;
    for (int i = from; i < from + n; ++i)
      entries.Add(kT0 + i * 1000000LL, {{"MESSAGE", "m" + QByteArray::number(i)}, {"_SYSTEMD_UNIT", "a.service"}});
    return Write(entries, name);
  }
  CJournalSource& Open(const QString& path = {}) {
    sources.push_back(
        std::make_unique<CJournalSource>(path.isEmpty() ? dir.path() : path, senders,
                                         [this](const QString& t, std::uint32_t id, const QString& l, std::int64_t us) {
                                           got.push_back({t, id, l, us});
                                         }));
    return *sources.back();
  }
  QStringList Texts() const {
    QStringList texts;
    for (const SGot& g : got) texts << g.text;
    return texts;
  }
};

#define REQUIRE_JOURNAL_REMOTE()       \
  if (!zef::test::HaveJournalRemote()) \
  QSKIP("systemd-journal-remote (Debian package systemd-journal-remote) makes this test's journals")

}  // namespace

class TestJournal : public QObject {
  Q_OBJECT
 private slots:
  void fieldsNameTheSenderAndTheTime_data();
  void fieldsNameTheSenderAndTheTime();
  void matchesSelectEntries_data();
  void matchesSelectEntries();
  void badMatchIsRefusedWithAReason_data();
  void badMatchIsRefusedWithAReason();
  void manyHostsInOneDirectory();
  void startPositions_data();
  void startPositions();
  void resumesAfterASavedCursor();
  void followsAppendsAndNewFiles();
  void hostileMessages_data();
  void hostileMessages();
  void sendersAreBoundedAndShared();
  void aPassReadsABoundedNumber();
  void unreadableDirectoryBesideAWorkingOne();
};

void TestJournal::fieldsNameTheSenderAndTheTime_data() {
  QTest::addColumn<JournalFields>("fields");
  QTest::addColumn<QString>("label");
  QTest::newRow("unit wins over command")
      << JournalFields{{"_SYSTEMD_UNIT", "foo.service"}, {"_COMM", "foo"}, {"_PID", "12"}, {"_HOSTNAME", "alpha"}}
      << u"foo.service@alpha"_s;
  QTest::newRow("command and process") << JournalFields{{"_COMM", "bash"}, {"_PID", "77"}, {"_HOSTNAME", "beta"}}
                                       << u"bash[77]@beta"_s;
  QTest::newRow("syslog identifier, no host")
      << JournalFields{{"SYSLOG_IDENTIFIER", "cron"}, {"SYSLOG_PID", "5"}} << u"cron[5]"_s;
  QTest::newRow("command beats identifier")
      << JournalFields{{"SYSLOG_IDENTIFIER", "id"}, {"_COMM", "comm"}} << u"comm"_s;
  QTest::newRow("nothing names it") << JournalFields{{"_HOSTNAME", "gamma"}} << "journal@gamma";
  QTest::newRow("overlong host is cut") << JournalFields{{"_COMM", "x"}, {"_HOSTNAME", QByteArray(1000, 'h')}}
                                        << QStringLiteral("x@") + QString(CJournalSource::kMaxLabelField, u'h');
  QTest::newRow("controls in a field cannot act")
      << JournalFields{{"_COMM", "a\tb"}, {"_HOSTNAME", "\x1b[2J\nhost\u202e"}}
      << u"a\uFFFDb@\uFFFD[2J\uFFFDhost\uFFFD"_s;
}

void TestJournal::fieldsNameTheSenderAndTheTime() {
  REQUIRE_JOURNAL_REMOTE();
  QFETCH(JournalFields, fields);
  QFETCH(QString, label);
  SJournals j;
  CJournalExport entries;
  fields.emplace_back("MESSAGE", "hello");
  entries.Add(kT0 + 123, fields);
  QVERIFY(j.Write(entries));
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  QCOMPARE(j.got.size(), 1u);
  QCOMPARE(j.got[0].text, QStringLiteral("hello"));
  QCOMPARE(j.got[0].label, label);
  QCOMPARE(j.got[0].timeUs, kT0 + 123);
  QVERIFY(j.got[0].id >= kFirstId);
}

void TestJournal::matchesSelectEntries_data() {
  QTest::addColumn<QStringList>("words");
  QTest::addColumn<QStringList>("expected");
  QTest::newRow("none") << QStringList{} << QStringList{u"a3"_s, u"a6"_s, u"b2"_s, u"c5"_s, u"a-"_s};
  QTest::newRow("unit") << QStringList{u"_SYSTEMD_UNIT=a.service"_s} << QStringList{u"a3"_s, u"a6"_s, u"a-"_s};
  QTest::newRow("priority range") << QStringList{u"PRIORITY=0..4"_s} << QStringList{u"a3"_s, u"b2"_s};
  QTest::newRow("priority names") << QStringList{u"PRIORITY=err..debug"_s} << QStringList{u"a3"_s, u"a6"_s, u"c5"_s};
  QTest::newRow("two fields AND") << QStringList{u"_SYSTEMD_UNIT=a.service"_s, u"PRIORITY=0..4"_s}
                                  << QStringList{u"a3"_s};
  QTest::newRow("one field OR") << QStringList{u"_SYSTEMD_UNIT=a.service"_s, u"_SYSTEMD_UNIT=b.service"_s}
                                << QStringList{u"a3"_s, u"a6"_s, u"b2"_s, u"a-"_s};
  QTest::newRow("either group") << QStringList{u"_SYSTEMD_UNIT=c.service"_s, u"+"_s, u"PRIORITY=2"_s}
                                << QStringList{u"b2"_s, u"c5"_s};
  QTest::newRow("no such value") << QStringList{u"_SYSTEMD_UNIT=z.service"_s} << QStringList{};
}

void TestJournal::matchesSelectEntries() {
  REQUIRE_JOURNAL_REMOTE();
  QFETCH(QStringList, words);
  QFETCH(QStringList, expected);
  SJournals j;
  CJournalExport entries;
  auto add = [&, t = kT0](const QByteArray& unit, const QByteArray& priority, const QByteArray& text) mutable {
    JournalFields fields{{"_SYSTEMD_UNIT", unit}, {"MESSAGE", text}};
    if (!priority.isEmpty()) fields.emplace_back("PRIORITY", priority);
    entries.Add(t += 1000, fields);
  };
  add("a.service", "3", "a3");
  add("a.service", "6", "a6");
  add("b.service", "2", "b2");
  add("c.service", "5", "c5");
  add("a.service", "", "a-");
  QVERIFY(j.Write(entries));
  QVERIFY(j.Open().Start(words, {CJournalSource::EStart::kAll, 0, {}}));
  QCOMPARE(j.Texts(), expected);
}

void TestJournal::badMatchIsRefusedWithAReason_data() {
  QTest::addColumn<QString>("word");
  QTest::addColumn<QString>("reason");
  QTest::newRow("no =") << u"foo.service"_s << u"is no journal match (FIELD=VALUE"_s;
  QTest::newRow("lower case field") << u"unit=x"_s << u"is no journal match (FIELD=VALUE"_s;
  QTest::newRow("digit first") << u"9ABC=x"_s << u"is no journal match (FIELD=VALUE"_s;
  QTest::newRow("empty field") << u"=x"_s << u"is no journal match (FIELD=VALUE"_s;
  QTest::newRow("field too long") << QString(65, u'A') + u"=x"_s << u"is no journal match (FIELD=VALUE"_s;
  QTest::newRow("priority 8") << u"PRIORITY=8"_s << u"PRIORITY is 0 to 7"_s;
  QTest::newRow("priority reversed") << u"PRIORITY=4..2"_s << u"PRIORITY is 0 to 7"_s;
  QTest::newRow("priority empty") << u"PRIORITY="_s << u"PRIORITY is 0 to 7"_s;
  QTest::newRow("+ first") << u"+"_s << u"stands between two groups"_s;
  QTest::newRow("priority open range") << u"PRIORITY=2.."_s << u"PRIORITY is 0 to 7"_s;
}

void TestJournal::badMatchIsRefusedWithAReason() {
  QFETCH(QString, word);
  QFETCH(QString, reason);
  QList<QByteArray> matches;
  QString error;
  QVERIFY(!CJournalSource::ParseMatches({u"PRIORITY=1"_s, word}, &matches, &error));
  QVERIFY2(error.contains(reason), qPrintable(error));
  // The source says it as its one line and reads nothing.
  SJournals j;
  QVERIFY(!j.Open().Start({word}, {}));
  QCOMPARE(j.got.size(), 1u);
  QVERIFY2(j.got[0].text.contains(reason), qPrintable(j.got[0].text));
  QCOMPARE(j.got[0].label, u"journal:"_s + j.dir.path());
}

void TestJournal::manyHostsInOneDirectory() {
  REQUIRE_JOURNAL_REMOTE();
  SJournals j;
  for (int h = 0; h < 3; ++h) {
    CJournalExport entries;
    const QByteArray host = "host" + QByteArray::number(h);
    for (int i = 0; i < 2; ++i)
      entries.Add(
          kT0 + (i * 3 + h) * 1000,
          {{"MESSAGE", host + "-" + QByteArray::number(i)}, {"_SYSTEMD_UNIT", "app.service"}, {"_HOSTNAME", host}});
    QVERIFY(j.Write(entries, QString::fromLatin1(host + ".journal")));
  }
  QVERIFY(j.Open().Start({u"_HOSTNAME=host0"_s, u"_HOSTNAME=host2"_s}, {CJournalSource::EStart::kAll, 0, {}}));
  // Interleaved by time across the files; one sender per host.
  QCOMPARE(j.Texts(), (QStringList{u"host0-0"_s, u"host2-0"_s, u"host0-1"_s, u"host2-1"_s}));
  QCOMPARE(j.got[0].label, QStringLiteral("app.service@host0"));
  QCOMPARE(j.got[1].label, QStringLiteral("app.service@host2"));
  QCOMPARE(j.got[2].id, j.got[0].id);
  QVERIFY(j.got[1].id != j.got[0].id);
}

void TestJournal::startPositions_data() {
  QTest::addColumn<CJournalSource::SStart>("start");
  QTest::addColumn<QStringList>("expected");
  using E = CJournalSource::EStart;
  QTest::newRow("all") << CJournalSource::SStart{E::kAll, 0, {}} << QStringList{u"m0"_s, u"m1"_s, u"m2"_s, u"m3"_s};
  QTest::newRow("last 2") << CJournalSource::SStart{E::kLast, 2, {}} << QStringList{u"m2"_s, u"m3"_s};
  QTest::newRow("last 10 of 4") << CJournalSource::SStart{E::kLast, 10, {}}
                                << QStringList{u"m0"_s, u"m1"_s, u"m2"_s, u"m3"_s};
  QTest::newRow("last 0") << CJournalSource::SStart{E::kLast, 0, {}} << QStringList{};
  QTest::newRow("now") << CJournalSource::SStart{E::kNow, 0, {}} << QStringList{};
}

void TestJournal::startPositions() {
  REQUIRE_JOURNAL_REMOTE();
  QFETCH(CJournalSource::SStart, start);
  QFETCH(QStringList, expected);
  SJournals j;
  QVERIFY(j.WriteNumbered(0, 4));
  CJournalSource& source = j.Open();
  QVERIFY(source.Start({}, start));
  QCOMPARE(j.Texts(), expected);
  // Then what comes is followed, from any start.
  QVERIFY(j.WriteNumbered(4, 1));
  expected << u"m4"_s;
  QTRY_COMPARE(j.Texts(), expected);
}

void TestJournal::resumesAfterASavedCursor() {
  REQUIRE_JOURNAL_REMOTE();
  SJournals j;
  QVERIFY(j.WriteNumbered(0, 3));
  CJournalSource& first = j.Open();
  QVERIFY(first.Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  const QString cursor = first.Cursor();
  QVERIFY(!cursor.isEmpty());
  j.sources.clear();
  QVERIFY(j.WriteNumbered(3, 2));
  j.got.clear();
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kCursor, 0, cursor}));
  QCOMPARE(j.Texts(), (QStringList{u"m3"_s, u"m4"_s}));
  QVERIFY(j.sources.back()->Cursor() != cursor);
  // A damaged position is said, and reading starts from now.
  j.got.clear();
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kCursor, 0, u"s=nonsense\x1b[2J"_s}));
  QCOMPARE(j.got.size(), 1u);
  QVERIFY2(j.got[0].text.contains(u"cannot be used"_s), qPrintable(j.got[0].text));
  QVERIFY(!j.got[0].text.contains(u'\n'));
}

void TestJournal::followsAppendsAndNewFiles() {
  REQUIRE_JOURNAL_REMOTE();
  SJournals j;
  QVERIFY(j.WriteNumbered(0, 1));
  QVERIFY(j.Open().Start({}, {}));
  QVERIFY(j.got.empty());
  // Neither step calls Pass: the journal's descriptor brings them.
  QVERIFY(j.WriteNumbered(1, 1));
  QTRY_COMPARE(j.Texts(), QStringList{u"m1"_s});
  QVERIFY(j.WriteNumbered(2, 1, QStringLiteral("second.journal")));
  QTRY_COMPARE(j.Texts(), (QStringList{u"m1"_s, u"m2"_s}));
}

void TestJournal::hostileMessages_data() {
  QTest::addColumn<QByteArray>("message");
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<bool>("cut");
  QTest::newRow("escape sequences kept as text")
      << QByteArray("\x1b[31mred\x1b]0;title\x07") << QStringList{u"\x1b[31mred\x1b]0;title\x07"_s} << false;
  QTest::newRow("invalid UTF-8 and NUL") << QByteArray("a\xff\xfe\0b", 5)
                                         << QStringList{QString(u"a\uFFFD\uFFFD"_s) + QChar(0) + u"b"_s} << false;
  QTest::newRow("several lines") << QByteArray("one\r\ntwo\n") << QStringList{u"one"_s, u"two"_s} << false;
  QTest::newRow("a megabyte") << QByteArray(1 << 20, 'x') << QStringList{QString(CJournalSource::kMaxLineBytes, u'x')}
                              << true;
}

void TestJournal::hostileMessages() {
  REQUIRE_JOURNAL_REMOTE();
  QFETCH(QByteArray, message);
  QFETCH(QStringList, lines);
  QFETCH(bool, cut);
  SJournals j;
  CJournalExport entries;
  entries.Add(kT0, {{"MESSAGE", message}, {"_COMM", "evil"}});
  QVERIFY(j.Write(entries));
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  QStringList got = j.Texts();
  if (cut) {
    QCOMPARE(got.size(), 2);
    QVERIFY2(got.takeLast().contains(u"was cut"_s), qPrintable(j.got.back().text));
  }
  QCOMPARE(got, lines);
}

void TestJournal::sendersAreBoundedAndShared() {
  CJournalSenders senders(kFirstId, 3);
  QString a = u"a"_s, b = u"b"_s, c = u"c"_s, d = u"d"_s, again = u"a"_s;
  bool overflow = true;
  QCOMPARE(senders.IdFor(&a, &overflow), kFirstId);
  QVERIFY(!overflow);
  QCOMPARE(senders.IdFor(&b, &overflow), kFirstId + 1);
  QCOMPARE(senders.IdFor(&c, &overflow), kFirstId + 2);
  QVERIFY(overflow);
  QCOMPARE(c, CJournalSenders::SharedLabel());
  QCOMPARE(senders.IdFor(&d, &overflow), kFirstId + 2);
  QVERIFY(!overflow);  // said once
  QCOMPARE(senders.IdFor(&again), kFirstId);
  QCOMPARE(again, QStringLiteral("a"));
  // Long labels run out of room before the ids do.
  CJournalSenders roomy(kFirstId, 100, 10);
  QString shortLabel = u"12345"_s, longLabel = u"123456"_s;
  QCOMPARE(roomy.IdFor(&shortLabel), kFirstId);
  QCOMPARE(roomy.IdFor(&longLabel), kFirstId + 99);
  QCOMPARE(longLabel, CJournalSenders::SharedLabel());

  // Through a journal of more hosts than ids: one notice, the rest shared.
  REQUIRE_JOURNAL_REMOTE();
  SJournals j;
  j.senders = std::make_shared<CJournalSenders>(kFirstId, 3);
  CJournalExport entries;
  for (int h = 0; h < 6; ++h) entries.Add(kT0 + h, {{"MESSAGE", "x"}, {"_HOSTNAME", "h" + QByteArray::number(h)}});
  QVERIFY(j.Write(entries));
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  std::set<std::uint32_t> ids;
  int notices = 0;
  for (const SGot& g : j.got) {
    ids.insert(g.id);
    notices += g.text.contains(u"more than 2 journal senders"_s);
  }
  QCOMPARE(notices, 1);
  QCOMPARE(ids.size(), 3u);
  QCOMPARE(j.got.back().label, CJournalSenders::SharedLabel());
}

void TestJournal::aPassReadsABoundedNumber() {
  REQUIRE_JOURNAL_REMOTE();
  SJournals j;
  const int total = CJournalSource::kMaxPassEntries + 10;
  QVERIFY(j.WriteNumbered(0, total));
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  QCOMPARE(int(j.got.size()), CJournalSource::kMaxPassEntries);
  // The rest comes from a pass queued behind the events.
  QTRY_COMPARE(int(j.got.size()), total);
  QCOMPARE(j.got.back().text, QStringLiteral("m%1").arg(total - 1));
}

void TestJournal::unreadableDirectoryBesideAWorkingOne() {
  REQUIRE_JOURNAL_REMOTE();
  SJournals j;
  QVERIFY(j.WriteNumbered(0, 1));
  const QString missing = j.dir.filePath(QStringLiteral("missing"));
  QVERIFY(!j.Open(missing).Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  QVERIFY(!j.Open(j.dir.filePath(u"a.journal"_s)).Start({}, {}));
  // An empty directory is said and followed: its files may come later.
  const QString empty = j.dir.filePath(u"empty"_s);
  QVERIFY(QDir().mkdir(empty));
  QVERIFY(j.Open(empty).Start({}, {}));
  QVERIFY(j.Open().Start({}, {CJournalSource::EStart::kAll, 0, {}}));
  QCOMPARE(j.Texts(),
           (QStringList{u"journal:"_s + missing + u": cannot be read: No such file or directory"_s,
                        u"journal:"_s + j.dir.filePath(u"a.journal"_s) + u": cannot be read: Not a directory"_s,
                        u"journal:"_s + empty + u": no journal files yet; their entries show once they are written"_s,
                        u"m0"_s}));
  // Each source's own sender, apart from the entries'.
  QCOMPARE(std::set<std::uint32_t>({j.got[0].id, j.got[1].id, j.got[2].id, j.got[3].id}).size(), 4u);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
