// The twenty-three settings: defaults, odd stored values, and when they are saved.
#include "tests/support/fixture.h"
#include "tests/shell/settingsrows.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

using namespace zef;
using zef::test::CFrameFixture;
using zef::test::SettingRows;

class TestSettings : public QObject {
  Q_OBJECT
 private slots:
  void noFileGivesTheLoadDefaults();
  void storedValuesAreReadAsStored();
  void wrongTypesReadAsDefaults();
  void monitorNumbersAreBoundedOnLoad_data();
  void monitorNumbersAreBoundedOnLoad();
  void unreadableFileGivesDefaults();
  void unreadableFileIsReplacedOnCloseWithoutComplaint();
  void endingWithoutAskingSavesAndClosesWhatIsOpen_data();
  void endingWithoutAskingSavesAndClosesWhatIsOpen();
  void confirmedCloseWritesEveryValueNormalised();
  void declinedCloseWritesNothing();
  void closeWithoutAskingSavesAtOnce();
  void everySettingIsReadUnderItsOwnName_data();
  void everySettingIsReadUnderItsOwnName();
  void everySettingIsWrittenUnderItsOwnName_data();
  void everySettingIsWrittenUnderItsOwnName();
  void unsavableSettingsAreReportedAndTheProgramEnds_data();
  void unsavableSettingsAreReportedAndTheProgramEnds();
  void everySectionRoundTripsThroughTheProfile_data();
  void everySectionRoundTripsThroughTheProfile();
};

namespace {
void AddRowPerSetting() {
  QTest::addColumn<int>("row");
  const auto rows = SettingRows();
  for (std::size_t i = 0; i < rows.size(); ++i) QTest::newRow(rows[i].key) << int(i);
}
// A value as the file holds it: booleans as 0 or 1.
QString StoredText(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
  return value.toString();
}
}  // namespace

namespace {
// Saves `edited` (every field off its construction value) to a new profile
// file and loads it into a section as constructed: the section's rows name
// every field, and each reads back what it wrote, in the one section.
template <class TSection>
void CheckRoundTrip(const TSection& edited, const QString& section) {
  QVERIFY(!(edited == TSection{}));
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("profile.conf"));
  {
    CProfile profile(file);
    TSection saved = edited;
    saved.Exchange(profile, DataDirection::FromControls);
    QVERIFY(profile.Flush());
  }
  QCOMPARE(QSettings(file, QSettings::IniFormat).childGroups(), QStringList{section});
  CProfile profile(file);
  TSection loaded;
  loaded.Exchange(profile, DataDirection::ToControls);
  QVERIFY(loaded == edited);
}

void RoundTripGeneral() {
  // {{reset, clear}, close, fit}: none asks, the window is fitted.
  CheckRoundTrip(CGeneralOptions{{false, false}, false, true}, QStringLiteral("Init.General"));
}
void RoundTripLoop() { CheckRoundTrip(CLoopSettings{7, 33, 12, 1234, 250}, QStringLiteral("Init.Loop")); }
void RoundTripMonitor() {
  CheckRoundTrip(
      CMonitorSettings{true, QStringLiteral("/var/tmp/other.log"), QString(), false, true, true, true, 64, 8, 3},
      QStringLiteral("Init.Monitor"));
}
void RoundTripDatabase() { CheckRoundTrip(CDatabaseSettings{64, false}, QStringLiteral("Init.Database")); }
void RoundTripLookAndFeel() { CheckRoundTrip(CLookAndFeel{false, false}, QStringLiteral("Init.LaF")); }

const std::pair<const char*, void (*)()> kRoundTrips[] = {
    {"Init.General", RoundTripGeneral},   {"Init.Loop", RoundTripLoop},       {"Init.Monitor", RoundTripMonitor},
    {"Init.Database", RoundTripDatabase}, {"Init.LaF", RoundTripLookAndFeel},
};
}  // namespace

void TestSettings::everySectionRoundTripsThroughTheProfile_data() {
  QTest::addColumn<int>("section");
  for (std::size_t i = 0; i < std::size(kRoundTrips); ++i) QTest::newRow(kRoundTrips[i].first) << int(i);
}

void TestSettings::everySectionRoundTripsThroughTheProfile() {
  QFETCH(int, section);
  kRoundTrips[std::size_t(section)].second();
}

void TestSettings::everySettingIsReadUnderItsOwnName_data() { AddRowPerSetting(); }

void TestSettings::everySettingIsReadUnderItsOwnName() {
  QFETCH(int, row);
  const auto rows = SettingRows();
  const auto& setting = rows[std::size_t(row)];
  CFrameFixture f(QByteArray("[") + setting.section + "]\n" + setting.key + '=' + setting.iniText + '\n');
  QCOMPARE(setting.get(f.Frame(), f.App()), setting.other);
  // It reached its own field and no other.
  for (const auto& other : rows) {
    if (&other != &setting) QCOMPARE(other.get(f.Frame(), f.App()), other.loadDefault);
  }
}

void TestSettings::everySettingIsWrittenUnderItsOwnName_data() { AddRowPerSetting(); }

void TestSettings::everySettingIsWrittenUnderItsOwnName() {
  QFETCH(int, row);
  const auto rows = SettingRows();
  const auto& setting = rows[std::size_t(row)];
  CFrameFixture f;
  setting.set(f.Frame(), f.App(), setting.other);
  QVERIFY(f.Frame().close());

  QSettings stored(f.SettingsFile(), QSettings::IniFormat);
  QCOMPARE(stored.value(zef::test::SettingPath(setting)).toString(), QString::fromLatin1(setting.iniText));
  QStringList expectedKeys;
  for (const auto& each : rows) {
    expectedKeys << zef::test::SettingPath(each);
    if (&each != &setting)
      QCOMPARE(stored.value(zef::test::SettingPath(each)).toString(), StoredText(each.loadDefault));
  }
  QStringList keys = stored.allKeys();
  keys.sort();
  expectedKeys.sort();
  QCOMPARE(keys, expectedKeys);
}

void TestSettings::unsavableSettingsAreReportedAndTheProgramEnds_data() {
  QTest::addColumn<bool>("folderInPlace");  // else the settings folder is read-only
  QTest::addColumn<QString>("reason");
  QTest::newRow("a folder in the file's place") << true << QStringLiteral("it is a folder, not a file");
  QTest::newRow("read-only folder") << false << QStringLiteral("Permission denied");
}

void TestSettings::unsavableSettingsAreReportedAndTheProgramEnds() {
  QFETCH(bool, folderInPlace);
  QFETCH(QString, reason);
  if (!folderInPlace && ::geteuid() == 0) QSKIP("permissions do not stop the superuser");
  CFrameFixture f;
  const QString folder = QFileInfo(f.SettingsFile()).absolutePath();
  if (folderInPlace) {
    QVERIFY(QDir().mkpath(f.SettingsFile()));
  } else {
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
  }
  QSignalSpy closed(&f.Frame(), &CMainFrame::closed);
  f.Answer({IDYES, IDOK});
  const bool wentAhead = f.Frame().close();
  QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  QVERIFY(wentAhead);
  QCOMPARE(closed.count(), 1);
  QCOMPARE(f.Boxes().size(), std::size_t{2});
  const MessageBoxRequest& report = f.Boxes()[1];
  QCOMPARE(report.text, QStringLiteral("The settings could not be saved to %1: %2.")
                            .arg(QDir::toNativeSeparators(f.SettingsFile()), reason));
  QCOMPARE(report.caption, QStringLiteral("ZEFMON"));
  QCOMPARE(report.style, std::uint32_t(MB_OK | MB_ICONEXCLAMATION));
}

void TestSettings::noFileGivesTheLoadDefaults() {
  CFrameFixture f;
  QVERIFY(f.m_bCreated);
  CMainFrame& m = f.Frame();
  QCOMPARE(m.Settings().general.m_bAskBeforeClose, true);
  QCOMPARE(m.Settings().general.m_bAskBeforeResetNestedCalls, true);
  QCOMPARE(m.Settings().general.m_bAskBeforeClearContent, true);
  QCOMPARE(m.Settings().general.m_bAdjustWndSip, false);
  QCOMPARE(m.Settings().loop.m_nLoopCount, 100);
  QCOMPARE(m.Settings().loop.m_nLoopDelay, 20);  // not the construction value 500
  QCOMPARE(m.Settings().loop.m_nTimerLoopCount, 100);
  QCOMPARE(m.Settings().loop.m_nTimerLoopDelay, 60000);
  QCOMPARE(m.Settings().loop.m_nTimerLoopInterval, 90);
  QCOMPARE(m.Settings().monitor.m_bLogToFile, false);
  QCOMPARE(m.Settings().monitor.m_strLogFile, QStringLiteral("\\ZEFMON.LOG"));
  QCOMPARE(m.Settings().monitor.m_strIndentChars, QStringLiteral("  "));
  QCOMPARE(m.Settings().monitor.m_bQuickDraw, true);
  QCOMPARE(m.Settings().database.m_nMaxLineLength, 179);
  QCOMPARE(m.Settings().database.m_bConfirmTwice, true);
  QCOMPARE(f.App().m_lookAndFeel.m_bShowCancelBtn, true);
  QCOMPARE(f.App().m_lookAndFeel.m_bNoFullScreenDlg, true);
}

void TestSettings::storedValuesAreReadAsStored() {
  CFrameFixture f(
      "[Init.General]\nAskBeforeCloseZEFMON=5\nAdjustWndSip=1\n"
      "[Init.Monitor]\nIndentChars=\nQDraw=0\nLogFile=/tmp/x.log\n"
      "[Init.Database]\nMaxLineLength=5\n[Init.LaF]\nNoFullScreenDlg=0\n");
  CMainFrame& m = f.Frame();
  QCOMPARE(m.Settings().general.m_bAskBeforeClose, true);  // 5 reads as on
  QCOMPARE(m.Settings().general.m_bAdjustWndSip, true);
  QCOMPARE(m.Settings().monitor.m_strIndentChars, QString());  // present but empty: no indent
  QCOMPARE(m.Settings().monitor.m_bQuickDraw, false);
  QCOMPARE(m.Settings().monitor.m_strLogFile, QStringLiteral("/tmp/x.log"));
  QCOMPARE(m.Settings().database.m_nMaxLineLength, 5);  // no range applied on load
  QCOMPARE(f.App().m_lookAndFeel.m_bNoFullScreenDlg, false);

  // The empty indent string reached the list: no indent at any depth.
  m.AppendLine(QStringLiteral("a {"));
  m.AppendLine(QStringLiteral("b {"));
  m.AppendLine(QStringLiteral("x"));
  QCOMPARE(f.Lines().last(), QStringLiteral("x"));
}

void TestSettings::wrongTypesReadAsDefaults() {
  CFrameFixture f("[Init.Loop]\nCount=lots\nDelay=12abc\n[Init.Database]\nMaxLineLength=\n");
  QCOMPARE(f.Frame().Settings().loop.m_nLoopCount, 100);
  QCOMPARE(f.Frame().Settings().loop.m_nLoopDelay, 20);
  QCOMPARE(f.Frame().Settings().database.m_nMaxLineLength, 179);
}

void TestSettings::monitorNumbersAreBoundedOnLoad_data() {
  QTest::addColumn<QByteArray>("stored");  // the same text for the three numbers
  QTest::addColumn<int>("limit");
  QTest::addColumn<int>("rotate");
  QTest::addColumn<int>("keep");
  const int maxMB = CMonitorSettings::kMaxLogRotateMB;
  QTest::newRow("in range") << QByteArray("12") << 12 << 12 << 12;
  QTest::newRow("negative") << QByteArray("-5") << 0 << 0 << 0;
  QTest::newRow("beyond the bounds") << QByteArray("2000000") << maxMB << maxMB << CMonitorSettings::kMaxLogKeep;
}

void TestSettings::monitorNumbersAreBoundedOnLoad() {
  QFETCH(QByteArray, stored);
  QFETCH(int, limit);
  QFETCH(int, rotate);
  QFETCH(int, keep);
  CFrameFixture f("[Init.Monitor]\nHistoryLimitMB=" + stored + "\nLogRotateMB=" + stored + "\nLogKeep=" + stored +
                  '\n');
  const CMonitorSettings& monitor = f.Frame().Settings().monitor;
  QCOMPARE(monitor.m_nHistoryLimitMB, limit);
  QCOMPARE(monitor.m_nLogRotateMB, rotate);
  QCOMPARE(monitor.m_nLogKeep, keep);
}

namespace {
constexpr char kGarbage[] = "\0\xff\xfe[[[=\n\x01garbage";
}  // namespace

void TestSettings::unreadableFileGivesDefaults() {
  CFrameFixture f(QByteArray(kGarbage, sizeof kGarbage - 1));
  QVERIFY(f.m_bCreated);
  QCOMPARE(f.Frame().Settings().loop.m_nTimerLoopInterval, 90);
  QCOMPARE(f.Frame().Settings().monitor.m_strIndentChars, QStringLiteral("  "));
}

void TestSettings::unreadableFileIsReplacedOnCloseWithoutComplaint() {
  CFrameFixture f(QByteArray(kGarbage, sizeof kGarbage - 1));
  f.Frame().Settings().loop.m_nLoopCount = 7;
  f.Answer({IDYES});
  QVERIFY(f.Frame().close());
  QCOMPARE(f.Boxes().size(), std::size_t{1});  // "Really quit" only
  // Read as bytes: a QSettings of this process would share the profile's
  // copy of the file instead of reading what reached the disk.
  QFile saved(f.SettingsFile());
  QVERIFY(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  QVERIFY2(bytes.contains("\n[Init.Loop]\nCount=7\n") && !bytes.contains("garbage"), bytes.constData());
}

void TestSettings::endingWithoutAskingSavesAndClosesWhatIsOpen_data() {
  QTest::addColumn<QString>("open");
  QTest::newRow("nothing") << QString();
  QTest::newRow("a modal dialog") << QStringLiteral("dialog");
  QTest::newRow("a menu") << QStringLiteral("menu");
}

void TestSettings::endingWithoutAskingSavesAndClosesWhatIsOpen() {
  QFETCH(QString, open);
  CFrameFixture f;  // asks before closing, by default
  f.Frame().Settings().loop.m_nLoopCount = 7;
  QSignalSpy closed(&f.Frame(), &CMainFrame::closed);
  QTimer::singleShot(0, &f.Frame(), [&f] { f.App().EndWithoutAsking(); });
  if (open == u"dialog") {
    QDialog dialog(&f.Frame());
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
  } else if (open == u"menu") {
    QMenu menu(&f.Frame());
    menu.addAction(QStringLiteral("item"));
    QCOMPARE(menu.exec(f.Frame().geometry().center()), nullptr);
  }
  QTRY_COMPARE(closed.count(), 1);
  QVERIFY(f.Boxes().empty());
  QCOMPARE(QSettings(f.SettingsFile(), QSettings::IniFormat).value(QStringLiteral("Init.Loop/Count")).toInt(), 7);
}

void TestSettings::confirmedCloseWritesEveryValueNormalised() {
  CFrameFixture f("[Init.General]\nAskBeforeResetNestedCalls=5\n");
  f.Frame().Settings().loop.m_nLoopCount = 7;
  f.Frame().Settings().monitor.m_strIndentChars = QStringLiteral("  ");
  f.Answer({IDYES});
  QVERIFY(f.Frame().close());
  QSettings stored(f.SettingsFile(), QSettings::IniFormat);
  QCOMPARE(stored.value(QStringLiteral("Init.General/AskBeforeResetNestedCalls")).toInt(), 1);
  QCOMPARE(stored.value(QStringLiteral("Init.Loop/Count")).toInt(), 7);
  QCOMPARE(stored.value(QStringLiteral("Init.Loop/Delay")).toInt(), 20);
  QCOMPARE(stored.value(QStringLiteral("Init.Monitor/IndentChars")).toString(), QStringLiteral("  "));
  QCOMPARE(stored.value(QStringLiteral("Init.LaF/ShowCancelBtn")).toInt(), 1);
  QCOMPARE(stored.allKeys().size(), qsizetype(SettingRows().size()));
}

void TestSettings::declinedCloseWritesNothing() {
  CFrameFixture f;
  f.Frame().Settings().loop.m_nLoopCount = 3;
  f.Answer({IDNO});
  QVERIFY(!f.Frame().close());
  QCOMPARE(f.Boxes().size(), size_t(1));
  QCOMPARE(f.Boxes()[0].text, QStringLiteral("Really quit ZEFMON?"));
  QCOMPARE(f.Boxes()[0].caption, QStringLiteral("ZEFMON"));
  QCOMPARE(f.Boxes()[0].style, std::uint32_t(MB_YESNO | MB_ICONQUESTION));
  QVERIFY(!QFile::exists(f.SettingsFile()));
  QVERIFY(f.Frame().isVisible());

  // A later close that goes ahead saves the change made in between.
  f.Answer({IDYES});
  QVERIFY(f.Frame().close());
  QSettings stored(f.SettingsFile(), QSettings::IniFormat);
  QCOMPARE(stored.value(QStringLiteral("Init.Loop/Count")).toInt(), 3);
}

void TestSettings::closeWithoutAskingSavesAtOnce() {
  CFrameFixture f("[Init.General]\nAskBeforeCloseZEFMON=0\n");
  QVERIFY(f.Frame().close());
  QVERIFY(f.Boxes().empty());
  QVERIFY(QFile::exists(f.SettingsFile()));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
