// The main window's content: a plain child window whose only child is the
// monitor list, which always covers it.
#pragma once

#include "monitor/monitorlist.h"
#include "platform/window/window.h"

#include <QWidget>

namespace zef {

class CMonitorView : public QWidget, public CWindowObject {
  Q_OBJECT
 public:
  explicit CMonitorView(QWidget* parent = nullptr);

  // Registers the view as the next child of `frame` and the list as the
  // view's first child (trace clients find the list as the first child of
  // the first child of the main window), and puts "{...}" into the buffer.
  void Create(CWindowObject& frame);

  CMonitorList& GetList() { return m_wndList; }
  const CMonitorList& GetList() const { return m_wndList; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  CMonitorList m_wndList;
};

}  // namespace zef
