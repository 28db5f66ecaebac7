// The Database commands from the main window, on a real store file in a
// temporary directory, made by zefdb or the library: the lines they write,
// the confirmations they ask, and what is left in the store afterwards.
#include "tests/support/findaction.h"
#include "tests/support/fixture.h"

#include <zefstore/store.h>
#include <zefstore/storetesting.h>
#include <zeftrace/trace.h>

#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include <functional>

Q_DECLARE_METATYPE(zef::CommandId)

using namespace Qt::Literals::StringLiterals;
using namespace zef;
using namespace zef::store;
using zef::test::CFrameFixture;
using zef::test::FindAction;

namespace {

const QString kIndent = u"  "_s;

// `lines` one level deep between the enter and leave lines of scope `name`.
QStringList InScope(const char* name, const QStringList& lines) {
  const QString scope = QString::fromLatin1(name);
  QStringList all{scope + u" {"_s};
  for (const QString& line : lines) all << kIndent + line;
  all << u"} "_s + scope;
  return all;
}

// While it lives, runs `action` when message box number `which` (from 1)
// opens, before the fixture answers it.
class CAtBox {
 public:
  CAtBox(int which, std::function<void()> action) {
    m_previous = SetMessageBoxHook([this, which, action](const MessageBoxRequest& request) {
      if (++m_nSeen == which) action();
      return m_previous(request);
    });
  }
  ~CAtBox() { SetMessageBoxHook(std::move(m_previous)); }

 private:
  MessageBoxHook m_previous;
  int m_nSeen = 0;
};

}  // namespace

class TestDatabaseCommands : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void init();
  void cleanupTestCase();
  void listAllOfAMissingStoreIsEmptyAndCreatesNothing();
  void listAllShowsEveryDatabaseInCreationOrder();
  void listAllCrossesTheEnumerationPage();
  void unreadableStoreIsNotAnEmptyStore_data();
  void unreadableStoreIsNotAnEmptyStore();
  void listRecordsOfTheSelectedDatabase();
  void listRecordsOfAnEmptyDatabase();
  void listRecordsOfALineThatNamesNoDatabase_data();
  void listRecordsOfALineThatNamesNoDatabase();
  void damagedRecordEndsTheListingWithItsError();
  void deletionAsksFirst_data();
  void deletionAsksFirst();
  void deleteDatabaseRemovedSinceTheListing();
  void deleteDatabaseRemovedWhileTheSecondBoxIsOpen();
  void namesWithQuotesAndBlanksAreReadWhole_data();
  void namesWithQuotesAndBlanksAreReadWhole();
  void lineThatIsNoDatabaseLineOffersNothing_data();
  void lineThatIsNoDatabaseLineOffersNothing();
  void deleteRecordNeedsADatabaseLineAboveARecordLine_data();
  void deleteRecordNeedsADatabaseLineAboveARecordLine();
  void lockedStoreAnswersWithinASecond_data();
  void lockedStoreAnswersWithinASecond();
  void deleteRecordBeyondTheLast();
  void recordRemovedWhileTheSecondBoxIsOpen();
  void secondBoxCutsTheRecordLineAt179_data();
  void secondBoxCutsTheRecordLineAt179();
  void itemsFollowTheSelection();

 private:
  CFrameFixture& F() { return *m_pFixture; }
  CDatabaseSettings& Settings() { return F().Frame().Settings().database; }
  QString StorePath() { return F().TempPath(u"zef/objectstore.db"_s); }

  // zefdb on the test's store: its exit status, and its output lines.
  int Zefdb(const QStringList& args, const QByteArray& input = {}, QStringList* output = nullptr) {
    QProcess zefdb;
    zefdb.start(QStringLiteral(ZEF_ZEFDB), QStringList{u"--store"_s, StorePath()} + args);
    zefdb.write(input);
    zefdb.closeWriteChannel();
    if (!zefdb.waitForFinished(30000)) return -1;
    if (output) *output = QString::fromUtf8(zefdb.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    if (zefdb.exitCode() != 0)
      qWarning("zefdb %s: %s", qPrintable(args.join(u' ')), zefdb.readAllStandardError().constData());
    return zefdb.exitCode();
  }
  QStringList Records(const QString& name) {
    QStringList lines;
    Zefdb({u"records"_s, name}, {}, &lines);
    return lines;
  }
  QStringList Databases() {
    QStringList lines;
    Zefdb({u"list"_s}, {}, &lines);
    return lines;
  }
  // The texts of the boxes asked so far; each must be a Yes/No question
  // with the program's caption.
  QStringList BoxTexts() {
    QStringList texts;
    for (const MessageBoxRequest& box : F().Boxes()) {
      texts << box.text;
      if (box.style != (MB_YESNO | MB_ICONQUESTION) || box.caption != u"ZEFMON"_s)
        texts << u"(not a Yes/No question of ZEFMON)"_s;
    }
    return texts;
  }
  // "MyData" with the records u4:5, u4:6, u4:7, and "Other" with none.
  void MakeMyData() {
    QCOMPARE(Zefdb({u"create"_s, u"MyData"_s}), 0);
    QCOMPARE(Zefdb({u"import"_s, u"MyData"_s}, "u4:5\nu4:6\nu4:7\n"), 0);
    QCOMPARE(Zefdb({u"create"_s, u"Other"_s}), 0);
  }

  // The lines command `id` adds to the monitor.
  QStringList Run(CommandId id) {
    const int before = F().List().GetCount();
    if (!F().Frame().OnCmdMsg(id)) return {u"(not handled)"_s};
    return F().Lines().mid(before);
  }
  int IndexOf(const QString& start) {
    const QStringList lines = F().Lines();
    for (int i = 0; i < lines.size(); ++i)
      if (lines[i].startsWith(start)) return i;
    return -1;
  }
  void Select(const QList<int>& indices) {
    F().List().SetSel(false, -1);
    for (int index : indices) F().List().SetSel(true, index);
  }
  // Lists all, then the records of "MyData", and selects its database line
  // and the record line at `position` (or only the database line).
  void ListAndSelect(int position = -1) {
    Run(CommandId::DatabaseListAll);
    const int database = IndexOf(kIndent + u"\"MyData\""_s);
    QVERIFY(database >= 0);
    Select({database});
    Run(CommandId::DatabaseListRecords);
    if (position < 0) return;
    const int record = IndexOf(kIndent + u"%1:"_s.arg(position, 3, 10, QLatin1Char('0')));
    QVERIFY(record > database);
    Select({database, record});
  }

  // One main window for the whole run: the trace channel looks its monitor
  // up once per process.
  std::unique_ptr<CFrameFixture> m_pFixture;
};

void TestDatabaseCommands::initTestCase() {
  m_pFixture = std::make_unique<CFrameFixture>();
  QVERIFY(F().m_bCreated);
  SetTraceMirror(ETraceMirror::kOff);
}

void TestDatabaseCommands::init() {
  F().List().ResetContent();
  F().Boxes().clear();
  QDir(F().TempPath(u"zef"_s)).removeRecursively();
  Settings() = CDatabaseSettings{};
}

void TestDatabaseCommands::cleanupTestCase() { m_pFixture.reset(); }

void TestDatabaseCommands::listAllOfAMissingStoreIsEmptyAndCreatesNothing() {
  QCOMPARE(Run(CommandId::DatabaseListAll),
           QStringList{u"Enum databases..."_s} + InScope("ZEFMON_EnumDatabases()", {}));
  QVERIFY(!QFile::exists(F().TempPath(u"zef"_s)));
  QCOMPARE(BoxTexts(), QStringList());
}

void TestDatabaseCommands::listAllShowsEveryDatabaseInCreationOrder() {
  const auto blob = [](int bytes) { return u"blob:"_s + QString(2 * bytes, u'0'); };
  // A blob of n bytes makes a record of 16 + n bytes.
  const QList<QStringList> commands = {
      {u"create"_s, u"Zeta"_s},
      {u"create"_s, u"Alpha"_s, u"--type"_s, u"2147483648"_s},
      {u"create"_s, u"My\"Data"_s},
      {u"create"_s, u"Bytes1023"_s},
      {u"add"_s, u"Bytes1023"_s, blob(1007)},
      {u"create"_s, u"Bytes1024"_s, u"--type"_s, u"7"_s},
      {u"add"_s, u"Bytes1024"_s, blob(1008)},
      {u"create"_s, u"Bytes2047"_s},
      {u"add"_s, u"Bytes2047"_s, blob(1007)},
      {u"add"_s, u"Bytes2047"_s, blob(1008)},
  };
  for (const QStringList& command : commands) QCOMPARE(Zefdb(command), 0);
  QCOMPARE(Run(CommandId::DatabaseListAll),
           QStringList{u"Enum databases..."_s} +
               InScope("ZEFMON_EnumDatabases()", {
                                                     u"\"Zeta\" type=0 records=0, size=0 KB"_s,
                                                     u"\"Alpha\" type=-2147483648 records=0, size=0 KB"_s,
                                                     u"\"My\"Data\" type=0 records=0, size=0 KB"_s,
                                                     u"\"Bytes1023\" type=0 records=1, size=0 KB"_s,
                                                     u"\"Bytes1024\" type=7 records=1, size=1 KB"_s,
                                                     u"\"Bytes2047\" type=0 records=2, size=1 KB"_s,
                                                 }));
  // The lines the monitor shows are zefdb's, indented.
  QStringList shown = F().Lines().mid(2, 6);
  for (QString& line : shown) line.remove(0, kIndent.size());
  QCOMPARE(shown, Databases());
}

void TestDatabaseCommands::listAllCrossesTheEnumerationPage() {
  // More databases than one page of the enumeration reads at once.
  constexpr int kCount = 2100;
  {
    CObjectStore store(StorePath().toStdString());
    CWriteTransaction write(store);
    QCOMPARE(write.Error(), 0);
    for (int i = 0; i < kCount; ++i)
      QCOMPARE(store.CreateDatabase({u"db%1"_s.arg(i).toStdU16String(), std::uint32_t(i)}), 0);
    QCOMPARE(write.Commit(), 0);
  }
  const QStringList lines = Run(CommandId::DatabaseListAll);
  QCOMPARE(lines.size(), kCount + 3);
  for (int i = 0; i < kCount; ++i) QCOMPARE(lines[i + 2], kIndent + u"\"db%1\" type=%1 records=0, size=0 KB"_s.arg(i));
}

void TestDatabaseCommands::unreadableStoreIsNotAnEmptyStore_data() {
  QTest::addColumn<bool>("directory");
  QTest::addColumn<QString>("error");
  QTest::newRow("garbage file") << false << u"0x0054"_s;           // EILSEQ
  QTest::newRow("directory in its place") << true << u"0x0015"_s;  // EISDIR
}

void TestDatabaseCommands::unreadableStoreIsNotAnEmptyStore() {
  QFETCH(bool, directory);
  QFETCH(QString, error);
  QVERIFY(QDir().mkpath(F().TempPath(u"zef"_s)));
  if (directory) {
    QVERIFY(QDir().mkpath(StorePath()));
  } else {
    QFile file(StorePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
  }
  const QStringList failure{u"open object store"_s, u"last error: "_s + error};
  QCOMPARE(Run(CommandId::DatabaseListAll),
           QStringList{u"Enum databases..."_s} + InScope("ZEFMON_EnumDatabases()", failure));

  // A line naming a database: List records cannot open it, Delete database
  // says why it found nothing.
  F().Frame().AppendLine(u"\"MyData\" type=0 records=3, size=0 KB"_s);
  Select({F().List().GetCount() - 1});
  QCOMPARE(Run(CommandId::DatabaseListRecords),
           QStringList{u"List records from <MyData>..."_s} +
               InScope("ZEFMON_ReadDatabaseRecords()", {u"open database"_s, u"last error: "_s + error}));
  QCOMPARE(Run(CommandId::DatabaseDelete), InScope("ZEFMON_DeleteDatabase()", failure));
  // Nothing was written over it.
  if (!directory) QCOMPARE(QFileInfo(StorePath()).size(), 4096);
}

void TestDatabaseCommands::listRecordsOfTheSelectedDatabase() {
  MakeMyData();
  Run(CommandId::DatabaseListAll);
  Select({IndexOf(kIndent + u"\"MyData\""_s)});
  const QStringList records{u"000: [1,16] (uint32)5; "_s, u"001: [1,16] (uint32)6; "_s, u"002: [1,16] (uint32)7; "_s};
  QCOMPARE(Run(CommandId::DatabaseListRecords),
           QStringList{u"List records from <MyData>..."_s} + InScope("ZEFMON_ReadDatabaseRecords()", records));
  QCOMPARE(Records(u"MyData"_s), records);

  // The line length setting is handed on: 23 characters over 10 keep 13.
  Settings().m_nMaxLineLength = 10;
  QCOMPARE(
      Run(CommandId::DatabaseListRecords).mid(2, 3),
      (QStringList{kIndent + u"000: [1,16] (..."_s, kIndent + u"001: [1,16] (..."_s, kIndent + u"002: [1,16] (..."_s}));
  QCOMPARE(BoxTexts(), QStringList());
}

void TestDatabaseCommands::listRecordsOfAnEmptyDatabase() {
  MakeMyData();
  F().Frame().AppendLine(u"\"Other\" type=0 records=0, size=0 KB"_s);
  Select({0});
  QCOMPARE(Run(CommandId::DatabaseListRecords),
           QStringList{u"List records from <Other>..."_s} + InScope("ZEFMON_ReadDatabaseRecords()", {}));
}

void TestDatabaseCommands::listRecordsOfALineThatNamesNoDatabase_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("error");
  const QString noSuchDatabase = u"0x0002"_s;  // ENOENT
  QTest::newRow("name holding a quote") << u"\"My\"Dat\" type=0 records=0, size=0 KB"_s << u"My\"Dat"_s
                                        << noSuchDatabase;
  QTest::newRow("letter case counts") << u"\"mydata\" type=0 records=3, size=0 KB"_s << u"mydata"_s << noSuchDatabase;
  QTest::newRow("longer than any name") << u"\"MyDataMyDataMyDataMyDataMyDataMyData\" type=0 records=0, size=0 KB"_s
                                        << u"MyDataMyDataMyDataMyDataMyDataMyData"_s << u"0x0024"_s;  // ENAMETOOLONG
  QTest::newRow("holding U+0000") << u"\"MyData"_s + QChar(0) + u"x\" type=0 records=0, size=0 KB"_s
                                  << u"MyData"_s + QChar(0) + u"x"_s
                                  << u"0x0016"_s;  // EINVAL, not the database "MyData"
}

void TestDatabaseCommands::listRecordsOfALineThatNamesNoDatabase() {
  QFETCH(QString, line);
  QFETCH(QString, name);
  QFETCH(QString, error);
  MakeMyData();
  QCOMPARE(Zefdb({u"create"_s, u"My\"Data"_s}), 0);
  F().Frame().AppendLine(line);
  Select({0});
  QCOMPARE(Run(CommandId::DatabaseListRecords),
           QStringList{u"List records from <%1>..."_s.arg(name)} +
               InScope("ZEFMON_ReadDatabaseRecords()", {u"open database"_s, u"last error: "_s + error}));
}

void TestDatabaseCommands::damagedRecordEndsTheListingWithItsError() {
  MakeMyData();
  QCOMPARE(testing::ExecuteSql(StorePath().toStdString(),
                               "UPDATE record SET data=X'07011000' WHERE key=(SELECT min(key)+1 FROM record)"),
           std::string());
  F().Frame().AppendLine(u"\"MyData\" type=0 records=3, size=0 KB"_s);
  Select({0});
  // Not taken for the end of the database: the listing says it was cut.
  QCOMPARE(Run(CommandId::DatabaseListRecords).mid(1),
           InScope("ZEFMON_ReadDatabaseRecords()",
                   {u"000: [1,16] (uint32)5; "_s, u"read record"_s, u"last error: 0x0054"_s}));
}

void TestDatabaseCommands::deletionAsksFirst_data() {
  QTest::addColumn<bool>("record");  // Delete record, else Delete database
  QTest::addColumn<bool>("confirmTwice");
  QTest::addColumn<QList<int>>("answers");
  QTest::addColumn<bool>("deleted");
  for (const bool record : {false, true}) {
    const char* command = record ? "record" : "database";
    const auto row = [&](const char* name) -> QTestData& { return QTest::addRow("%s, %s", command, name) << record; };
    row("once, yes") << false << QList<int>{IDYES} << true;
    row("once, no") << false << QList<int>{IDNO} << false;
    row("twice, yes and yes") << true << QList<int>{IDYES, IDYES} << true;
    row("twice, yes and no") << true << QList<int>{IDYES, IDNO} << false;
    row("twice, no first") << true << QList<int>{IDNO} << false;
  }
}

void TestDatabaseCommands::deletionAsksFirst() {
  QFETCH(bool, record);
  QFETCH(bool, confirmTwice);
  QFETCH(QList<int>, answers);
  QFETCH(bool, deleted);
  MakeMyData();
  Settings().m_bConfirmTwice = confirmTwice;
  // More lines than the window shows, so that a scroll would be seen.
  for (int i = 0; i < 200; ++i) F().Frame().AppendLine(u"filler"_s);
  ListAndSelect(record ? 1 : -1);
  F().List().SetTopIndex(0);
  for (int answer : answers) F().Answer({answer});

  const QStringList lines = Run(record ? CommandId::DatabaseDeleteRecord : CommandId::DatabaseDelete);
  QStringList boxes = record ? QStringList{u"Really delete the record <1> in database <MyData>?"_s,
                                           u"Delete record <001: [1,16] (uint32)6; >?"_s}
                             : QStringList{u"Really delete the database <MyData>?"_s, u"Delete database <MyData>?"_s};
  if (!confirmTwice || answers.first() == IDNO) boxes.removeLast();
  QCOMPARE(BoxTexts(), boxes);
  const char* scope = record ? "ZEFMON_DeleteDatabaseRecord()" : "ZEFMON_DeleteDatabase()";
  if (answers.first() == IDNO) {
    // Nothing at all: no scope lines, no scrolling.
    QCOMPARE(lines, QStringList());
    QCOMPARE(F().List().GetTopIndex(), 0);
  } else if (deleted) {
    QCOMPARE(lines, InScope(scope, {record ? u"record deleted"_s : u"database deleted"_s}));
  } else {
    QCOMPARE(lines, InScope(scope, {}));
  }
  QCOMPARE(Databases().size(), !record && deleted ? 1 : 2);
  if (record)
    QCOMPARE(Records(u"MyData"_s), deleted ? (QStringList{u"000: [1,16] (uint32)5; "_s, u"001: [1,16] (uint32)7; "_s})
                                           : (QStringList{u"000: [1,16] (uint32)5; "_s, u"001: [1,16] (uint32)6; "_s,
                                                          u"002: [1,16] (uint32)7; "_s}));
}

void TestDatabaseCommands::deleteDatabaseRemovedSinceTheListing() {
  MakeMyData();
  Run(CommandId::DatabaseListAll);
  Select({IndexOf(kIndent + u"\"MyData\""_s)});
  QCOMPARE(Zefdb({u"drop"_s, u"MyData"_s}), 0);
  // Not found: no second box, only the scope lines.
  QCOMPARE(Run(CommandId::DatabaseDelete), InScope("ZEFMON_DeleteDatabase()", {}));
  QCOMPARE(F().Boxes().size(), size_t(1));
  QCOMPARE(Databases(), QStringList{u"\"Other\" type=0 records=0, size=0 KB"_s});
}

void TestDatabaseCommands::deleteDatabaseRemovedWhileTheSecondBoxIsOpen() {
  MakeMyData();
  Run(CommandId::DatabaseListAll);
  Select({IndexOf(kIndent + u"\"MyData\""_s)});
  // Another program drops it, and makes a new one of the same name, while
  // the box is open: it can write, and the one that was asked about is gone.
  int dropped = -1, created = -1;
  const CAtBox atSecond(2, [&] {
    dropped = Zefdb({u"drop"_s, u"MyData"_s});
    created = Zefdb({u"create"_s, u"MyData"_s});
  });
  QCOMPARE(Run(CommandId::DatabaseDelete),
           InScope("ZEFMON_DeleteDatabase()", {u"error in deleting record"_s, u"last error: 0x0002"_s}));
  QCOMPARE(dropped, 0);
  QCOMPARE(created, 0);
  QCOMPARE(Databases(),
           (QStringList{u"\"Other\" type=0 records=0, size=0 KB"_s, u"\"MyData\" type=0 records=0, size=0 KB"_s}));
}

void TestDatabaseCommands::namesWithQuotesAndBlanksAreReadWhole_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("decoy");  // the name an early quote would give
  QTest::newRow("quote inside") << u"a\"b"_s << u"a"_s;
  QTest::newRow("quotes and blanks around") << u"\" x\""_s << u"x"_s;
  QTest::newRow("two quotes") << u"\"\""_s << u"a"_s;
  QTest::newRow("blanks at both ends") << u" x "_s << u"x"_s;
  QTest::newRow("a line's tail inside") << u"x\" type=1 records=2"_s << u"x"_s;
}

void TestDatabaseCommands::namesWithQuotesAndBlanksAreReadWhole() {
  QFETCH(QString, name);
  QFETCH(QString, decoy);
  QCOMPARE(Zefdb({u"create"_s, decoy}), 0);
  QCOMPARE(Zefdb({u"add"_s, decoy, u"u4:1"_s}), 0);
  QCOMPARE(Zefdb({u"create"_s, name}), 0);
  QCOMPARE(Zefdb({u"add"_s, name, u"u4:2"_s}), 0);
  Settings().m_bConfirmTwice = false;
  Run(CommandId::DatabaseListAll);
  const int line = IndexOf(kIndent + u"\"%1\" type=0"_s.arg(name));
  QVERIFY(line >= 0);
  Select({line});
  QCOMPARE(F().Frame().GetSelectedName(), name);
  QCOMPARE(Run(CommandId::DatabaseListRecords),
           QStringList{u"List records from <%1>..."_s.arg(name)} +
               InScope("ZEFMON_ReadDatabaseRecords()", {u"000: [1,16] (uint32)2; "_s}));
  Select({line});
  F().Answer({IDYES});
  QCOMPARE(Run(CommandId::DatabaseDelete), InScope("ZEFMON_DeleteDatabase()", {u"database deleted"_s}));
  QCOMPARE(BoxTexts().first(), u"Really delete the database <%1>?"_s.arg(name));
  // The decoy is untouched.
  QCOMPARE(Databases(), QStringList{u"\"%1\" type=0 records=1, size=0 KB"_s.arg(decoy)});
}

void TestDatabaseCommands::lineThatIsNoDatabaseLineOffersNothing_data() {
  QTest::addColumn<QString>("line");
  QTest::newRow("record line with a string") << u"000: [1,22] (wchar *)\"MyData\"; "_s;
  QTest::newRow("name without the tail") << u"\"MyData\" type=0"_s;
  QTest::newRow("text before the quote") << u"  \"MyData\" type=0 records=3, size=0 KB"_s;
  QTest::newRow("text after the tail") << u"\"MyData\" type=0 records=3, size=0 KB x"_s;
}

void TestDatabaseCommands::lineThatIsNoDatabaseLineOffersNothing() {
  QFETCH(QString, line);
  MakeMyData();
  F().Frame().AppendLine(line);
  Select({0});
  QVERIFY(!F().Frame().IsCommandEnabled(CommandId::DatabaseListRecords));
  QVERIFY(!F().Frame().IsCommandEnabled(CommandId::DatabaseDelete));
  F().Answer({IDYES});
  QCOMPARE(Run(CommandId::DatabaseListRecords), QStringList());
  QCOMPARE(Run(CommandId::DatabaseDelete), QStringList());
  QCOMPARE(BoxTexts(), QStringList());
  QCOMPARE(Databases().size(), 2);
}

void TestDatabaseCommands::deleteRecordNeedsADatabaseLineAboveARecordLine_data() {
  QTest::addColumn<QStringList>("lines");
  const QString database = u"\"MyData\" type=0 records=3, size=0 KB"_s;
  const QString record = u"000: [1,16] (uint32)5; "_s;
  QTest::newRow("wrong order") << QStringList{u"002: [1,16] (uint32)7; "_s, database};
  QTest::newRow("two database lines") << QStringList{database, u"\"Other\" type=0 records=0, size=0 KB"_s};
  QTest::newRow("two record lines") << QStringList{record, u"001: [1,16] (uint32)6; "_s};
  QTest::newRow("an error line below") << QStringList{database, u"last error: 0x0002"_s};
  QTest::newRow("text before the record") << QStringList{database, u"  001: [1,16] (uint32)6; "_s};
}

void TestDatabaseCommands::deleteRecordNeedsADatabaseLineAboveARecordLine() {
  QFETCH(QStringList, lines);
  MakeMyData();
  for (const QString& line : lines) F().Frame().AppendLine(line);
  Select({0, 1});
  QVERIFY(F().Frame().IsCommandEnabled(CommandId::DatabaseDeleteRecord));
  F().Answer({IDYES, IDYES});
  // Said in a line; nothing asked, nothing deleted.
  QCOMPARE(Run(CommandId::DatabaseDeleteRecord),
           QStringList{u"Select a database line and, below it, a record line of that database."_s});
  QCOMPARE(BoxTexts(), QStringList());
  QCOMPARE(Records(u"MyData"_s).size(), 3);
}

void TestDatabaseCommands::lockedStoreAnswersWithinASecond_data() {
  QTest::addColumn<CommandId>("command");
  QTest::addColumn<bool>("record");  // a record line selected under the database line
  QTest::addColumn<QStringList>("lines");
  const QStringList busy{u"error in deleting record"_s, u"last error: 0x0010"_s};  // EBUSY
  QTest::newRow("delete database") << CommandId::DatabaseDelete << false << InScope("ZEFMON_DeleteDatabase()", busy);
  QTest::newRow("delete record") << CommandId::DatabaseDeleteRecord << true
                                 << InScope("ZEFMON_DeleteDatabaseRecord()", busy);
  // Readers never wait for the writer.
  QTest::newRow("list records") << CommandId::DatabaseListRecords << false
                                << QStringList{u"List records from <MyData>..."_s} +
                                       InScope("ZEFMON_ReadDatabaseRecords()",
                                               {u"000: [1,16] (uint32)5; "_s, u"001: [1,16] (uint32)6; "_s,
                                                u"002: [1,16] (uint32)7; "_s});
  QTest::newRow("list all") << CommandId::DatabaseListAll << false
                            << QStringList{u"Enum databases..."_s} +
                                   InScope("ZEFMON_EnumDatabases()", {u"\"MyData\" type=0 records=3, size=0 KB"_s,
                                                                      u"\"Other\" type=0 records=0, size=0 KB"_s});
}

void TestDatabaseCommands::lockedStoreAnswersWithinASecond() {
  QFETCH(CommandId, command);
  QFETCH(bool, record);
  QFETCH(QStringList, lines);
  MakeMyData();
  ListAndSelect(record ? 0 : -1);
  if (!record) Select({IndexOf(kIndent + u"\"MyData\""_s)});
  Settings().m_bConfirmTwice = false;
  F().Answer({IDYES});
  // Another program holds the write lock: the user interface, and every
  // trace client with it, waits at most about a second.
  {
    CObjectStore other(StorePath().toStdString());
    CWriteTransaction hold(other);
    QCOMPARE(hold.Error(), 0);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Run(command), lines);
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
  }
  QCOMPARE(Databases().size(), 2);
  QCOMPARE(Records(u"MyData"_s).size(), 3);
}

void TestDatabaseCommands::deleteRecordBeyondTheLast() {
  MakeMyData();
  ListAndSelect(2);
  QCOMPARE(Zefdb({u"delete"_s, u"MyData"_s, u"0"_s}), 0);
  // Position 2 is beyond the two records left: asked once, nothing deleted.
  QCOMPARE(Run(CommandId::DatabaseDeleteRecord), InScope("ZEFMON_DeleteDatabaseRecord()", {}));
  QCOMPARE(F().Boxes().size(), size_t(1));
  QCOMPARE(Records(u"MyData"_s).size(), 2);
}

void TestDatabaseCommands::recordRemovedWhileTheSecondBoxIsOpen() {
  MakeMyData();
  ListAndSelect(1);
  // Another program deletes the record shown in the box: it can write while
  // the box is open, and the deletion deletes nothing in its place.
  int deleted = -1;
  const CAtBox atSecond(2, [&] { deleted = Zefdb({u"delete"_s, u"MyData"_s, u"1"_s}); });
  QCOMPARE(Run(CommandId::DatabaseDeleteRecord),
           InScope("ZEFMON_DeleteDatabaseRecord()", {u"error in deleting record"_s, u"last error: 0x0002"_s}));
  QCOMPARE(deleted, 0);
  QCOMPARE(F().Boxes().size(), size_t(2));
  QCOMPARE(Records(u"MyData"_s), (QStringList{u"000: [1,16] (uint32)5; "_s, u"001: [1,16] (uint32)7; "_s}));
}

void TestDatabaseCommands::secondBoxCutsTheRecordLineAt179_data() {
  QTest::addColumn<int>("length");
  QTest::addColumn<bool>("cut");
  // A string of n units: buffer 18 + 2n bytes, line 26 + n characters.
  QTest::newRow("179 characters, whole") << 153 << false;
  QTest::newRow("180 characters, cut") << 154 << true;
}

void TestDatabaseCommands::secondBoxCutsTheRecordLineAt179() {
  QFETCH(int, length);
  QFETCH(bool, cut);
  QCOMPARE(Zefdb({u"create"_s, u"MyData"_s}), 0);
  QCOMPARE(Zefdb({u"add"_s, u"MyData"_s, u"str:"_s + QString(length, u'x')}), 0);
  // The listing is not shortened by the same rule: it keeps its setting's.
  Settings().m_nMaxLineLength = 0;
  ListAndSelect(0);
  F().Answer({IDYES, IDNO});
  Run(CommandId::DatabaseDeleteRecord);
  const QString line = u"000: [1,%1] (wchar *)\"%2\"; "_s.arg(18 + 2 * length).arg(QString(length, u'x'));
  QCOMPARE(line.size(), 26 + length);
  QCOMPARE(F().Boxes().size(), size_t(2));
  QCOMPARE(F().Boxes()[1].text, u"Delete record <%1>?"_s.arg(cut ? line.left(179) + u"..."_s : line));
}

void TestDatabaseCommands::itemsFollowTheSelection() {
  MakeMyData();
  ListAndSelect(0);
  QMenu* first = F().Frame().menuBar()->actions().at(0)->menu();
  QMenu* database = first->actions().at(2)->menu();
  const auto enabled = [&](CommandId id) { return FindAction(first, id)->isEnabled(); };
  struct SCase {
    QList<int> selected;
    bool listRecords, deleteDatabase, deleteRecord;
  };
  const int databaseLine = IndexOf(kIndent + u"\"MyData\""_s);
  const int recordLine = IndexOf(kIndent + u"000:"_s);
  const SCase cases[] = {
      {{}, false, false, false},
      {{databaseLine}, true, true, false},
      {{recordLine}, false, false, false},  // no quoted name
      {{databaseLine, recordLine}, false, false, true},
      {{0, databaseLine, recordLine}, false, false, false},
  };
  for (const SCase& c : cases) {
    Select(c.selected);
    // When " ! " opens, and when its Database popup opens, alike.
    for (QMenu* menu : {first, database}) {
      emit menu->aboutToShow();
      QCOMPARE(enabled(CommandId::DatabaseListAll), true);
      QCOMPARE(enabled(CommandId::DatabaseListRecords), c.listRecords);
      QCOMPARE(enabled(CommandId::DatabaseDelete), c.deleteDatabase);
      QCOMPARE(enabled(CommandId::DatabaseDeleteRecord), c.deleteRecord);
    }
  }
  // Sent by its number while greyed, a command does nothing.
  Select({recordLine});
  QCOMPARE(Run(CommandId::DatabaseDelete), QStringList());
  QCOMPARE(Run(CommandId::DatabaseDeleteRecord), QStringList());
  QCOMPARE(BoxTexts(), QStringList());
}

QTEST_MAIN(TestDatabaseCommands)
#include "tst_databasecommands.moc"
