// The Calculator and Error Lookup dialogs, driven with keys and clicks; the
// ">>" menu button.
#include "res/resources.h"
#include "tests/support/dialogdriver.h"
#include "tools/calcdlg.h"
#include "tools/errorlookupdlg.h"

#include <QLabel>
#include <QMenu>

#include <clocale>

Q_DECLARE_METATYPE(zef::CRect)

namespace zef::test {
namespace {

// What the dialogs do with the input panel, and which commands reach them.
template <class TDialog>
class CWatched : public TDialog {
 public:
  std::vector<bool> m_inputPanel;  // each ShowInputPanel, in order
  std::vector<int> m_commands;     // each OnCommand id, in order

 protected:
  void ShowInputPanel(bool show) override { m_inputPanel.push_back(show); }
  bool OnCommand(int id) override {
    m_commands.push_back(id);
    return TDialog::OnCommand(id);
  }
};

QString Text(CDialog& dlg, int id) { return Control<QLineEdit>(dlg, id).text(); }

// Types `text` into the edit and presses Enter there.
void Enter(CDialog& dlg, int id, const QString& text) {
  TypeInto(dlg, id, text);
  QTest::keyClick(dlg.GetDlgItem(id), Qt::Key_Return);
}

// Clicks ">>" and picks `mode` from its popup with the keys; records where
// the popup opened.
void PickMode(CDialog& dlg, int mode, QPoint* popupAt = nullptr) {
  QTimer::singleShot(0, [mode, popupAt] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY2(popup != nullptr, "no popup open");
    if (popupAt != nullptr) *popupAt = popup->pos();
    // The separator after the third mode is skipped by the arrow keys.
    for (int i = 0; i <= mode; ++i) QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
  });
  QTest::mouseClick(dlg.GetDlgItem(IDC_CALC_MENU), Qt::LeftButton);
}

const QString kModeNames[] = {QStringLiteral("Dec->Hex"), QStringLiteral("Dec->Bin"), QStringLiteral("Dec->Oct"),
                              QStringLiteral("Hex->Dec"), QStringLiteral("Bin->Dec"), QStringLiteral("Oct->Dec")};

}  // namespace

class TestToolDialogs : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    InitResources();
    // The system's error texts in English, whatever the machine's locale.
    std::setlocale(LC_MESSAGES, "C");
  }
  void calculatorOpensInDecToHexWithZero();
  void calculatorConverts_data();
  void calculatorConverts();
  void modeChangeKeepsResultUntilEnter();
  void popupOpensBelowTheButtonAndOnlyTheButtonHearsTheClick();
  void popupPosition_data();
  void popupPosition();
  void calculatorClosesOnlyByCloseAndHidesPanel_data();
  void calculatorClosesOnlyByCloseAndHidesPanel();
  void errorLookup_data();
  void errorLookup();
  void errorLookupClosesEveryWayAndHidesPanel_data();
  void errorLookupClosesEveryWayAndHidesPanel();
};

void TestToolDialogs::calculatorOpensInDecToHexWithZero() {
  CWatched<CCalcDlg> dlg;
  WhenOpen([&](CDialog& d) {
    QCOMPARE(d.windowTitle(), QStringLiteral("Calculator Dec->Hex"));
    QCOMPARE(Text(d, IDC_CALC_VALUE), QStringLiteral("0"));
    QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("0"));
    QCOMPARE(d.focusWidget(), d.GetDlgItem(IDC_CALC_VALUE));
    QVERIFY(d.IsCaptionOkShown());
    QVERIFY(Control<QPushButton>(d, IDC_CANCEL).isVisible());
    QCOMPARE(dlg.m_inputPanel, std::vector<bool>{true});
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

void TestToolDialogs::calculatorConverts_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("result");   // empty when a message is expected
  QTest::addColumn<QString>("message");  // the box's text

  const auto ok = [](const char* name, int mode, const QString& typed, const QString& result) {
    QTest::newRow(name) << mode << typed << result << QString();
  };
  const auto refused = [](const char* name, int mode, const QString& typed, const QString& message) {
    QTest::newRow(name) << mode << typed << QString() << message;
  };
  ok("dec->hex 255", 0, QStringLiteral("255"), QStringLiteral("ff"));
  ok("dec->hex -1", 0, QStringLiteral("-1"), QStringLiteral("ffffffff"));
  ok("dec->hex leading blank", 0, QStringLiteral(" 255"), QStringLiteral("ff"));
  ok("dec->hex empty", 0, QString(), QStringLiteral("0"));
  ok("dec->bin 5", 1, QStringLiteral("5"), QStringLiteral("101"));
  ok("dec->bin -1", 1, QStringLiteral("-1"), QString(32, u'1'));
  ok("dec->oct 8", 2, QStringLiteral("8"), QStringLiteral("10"));
  ok("dec->oct -1", 2, QStringLiteral("-1"), QStringLiteral("37777777777"));
  ok("hex->dec ff", 3, QStringLiteral("ff"), QStringLiteral("255"));
  ok("hex->dec FF", 3, QStringLiteral("FF"), QStringLiteral("255"));
  ok("hex->dec 0xff", 3, QStringLiteral("0xff"), QStringLiteral("255"));
  ok("hex->dec -ff", 3, QStringLiteral("-ff"), QStringLiteral("-255"));
  ok("bin->dec 101", 4, QStringLiteral("101"), QStringLiteral("5"));
  ok("oct->dec 777", 5, QStringLiteral("777"), QStringLiteral("511"));
  refused("bin->dec 102", 4, QStringLiteral("102"),
          QStringLiteral("102 is not a valid number. Invalid Character(s): 2"));
  refused("dec->hex 12a4", 0, QStringLiteral("12a4"),
          QStringLiteral("12a4 is not a valid number. Invalid Character(s): a4"));
  refused("dec->hex trailing blank", 0, QStringLiteral("12 "),
          QStringLiteral("12  is not a valid number. Invalid Character(s):  "));
  refused("dec->hex xyz", 0, QStringLiteral("xyz"),
          QStringLiteral("xyz is not a valid number. Invalid Character(s): xyz"));
  refused("hex->dec xyz", 3, QStringLiteral("xyz"),
          QStringLiteral("xyz is not a valid number. Invalid Character(s): xyz"));
  refused("oct->dec 9", 5, QStringLiteral("9"), QStringLiteral("9 is not a valid number. Invalid Character(s): 9"));
  // Beyond the signed 32 bits: the unsigned half is converted exactly,
  // beyond 32 bits nothing is.
  ok("hex->dec ffffffff is not -1", 3, QStringLiteral("ffffffff"), QStringLiteral("4294967295"));
  ok("dec->hex 4294967295", 0, QStringLiteral("4294967295"), QStringLiteral("ffffffff"));
  ok("dec->bin lowest", 1, QStringLiteral("-2147483648"), QStringLiteral("1") + QString(31, u'0'));
  refused("dec->hex 2^32", 0, QStringLiteral("4294967296"),
          QStringLiteral("4294967296 is out of range: only numbers from -2147483648 to 4294967295 (32 bits) are "
                         "accepted."));
  refused("dec->hex below lowest", 0, QStringLiteral("-2147483649"),
          QStringLiteral("-2147483649 is out of range: only numbers from -2147483648 to 4294967295 (32 bits) are "
                         "accepted."));
  refused("hex->dec 9 digits", 3, QStringLiteral("100000000"),
          QStringLiteral("100000000 is out of range: only numbers from -2147483648 to 4294967295 (32 bits) are "
                         "accepted."));
}

void TestToolDialogs::calculatorConverts() {
  QFETCH(int, mode);
  QFETCH(QString, typed);
  QFETCH(QString, result);
  QFETCH(QString, message);

  CMessageBoxRecorder boxes;
  CWatched<CCalcDlg> dlg;
  WhenOpen([&](CDialog& d) {
    if (mode != 0) PickMode(d, mode);
    QCOMPARE(d.windowTitle(), QStringLiteral("Calculator ") + kModeNames[mode]);
    // A result from before, which a refused value leaves standing.
    Enter(d, IDC_CALC_VALUE, QStringLiteral("1"));
    QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("1"));

    Enter(d, IDC_CALC_VALUE, typed);
    QVERIFY(d.isVisible());
    QCOMPARE(Text(d, IDC_CALC_VALUE), typed);
    if (message.isEmpty()) {
      QVERIFY(boxes.m_boxes.empty());
      QCOMPARE(Text(d, IDC_CALC_RESULT), result);
    } else {
      QCOMPARE(boxes.m_boxes.size(), std::size_t{1});
      QCOMPARE(boxes.m_boxes[0].text, message);
      QCOMPARE(boxes.m_boxes[0].caption, QStringLiteral("ZEFMON"));
      QCOMPARE(boxes.m_boxes[0].style, std::uint32_t(MB_OK));
      QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("1"));
    }
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

void TestToolDialogs::modeChangeKeepsResultUntilEnter() {
  CWatched<CCalcDlg> dlg;
  WhenOpen([&](CDialog& d) {
    Enter(d, IDC_CALC_VALUE, QStringLiteral("101"));
    QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("65"));
    PickMode(d, 4);
    QCOMPARE(d.windowTitle(), QStringLiteral("Calculator Bin->Dec"));
    QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("65"));
    // Enter, where the focus is after the click on ">>", converts in the
    // new mode (and does not open the popup again).
    QCOMPARE(d.focusWidget(), d.GetDlgItem(IDC_CALC_VALUE));
    QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    QVERIFY(d.isVisible());
    QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("5"));
    // The caption's ok converts like Enter.
    PickMode(d, 0);
    ClickCaptionOk(d);
    QCOMPARE(Text(d, IDC_CALC_RESULT), QStringLiteral("65"));
    // Reopening starts over (checked below).
    QTest::mouseClick(d.GetDlgItem(IDC_CANCEL), Qt::LeftButton);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));

  WhenOpen([&](CDialog& d) {
    QCOMPARE(d.windowTitle(), QStringLiteral("Calculator Dec->Hex"));
    QCOMPARE(Text(d, IDC_CALC_VALUE), QStringLiteral("0"));
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  CCalcDlg second;
  second.DoModal();
}

void TestToolDialogs::popupOpensBelowTheButtonAndOnlyTheButtonHearsTheClick() {
  CWatched<CCalcDlg> dlg;
  QPoint popupAt;
  QPoint expected;
  WhenOpen([&](CDialog& d) {
    QWidget* button = d.GetDlgItem(IDC_CALC_MENU);
    expected = button->mapToGlobal(QPoint(0, button->height()));
    PickMode(d, 5, &popupAt);
    QCOMPARE(d.windowTitle(), QStringLiteral("Calculator Oct->Dec"));

    // Picking nothing (Escape closes the popup) changes nothing.
    QTimer::singleShot(0, [] {
      if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(d.isVisible());
    QCOMPARE(d.windowTitle(), QStringLiteral("Calculator Oct->Dec"));
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  dlg.DoModal();
  QCOMPARE(popupAt, expected);
  // The dialog heard the picked mode and its Escape, never the button.
  QCOMPARE(dlg.m_commands, (std::vector<int>{int(ToUInt(CommandId::CalcOctToDec)), IDCANCEL}));
}

void TestToolDialogs::popupPosition_data() {
  QTest::addColumn<int>("placement");
  QTest::addColumn<QPoint>("topLeft");  // (-1, -1): no popup

  // Button from (100, 50) to (120, 70), exclusive edges; popup 80 high.
  QTest::newRow("0: below, left edges") << 0 << QPoint(100, 70);
  QTest::newRow("1: above, left edges") << 1 << QPoint(100, -30);
  QTest::newRow("2: right, top edges") << 2 << QPoint(120, 50);
  QTest::newRow("3: nothing") << 3 << QPoint(-1, -1);
  QTest::newRow("-1: nothing") << -1 << QPoint(-1, -1);
}

void TestToolDialogs::popupPosition() {
  QFETCH(int, placement);
  QFETCH(QPoint, topLeft);
  const std::optional<QPoint> position = CMenuButton::PopupPosition(placement, CRect{100, 50, 120, 70}, 80);
  QCOMPARE(position.has_value(), topLeft != QPoint(-1, -1));
  if (position) QCOMPARE(*position, topLeft);
}

namespace {
enum class Ending { CloseButton, Escape, WindowClose, CaptionOk, Enter, Exit, ExitWithBlanks };
}  // namespace

void TestToolDialogs::calculatorClosesOnlyByCloseAndHidesPanel_data() {
  QTest::addColumn<int>("ending");
  QTest::addColumn<bool>("closes");
  QTest::newRow("Close") << int(Ending::CloseButton) << true;
  QTest::newRow("Escape") << int(Ending::Escape) << true;
  QTest::newRow("WM_CLOSE") << int(Ending::WindowClose) << true;
  QTest::newRow("caption ok") << int(Ending::CaptionOk) << false;
  QTest::newRow("Enter") << int(Ending::Enter) << false;
}

namespace {
void End(CDialog& d, Ending ending, int editId) {
  switch (ending) {
    case Ending::CloseButton:
      QTest::mouseClick(d.GetDlgItem(IDC_CANCEL), Qt::LeftButton);
      break;
    case Ending::Escape:
      QTest::keyClick(&d, Qt::Key_Escape);
      break;
    case Ending::WindowClose:
      d.close();
      break;
    case Ending::CaptionOk:
      ClickCaptionOk(d);
      break;
    case Ending::Enter:
      QTest::keyClick(d.GetDlgItem(editId), Qt::Key_Return);
      break;
    case Ending::Exit:
      Enter(d, editId, QStringLiteral("exit"));
      break;
    case Ending::ExitWithBlanks:
      Enter(d, editId, QStringLiteral("  exit  "));
      break;
  }
}
}  // namespace

void TestToolDialogs::calculatorClosesOnlyByCloseAndHidesPanel() {
  QFETCH(int, ending);
  QFETCH(bool, closes);
  CWatched<CCalcDlg> dlg;
  bool stillOpen = false;
  WhenOpen([&](CDialog& d) {
    QCOMPARE(dlg.m_inputPanel, std::vector<bool>{true});
    End(d, Ending(ending), IDC_CALC_VALUE);
    stillOpen = d.isVisible();
  });
  const int result = dlg.DoModal();
  QCOMPARE(!stillOpen, closes);
  QCOMPARE(result, closes ? int(IDCANCEL) : kLeftOpen);
  QCOMPARE(dlg.m_inputPanel, (std::vector<bool>{true, false}));
}

void TestToolDialogs::errorLookup_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("answer");
  QTest::addColumn<QStringList>("messages");

  const QString success = QStringLiteral("Success");
  const QString emlink = QStringLiteral("Too many links (EMLINK)");
  const auto invalid = [](const char* all, const char* rest) {
    return QStringLiteral("%1 is not a valid number. Invalid Character(s): %2")
        .arg(QString::fromLatin1(all), QString::fromLatin1(rest));
  };
  const auto none = [](const char* value) {
    return QStringLiteral(
               "No system error message available for %1. Refer to ZEFMON help for more information! "
               "(last error=22)")
        .arg(QString::fromLatin1(value));
  };
  QTest::newRow("0x1F") << QStringLiteral("0x1F") << emlink << QStringList();
  QTest::newRow("0X1F") << QStringLiteral("0X1F") << emlink << QStringList();
  QTest::newRow("31") << QStringLiteral("31") << emlink << QStringList();
  QTest::newRow("037") << QStringLiteral("037") << emlink << QStringList();
  QTest::newRow("blanks around") << QStringLiteral("  2 ") << QStringLiteral("No such file or directory (ENOENT)")
                                 << QStringList();
  QTest::newRow("08: octal") << QStringLiteral("08") << success << QStringList{invalid("08", "8")};
  QTest::newRow("12ab") << QStringLiteral("12ab") << QStringLiteral("Cannot allocate memory (ENOMEM)")
                        << QStringList{invalid("12ab", "ab")};
  QTest::newRow("exit1") << QStringLiteral("exit1") << success << QStringList{invalid("exit1", "exit1")};
  QTest::newRow("exi") << QStringLiteral("exi") << success << QStringList{invalid("exi", "exi")};
  QTest::newRow("EXIT is a number") << QStringLiteral("EXIT") << success << QStringList{invalid("EXIT", "EXIT")};
  QTest::newRow("empty") << QString() << success << QStringList();
  QTest::newRow("blanks only") << QStringLiteral("   ") << success << QStringList();
  QTest::newRow("-1") << QStringLiteral("-1") << none("-1") << QStringList();
  QTest::newRow("hex named in decimal") << QStringLiteral("0x1000") << none("4096") << QStringList();
  QTest::newRow("octal named in decimal") << QStringLiteral("010000") << none("4096") << QStringList();
  // All 32 bits set typed in hexadecimal is named as typed, not as -1.
  QTest::newRow("0xFFFFFFFF") << QStringLiteral("0xFFFFFFFF") << none("4294967295") << QStringList();
  QTest::newRow("beyond 32 bits") << QStringLiteral("0x100000000") << QString()
                                  << QStringList{QStringLiteral(
                                         "0x100000000 is out of range: only numbers from -2147483648 to 4294967295 "
                                         "(32 bits) are accepted.")};
  QTest::newRow("beyond 32 bits, then letters")
      << QStringLiteral("99999999999zz") << QString()
      << QStringList{invalid("99999999999zz", "zz"),
                     QStringLiteral("99999999999 is out of range: only numbers from -2147483648 to 4294967295 (32 "
                                    "bits) are accepted.")};
}

void TestToolDialogs::errorLookup() {
  QFETCH(QString, typed);
  QFETCH(QString, answer);
  QFETCH(QStringList, messages);

  CMessageBoxRecorder boxes;
  CWatched<CErrorLookupDlg> dlg;
  WhenOpen([&](CDialog& d) {
    QCOMPARE(d.windowTitle(), QStringLiteral("Error Lookup"));
    QCOMPARE(d.focusWidget(), d.GetDlgItem(IDC_ERR_CODE));
    auto& label = *qobject_cast<QLabel*>(d.GetDlgItem(IDC_ERR_TEXT));
    QVERIFY(label.text().isEmpty());
    // An answer from before, which every lookup replaces.
    Enter(d, IDC_ERR_CODE, QStringLiteral("1"));
    QCOMPARE(label.text(), QStringLiteral("Operation not permitted (EPERM)"));

    Enter(d, IDC_ERR_CODE, typed);
    QVERIFY(d.isVisible());
    QCOMPARE(label.text(), answer);
    QStringList shown;
    for (const MessageBoxRequest& box : boxes.m_boxes) shown << box.text;
    QCOMPARE(shown, messages);
    // The edit keeps the code for the next lookup.
    QCOMPARE(Text(d, IDC_ERR_CODE), typed);
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

void TestToolDialogs::errorLookupClosesEveryWayAndHidesPanel_data() {
  QTest::addColumn<int>("ending");
  QTest::addColumn<int>("result");  // kLeftOpen: stays open
  QTest::newRow("exit") << int(Ending::Exit) << int(IDOK);
  QTest::newRow("exit with blanks") << int(Ending::ExitWithBlanks) << int(IDOK);
  QTest::newRow("Close") << int(Ending::CloseButton) << int(IDCANCEL);
  QTest::newRow("Escape") << int(Ending::Escape) << int(IDCANCEL);
  QTest::newRow("WM_CLOSE") << int(Ending::WindowClose) << int(IDCANCEL);
  QTest::newRow("caption ok looks up") << int(Ending::CaptionOk) << kLeftOpen;
}

void TestToolDialogs::errorLookupClosesEveryWayAndHidesPanel() {
  QFETCH(int, ending);
  QFETCH(int, result);
  CMessageBoxRecorder boxes;
  CWatched<CErrorLookupDlg> dlg;
  WhenOpen([&](CDialog& d) {
    QCOMPARE(dlg.m_inputPanel, std::vector<bool>{true});
    End(d, Ending(ending), IDC_ERR_CODE);
  });
  QCOMPARE(dlg.DoModal(), result);
  QCOMPARE(dlg.m_inputPanel, (std::vector<bool>{true, false}));
  QVERIFY(boxes.m_boxes.empty());
}

}  // namespace zef::test

QTEST_MAIN(zef::test::TestToolDialogs)
#include "tst_tooldialogs.moc"
