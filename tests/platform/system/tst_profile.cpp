// The profile over QSettings: absent values, types, strings with spaces,
// the one file it reads, and why a save fails.
#include "platform/system/profile.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using zef::CProfile;

namespace {
// A settings file QSettings reports as FormatError.
constexpr char kDamagedText[] = "\0\xff\xfe[[[=\n\x01garbage";
const QByteArray kDamaged(kDamagedText, sizeof kDamagedText - 1);

void WriteFile(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}
}  // namespace

class TestProfile : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void onlyTheUsersOwnFileIsRead();
  void flushSaysWhyTheFileCannotBeWritten_data();
  void flushSaysWhyTheFileCannotBeWritten();
  void roundTripKeepsTextExactly_data();
  void roundTripKeepsTextExactly();
  void integersAndDefaults();
};

void TestProfile::roundTripKeepsTextExactly_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("two spaces") << QStringLiteral("  ");
  QTest::newRow("empty") << QString();
  QTest::newRow("backslash path") << QStringLiteral("\\ZEFMON.LOG");
  QTest::newRow("comma and quotes") << QStringLiteral("a, \"b\";c");
  QTest::newRow("brace") << QStringLiteral("{");
  QTest::newRow("non-latin") << QString::fromUtf16(u"\u20AC\u00E9");
}

void TestProfile::roundTripKeepsTextExactly() {
  QFETCH(QString, text);
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("p.conf"));
  {
    CProfile profile(file);
    profile.WriteProfileString(QStringLiteral("Init.Monitor"), QStringLiteral("IndentChars"), text);
    QVERIFY(profile.Flush());
  }
  CProfile profile(file);
  QCOMPARE(profile.GetProfileString(QStringLiteral("Init.Monitor"), QStringLiteral("IndentChars"),
                                    QStringLiteral("default")),
           text);
}

void TestProfile::integersAndDefaults() {
  QTemporaryDir dir;
  CProfile profile(dir.filePath(QStringLiteral("p.conf")));
  QCOMPARE(profile.GetProfileInt(QStringLiteral("S"), QStringLiteral("absent"), 42), 42);
  profile.WriteProfileInt(QStringLiteral("S"), QStringLiteral("n"), -7);
  profile.WriteProfileString(QStringLiteral("S"), QStringLiteral("t"), QStringLiteral("text"));
  QCOMPARE(profile.GetProfileInt(QStringLiteral("S"), QStringLiteral("n"), 0), -7);
  QCOMPARE(profile.GetProfileInt(QStringLiteral("S"), QStringLiteral("t"), 3), 3);
  QCOMPARE(profile.GetProfileString(QStringLiteral("Other"), QStringLiteral("t"), QStringLiteral("d")),
           QStringLiteral("d"));
}

namespace {
// The user's configuration and the system's, both in temporary folders. Set
// before the first QSettings of the process, which reads them once.
QTemporaryDir g_config;
QString UserConfig() { return g_config.filePath(QStringLiteral("home/.config")); }
QString SystemConfig() { return g_config.filePath(QStringLiteral("xdg")); }
}  // namespace

void TestProfile::initTestCase() {
  QVERIFY(g_config.isValid());
  qputenv("HOME", QFile::encodeName(g_config.filePath(QStringLiteral("home"))));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(UserConfig()));
  qputenv("XDG_CONFIG_DIRS", QFile::encodeName(SystemConfig()));
}

void TestProfile::onlyTheUsersOwnFileIsRead() {
  // Values in every file the settings library would fall back on.
  const QByteArray foreign = "[Init.Loop]\nCount=7\n[Init.Monitor]\nLogFile=/elsewhere.log\n";
  WriteFile(UserConfig() + QStringLiteral("/Quorbel.conf"), foreign);
  WriteFile(SystemConfig() + QStringLiteral("/Quorbel/ZEFMON.conf"), foreign);
  WriteFile(SystemConfig() + QStringLiteral("/Quorbel.conf"), foreign);
  const QString own = UserConfig() + QStringLiteral("/Quorbel/ZEFMON.conf");
  WriteFile(own, "[Init.Loop]\nDelay=33\n");
  {
    CProfile profile(QStringLiteral("Quorbel"), QStringLiteral("ZEFMON"));
    QCOMPARE(QFileInfo(profile.FileName()).absoluteFilePath(), QFileInfo(own).absoluteFilePath());
    QCOMPARE(profile.GetProfileInt(QStringLiteral("Init.Loop"), QStringLiteral("Delay"), 20), 33);
    QCOMPARE(profile.GetProfileInt(QStringLiteral("Init.Loop"), QStringLiteral("Count"), 100), 100);
    QCOMPARE(profile.GetProfileString(QStringLiteral("Init.Monitor"), QStringLiteral("LogFile"), QStringLiteral("d")),
             QStringLiteral("d"));
    profile.WriteProfileInt(QStringLiteral("Init.Loop"), QStringLiteral("CountWM_TIMER"), 5);
    QVERIFY(profile.Flush());
  }
  // The save holds the user's own values and nothing of the other files.
  QSettings stored(own, QSettings::IniFormat);
  QCOMPARE(stored.allKeys(),
           (QStringList{QStringLiteral("Init.Loop/CountWM_TIMER"), QStringLiteral("Init.Loop/Delay")}));
}

void TestProfile::flushSaysWhyTheFileCannotBeWritten_data() {
  QTest::addColumn<QString>("setup");
  QTest::addColumn<QString>("reason");  // part of the reason given; empty when the save succeeds
  QTest::newRow("writable folder") << QStringLiteral("none") << QString();
  QTest::newRow("missing folders are created") << QStringLiteral("deep") << QString();
  QTest::newRow("a folder in the file's place") << QStringLiteral("folderAsFile") << QStringLiteral("it is a folder");
  QTest::newRow("a file in the folder's place") << QStringLiteral("fileAsFolder") << QStringLiteral("is not a folder");
  QTest::newRow("read-only folder") << QStringLiteral("readOnlyFolder") << QStringLiteral("Permission denied");
  QTest::newRow("read-only file") << QStringLiteral("readOnlyFile") << QStringLiteral("not writable");
  // A file that cannot be read is replaced, and says nothing of the save.
  QTest::newRow("damaged file") << QStringLiteral("damaged") << QString();
  QTest::newRow("damaged file, read-only folder")
      << QStringLiteral("readOnlyFolderDamaged") << QStringLiteral("Permission denied");
  QTest::newRow("damaged file, its folder replaced by a file")
      << QStringLiteral("folderGoneDamaged") << QStringLiteral("is not a folder");
}

void TestProfile::flushSaysWhyTheFileCannotBeWritten() {
  QFETCH(QString, setup);
  QFETCH(QString, reason);
  const bool permissions = setup.startsWith(u"readOnly");
  if (permissions && ::geteuid() == 0) QSKIP("permissions do not stop the superuser");
  QTemporaryDir dir;
  QString file = dir.filePath(QStringLiteral("ZEFMON.conf"));
  if (setup == u"deep") file = dir.filePath(QStringLiteral("a/b/ZEFMON.conf"));
  if (setup == u"folderAsFile") QVERIFY(QDir().mkpath(file));
  if (setup == u"fileAsFolder") {
    WriteFile(dir.filePath(QStringLiteral("plain")), "x");
    file = dir.filePath(QStringLiteral("plain/ZEFMON.conf"));
  }
  if (setup == u"folderGoneDamaged") file = dir.filePath(QStringLiteral("sub/ZEFMON.conf"));
  if (setup.endsWith(u"amaged")) WriteFile(file, kDamaged);
  if (setup == u"readOnlyFile") {
    WriteFile(file, "[S]\nn=1\n");
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
  }
  if (setup.startsWith(u"readOnlyFolder"))
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

  CProfile profile(file);
  if (setup == u"folderGoneDamaged") {
    QVERIFY(QDir(dir.filePath(QStringLiteral("sub"))).removeRecursively());
    WriteFile(dir.filePath(QStringLiteral("sub")), "x");
  }
  profile.WriteProfileInt(QStringLiteral("S"), QStringLiteral("n"), 2);
  QString why = QStringLiteral("untouched");
  const bool written = profile.Flush(&why);
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QCOMPARE(written, reason.isEmpty());
  if (written) {
    QCOMPARE(why, QStringLiteral("untouched"));
    QCOMPARE(QSettings(file, QSettings::IniFormat).value(QStringLiteral("S/n")).toInt(), 2);
    // Read as bytes: a second QSettings of this process shares the first one's
    // copy of the file and would not show what reached the disk.
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QVERIFY2(bytes.endsWith("[S]\nn=2\n") && !bytes.contains("garbage"), bytes.constData());
  } else {
    QVERIFY2(why.contains(reason), qPrintable(why));
  }
}

QTEST_APPLESS_MAIN(TestProfile)
#include "tst_profile.moc"
