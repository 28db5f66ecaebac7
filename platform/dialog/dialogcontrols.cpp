#include "platform/dialog/dialogcontrols.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <utility>

namespace zef {
namespace {

// Icons are shown at the handheld's icon size.
constexpr int kIconSize = 32;

// A group box as the handheld draws one: a frame whose top line runs
// through the middle of the title. It lies behind the controls it surrounds
// and is never hit by the mouse.
class CGroupFrame final : public QWidget {
 public:
  CGroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_strTitle(title) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  QString Title() const { return m_strTitle; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(QRect(0, lineY, width() - 1, height() - lineY - 1));
    if (m_strTitle.isEmpty()) return;
    const QRect titleRect(6, 0, metrics.horizontalAdvance(m_strTitle) + 4, metrics.height());
    painter.fillRect(titleRect, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(titleRect, Qt::AlignCenter | Qt::TextSingleLine, m_strTitle);
  }

 private:
  QString m_strTitle;
};

}  // namespace

QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

CControlBuilder::CControlBuilder(QWidget& parent, const QFont& font, QObject& receiver,
                                 std::function<void(int)> onCommand)
    : m_parent(parent), m_font(font), m_receiver(receiver), m_onCommand(std::move(onCommand)) {}

QWidget* CControlBuilder::Add(const DialogControl& control, const QRect& rect) {
  const QString caption = ToQString(control.caption);
  QWidget* widget = nullptr;
  switch (control.kind) {
    case ControlKind::PushButton:
      widget = AddPushButton(control, caption);
      break;
    case ControlKind::AutoCheckBox:
      widget = AddCheckBox(control, caption);
      break;
    case ControlKind::Edit:
      widget = AddEdit(control);
      break;
    case ControlKind::GroupBox:
      widget = AddGroupBox(caption);
      break;
    case ControlKind::Static:
      widget = AddStatic(control, caption);
      break;
    case ControlKind::Icon:
      widget = AddIcon(caption);
      break;
  }
  Place(*widget, control, rect);
  if (m_pPendingBuddyLabel != nullptr && m_pPendingBuddyLabel != widget && (control.style & WS_TABSTOP) != 0) {
    m_pPendingBuddyLabel->setTextFormat(Qt::AutoText);
    m_pPendingBuddyLabel->setBuddy(widget);
    m_pPendingBuddyLabel = nullptr;
  }
  return widget;
}

QWidget* CControlBuilder::AddPushButton(const DialogControl& control, const QString& caption) {
  auto* button = new QPushButton(caption, &m_parent);
  button->setAutoDefault(false);
  ConnectCommand(*button, control.id);
  return button;
}

QWidget* CControlBuilder::AddCheckBox(const DialogControl& control, const QString& caption) {
  auto* box = new QCheckBox(caption, &m_parent);
  ConnectCommand(*box, control.id);
  return box;
}

QWidget* CControlBuilder::AddEdit(const DialogControl& control) {
  auto* edit = new QLineEdit(&m_parent);
  edit->setFrame((control.style & WS_BORDER) != 0);
  edit->setReadOnly((control.style & ES_READONLY) != 0);
  return edit;
}

QWidget* CControlBuilder::AddGroupBox(const QString& caption) { return new CGroupFrame(caption, &m_parent); }

QWidget* CControlBuilder::AddStatic(const DialogControl& control, const QString& caption) {
  auto* label = new QLabel(&m_parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(caption);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if ((control.style & WS_BORDER) != 0) label->setFrameShape(QFrame::Box);
  // A mnemonic of a text moves the focus to the next control that takes it.
  if ((control.style & SS_NOPREFIX) == 0 && caption.contains(u'&')) m_pPendingBuddyLabel = label;
  return label;
}

QWidget* CControlBuilder::AddIcon(const QString& caption) {
  auto* label = new QLabel(&m_parent);
  const QPixmap icon(QStringLiteral(":/res/icon%1.png").arg(caption));
  if (!icon.isNull()) {
    label->setPixmap(icon.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  return label;
}

void CControlBuilder::ConnectCommand(QAbstractButton& button, int id) {
  QObject::connect(&button, &QAbstractButton::clicked, &m_receiver, [onCommand = m_onCommand, id] { onCommand(id); });
}

void CControlBuilder::Place(QWidget& widget, const DialogControl& control, QRect rect) {
  if (control.kind == ControlKind::Icon) rect.setSize(QSize(kIconSize, kIconSize));
  widget.setGeometry(rect);
  widget.setFont(m_font);
  widget.setVisible((control.style & WS_VISIBLE) != 0);
  widget.setEnabled((control.style & WS_DISABLED) == 0);
  if ((control.style & WS_TABSTOP) == 0 && widget.focusPolicy() != Qt::NoFocus) widget.setFocusPolicy(Qt::ClickFocus);
  if (control.kind == ControlKind::GroupBox) widget.lower();
  if (control.id != IDC_STATIC) widget.setObjectName(QStringLiteral("control%1").arg(control.id));
}

}  // namespace zef
