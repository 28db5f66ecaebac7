#include "platform/dialog/dialog.h"

#include "platform/dialog/dialogcontrols.h"
#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zef {
namespace {

// Width of the modal frame drawn around the dialog.
constexpr int kBorder = 1;

// The template of `id`, or an empty one for an id the program does not hold
// (a dialog that DoModal refuses to run).
DialogTemplate TemplateOrEmpty(DialogTemplateId id) {
  if (const DialogTemplate* found = FindDialogTemplate(id)) return *found;
  return DialogTemplate{id, u"", u"System", 8, 0, 0, kDialogStyle, 0, {}};
}

// MulDiv: a * b / c rounded to the nearest integer.
int MulDiv(int a, int b, int c) { return static_cast<int>(std::lround(static_cast<double>(a) * b / c)); }

// The framework's two validation messages.
QString ParseIntMessage() { return QStringLiteral("Please enter an integer."); }
QString RangeIntMessage(int min, int max) {
  return FormatString(QStringLiteral("Please enter an integer between %1 and %2."), QString::number(min),
                      QString::number(max));
}

CRect ToCRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}
QRect ToQRect(const CRect& rect) { return QRect(rect.left, rect.top, rect.Width(), rect.Height()); }

class CNativeDialogGeometry final : public IDialogGeometry {
 public:
  CRect GetWindowRect(const CDialog& dialog) override { return dialog.GetWindowRect(); }
  CRect GetWindowRect(const QWidget& button) override {
    return ToCRect(QRect(button.mapToGlobal(QPoint(0, 0)), button.size()));
  }
  CRect GetClientRect(const CDialog& dialog) override { return dialog.GetClientRect(); }
  void MoveWindow(CDialog& dialog, const CRect& windowRect) override { dialog.MoveWindow(windowRect); }
  void CenterWindow(CDialog& dialog) override { dialog.CenterWindow(); }
  void MoveButton(QWidget& button, const CRect& clientRect) override { button.setGeometry(ToQRect(clientRect)); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Data exchange

CDataExchange::CDataExchange(CDialog& dialog, DataDirection direction)
    : m_dialog(dialog), m_bSaveAndValidate(direction == DataDirection::FromControls) {}

QWidget* CDataExchange::PrepareCtrl(int id) {
  m_pLastControl = m_dialog.GetDlgItem(id);
  return m_pLastControl;
}

QLineEdit* CDataExchange::PrepareEditCtrl(int id) { return qobject_cast<QLineEdit*>(PrepareCtrl(id)); }

void CDataExchange::Fail() {
  m_bFailed = true;
  if (m_pLastControl == nullptr) return;
  m_pLastControl->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(m_pLastControl)) edit->selectAll();
}

void DDX_Check(CDataExchange& dx, int id, bool& value) {
  if (dx.Failed()) return;
  auto* box = qobject_cast<QAbstractButton*>(dx.PrepareCtrl(id));
  if (box == nullptr) return;
  if (dx.IsSaving()) {
    value = box->isChecked();
  } else {
    box->setChecked(value);
  }
}

void DDX_Text(CDataExchange& dx, int id, int& value) {
  if (dx.Failed()) return;
  QLineEdit* edit = dx.PrepareEditCtrl(id);
  if (edit == nullptr) return;
  if (!dx.IsSaving()) {
    edit->setText(QString::number(value));
    return;
  }
  bool ok = false;
  const int parsed = edit->text().trimmed().toInt(&ok, 10);
  if (!ok) {
    MessageBox(&dx.Dialog(), ParseIntMessage(), MB_OK | MB_ICONEXCLAMATION);
    dx.Fail();
    return;
  }
  value = parsed;
}

void DDX_Text(CDataExchange& dx, int id, QString& value) {
  if (dx.Failed()) return;
  QLineEdit* edit = dx.PrepareEditCtrl(id);
  if (edit == nullptr) return;
  if (dx.IsSaving()) {
    value = edit->text();
  } else {
    edit->setText(value);
  }
}

void DDV_MinMaxInt(CDataExchange& dx, int value, int min, int max) {
  if (dx.Failed() || !dx.IsSaving()) return;
  if (value >= min && value <= max) return;
  MessageBox(&dx.Dialog(), RangeIntMessage(min, max), MB_OK | MB_ICONEXCLAMATION);
  dx.Fail();
}

// ---------------------------------------------------------------------------
// CDialog

CDialog::CDialog(DialogTemplateId templateId, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_bTemplateFound(FindDialogTemplate(templateId) != nullptr),
      m_template(TemplateOrEmpty(templateId)),
      m_nStyle(m_template.style) {
  QFont font(ToQString(m_template.fontName), m_template.fontPointSize);
  setFont(font);
  setWindowTitle(ToQString(m_template.caption));

  // Dialog base units, as the handheld computes them: the average width of
  // the 52 Latin letters, rounded, and the font's height.
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_nAvgCharWidth = std::max(1, (letters / 26 + 1) / 2);
  m_nCharHeight = std::max(1, metrics.height());

  m_pCaption = new QWidget(this);
  m_pCaption->setObjectName(QStringLiteral("captionStrip"));
  m_pCaption->setAttribute(Qt::WA_StyledBackground);
  m_pCaption->setStyleSheet(
      QStringLiteral("#captionStrip { background: #1d3f8f; }"
                     "QLabel { color: white; font-weight: bold; }"
                     "QToolButton { color: white; font-weight: bold; border: 1px solid white; border-radius: 8px;"
                     " padding: 0px 5px; background: #2f5cc4; }"
                     "QToolButton:pressed { background: #0b1f4f; }"));
  auto* captionLayout = new QHBoxLayout(m_pCaption);
  captionLayout->setContentsMargins(6, 2, 4, 2);
  captionLayout->setSpacing(4);
  m_pTitle = new QLabel(windowTitle(), m_pCaption);
  m_pTitle->setTextFormat(Qt::PlainText);
  captionLayout->addWidget(m_pTitle, 1);
  m_pCaptionOk = new QToolButton(m_pCaption);
  m_pCaptionOk->setObjectName(QStringLiteral("captionOk"));
  m_pCaptionOk->setText(QStringLiteral("ok"));
  m_pCaptionOk->setFocusPolicy(Qt::NoFocus);
  captionLayout->addWidget(m_pCaptionOk);
  m_pCaptionClose = new QToolButton(m_pCaption);
  m_pCaptionClose->setObjectName(QStringLiteral("captionClose"));
  m_pCaptionClose->setText(QStringLiteral("\u00D7"));
  m_pCaptionClose->setFocusPolicy(Qt::NoFocus);
  captionLayout->addWidget(m_pCaptionClose);
  connect(m_pCaptionOk, &QToolButton::clicked, this, [this] { OnCommand(IDOK); });
  connect(m_pCaptionClose, &QToolButton::clicked, this, [this] { OnCommand(IDCANCEL); });
  m_pCaptionOk->setVisible(m_template.HasCaptionOk());
  m_pCaptionClose->setVisible((m_nStyle & WS_SYSMENU) != 0);

  m_pClient = new QWidget(this);
  m_pClient->setObjectName(QStringLiteral("clientArea"));
  CreateControls();

  const QRect client = MapDialogRect(0, 0, m_template.cx, m_template.cy);
  const int captionHeight = m_pCaption->sizeHint().height();
  m_pCaption->resize(client.width() + 2 * kBorder, captionHeight);
  resize(client.width() + 2 * kBorder, captionHeight + client.height() + kBorder);
  LayoutFrame();
}

CDialog::~CDialog() = default;

QRect CDialog::MapDialogRect(int x, int y, int cx, int cy) const {
  return QRect(MulDiv(x, m_nAvgCharWidth, 4), MulDiv(y, m_nCharHeight, 8), MulDiv(cx, m_nAvgCharWidth, 4),
               MulDiv(cy, m_nCharHeight, 8));
}

void CDialog::CreateControls() {
  CControlBuilder builder(*m_pClient, font(), *this, [this](int id) { OnCommand(id); });
  for (const DialogControl& control : m_template.controls) {
    QWidget* widget = builder.Add(control, MapDialogRect(control.x, control.y, control.cx, control.cy));
    m_templateWidgets.push_back(widget);
    if (control.id != IDC_STATIC) m_controls.insert(control.id, widget);
  }
}

void CDialog::LayoutFrame() {
  const int captionHeight = m_pCaption->height();
  m_pCaption->setGeometry(0, 0, width(), captionHeight);
  m_pClient->setGeometry(kBorder, captionHeight, std::max(0, width() - 2 * kBorder),
                         std::max(0, height() - captionHeight - kBorder));
}

void CDialog::changeEvent(QEvent* event) {
  // SetWindowText of a dialog retitles its caption strip.
  if (event->type() == QEvent::WindowTitleChange && m_pTitle != nullptr) m_pTitle->setText(windowTitle());
  QDialog::changeEvent(event);
}

void CDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayoutFrame();
}

void CDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

CRect CDialog::GetWindowRect() const { return ToCRect(geometry()); }

CRect CDialog::GetClientRect() const {
  return {0, 0, std::max(0, width() - 2 * kBorder), std::max(0, height() - m_pCaption->height() - kBorder)};
}

void CDialog::MoveWindow(const CRect& windowRect) {
  setGeometry(ToQRect(windowRect));
  LayoutFrame();
  update();
}

QScreen* CDialog::TargetScreen() const {
  if (QWidget* parent = parentWidget(); parent != nullptr && parent->screen() != nullptr) return parent->screen();
  if (screen() != nullptr) return screen();
  return QGuiApplication::primaryScreen();
}

void CDialog::CenterWindow() {
  const QRect available = TargetScreen()->availableGeometry();
  QRect area = available;
  if (QWidget* parent = parentWidget(); parent != nullptr && parent->isVisible()) {
    area = parent->window()->frameGeometry();
  }
  int left = area.left() + (area.width() - width()) / 2;
  int top = area.top() + (area.height() - height()) / 2;
  // Kept on the screen where it fits, its top left visible where it does not.
  left = std::max(available.left(), std::min(left, available.left() + available.width() - width()));
  top = std::max(available.top(), std::min(top, available.top() + available.height() - height()));
  move(left, top);
}

void CDialog::ShowCaptionOk(bool show) { m_pCaptionOk->setVisible(show); }

bool CDialog::IsCaptionOkShown() const { return !m_pCaptionOk->isHidden(); }

void CDialog::ModifyStyle(std::uint32_t remove, std::uint32_t add) {
  m_nStyle = (m_nStyle & ~remove) | add;
  m_pCaptionClose->setVisible((m_nStyle & WS_SYSMENU) != 0);
}

bool CDialog::UpdateData(DataDirection direction) {
  CDataExchange dx(*this, direction);
  DoDataExchange(dx);
  return !dx.Failed();
}

void CDialog::DoDataExchange(CDataExchange&) {}

bool CDialog::OnInitDialog() {
  UpdateData(DataDirection::ToControls);
  if (m_bFullScreen) MoveWindow(ToCRect(TargetScreen()->availableGeometry()));
  return true;
}

void CDialog::OnOK() {
  if (!UpdateData(DataDirection::FromControls)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(int id) {
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

void CDialog::EndDialog(int result) {
  m_nResult = result;
  m_bEnded = true;
  QDialog::done(result);
}

void CDialog::accept() { OnCommand(IDOK); }

void CDialog::reject() { OnCommand(IDCANCEL); }

void CDialog::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    // A focused push button takes Enter; otherwise Enter is the OK command.
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button != nullptr && button->isVisible() && button->isEnabled()) {
      button->click();
    } else {
      OnCommand(IDOK);
    }
    event->accept();
    return;
  }
  if (plain && key == Qt::Key_Escape) {
    OnCommand(IDCANCEL);
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

LRESULT CDialog::WindowProc(std::uint32_t message, WPARAM, std::intptr_t) {
  // The only message routed here is WM_SETTINGCHANGE; the answer 0 leaves
  // position and size as they are.
  Q_UNUSED(message);
  return 0;
}

void CDialog::ConnectSettingChange() {
  if (m_bSettingChangeConnected) return;
  m_bSettingChangeConnected = true;
  const auto settingChange = [this] { WindowProc(WM_SETTINGCHANGE, 0, 0); };
  QInputMethod* inputMethod = QGuiApplication::inputMethod();
  connect(inputMethod, &QInputMethod::keyboardRectangleChanged, this, settingChange);
  connect(inputMethod, &QInputMethod::visibleChanged, this, settingChange);
  if (QScreen* target = TargetScreen()) {
    connect(target, &QScreen::availableGeometryChanged, this, settingChange);
    connect(target, &QScreen::geometryChanged, this, settingChange);
  }
}

void CDialog::SetFocusToFirstControl() {
  for (std::size_t i = 0; i < m_template.controls.size(); ++i) {
    QWidget* widget = m_templateWidgets[i];
    if ((m_template.controls[i].style & WS_TABSTOP) != 0 && !widget->isHidden() && widget->isEnabled()) {
      widget->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

int CDialog::DoModal() {
  if (!m_bTemplateFound) {
    std::fprintf(stderr, "zefmon: dialog %u has no template and is not shown\n", static_cast<unsigned>(m_template.id));
    return -1;
  }
  m_nResult = IDCANCEL;
  m_bEnded = false;
  if (OnInitDialog()) SetFocusToFirstControl();
  // A dialog that ended while it initialised is never shown.
  if (m_bEnded) return m_nResult;
  ConnectSettingChange();
  exec();
  return m_nResult;
}

// ---------------------------------------------------------------------------
// Settings dialogs and the presentation steps

CSettingsDlg::CSettingsDlg(DialogTemplateId templateId, const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CDialog(templateId, parent), m_lookAndFeel(lookAndFeel) {}

bool CSettingsDlg::OnInitDialog() {
  PrepareDialog(*this, m_lookAndFeel.m_bNoFullScreenDlg);
  CDialog::OnInitDialog();
  if (m_pCancelBtn == nullptr) m_pCancelBtn = qobject_cast<QPushButton*>(GetDlgItem(IDC_CANCEL));
  if (m_pCancelBtn != nullptr) ShowOrHideCancelButton(*this, *m_pCancelBtn, m_lookAndFeel.m_bShowCancelBtn);
  return true;
}

QRect CSettingsDlg::BodyArea() const {
  QRect area = ClientArea()->rect();
  if (m_pCancelBtn != nullptr && !m_pCancelBtn->isHidden())
    area.setBottom(std::min(area.bottom(), m_pCancelBtn->geometry().top() - 4));
  return area;
}

void ShowOrHideCancelButton(CDialog& dialog, QPushButton& button, bool show) {
  if (show) {
    PlaceCancelButton(dialog, button);
  } else {
    // The template puts it below a handheld screen; a larger screen would
    // show it there, inside a full-screen dialog.
    button.hide();
  }
}

IDialogGeometry& NativeDialogGeometry() {
  static CNativeDialogGeometry geometry;
  return geometry;
}

void PrepareDialog(CDialog& dialog, bool noFullScreen) {
  if (noFullScreen) dialog.SetFullScreen(false);
  dialog.ShowCaptionOk(true);
  dialog.ModifyStyle(WS_SYSMENU, 0);
  if (noFullScreen) dialog.CenterWindow();
}

void PlaceCancelButton(CDialog& dialog, QWidget& button) { PlaceCancelButton(dialog, button, NativeDialogGeometry()); }

void PlaceCancelButton(CDialog& dialog, QWidget& button, IDialogGeometry& geometry) {
  const CRect rb = geometry.GetWindowRect(button);
  const CRect rd = geometry.GetWindowRect(dialog);
  const int wb = rb.right - rb.left;
  const int hb = rb.bottom - rb.top;
  const int wd = rd.right - rd.left;
  const int x = (wd - wb) / 2;
  int y = 0;
  if (dialog.IsFullScreen()) {
    // Measured from the client area alone. The handheld derived the same
    // place from the screen's height, which holds only while the dialog is
    // as far from the screen's top as from its bottom (two bars of equal
    // height); with one panel at the top of a desktop that put the button
    // below the dialog, where it was never seen.
    y = geometry.GetClientRect(dialog).bottom - hb - 5;
  } else {
    geometry.MoveWindow(dialog, {rd.left, rd.top, rd.left + wd, rd.top + (rd.bottom + hb + 10 - rd.top)});
    geometry.CenterWindow(dialog);
    y = geometry.GetClientRect(dialog).bottom - hb - 5;
  }
  geometry.MoveButton(button, {x, y, x + wb, y + hb});
  button.show();
}

}  // namespace zef
