// The line store's sealed segments, kept compressed: every read gives back
// exactly what was stored, through the cache's evictions and from several
// threads at once; searches agree with the plain texts; inserts, drops and
// Clear keep lines, marks and memory right.
#include <QtTest>

#include <atomic>
#include <thread>

#include "platform/listbox/linestore.h"

using zef::CLineStore;
using zef::SLineStamp;

namespace {

constexpr std::int64_t kNow = 1718000000LL * 1000000;

struct ModelLine {
  QString text;
  int depth;
  SLineStamp stamp;
  bool marked;
  QString Shown() const { return QStringLiteral(". ").repeated(depth) + text; }
};

// Segments of long lines, several times what the cache keeps: Latin-1 and
// UTF-16 texts, empty lines, depths, stamps whose senders and spans need
// more than a byte now and then, and marks.
std::vector<ModelLine> Fill(CLineStore& store, int segments = 12) {
  store.SetIndent(u". ");
  std::vector<ModelLine> model;
  for (int i = 0; i < segments * CLineStore::kSegmentLines; ++i) {
    QString text = QStringLiteral("ZEFMON_Call%1() returned %2 ").arg(i % 50).arg(i) + QString(i % 200, u'x');
    if (i % 9 == 0) text = QStringLiteral("\u20ac%1 ").arg(i) + QStringLiteral("\u4e2dz").repeated(100);
    if (i % 9 == 4) text = QStringLiteral("caf\u00e9 \u00ff\u00b5 %1 ").arg(i) + QStringLiteral("abc ").repeated(60);
    if (i % 97 == 0) text.clear();
    const SLineStamp stamp{kNow + i * 37LL, i % 7 == 0 ? 1u << 20 : std::uint32_t(i % 4), i % 3 == 0 ? i * 1000LL : -1};
    store.Append(text, i % 5, stamp);
    model.push_back({text, i % 5, stamp, i % 13 == 0});
    if (i % 13 == 0) store.SetSelected(i, true);
  }
  return model;
}

// Whether line `i` reads back as the model has it, by every read.
bool ReadsBack(const CLineStore& store, const std::vector<ModelLine>& model, int i) {
  const ModelLine& m = model[std::size_t(i)];
  const zef::SHeldLine line = store.Line(i);
  return store.Text(i) == m.Shown() && store.Length(i) == m.Shown().size() && store.OwnText(i) == m.text &&
         store.Depth(i) == m.depth && store.Stamp(i) == m.stamp && store.IsSelected(i) == m.marked &&
         store.IsLatin1(i) == std::all_of(m.text.begin(), m.text.end(), [](QChar c) { return c.unicode() <= 0xFF; }) &&
         line.text.toString() == m.text && line.nDepth == m.depth && line.stamp == m.stamp;
}

void CompareAll(const CLineStore& store, const std::vector<ModelLine>& model) {
  QCOMPARE(store.Count(), int(model.size()));
  for (int i = 0; i < store.Count(); ++i)
    if (!ReadsBack(store, model, i)) QFAIL(qPrintable(QStringLiteral("line %1 differs").arg(i)));
}

}  // namespace

class TestLineStorePacked : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void ReadsBackThroughEvictions();
  void AViewOutlivesReadsOfOtherSegments();
  void ThreadsReadAtOnce();
  void FindAndContainsAgreeWithThePlainTexts_data();
  void FindAndContainsAgreeWithThePlainTexts();
  void InsertsIntoPackedSegments();
  void DropAndClearGiveMemoryBack();
  void DroppingAtEachSealKeepsTheRestInPlace();

 private:
  CLineStore m_store;
  std::vector<ModelLine> m_model;
};

void TestLineStorePacked::initTestCase() { m_model = Fill(m_store); }

void TestLineStorePacked::ReadsBackThroughEvictions() {
  QCOMPARE(m_store.SegmentCount(), 12);
  CompareAll(m_store, m_model);
  // Backwards, then the first segment again once the walk pushed it out.
  for (int i = m_store.Count() - 1; i >= 0; i -= 3)
    if (!ReadsBack(m_store, m_model, i)) QFAIL(qPrintable(QStringLiteral("line %1 differs").arg(i)));
  for (int i = 0; i < CLineStore::kSegmentLines; i += 5) QVERIFY(ReadsBack(m_store, m_model, i));
}

void TestLineStorePacked::AViewOutlivesReadsOfOtherSegments() {
  const QAnyStringView view = m_store.Line(9).text;
  // Three other segments on this thread, and every segment on another,
  // which evicts them all from the shared cache.
  for (int segment = 1; segment <= 3; ++segment) m_store.Line(segment * CLineStore::kSegmentLines);
  std::thread([&] {
    for (int i = 0; i < m_store.Count(); i += 100) m_store.Line(i);
  }).join();
  QCOMPARE(view.toString(), m_model[9].text);
}

void TestLineStorePacked::ThreadsReadAtOnce() {
  std::atomic<int> wrong{0};
  const auto walk = [&](int from, int step) {
    for (int i = from; i >= 0 && i < m_store.Count(); i += step)
      if (!ReadsBack(m_store, m_model, i)) ++wrong;
  };
  std::thread up(walk, 0, 7);
  std::thread down(walk, m_store.Count() - 1, -5);
  walk(m_store.Count() / 2, 11);
  up.join();
  down.join();
  QCOMPARE(wrong.load(), 0);
}

void TestLineStorePacked::FindAndContainsAgreeWithThePlainTexts_data() {
  QTest::addColumn<QString>("needle");
  QTest::addColumn<bool>("caseSensitive");
  QTest::newRow("one line") << QStringLiteral("returned 40001 ") << true;
  QTest::newRow("many lines") << QStringLiteral("Call7()") << true;
  QTest::newRow("UTF-16") << QStringLiteral("z\u4e2dz") << true;
  QTest::newRow("Latin-1, any case") << QStringLiteral("CAF\u00c9 \u00ff") << false;
  QTest::newRow("indent and text") << QStringLiteral(". . ZEFMON_Call1") << true;
  QTest::newRow("nowhere") << QStringLiteral("no such needle") << false;
}

void TestLineStorePacked::FindAndContainsAgreeWithThePlainTexts() {
  QFETCH(QString, needle);
  QFETCH(bool, caseSensitive);
  const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
  const int count = m_store.Count();
  const auto expected = [&](int from, int step) {
    for (int i = from; i >= 0 && i < count; i += step)
      if (m_model[std::size_t(i)].Shown().contains(needle, cs)) return i;
    return -1;
  };
  for (int from : {0, 5000, count / 2, count - 1})
    for (int step : {1, -1}) QCOMPARE(m_store.Find(from, step, needle, cs), expected(from, step));
  for (int i = 0; i < count; i += 401)
    for (QChar ch : {QChar(u'.'), QChar(0x4e2d), QChar(0xff), QChar(u'q')})
      QCOMPARE(m_store.Contains(i, ch.unicode()), m_model[std::size_t(i)].Shown().contains(ch));
}

void TestLineStorePacked::InsertsIntoPackedSegments() {
  CLineStore store;
  std::vector<ModelLine> model = Fill(store, 4);
  const std::size_t packed = store.MemoryUsed();
  // Even and odd byte counts (moved in place or rebuilt), UTF-16, marked.
  const QStringList texts = {QStringLiteral("even"), QStringLiteral("odd"), QStringLiteral("\u4e2d wide")};
  for (int k = 0; k < 9; ++k) {
    const int at = k * 1500 + 7;
    const SLineStamp stamp{kNow - k, std::uint32_t(k), k * 10};
    store.Insert(at, texts[k % 3], k % 2, stamp);
    model.insert(model.begin() + at, {texts[k % 3], k % 2, stamp, k % 4 == 0});
    if (k % 4 == 0) store.SetSelected(at, true);
  }
  // The segments inserted into are packed again: no plain copy stays
  // behind (nothing was read, so the cache holds nothing either).
  QVERIFY2(store.MemoryUsed() < packed + 64 * 1024, qPrintable(QString::number(store.MemoryUsed() - packed)));
  CompareAll(store, model);
  QCOMPARE(store.SelectedCount(), int(std::count_if(model.begin(), model.end(), [](auto& m) { return m.marked; })));
}

void TestLineStorePacked::DropAndClearGiveMemoryBack() {
  const std::size_t fresh = CLineStore().MemoryUsed();
  CLineStore store;
  QString line(60, u'.');
  const int lines = 20 * CLineStore::kSegmentLines;
  for (int i = 0; i < lines; ++i) {
    line.replace(0, 40, QStringLiteral("%1 ZEFMON_EnumProcesses() returned").arg(i, 6));
    store.Append(line, 0, {kNow + i * 50LL, std::uint32_t(1 + i % 8), i % 3 == 2 ? 120 : -1});
  }
  store.SetSelected(10, true);
  store.SetSelected(lines - 10, true);
  // Trace lines pack to far less than the 20 bytes a line the store is
  // held to; a plain copy left behind anywhere would show.
  QVERIFY2(store.MemoryUsed() < std::size_t(lines) * 20, qPrintable(QString::number(store.MemoryUsed() / lines)));
  const std::size_t limit = store.MemoryUsed() / 2;
  const int dropped = store.DropOldest(limit);
  QVERIFY(dropped > 0 && dropped % CLineStore::kSegmentLines == 0);
  QVERIFY(store.MemoryUsed() <= limit);
  QCOMPARE(store.Count(), lines - dropped);
  QCOMPARE(store.SelectedItems(5), std::vector<int>{lines - 10 - dropped});
  QCOMPARE(store.OwnText(0).left(6), QStringLiteral("%1").arg(dropped, 6));
  store.Clear();
  QVERIFY(store.MemoryUsed() <= fresh);
  QCOMPARE(store.Count(), 0);
}

void TestLineStorePacked::DroppingAtEachSealKeepsTheRestInPlace() {
  // As a list bounds its memory: a drop each time a segment is sealed,
  // while that segment is still being packed.
  CLineStore store;
  constexpr std::size_t kLimit = 2 << 20;
  int segments = 0;
  int dropped = 0;
  const int lines = 40 * CLineStore::kSegmentLines;
  for (int i = 0; i < lines; ++i) {
    store.Append(QStringLiteral("line %1 ").arg(i) + QString(i % 300, QChar(u'a' + i % 26)), i % 3, {kNow + i, 1, -1});
    if (i % 1000 == 0) store.SetSelected(store.Count() - 1, true);
    if (store.SegmentCount() == segments) continue;
    dropped += store.DropOldest(kLimit);
    segments = store.SegmentCount();
    QVERIFY2(store.MemoryUsed() <= kLimit, qPrintable(QString::number(store.MemoryUsed())));
  }
  QVERIFY(dropped > 0);
  QCOMPARE(store.Count(), lines - dropped);
  for (int i = 0; i < store.Count(); i += 7) {
    const int was = i + dropped;
    QCOMPARE(store.OwnText(i), QStringLiteral("line %1 ").arg(was) + QString(was % 300, QChar(u'a' + was % 26)));
    QCOMPARE(store.Depth(i), was % 3);
  }
  const std::vector<int> marks = store.SelectedItems(1000);
  QCOMPARE(int(marks.size()), store.SelectedCount());
  for (int mark : marks) QCOMPARE((mark + dropped) % 1000, 0);
}

QTEST_APPLESS_MAIN(TestLineStorePacked)
#include "tst_linestore_packed.moc"
