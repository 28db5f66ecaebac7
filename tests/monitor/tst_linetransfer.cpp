// Lines leaving the window: Select all, Copy and Save lines as, with and
// without the gutter, and a save that fails.
#include "monitor/linetransfer.h"
#include "monitor/monitorlist.h"
#include "tests/support/fixture.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>

using namespace zef;
using zef::test::CFrameFixture;

class TestLineTransfer : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QLocale::setDefault(QLocale::c()); }
  void copyTakesTheSelectedLinesAsShown_data();
  void copyTakesTheSelectedLinesAsShown();
  void selectAllByKeyAndCommand();
  void saveWritesShownOrSelectedLines_data();
  void saveWritesShownOrSelectedLines();
  void failedSaveSaysWhyAndLeavesNoFile_data();
  void failedSaveSaysWhyAndLeavesNoFile();
  void listMenuOffersTheLineCommands();
};

namespace {

const QStringList kCalls = {QStringLiteral("A() {"), QStringLiteral("B() {"), QStringLiteral("x"),
                            QStringLiteral("} B()"), QStringLiteral("} A()")};

void Append(CFrameFixture& f, const QStringList& lines) {
  for (const QString& line : lines) f.Frame().AppendLine(line);
}

// The gutter's columns of row `index`, each followed by a tab.
QString Gutter(CFrameFixture& f, int index) {
  QString columns;
  for (const QString& column : f.List().GutterTexts(index)) columns += column + u'\t';
  return columns;
}

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

}  // namespace

void TestLineTransfer::copyTakesTheSelectedLinesAsShown_data() {
  QTest::addColumn<bool>("gutter");
  QTest::newRow("without the gutter") << false;
  QTest::newRow("with the gutter") << true;
}

void TestLineTransfer::copyTakesTheSelectedLinesAsShown() {
  QFETCH(bool, gutter);
  CFrameFixture f;
  f.List().SetClock([] { return std::int64_t(1700000000) * 1000000 + 123456; });
  Append(f, kCalls);
  if (gutter) QVERIFY(f.Frame().OnCmdMsg(CommandId::ShowTimeAndSender));
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::CopyLines));
  // Selected in another order than the list's: copied in the list's.
  f.List().SetSel(true, 3);
  f.List().SetSel(true, 1);
  QGuiApplication::clipboard()->clear();
  QVERIFY(f.Frame().OnCmdMsg(CommandId::CopyLines));
  const QString expected = gutter
                               ? Gutter(f, 1) + QStringLiteral("  B() {\n") + Gutter(f, 3) + QStringLiteral("  } B()")
                               : QStringLiteral("  B() {\n  } B()");
  QCOMPARE(QGuiApplication::clipboard()->text(), expected);
  if (gutter) QVERIFY(Gutter(f, 1).count(u'\t') == 3 && Gutter(f, 1).startsWith(FormatClockTime(1700000000123456)));
}

void TestLineTransfer::selectAllByKeyAndCommand() {
  CFrameFixture f;
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::SelectAllLines));
  Append(f, kCalls);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::SelectAllLines));
  QCOMPARE(f.List().GetSelCount(), kCalls.size());
  f.List().SetSel(false, -1);
  // The keys belong to the list while it has the focus.
  f.Frame().activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f.Frame()));
  f.List().setFocus();
  QTRY_VERIFY(f.List().hasFocus());
  QTest::keyClick(&f.List(), Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(f.List().GetSelCount(), kCalls.size());
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(&f.List(), Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), f.Lines().join(u'\n'));
}

void TestLineTransfer::saveWritesShownOrSelectedLines_data() {
  QTest::addColumn<QList<int>>("selected");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("content");
  QTest::newRow("all shown lines") << QList<int>{} << QStringLiteral("Save all 6 shown lines as")
                                   << QStringLiteral("A() {\n  B() {\n    x\n  } B()\n} A()\ngr\u00FC\u00DFe \u2713\n");
  QTest::newRow("the selected lines") << QList<int>{4, 2} << QStringLiteral("Save the 2 selected lines as")
                                      << QStringLiteral("    x\n} A()\n");
  QTest::newRow("one selected line") << QList<int>{1} << QStringLiteral("Save the 1 selected line as")
                                     << QStringLiteral("  B() {\n");
}

void TestLineTransfer::saveWritesShownOrSelectedLines() {
  QFETCH(QList<int>, selected);
  QFETCH(QString, title);
  QFETCH(QString, content);
  CFrameFixture f;
  Append(f, kCalls);
  f.Frame().AppendLine(QStringLiteral("gr\u00FC\u00DFe \u2713"));  // written as UTF-8
  for (const int row : selected) f.List().SetSel(true, row);
  const QString path = f.TempPath(QStringLiteral("saved.txt"));
  QString asked;
  f.Frame().GetFeature<CLineTransfer>()->SetFileNameAsker([&](QWidget*, const QString& t) {
    asked = t;
    return path;
  });
  QVERIFY(f.Frame().IsCommandEnabled(CommandId::SaveLinesAs));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::SaveLinesAs));
  QCOMPARE(asked, title);
  QCOMPARE(ReadAll(path), content);
  QVERIFY(f.Boxes().empty());
}

void TestLineTransfer::failedSaveSaysWhyAndLeavesNoFile_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("reason");
  QTest::newRow("a folder that does not exist")
      << QStringLiteral("missing/saved.txt") << QStringLiteral("No such file or directory (ENOENT)");
  QTest::newRow("a folder in place of the file") << QStringLiteral("folder") << QString();
}

void TestLineTransfer::failedSaveSaysWhyAndLeavesNoFile() {
  QFETCH(QString, name);
  QFETCH(QString, reason);
  CFrameFixture f;
  Append(f, kCalls);
  QVERIFY(QDir(f.TempPath(QString())).mkpath(QStringLiteral("folder")));
  const QStringList before = QDir(f.TempPath(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  const QString path = f.TempPath(name);
  f.Frame().GetFeature<CLineTransfer>()->SetFileNameAsker([&](QWidget*, const QString&) { return path; });
  QVERIFY(f.Frame().OnCmdMsg(CommandId::SaveLinesAs));
  QCOMPARE(f.Boxes().size(), std::size_t(1));
  const QString text = f.Boxes().front().text;
  QVERIFY2(text.startsWith(QStringLiteral("The lines could not be saved to %1: ").arg(QDir::toNativeSeparators(path))),
           qPrintable(text));
  if (!reason.isEmpty()) QVERIFY2(text.contains(reason), qPrintable(text));
  QVERIFY2(text.size() > QStringLiteral("The lines could not be saved to %1: .").arg(path).size(), qPrintable(text));
  // Nothing new beside the target, not even the file written before the rename.
  QCOMPARE(QDir(f.TempPath(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
  QVERIFY(QDir(f.TempPath(QStringLiteral("folder"))).isEmpty());
}

void TestLineTransfer::listMenuOffersTheLineCommands() {
  CFrameFixture f;
  Append(f, kCalls);
  f.List().SetSel(true, 0);
  const std::unique_ptr<QMenu> menu = f.Frame().CreateListMenu();
  QStringList items;
  for (const QAction* action : menu->actions())
    if (!action->isSeparator()) items << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
  QCOMPARE(items, (QStringList{QStringLiteral("&Copy"), QStringLiteral("Select &all"),
                               QStringLiteral("&Save lines as..."), QStringLiteral("Show only this s&ender"),
                               QStringLiteral("&Hide lines like this"), QStringLiteral("&Go to matching line"),
                               QStringLiteral("&Fold all calls at this depth"), QStringLiteral("&Unfold all (off)")}));
  // An item runs its command: Select all from the menu.
  menu->actions().at(1)->trigger();
  QCOMPARE(f.List().GetSelCount(), kCalls.size());
}

QTEST_MAIN(TestLineTransfer)
#include "tst_linetransfer.moc"
