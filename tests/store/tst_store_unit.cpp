// The store file through the library and the handheld-named operations: a
// missing store, names, order, counts and sizes, reads byte for byte,
// deletions racing other connections, and files that are not sound stores.
#include <zefstore/ceapi.h>
#include <zefstore/recordline.h>
#include <zefstore/store.h>
#include <zefstore/storetesting.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using namespace zef::store;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The records of a database as the monitor's walk reads them.
struct SWalk {
  std::vector<CEOID> oids;
  std::vector<Bytes> buffers;
  std::vector<WORD> counts;
  DWORD nError = 0;
};

SWalk Walk(CObjectStore& store, const char16_t* name) {
  SWalk walk;
  CEOID oid = 0;
  const HANDLE db = CeOpenDatabase(store, &oid, name, 0, CEDB_AUTOINCREMENT);
  if (db == INVALID_HANDLE_VALUE) {
    walk.nError = GetLastError();
    return walk;
  }
  WORD count = 0;
  BYTE* buffer = nullptr;
  DWORD size = 0;
  while (const CEOID record = CeReadRecordProps(db, CEDB_ALLOWREALLOC, &count, &buffer, &size)) {
    walk.oids.push_back(record);
    walk.buffers.emplace_back(buffer, buffer + size);
    walk.counts.push_back(count);
    LocalFree(buffer);
    buffer = nullptr;
  }
  walk.nError = GetLastError();
  CloseHandle(db);
  return walk;
}

// The database lines as List all makes them.
QStringList ListAll(CObjectStore& store, DWORD* error = nullptr) {
  QStringList lines;
  const HANDLE e = CeFindFirstDatabase(store, 0);
  if (e == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = GetLastError();
    return {QStringLiteral("(invalid)")};
  }
  CEOIDINFO info;
  while (const CEOID oid = CeFindNextDatabase(e)) {
    if (!CeOidGetInfo(store, oid, &info) || info.wObjType != OBJTYPE_DATABASE) continue;
    const CEDBASEINFO& d = info.infDatabase;
    lines << QString::fromStdU16String(FormatDatabaseLine(d.szDbaseName, d.dwDbaseType, d.nNumRecords, d.nSize));
  }
  if (error != nullptr) *error = GetLastError();
  CloseHandle(e);
  return lines;
}

}  // namespace

class TestStoreUnit : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  int m_nFile = 0;

  std::string NewPath() { return QDir(m_dir.path()).filePath(QStringLiteral("s%1.db").arg(++m_nFile)).toStdString(); }

 private Q_SLOTS:
  void missingStoreIsEmptyAndNotCreated() {
    const std::string path = QDir(m_dir.path()).filePath(QStringLiteral("missing/dir/store.db")).toStdString();
    CObjectStore store(path);
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(store.ListDatabases(&databases), 0);
    QVERIFY(databases.empty());
    CEOID oid = 0;
    QCOMPARE(store.FindDatabase(u"x", &oid), ENOENT);
    DWORD error = 1;
    QCOMPARE(ListAll(store, &error), QStringList());
    QCOMPARE(error, DWORD(0));
    QCOMPARE(Walk(store, u"x").nError, DWORD(ENOENT));
    QCOMPARE(store.DeleteDatabase(1), ENOENT);
    QVERIFY(!QFile::exists(QDir(m_dir.path()).filePath(QStringLiteral("missing"))));
  }

  void firstWriteCreatesPrivateDirectories() {
    const QString dir = QDir(m_dir.path()).filePath(QStringLiteral("new/zef"));
    CObjectStore store((dir + QStringLiteral("/objectstore.db")).toStdString());
    QCOMPARE(store.CreateDatabase({u"a", 0}), 0);
    QCOMPARE(QFile::permissions(dir) & QFileDevice::ReadGroup, QFileDevice::Permissions());
    QCOMPARE(QFileInfo(dir).permissions() & (QFileDevice::ReadOther | QFileDevice::ExeGroup),
             QFileDevice::Permissions());
    QCOMPARE(QFileInfo(dir + QStringLiteral("/objectstore.db")).permissions() & QFileDevice::ReadOther,
             QFileDevice::Permissions());
  }

  void names_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("error");
    QTest::newRow("31 units") << QString(31, u'n') << 0;
    QTest::newRow("32 units") << QString(32, u'n') << ENAMETOOLONG;
    QTest::newRow("15 pairs are 30 units") << QString::fromUtf8("😀").repeated(15) << 0;
    QTest::newRow("16 pairs are 32 units") << QString::fromUtf8("😀").repeated(16) << ENAMETOOLONG;
    QTest::newRow("empty") << QString() << EINVAL;
    QTest::newRow("U+0000 inside") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << EINVAL;
    QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) << EINVAL;
    QTest::newRow("double quote and blanks") << QStringLiteral(" \"q\" ") << 0;
    QTest::newRow("a newline") << QStringLiteral("a\nb") << EINVAL;
    QTest::newRow("an escape") << QStringLiteral("\x1b[31m") << EINVAL;
    QTest::newRow("DEL") << QStringLiteral("a\x7f") << EINVAL;
    QTest::newRow("C1 next line") << QStringLiteral("a") + QChar(0x85) << EINVAL;
    QTest::newRow("tab") << QStringLiteral("a\tb") << EINVAL;
  }
  void names() {
    QFETCH(QString, name);
    QFETCH(int, error);
    CObjectStore store(NewPath());
    QCOMPARE(store.CreateDatabase({name.toStdU16String(), 0}), error);
    if (error != 0) return;
    CEOID oid = 0;
    QCOMPARE(store.FindDatabase(name.toStdU16String(), &oid), 0);
    SDatabaseInfo info;
    QCOMPARE(store.GetDatabaseInfo(oid, &info), 0);
    QCOMPARE(QString::fromStdU16String(info.strName), name);
  }

  // A name with a control character that an older program stored is still
  // listed, found and dropped: refusing it would hide the whole store.
  void storedNameWithControlStaysReachable() {
    const std::string path = NewPath();
    CObjectStore store(path);
    QCOMPARE(store.CreateDatabase({u"ab", 0}), 0);
    QCOMPARE(testing::ExecuteSql(path, "UPDATE database SET name='a'||char(10)||'b'"), std::string());
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(store.ListDatabases(&databases), 0);
    QCOMPARE(databases.size(), std::size_t(1));
    CEOID oid = 0;
    QCOMPARE(store.FindDatabase(u"a\nb", &oid), 0);
    QCOMPARE(store.DeleteDatabase(oid), 0);
  }

  void namesAreUniqueAndCaseSensitive() {
    CObjectStore store(NewPath());
    QCOMPARE(store.CreateDatabase({u"Data", 1}), 0);
    QCOMPARE(store.CreateDatabase({u"Data", 2}), EEXIST);
    QCOMPARE(GetLastError(), DWORD(EEXIST));
    QCOMPARE(store.CreateDatabase({u"data", 3}), 0);
    QCOMPARE(ListAll(store), QStringList({QStringLiteral("\"Data\" type=1 records=0, size=0 KB"),
                                          QStringLiteral("\"data\" type=3 records=0, size=0 KB")}));
  }

  void listingInCreationOrderWithCountsAndSizes() {
    CObjectStore store(NewPath());
    CEOID b = 0, a = 0, c = 0;
    QCOMPARE(store.CreateDatabase({u"b", 2147483648u}, &b), 0);
    QCOMPARE(store.CreateDatabase({u"a", 0}, &a), 0);
    QCOMPARE(store.CreateDatabase({u"c", 5}, &c), 0);
    // 1023 bytes: one blob record of 16 + 1007. 1024 and 2047 likewise.
    QCOMPARE(store.WriteRecord(b, {SPropValue::Blob(Bytes(1007))}), 0);
    QCOMPARE(store.WriteRecord(a, {SPropValue::Blob(Bytes(1008))}), 0);
    QCOMPARE(store.WriteRecord(c, {SPropValue::Blob(Bytes(1000))}), 0);
    QCOMPARE(store.WriteRecord(c, {SPropValue::Blob(Bytes(1015))}), 0);
    QCOMPARE(ListAll(store), QStringList({QStringLiteral("\"b\" type=-2147483648 records=1, size=0 KB"),
                                          QStringLiteral("\"a\" type=0 records=1, size=1 KB"),
                                          QStringLiteral("\"c\" type=5 records=2, size=1 KB")}));
    SDatabaseInfo info;
    QCOMPARE(store.GetDatabaseInfo(c, &info), 0);
    QCOMPARE(info.nSize, std::uint64_t(2047));
    // Deleting a record takes its size and count off again.
    SWalk walk = Walk(store, u"c");
    QCOMPARE(store.DeleteRecord(c, walk.oids[0]), 0);
    QCOMPARE(store.GetDatabaseInfo(c, &info), 0);
    QCOMPARE(info.nRecords, std::uint64_t(1));
    QCOMPARE(info.nSize, std::uint64_t(1031));
  }

  void recordsReadBackByteForByteInWriteOrder() {
    CObjectStore store(NewPath());
    CEOID db = 0;
    QCOMPARE(store.CreateDatabase({u"r", 0}, &db), 0);
    const std::vector<std::vector<SPropValue>> records = {
        {SPropValue::UI4(5)},
        {},
        {SPropValue::I2(-5), SPropValue::UI2(65535), SPropValue::I4(INT32_MIN), SPropValue::I8(INT64_MIN),
         SPropValue::Bool(true), SPropValue::FileTime(~0ull), SPropValue::String(u"a\"b;c ü😀"),
         SPropValue::String(std::u16string(1, char16_t(0xDC00))), SPropValue::String(u""), SPropValue::Blob({0, 1, 2}),
         SPropValue::Blob({})},
        {SPropValue::String(std::u16string(5000, u'€'))},
    };
    for (const auto& values : records) QCOMPARE(store.WriteRecord(db, values), 0);
    const SWalk walk = Walk(store, u"r");
    QCOMPARE(walk.nError, DWORD(0));
    QCOMPARE(walk.buffers.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      Bytes expected;
      QCOMPARE(BuildPropertyBuffer(records[i], &expected), 0);
      QCOMPARE(walk.buffers[i], expected);
      QCOMPARE(walk.counts[i], WORD(records[i].size()));
      if (i > 0) QVERIFY(walk.oids[i] > walk.oids[i - 1]);
    }
  }

  void foreignBufferLayoutIsKeptAsWritten() {
    // A valid buffer that BuildPropertyBuffer would not make: flags set, the
    // string at an odd offset with a spare byte before it.
    Bytes buffer(16 + 1 + 4, 0);
    buffer[0] = 31;
    buffer[6] = 0x7F;
    buffer[8] = 17;
    buffer[17] = 'z';
    CObjectStore store(NewPath());
    CEOID db = 0;
    QCOMPARE(store.CreateDatabase({u"f", 0}, &db), 0);
    QCOMPARE(store.WriteRecordBuffer(db, 1, buffer.data(), buffer.size()), 0);
    // A hostile one is refused.
    Bytes hostile = buffer;
    hostile[8] = 0xFF;
    QCOMPARE(store.WriteRecordBuffer(db, 1, hostile.data(), hostile.size()), EILSEQ);
    const SWalk walk = Walk(store, u"f");
    QCOMPARE(walk.buffers, std::vector<Bytes>{buffer});
  }

  void recordDeletedBetweenLookupAndDelete() {
    const std::string path = NewPath();
    CObjectStore monitor(path), other(path);
    CEOID db = 0;
    QCOMPARE(monitor.CreateDatabase({u"d", 0}, &db), 0);
    for (std::uint32_t i = 0; i < 3; ++i) QCOMPARE(monitor.WriteRecord(db, {SPropValue::UI4(i)}), 0);
    // The monitor walks to position 1 and holds the handle open, as it does
    // while its second confirmation is shown.
    CEOID oid = 0;
    const HANDLE handle = CeOpenDatabase(monitor, &oid, u"d", 0, CEDB_AUTOINCREMENT);
    QVERIFY(handle != INVALID_HANDLE_VALUE);
    WORD count = 0;
    BYTE* buffer = nullptr;
    DWORD size = 0;
    QVERIFY(CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer, &size) != 0);
    const CEOID target = CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer, &size);
    LocalFree(buffer);
    QVERIFY(target != 0);
    // Meanwhile another program deletes it and writes a new record: no lock
    // held by the open handle stops it.
    QCOMPARE(other.DeleteRecord(db, target), 0);
    QCOMPARE(other.WriteRecord(db, {SPropValue::UI4(9)}), 0);
    QVERIFY(!CeDeleteRecord(handle, target));
    QCOMPARE(GetLastError(), DWORD(ENOENT));
    CloseHandle(handle);
    const SWalk walk = Walk(monitor, u"d");
    QCOMPARE(walk.buffers.size(), std::size_t(3));  // records 0, 2 and the new 9
  }

  void databaseDeletedBetweenLookupAndDelete() {
    const std::string path = NewPath();
    CObjectStore monitor(path), other(path);
    CEOID old = 0, keep = 0, again = 0;
    QCOMPARE(monitor.CreateDatabase({u"x", 0}, &old), 0);
    QCOMPARE(monitor.CreateDatabase({u"keep", 0}, &keep), 0);
    QCOMPARE(monitor.WriteRecord(keep, {SPropValue::UI4(1)}), 0);
    // Removed and made again under the same name: the old identifier is gone
    // for good and never names the new database.
    QCOMPARE(other.DeleteDatabase(old), 0);
    QCOMPARE(other.CreateDatabase({u"x", 0}, &again), 0);
    QVERIFY(again != old);
    QVERIFY(!CeDeleteDatabase(monitor, old));
    QCOMPARE(GetLastError(), DWORD(ENOENT));
    QCOMPARE(ListAll(monitor), QStringList({QStringLiteral("\"keep\" type=0 records=1, size=0 KB"),
                                            QStringLiteral("\"x\" type=0 records=0, size=0 KB")}));
  }

  void identifiersAreNeverReused() {
    CObjectStore store(NewPath());
    CEOID db = 0, first = 0, second = 0;
    QCOMPARE(store.CreateDatabase({u"i", 0}, &db), 0);
    QCOMPARE(store.WriteRecord(db, {SPropValue::UI4(1)}, &first), 0);
    QCOMPARE(store.DeleteRecord(db, first), 0);
    QCOMPARE(store.WriteRecord(db, {SPropValue::UI4(2)}, &second), 0);
    QVERIFY(second > first);
    QCOMPARE(store.DeleteRecord(db, first), ENOENT);
  }

  void walkEndsWithErrorWhenDatabaseIsDropped() {
    const std::string path = NewPath();
    CObjectStore monitor(path), other(path);
    CEOID db = 0;
    QCOMPARE(monitor.CreateDatabase({u"w", 0}, &db), 0);
    CEOID oid = 0;
    const HANDLE handle = CeOpenDatabase(monitor, &oid, u"w", 0, CEDB_AUTOINCREMENT);
    QCOMPARE(other.DeleteDatabase(db), 0);
    WORD count = 0;
    BYTE* buffer = nullptr;
    DWORD size = 0;
    QCOMPARE(CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer, &size), CEOID(0));
    QCOMPARE(GetLastError(), DWORD(ENOENT));
    QVERIFY(buffer == nullptr);
    CloseHandle(handle);
  }

  void writerLockedBeyondTimeoutIsBusyReadersGoOn() {
    const std::string path = NewPath();
    CObjectStore holder(path);
    CObjectStore waiter(path, SStoreOptions{150});
    QCOMPARE(holder.CreateDatabase({u"l", 0}), 0);
    CWriteTransaction transaction(holder);
    QCOMPARE(transaction.Error(), 0);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(waiter.CreateDatabase({u"m", 0}), EBUSY);
    QVERIFY(timer.elapsed() >= 100 && timer.elapsed() < 3000);
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(waiter.ListDatabases(&databases), 0);
    QCOMPARE(databases.size(), std::size_t(1));
    QCOMPARE(transaction.Commit(), 0);
    QCOMPARE(waiter.CreateDatabase({u"m", 0}), 0);
  }

  void transactionRollsBackUncommitted() {
    CObjectStore store(NewPath());
    CEOID db = 0;
    QCOMPARE(store.CreateDatabase({u"t", 0}, &db), 0);
    {
      CWriteTransaction transaction(store);
      QCOMPARE(store.WriteRecord(db, {SPropValue::UI4(1)}), 0);
      SDatabaseInfo info;
      QCOMPARE(store.GetDatabaseInfo(db, &info), 0);  // counts seen inside the write
      QCOMPARE(info.nRecords, std::uint64_t(1));
    }
    SDatabaseInfo info;
    QCOMPARE(store.GetDatabaseInfo(db, &info), 0);
    QCOMPARE(info.nRecords, std::uint64_t(0));
    QVERIFY(Walk(store, u"t").buffers.empty());
  }

  // Records of a write are inserted in batches; every statement in the same
  // write still sees all of them, in order, and the commit keeps them all.
  void batchedWritesAreSeenWithinTheWrite() {
    const std::string path = NewPath();
    CObjectStore store(path);
    CEOID db = 0;
    QCOMPARE(store.CreateDatabase({u"b", 0}, &db), 0);
    CWriteTransaction transaction(store);
    std::vector<CEOID> oids(70);
    for (std::uint32_t i = 0; i < 70; ++i) QCOMPARE(store.WriteRecord(db, {SPropValue::UI4(i)}, &oids[i]), 0);
    CEOID at = 0;
    QCOMPARE(store.FindRecordAt(db, 69, &at), 0);
    QCOMPARE(at, oids[69]);
    QCOMPARE(store.DeleteRecord(db, oids[68]), 0);
    for (std::uint32_t i = 70; i < 130; ++i) QCOMPARE(store.WriteRecord(db, {SPropValue::UI4(i)}), 0);
    CRecordCursor cursor(store, db);
    SRecord record;
    std::uint32_t expected = 0, read = 0;
    while (cursor.Next(&record)) {
      if (expected == 68) ++expected;
      QCOMPARE(record.buffer[8] | (record.buffer[9] << 8), int(expected++));
      ++read;
    }
    QCOMPARE(cursor.Error(), 0);
    QCOMPARE(read, 129u);
    QCOMPARE(transaction.Commit(), 0);
    CObjectStore other(path);
    SDatabaseInfo info;
    QCOMPARE(other.GetDatabaseInfo(db, &info), 0);
    QCOMPARE(info.nRecords, std::uint64_t(129));
    QCOMPARE(info.nSize, std::uint64_t(129 * 16));
    QCOMPARE(Walk(other, u"b").buffers.size(), std::size_t(129));
  }

  // Files that are not sound stores: an error, never an empty store, and
  // the file is left as it was.
  void unsoundFiles_data() {
    QTest::addColumn<QByteArray>("content");  // raw bytes, or "sql:" statements on a fresh store
    QTest::addColumn<int>("error");
    QTest::newRow("garbage") << QByteArray("this is not a store\n").repeated(300) << EILSEQ;
    QTest::newRow("SQLite header then garbage")
        << QByteArray("SQLite format 3\0", 16) + QByteArray(5000, 'x') << EILSEQ;
    QTest::newRow("another program's SQLite file") << QByteArray("sql:-CREATE TABLE other(x)") << EILSEQ;
    QTest::newRow("a trigger slipped in")
        << QByteArray("sql:CREATE TRIGGER t AFTER INSERT ON record BEGIN DELETE FROM record; END") << EILSEQ;
    QTest::newRow("a later version") << QByteArray("sql:PRAGMA user_version=2") << ENOTSUP;
    QTest::newRow("a column more") << QByteArray("sql:ALTER TABLE record ADD COLUMN x") << EILSEQ;
  }
  void unsoundFiles() {
    QFETCH(QByteArray, content);
    QFETCH(int, error);
    const std::string path = NewPath();
    if (content.startsWith("sql:-")) {
      QFile(QString::fromStdString(path)).open(QIODevice::WriteOnly);
      QCOMPARE(testing::ExecuteSql(path, content.mid(5).toStdString()), std::string());
    } else if (content.startsWith("sql:")) {
      CObjectStore maker(path);
      QCOMPARE(maker.CreateDatabase({u"d", 0}), 0);
      QCOMPARE(testing::ExecuteSql(path, content.mid(4).toStdString()), std::string());
    } else {
      QFile file(QString::fromStdString(path));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(content);
    }
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    CObjectStore store(path);
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(store.ListDatabases(&databases), error);
    DWORD listed = 0;
    QCOMPARE(ListAll(store, &listed), QStringList({QStringLiteral("(invalid)")}));
    QCOMPARE(listed, DWORD(error));
    QCOMPARE(store.CreateDatabase({u"new", 0}), error);
    file.seek(0);
    QCOMPARE(file.readAll(), before);
  }

  // One database's row damaged: listing it is an error, and the monitor's
  // enumeration skips just that database.
  void damagedDatabaseRows_data() {
    QTest::addColumn<QByteArray>("change");
    QTest::newRow("name too long") << QByteArray("name='0123456789012345678901234567890123'");
    QTest::newRow("name not UTF-8") << QByteArray("name=CAST(X'FF' AS TEXT)");
    QTest::newRow("type beyond 32 bits") << QByteArray("type=4294967296");
    QTest::newRow("sort orders not whole") << QByteArray("sortorders=X'010203'");
    QTest::newRow("negative size") << QByteArray("size=-1");
  }
  void damagedDatabaseRows() {
    QFETCH(QByteArray, change);
    const std::string path = NewPath();
    {
      CObjectStore maker(path);
      QCOMPARE(maker.CreateDatabase({u"a", 0}), 0);
      QCOMPARE(maker.CreateDatabase({u"bad", 0}), 0);
      QCOMPARE(maker.CreateDatabase({u"c", 0}), 0);
    }
    QCOMPARE(testing::ExecuteSql(path, "UPDATE database SET " + change.toStdString() + " WHERE name='bad'"),
             std::string());
    CObjectStore store(path);
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(store.ListDatabases(&databases), EILSEQ);
    QCOMPARE(ListAll(store), QStringList({QStringLiteral("\"a\" type=0 records=0, size=0 KB"),
                                          QStringLiteral("\"c\" type=0 records=0, size=0 KB")}));
  }

  // A counter set back below identifiers in use is raised above them at the
  // first write, and stays raised: no identifier is handed out twice, and a
  // new database does not take over records left under a higher one.
  void identifierCounterBelowUsedIdsIsRaised_data() {
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<CEOID>("highest");
    QTest::newRow("counter back to 1") << QByteArray("UPDATE meta SET value=1") << CEOID(2);
    QTest::newRow("records of a missing database 9")
        << QByteArray("UPDATE meta SET value=1; INSERT INTO record SELECT (9 << 32) | 5, data FROM record") << CEOID(9);
    QTest::newRow("records of a missing database 2^31 + 1")
        << QByteArray("UPDATE meta SET value=1; INSERT INTO record SELECT (2147483649 << 32) | 5, data FROM record")
        << CEOID(2147483649u);
  }
  void identifierCounterBelowUsedIdsIsRaised() {
    QFETCH(QByteArray, damage);
    QFETCH(CEOID, highest);
    const std::string path = NewPath();
    CEOID db = 0, record = 0;
    {
      CObjectStore store(path);
      QCOMPARE(store.CreateDatabase({u"a", 0}, &db), 0);
      QCOMPARE(store.WriteRecord(db, {SPropValue::UI4(1)}, &record), 0);
    }
    QCOMPARE(testing::ExecuteSql(path, damage.toStdString()), std::string());
    CEOID again = 0, added = 0;
    {
      CObjectStore damaged(path);
      QCOMPARE(damaged.CreateDatabase({u"b", 0}, &again), 0);
      QCOMPARE(again, highest + 1);
      QCOMPARE(Walk(damaged, u"b").buffers.size(), std::size_t(0));
    }
    // Another connection goes on from the raised counter.
    CObjectStore later(path);
    QCOMPARE(later.WriteRecord(db, {SPropValue::UI4(2)}, &added), 0);
    QCOMPARE(added, highest + 2);
    QCOMPARE(Walk(later, u"a").oids, (std::vector<CEOID>{record, added}));
  }

  // Records damaged in the file: a read fails with EILSEQ instead of
  // handing out a buffer that reads out of bounds.
  void damagedRecords_data() {
    QTest::addColumn<QByteArray>("data");  // the record's stored form, as an SQL blob literal
    QTest::newRow("empty") << QByteArray("X''");
    QTest::newRow("unknown form") << QByteArray("X'07011000'");
    QTest::newRow("raw, string offset outside")
        << QByteArray("X'000110") + QByteArray("1F00000000000000FF000000000000") + "00'";
    QTest::newRow("raw, shorter than its size") << QByteArray("X'00011013000000'");
    QTest::newRow("packed, truncated varint") << QByteArray("X'01011013FF'");
    QTest::newRow("packed, string longer than the size") << QByteArray("X'010112") + "1F00" + "0B" + "6162636465" + "'";
    QTest::newRow("packed, size beyond the limit") << QByteArray("X'0101FFFFFFFF0F1300'");
    QTest::newRow("packed, bool of 2") << QByteArray("X'0101100B0002'");
    QTest::newRow("packed, i2 beyond 16 bits") << QByteArray("X'010110020080F104'");
    QTest::newRow("packed, u2 beyond 16 bits") << QByteArray("X'0101101200808004'");
    QTest::newRow("packed, i4 beyond 32 bits") << QByteArray("X'01011003008080808010'");
    QTest::newRow("packed, u4 beyond 32 bits") << QByteArray("X'01011013008080808010'");
    QTest::newRow("not a blob") << QByteArray("'text'");
    QTest::newRow("raw, two strings sharing one text") << QByteArray("X'000226") + "1F000000000000002000000000000000" +
                                                              "1F000100000000002000000000000000" + "610062000000'";
  }
  void damagedRecords() {
    QFETCH(QByteArray, data);
    const std::string path = NewPath();
    {
      CObjectStore maker(path);
      CEOID db = 0;
      QCOMPARE(maker.CreateDatabase({u"d", 0}, &db), 0);
      QCOMPARE(maker.WriteRecord(db, {SPropValue::UI4(1)}), 0);
      QCOMPARE(maker.WriteRecord(db, {SPropValue::UI4(2)}), 0);
    }
    // The second record is damaged; the first still reads.
    QCOMPARE(testing::ExecuteSql(
                 path, "UPDATE record SET data=" + data.toStdString() + " WHERE key=(SELECT max(key) FROM record)"),
             std::string());
    CObjectStore store(path);
    const SWalk walk = Walk(store, u"d");
    QCOMPARE(walk.buffers.size(), std::size_t(1));
    QCOMPARE(walk.nError, DWORD(EILSEQ));
  }

  void badHandlesAndArguments() {
    CObjectStore store(NewPath());
    QCOMPARE(store.CreateDatabase({u"h", 0}), 0);
    QVERIFY(!CloseHandle(HANDLE{12345678}));
    QCOMPARE(GetLastError(), DWORD(EBADF));
    QVERIFY(!CloseHandle(INVALID_HANDLE_VALUE));
    CEOID oid = 0;
    QCOMPARE(CeOpenDatabase(store, &oid, u"h", 0, 0), INVALID_HANDLE_VALUE);
    QCOMPARE(GetLastError(), DWORD(EINVAL));
    QCOMPARE(CeOpenDatabase(store, &oid, u"h", 3, CEDB_AUTOINCREMENT), INVALID_HANDLE_VALUE);
    // A name longer than any database's is read no further than that.
    const char16_t longName[40] = u"0123456789012345678901234567890123456";
    QCOMPARE(CeOpenDatabase(store, &oid, longName, 0, CEDB_AUTOINCREMENT), INVALID_HANDLE_VALUE);
    QCOMPARE(GetLastError(), DWORD(ENAMETOOLONG));
    const HANDLE handle = CeOpenDatabase(store, &oid, u"h", 0, CEDB_AUTOINCREMENT);
    QVERIFY(handle != INVALID_HANDLE_VALUE);
    QVERIFY(CloseHandle(handle));
    WORD count = 0;
    BYTE* buffer = nullptr;
    DWORD size = 0;
    QCOMPARE(CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer, &size), CEOID(0));
    QCOMPARE(GetLastError(), DWORD(EBADF));
    QVERIFY(!CloseHandle(handle));
    QCOMPARE(CeFindNextDatabase(handle), CEOID(0));
    QCOMPARE(GetLastError(), DWORD(EBADF));
  }

  void oversizedRecordIsRefused() {
    CObjectStore store(NewPath());
    CEOID db = 0;
    QCOMPARE(store.CreateDatabase({u"big", 0}, &db), 0);
    QCOMPARE(store.WriteRecord(db, {SPropValue::Blob(Bytes(kMaxRecordSize - 16))}), 0);
    QCOMPARE(store.WriteRecord(db, {SPropValue::Blob(Bytes(kMaxRecordSize - 15))}), E2BIG);
    std::vector<SPropValue> many(kMaxProperties + 1, SPropValue::Bool(true));
    QCOMPARE(store.WriteRecord(db, many), E2BIG);
    QCOMPARE(Walk(store, u"big").buffers.size(), std::size_t(1));
  }

  // Only a regular file is a store: a device, a FIFO, a directory in its
  // place is an error, never an empty store, and is not written into. A
  // symbolic link to a store file is followed.
  void notARegularFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error");
    QTest::newRow("symbolic link to /dev/zero") << "zero" << EILSEQ;
    QTest::newRow("FIFO") << "fifo" << EILSEQ;
    QTest::newRow("directory") << "dir" << EISDIR;
    QTest::newRow("symbolic link to a store") << "store" << 0;
  }
  void notARegularFile() {
    QFETCH(QString, kind);
    QFETCH(int, error);
    const std::string path = NewPath();
    const QString file = QString::fromStdString(path);
    if (kind == QStringLiteral("zero")) QVERIFY(QFile::link(QStringLiteral("/dev/zero"), file));
    if (kind == QStringLiteral("fifo")) QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    if (kind == QStringLiteral("dir")) QVERIFY(QDir().mkpath(file));
    if (kind == QStringLiteral("store")) {
      const std::string target = NewPath();
      QCOMPARE(CObjectStore(target).CreateDatabase({u"t", 0}), 0);
      QVERIFY(QFile::link(QString::fromStdString(target), file));
    }
    CObjectStore store(path);
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(store.ListDatabases(&databases), error);
    QCOMPARE(databases.size(), std::size_t(error == 0 ? 1 : 0));
    QCOMPARE(store.CreateDatabase({u"new", 0}), error);
  }

  void unreadableStoreIsAnError() {
    if (::geteuid() == 0) QSKIP("root reads any file");
    const std::string path = NewPath();
    CObjectStore(path).CreateDatabase({u"p", 0});
    QVERIFY(QFile::setPermissions(QString::fromStdString(path), QFileDevice::Permissions()));
    CObjectStore store(path);
    std::vector<SDatabaseInfo> databases;
    QCOMPARE(store.ListDatabases(&databases), EACCES);
  }

  void defaultPath_data() {
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("path");
    QTest::newRow("XDG_DATA_HOME") << QByteArray("/data") << QByteArray("/home/u") << "/data/zef/objectstore.db";
    QTest::newRow("unset") << QByteArray() << QByteArray("/home/u") << "/home/u/.local/share/zef/objectstore.db";
    QTest::newRow("empty") << QByteArray("") << QByteArray("/home/u") << "/home/u/.local/share/zef/objectstore.db";
    QTest::newRow("relative is ignored") << QByteArray("data") << QByteArray("/home/u")
                                         << "/home/u/.local/share/zef/objectstore.db";
  }
  void defaultPath() {
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    QFETCH(QString, path);
    QCOMPARE(QString::fromStdString(DefaultStorePath(xdg.isNull() ? nullptr : xdg.constData(), home.constData())),
             path);
  }
};

QTEST_APPLESS_MAIN(TestStoreUnit)
#include "tst_store_unit.moc"
