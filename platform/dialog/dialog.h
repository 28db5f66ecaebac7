// The dialog framework: a modal dialog built from a template of res/, its
// data exchange with fields, and the two presentation steps that every
// dialog of the program runs when it opens.
//
//   class CMyDlg : public CSettingsDlg {
//     void DoDataExchange(CDataExchange& dx) override {
//       DDX_Check(dx, IDC_MY_FLAG, m_bFlag);
//     }
//   };
//   CMyDlg dlg(lookAndFeel);
//   if (dlg.DoModal() == IDOK) ...
//
// A dialog that edits a settings section derives from CSectionDlg and is run
// by RunSettingsDialog (settingsdialog.h).
//
// A dialog has a caption strip (title, and the "ok" that confirms it) above
// its client area; controls are children of the client area, so their
// positions are client coordinates.
#pragma once

#include "platform/dialog/lookandfeel.h"
#include "platform/system/datadirection.h"
#include "res/dialogtemplates.h"
#include "res/resource.h"

#include <QDialog>
#include <QHash>
#include <QPushButton>

#include <cstdint>
#include <vector>

#include <zeftrace/windowhost.h>

class QLabel;
class QLineEdit;
class QToolButton;

namespace zef {

// A rectangle with exclusive right and bottom edges, as the handheld's
// window rectangles are; PlaceCancelButton's arithmetic is written on them.
struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const CRect&, const CRect&) = default;
};

// Sent to a dialog when the input method's keyboard rectangle or the
// screen's available geometry changes.
inline constexpr std::uint32_t WM_SETTINGCHANGE = 0x001A;

class CDialog;

// One run of a dialog's data exchange. No exceptions: a failed step marks
// the exchange failed, and every later DDX/DDV step does nothing.
class CDataExchange {
 public:
  CDataExchange(CDialog& dialog, DataDirection direction);

  CDialog& Dialog() const { return m_dialog; }
  bool IsSaving() const { return m_bSaveAndValidate; }
  bool Failed() const { return m_bFailed; }

  // The control with `id`, remembered as the one a later Fail() returns
  // the focus to.
  QWidget* PrepareCtrl(int id);
  QLineEdit* PrepareEditCtrl(int id);

  // Gives the focus back to the last prepared control (selecting an edit's
  // whole text) and stops the exchange.
  void Fail();

 private:
  CDialog& m_dialog;
  bool m_bSaveAndValidate;
  bool m_bFailed = false;
  QWidget* m_pLastControl = nullptr;
};

// Binds a control object to the control with `id` (once; later calls keep
// the binding).
template <class TControl>
void DDX_Control(CDataExchange& dx, int id, TControl*& control);

// Check box state: checked is true.
void DDX_Check(CDataExchange& dx, int id, bool& value);
// Edit text as a decimal integer. Text that is not an integer of 32 bits is
// refused with the framework's "enter an integer" message.
void DDX_Text(CDataExchange& dx, int id, int& value);
void DDX_Text(CDataExchange& dx, int id, QString& value);
// When saving: refuses a value outside min..max (both included) with a
// message that names both bounds.
void DDV_MinMaxInt(CDataExchange& dx, int value, int min, int max);

class CDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CDialog(DialogTemplateId templateId, QWidget* parent = nullptr);
  ~CDialog() override;

  // Initialises the dialog (OnInitDialog), shows it and runs it until it
  // ends. Returns IDOK or IDCANCEL (or what EndDialog was given); -1 without
  // showing anything when the program holds no template of that id.
  int DoModal();
  void EndDialog(int result);

  const DialogTemplate& Template() const { return m_template; }
  QWidget* GetDlgItem(int id) const { return m_controls.value(id); }
  // Runs DoDataExchange; false when a step refused the data.
  bool UpdateData(DataDirection direction);

  // The framework's full-screen switch: on by default; when on, the
  // framework's initialisation sizes the dialog to the screen's available
  // geometry. Must be set before OnInitDialog runs the base.
  bool IsFullScreen() const { return m_bFullScreen; }
  void SetFullScreen(bool on) { m_bFullScreen = on; }

  // The "ok" of the caption strip (the template's caption-OK style shows it).
  void ShowCaptionOk(bool show);
  bool IsCaptionOkShown() const;

  // Window style bits of the template; WS_SYSMENU shows a close box.
  std::uint32_t GetStyle() const { return m_nStyle; }
  void ModifyStyle(std::uint32_t remove, std::uint32_t add);

  // Screen coordinates of the whole dialog, caption strip included.
  CRect GetWindowRect() const;
  // The client area, below the caption strip; its top left is (0, 0).
  CRect GetClientRect() const;
  void MoveWindow(const CRect& windowRect);
  // Over the parent window when there is a visible one, else over the
  // screen's available geometry.
  void CenterWindow();
  QWidget* ClientArea() const { return m_pClient; }
  QScreen* TargetScreen() const;

  // Dialog units to pixels from the dialog font's average character size:
  // x * avgCharWidth / 4, y * charHeight / 8, rounded.
  QRect MapDialogRect(int x, int y, int cx, int cy) const;

  // Every message the framework routes to the dialog. WM_SETTINGCHANGE is
  // answered with 0 and changes nothing, so an input method or screen
  // change never moves or resizes an open dialog.
  virtual LRESULT WindowProc(std::uint32_t message, WPARAM wParam, std::intptr_t lParam);

 protected:
  // The framework's initialisation: fills the controls from the fields and
  // applies the full-screen switch. Returning true puts the focus on the
  // first control that takes it.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(CDataExchange& dx);
  // Reads the controls back; ends with IDOK only when every step accepted.
  virtual void OnOK();
  virtual void OnCancel();
  // A click on a button or check box, by control id (IDOK and IDCANCEL
  // included). Returns whether it was handled.
  virtual bool OnCommand(int id);

  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void accept() override;
  void reject() override;

 private:
  void CreateControls();
  void LayoutFrame();
  void SetFocusToFirstControl();
  void ConnectSettingChange();

  bool m_bTemplateFound;
  const DialogTemplate m_template;
  std::uint32_t m_nStyle;
  bool m_bFullScreen = true;
  bool m_bEnded = false;
  bool m_bSettingChangeConnected = false;
  int m_nResult = IDCANCEL;
  int m_nAvgCharWidth = 1;
  int m_nCharHeight = 1;
  QWidget* m_pCaption = nullptr;
  QLabel* m_pTitle = nullptr;
  QToolButton* m_pCaptionOk = nullptr;
  QToolButton* m_pCaptionClose = nullptr;
  QWidget* m_pClient = nullptr;
  QHash<int, QWidget*> m_controls;
  std::vector<QWidget*> m_templateWidgets;  // in template order
};

// A settings dialog: presents itself by the Look & Feel flags and has a
// Cancel button (id 2), which it binds to m_pCancelBtn when it opens.
class CSettingsDlg : public CDialog {
  Q_OBJECT

 public:
  CSettingsDlg(DialogTemplateId templateId, const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  QPushButton* m_pCancelBtn = nullptr;

 protected:
  // PrepareDialog, the framework's initialisation, then PlaceCancelButton
  // when the Cancel button is to be shown.
  bool OnInitDialog() override;
  // The client area above the Cancel button when that shows: where a body
  // built in code goes.
  QRect BodyArea() const;

  CLookAndFeel m_lookAndFeel;
};

// `widget` with object name `name`: how a body built in code names its
// widgets for tests to find.
template <class TWidget>
TWidget* Named(TWidget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// Where PlaceCancelButton reads and moves geometry. The native one works on
// the widgets; tests put in the handheld's figures.
class IDialogGeometry {
 public:
  virtual ~IDialogGeometry() = default;
  virtual CRect GetWindowRect(const CDialog& dialog) = 0;
  virtual CRect GetWindowRect(const QWidget& button) = 0;
  virtual CRect GetClientRect(const CDialog& dialog) = 0;
  virtual void MoveWindow(CDialog& dialog, const CRect& windowRect) = 0;
  virtual void CenterWindow(CDialog& dialog) = 0;
  // `clientRect` in the dialog's client coordinates.
  virtual void MoveButton(QWidget& button, const CRect& clientRect) = 0;
};

IDialogGeometry& NativeDialogGeometry();

// First step of every dialog's OnInitDialog, before the framework's
// initialisation: switches full screen off and centres the dialog when
// `noFullScreen`, shows the caption's "ok", removes the close box.
void PrepareDialog(CDialog& dialog, bool noFullScreen);

// Brings the Cancel button into view, centred on the dialog's width, its
// lower edge 5 pixels above the client area's bottom, full screen or centred
// (a centred dialog first grows by the button's height plus 10 to make
// room). Runs after the framework's initialisation.
void PlaceCancelButton(CDialog& dialog, QWidget& button);
void PlaceCancelButton(CDialog& dialog, QWidget& button, IDialogGeometry& geometry);

// PlaceCancelButton when `show`; otherwise the button stays hidden, so the
// dialog is left through its "ok" (or Escape).
void ShowOrHideCancelButton(CDialog& dialog, QPushButton& button, bool show);

template <class TControl>
void DDX_Control(CDataExchange& dx, int id, TControl*& control) {
  if (dx.Failed() || control != nullptr) return;
  control = qobject_cast<TControl*>(dx.Dialog().GetDlgItem(id));
}

}  // namespace zef
