#include "monitor/monitorview.h"

#include <QResizeEvent>

namespace zef {

CMonitorView::CMonitorView(QWidget* parent) : QWidget(parent), m_wndList(this) { setFocusProxy(&m_wndList); }

void CMonitorView::Create(CWindowObject& frame) {
  RegisterWindow(&frame, QString());
  m_wndList.RegisterWindow(this, QStringLiteral("{...}"));
  m_wndList.setGeometry(0, 0, 200, 280);
  m_wndList.show();
  m_wndList.setFocus();
}

void CMonitorView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_wndList.setGeometry(0, 0, width(), height());
}

}  // namespace zef
