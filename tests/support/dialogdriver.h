// Acting on a modal dialog while DoModal runs it, and reading the message
// boxes it shows.
#pragma once

#include "platform/dialog/dialog.h"
#include "platform/dialog/msgbox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

namespace zef::test {

// Result of a dialog that the driver had to end because its action left it open.
inline constexpr int kLeftOpen = -1;

inline CDialog* OpenDialog() {
  if (auto* dialog = qobject_cast<CDialog*>(QApplication::activeModalWidget())) return dialog;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<CDialog*>(widget); dialog != nullptr && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

// Runs `action` on the dialog once the next DoModal has opened it. A dialog
// the action leaves open (a failed check returns early) is ended with
// kLeftOpen, so a test never hangs.
inline void WhenOpen(std::function<void(CDialog&)> action) {
  QTimer::singleShot(0, [action = std::move(action)] {
    CDialog* dialog = OpenDialog();
    QVERIFY2(dialog != nullptr, "no dialog open");
    action(*dialog);
    if (dialog->isVisible()) dialog->EndDialog(kLeftOpen);
  });
}

template <class TControl>
TControl& Control(CDialog& dialog, int id) {
  auto* control = qobject_cast<TControl*>(dialog.GetDlgItem(id));
  if (control == nullptr) qFatal("control %d missing or of another kind", id);
  return *control;
}

// A click on a check box's indicator, where a user clicks.
inline void ClickCheckBox(CDialog& dialog, int id) {
  QCheckBox& box = Control<QCheckBox>(dialog, id);
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(4, box.height() / 2));
}

inline void ClickCaptionOk(CDialog& dialog) {
  auto* ok = dialog.findChild<QWidget*>(QStringLiteral("captionOk"));
  QVERIFY(ok != nullptr && ok->isVisible());
  QTest::mouseClick(ok, Qt::LeftButton);
}

inline void TypeInto(QLineEdit& edit, const QString& text) {
  edit.setFocus();
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_Delete);
  QTest::keyClicks(&edit, text);
}

inline void TypeInto(CDialog& dialog, int id, const QString& text) { TypeInto(Control<QLineEdit>(dialog, id), text); }

// A widget of a body built in code (not of the template), by its object name.
template <class TWidget>
TWidget& Child(CDialog& dialog, const char* name) {
  auto* child = dialog.findChild<TWidget*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no %s", name);
  return *child;
}

inline void ClickChild(CDialog& dialog, const char* name) {
  QTest::mouseClick(&Child<QPushButton>(dialog, name), Qt::LeftButton);
}

// A click on a check box's indicator, where a user clicks.
inline void TickChild(CDialog& dialog, const char* name) {
  QCheckBox& box = Child<QCheckBox>(dialog, name);
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(4, box.height() / 2));
}

inline void TypeIntoChild(CDialog& dialog, const char* name, const QString& text) {
  TypeInto(Child<QLineEdit>(dialog, name), text);
}

// Records every message box and answers it with OK.
class CMessageBoxRecorder {
 public:
  CMessageBoxRecorder() {
    m_previous = SetMessageBoxHook([this](const MessageBoxRequest& request) {
      m_boxes.push_back(request);
      return int(IDOK);
    });
  }
  ~CMessageBoxRecorder() { SetMessageBoxHook(std::move(m_previous)); }
  CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
  CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

  std::vector<MessageBoxRequest> m_boxes;

 private:
  MessageBoxHook m_previous;
};

}  // namespace zef::test
