#include "platform/window/window.h"

#include <algorithm>

namespace zef {
namespace {
std::u16string_view View(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())};
}
}  // namespace

CWindowObject::~CWindowObject() {
  if (m_hWnd != 0) CWindowManager::Instance().Unregister(m_hWnd);
}

void CWindowObject::RegisterWindow(CWindowObject* parent, const QString& title) {
  Q_ASSERT(m_hWnd == 0);
  m_strWindowText = title;
  m_hWnd = CWindowManager::Instance().Register(this, parent ? parent->m_hWnd : 0);
}

void CWindowObject::SetWindowText(const QString& text) {
  m_strWindowText = text;
  OnWindowTextChanged();
}

LRESULT CWindowObject::WindowProc(std::uint32_t message, WPARAM, std::u16string_view text, std::u16string* textOut) {
  switch (message) {
    case WM_SETTEXT:
      SetWindowText(QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size())));
      return 1;
    case WM_GETTEXT:
      if (textOut) *textOut = m_strWindowText.toStdU16String();
      return m_strWindowText.size();
    default:
      return 0;
  }
}

CWindowManager& CWindowManager::Instance() {
  static CWindowManager manager;
  return manager;
}

HWND CWindowManager::Register(CWindowObject* object, HWND parent) {
  const HWND handle = m_nextHandle++;
  m_windows[handle] = Entry{object, parent, {}};
  if (parent == 0) {
    m_topLevel.push_back(handle);
  } else if (auto it = m_windows.find(parent); it != m_windows.end()) {
    it->second.children.push_back(handle);
  }
  return handle;
}

void CWindowManager::Unregister(HWND window) {
  auto it = m_windows.find(window);
  if (it == m_windows.end()) return;
  const HWND parent = it->second.parent;
  // Children outliving their parent become unreachable, as on the desktop.
  for (HWND child : it->second.children) {
    if (auto c = m_windows.find(child); c != m_windows.end()) c->second.parent = 0;
  }
  m_windows.erase(it);
  if (parent == 0) {
    m_topLevel.erase(std::remove(m_topLevel.begin(), m_topLevel.end(), window), m_topLevel.end());
  } else if (auto p = m_windows.find(parent); p != m_windows.end()) {
    auto& siblings = p->second.children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
  }
}

HWND CWindowManager::FindWindow(std::u16string_view title) {
  for (HWND handle : m_topLevel) {
    if (View(m_windows.at(handle).object->GetWindowText()) == title) return handle;
  }
  return 0;
}

HWND CWindowManager::GetFirstChild(HWND window) {
  auto it = m_windows.find(window);
  if (it == m_windows.end() || it->second.children.empty()) return 0;
  return it->second.children.front();
}

LRESULT CWindowManager::SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                                    std::u16string* textOut) {
  return SendMessageFrom(nullptr, window, message, wParam, text, textOut);
}

LRESULT CWindowManager::SendMessageFrom(const SPeer* peer, HWND window, std::uint32_t message, WPARAM wParam,
                                        std::u16string_view text, std::u16string* textOut) {
  CWindowObject* object = FromHandle(window);
  if (!object) return 0;
  m_peers.push_back(peer);
  const LRESULT result = object->WindowProc(message, wParam, text, textOut);
  m_peers.pop_back();
  return result;
}

CWindowObject* CWindowManager::FromHandle(HWND window) const {
  auto it = m_windows.find(window);
  return it == m_windows.end() ? nullptr : it->second.object;
}

bool CWindowManager::IsTopLevel(HWND window) const {
  return std::find(m_topLevel.begin(), m_topLevel.end(), window) != m_topLevel.end();
}

HWND FindWindow(const QString& title) { return CWindowManager::Instance().FindWindow(View(title)); }

HWND GetWindow(HWND window, std::uint32_t relation) {
  return relation == GW_CHILD ? CWindowManager::Instance().GetFirstChild(window) : 0;
}

LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, const QString& text) {
  return CWindowManager::Instance().SendMessage(window, message, wParam, View(text), nullptr);
}

QString GetWindowText(HWND window) {
  std::u16string out;
  CWindowManager::Instance().SendMessage(window, WM_GETTEXT, 0, {}, &out);
  return QString::fromStdU16String(out);
}

}  // namespace zef
