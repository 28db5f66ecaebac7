// The profile over QSettings: absent values, types, strings with spaces.
#include "platform/system/profile.h"

#include <QTemporaryDir>
#include <QTest>

using zef::CProfile;

class TestProfile : public QObject {
  Q_OBJECT
 private slots:
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
  QCOMPARE(profile.GetProfileString(QStringLiteral("Init.Monitor"), QStringLiteral("IndentChars"), QStringLiteral("default")), text);
}

void TestProfile::integersAndDefaults() {
  QTemporaryDir dir;
  CProfile profile(dir.filePath(QStringLiteral("p.conf")));
  QCOMPARE(profile.GetProfileInt(QStringLiteral("S"), QStringLiteral("absent"), 42), 42);
  profile.WriteProfileInt(QStringLiteral("S"), QStringLiteral("n"), -7);
  profile.WriteProfileString(QStringLiteral("S"), QStringLiteral("t"), QStringLiteral("text"));
  QCOMPARE(profile.GetProfileInt(QStringLiteral("S"), QStringLiteral("n"), 0), -7);
  QCOMPARE(profile.GetProfileInt(QStringLiteral("S"), QStringLiteral("t"), 3), 3);
  QCOMPARE(profile.GetProfileString(QStringLiteral("Other"), QStringLiteral("t"), QStringLiteral("d")), QStringLiteral("d"));
}

QTEST_APPLESS_MAIN(TestProfile)
#include "tst_profile.moc"
