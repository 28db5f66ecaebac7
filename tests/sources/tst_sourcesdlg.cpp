// The Sources dialog: sources added, switched and kept reach the section only
// on OK; one that cannot run holds OK back and says why.
#include "platform/dialog/settingsdialog.h"
#include "sources/sourcesdlg.h"
#include "tests/support/dialogdriver.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>

using namespace zef;

namespace QTest {
template <>
char* toString(const std::vector<SSource>& entries) {
  QStringList texts;
  for (const SSource& s : entries)
    texts << PrintSource(s) + QString::fromLatin1(s.bEnabled ? "" : " off") +
                 QString::fromLatin1(s.bSession ? " session" : "");
  return qstrdup(qPrintable(texts.join(u" | ")));
}
}  // namespace QTest
using zef::test::Child;
using zef::test::ClickCaptionOk;
using zef::test::ClickChild;
using zef::test::TickChild;
using zef::test::TypeIntoChild;
using zef::test::WhenOpen;

class TestSourcesDlg : public QObject {
  Q_OBJECT
 private slots:
  void editsReachTheSectionOnOk();
  void cancelKeepsTheSection();
  void aSourceThatCannotRunHoldsOkBack();
};

namespace {
void ChooseKind(CDialog& dlg, ESourceKind kind) {
  QComboBox& box = Child<QComboBox>(dlg, "sourceKind");
  box.setCurrentIndex(int(kind));
  emit box.activated(int(kind));
}
SSource Session(SSource entry) {
  entry.bSession = true;
  return entry;
}
}  // namespace

void TestSourcesDlg::editsReachTheSectionOnOk() {
  CSourceSettings settings;
  settings.m_vSources = {MakeSource(ESourceKind::Kernel),
                         Session(MakeSource(ESourceKind::File, QStringLiteral("/tmp/given.log"))),
                         Session(MakeSource(ESourceKind::File, QStringLiteral("here.log")))};
  WhenOpen([](CDialog& dlg) {
    QListWidget& list = Child<QListWidget>(dlg, "sourceList");
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.item(1)->text(), QStringLiteral("File /tmp/given.log (command line)"));
    // A saved source cannot be left out of later starts: only removed.
    QVERIFY(!Child<QCheckBox>(dlg, "sourceKeep").isEnabled());
    list.item(0)->setCheckState(Qt::Unchecked);
    list.setCurrentRow(1);
    TickChild(dlg, "sourceKeep");
    QCOMPARE(list.item(1)->text(), QStringLiteral("File /tmp/given.log"));
    ClickChild(dlg, "sourceAdd");
    TypeIntoChild(dlg, "sourceArgument", QStringLiteral("/var/log/new.log"));
    TickChild(dlg, "sourceFromStart");
    QCOMPARE(list.item(3)->text(), QStringLiteral("File /var/log/new.log, from its beginning"));
    ClickChild(dlg, "sourceAdd");
    TypeIntoChild(dlg, "sourceArgument", QStringLiteral("relative.log"));
    ClickChild(dlg, "sourceAdd");  // left empty: dropped on OK
    ChooseKind(dlg, ESourceKind::Journal);
    TypeIntoChild(dlg, "sourceArgument", QStringLiteral("PRIORITY=3"));
    Child<QSpinBox>(dlg, "sourceLast").setValue(20);
    ClickChild(dlg, "sourceAdd");
    ChooseKind(dlg, ESourceKind::JournalDir);
    TypeIntoChild(dlg, "sourceArgument", QStringLiteral("/var/log/journal/remote"));
    TypeIntoChild(dlg, "sourceMatches", QStringLiteral("PRIORITY=0..2"));
    TickChild(dlg, "sourceFromStart");
    // From its oldest entry, no count of latest ones applies.
    QVERIFY(!Child<QSpinBox>(dlg, "sourceLast").isEnabled());
    QCOMPARE(
        list.item(6)->text(),
        QStringLiteral("Journal directory /var/log/journal/remote, matching PRIORITY=0..2, from its oldest entry"));
    ClickCaptionOk(dlg);
  });
  QVERIFY(RunSettingsDialog<CSourcesDlg>(nullptr, settings, CLookAndFeel{}));
  SSource kernel = MakeSource(ESourceKind::Kernel);
  kernel.bEnabled = false;
  SSource fromStart = MakeSource(ESourceKind::File, QStringLiteral("/var/log/new.log"));
  fromStart.bFromStart = true;
  SSource journal = MakeSource(ESourceKind::Journal, QStringLiteral("PRIORITY=3"));
  journal.nLast = 20;
  SSource journalDir = MakeSource(ESourceKind::JournalDir, QStringLiteral("/var/log/journal/remote"));
  journalDir.bFromStart = true;
  journalDir.strMatches = QStringLiteral("PRIORITY=0..2");
  // A path typed without its directory is taken from the working one; the
  // command line's own stays as given while it runs for the session only.
  const std::vector<SSource> expected{
      kernel,
      MakeSource(ESourceKind::File, QStringLiteral("/tmp/given.log")),
      Session(MakeSource(ESourceKind::File, QStringLiteral("here.log"))),
      fromStart,
      MakeSource(ESourceKind::File, QDir::current().absoluteFilePath(QStringLiteral("relative.log"))),
      journal,
      journalDir};
  QCOMPARE(settings.m_vSources, expected);
}

void TestSourcesDlg::cancelKeepsTheSection() {
  CSourceSettings settings;
  settings.m_vSources = {MakeSource(ESourceKind::File, QStringLiteral("/a.log")), MakeSource(ESourceKind::Kernel)};
  const CSourceSettings before = settings;
  WhenOpen([](CDialog& dlg) {
    ClickChild(dlg, "sourceRemove");
    QCOMPARE(Child<QListWidget>(dlg, "sourceList").count(), 1);
    ChooseKind(dlg, ESourceKind::JournalDir);
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QVERIFY(!RunSettingsDialog<CSourcesDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings, before);
}

void TestSourcesDlg::aSourceThatCannotRunHoldsOkBack() {
  CSourceSettings settings;
  WhenOpen([](CDialog& dlg) {
    QVERIFY(!Child<QPushButton>(dlg, "sourceRemove").isEnabled());
    ClickChild(dlg, "sourceAdd");
    ChooseKind(dlg, ESourceKind::Kernel);
    QVERIFY(!Child<QLineEdit>(dlg, "sourceArgument").isEnabled());
    ChooseKind(dlg, ESourceKind::Journal);
    TypeIntoChild(dlg, "sourceArgument", QStringLiteral("nginx"));
    QLabel& error = Child<QLabel>(dlg, "sourceError");
    QCOMPARE(error.text(), QStringLiteral("\"nginx\" is no journal match (FIELD=VALUE, the field in capitals)"));
    ClickCaptionOk(dlg);
    QVERIFY(dlg.isVisible());
    TypeIntoChild(dlg, "sourceArgument", QStringLiteral("SYSLOG_IDENTIFIER=nginx"));
    QVERIFY(error.text().isEmpty());
    ClickCaptionOk(dlg);
  });
  QVERIFY(RunSettingsDialog<CSourcesDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings.m_vSources,
           std::vector<SSource>{MakeSource(ESourceKind::Journal, QStringLiteral("SYSLOG_IDENTIFIER=nginx"))});
}

QTEST_MAIN(TestSourcesDlg)
#include "tst_sourcesdlg.moc"
